#include "tracker/appRVM.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fixtures.hpp"
#include "mlx/alg/plu.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/polynome/polynome.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"
#include "tracker/trackRVM.hpp"

namespace {

using factors = track::AppRVM::factors;
constexpr double kMax = track::AppRVM::maxAlpha;

// A learner without levels, trained by the tests on training sets of their own.
struct bench : track::AppRVM {
    bench() : AppRVM(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 0\n"), image()) {}
    static const mlx::matrix<unsigned char>& image() {
        static const auto frame = fixtures::frame(0);
        return frame;
    }
    void train(const mlx::matrix<double>& inputs, const mlx::matrix<double>& motions, double width, unsigned iterations) {
        deltaI = inputs;
        deltaP = motions;
        max_iter = iterations;
        weights.assign(1, {});
        used.assign(1, {});
        PHI = track::kernel::sbl_kernelFunction(deltaI, deltaI, width);
        mvrvm(0);
    }
    void emptyLevel() {
        nbtrack = 1;
        widths.assign(1, 1.0);
        relevance.assign(1, {});
        weights.assign(1, mlx::matrix<double>(0, 8));
    }
    using AppRVM::alpha;
    using AppRVM::beta;
};

// Twice the log marginal likelihood change of adding an out-of-model basis function at c.
double additionChange(double c, const factors& s, const factors& q) {
    double L = 0.0;
    for (std::size_t p = 0; p < 8; ++p) L += std::log(c / (c + s[p])) + q[p] * q[p] / (c + s[p]);
    return L;
}

factors draw(double low, double high) {
    factors f{};
    const mlx::matrix<double> r = mlx::rand(1, 8);
    for (std::size_t p = 0; p < 8; ++p) f[p] = low + (high - low) * r(p);
    return f;
}

// The training iteration written out plainly, one basis function and one output at a time, as
// a reference for the learner's shared products.
struct plainModel {
    std::vector<unsigned> used;
    mlx::matrix<double> weights;
};

plainModel plainMvrvm(const mlx::matrix<double>& PHI, const mlx::matrix<double>& T, unsigned iterations) {
    const std::size_t N = PHI.rows();
    const auto dot = [&](const mlx::matrix<double>& A, std::size_t a, const mlx::matrix<double>& B, std::size_t b) {
        double v = 0.0;
        for (std::size_t n = 0; n < N; ++n) v += A(n, a) * B(n, b);
        return v;
    };
    const mlx::matrix<double> spread = mlx::stdev(T, false, 0);
    double beta[8];
    for (std::size_t p = 0; p < 8; ++p) beta[p] = 1.0 / ((spread(p) / 10.0) * (spread(p) / 10.0));
    std::vector<double> alpha(N, kMax);
    const auto chooseBest = [&](const auto& factorsOf) {
        double best = -std::numeric_limits<double>::infinity(), chosen = alpha[0];
        std::size_t at = 0;
        for (std::size_t i = 0; i < N; ++i) {
            factors s{}, q{}, S{}, Q{};
            factorsOf(i, s, q, S, Q);
            double deltaML = 0.0, newAlpha = 0.0;
            track::AppRVM::SolveForAlpha(s, q, S, Q, alpha[i], deltaML, newAlpha);
            if (deltaML > best) {
                best = deltaML;
                at = i;
                chosen = newAlpha;
            }
        }
        alpha[at] = chosen;
    };
    chooseBest([&](std::size_t i, factors& s, factors& q, factors& S, factors& Q) {
        for (std::size_t p = 0; p < 8; ++p) {
            S[p] = beta[p] * dot(PHI, i, PHI, i);
            Q[p] = beta[p] * dot(PHI, i, T, p);
        }
        s = S;
        q = Q;
    });
    plainModel model;
    for (unsigned iteration = 1; iteration <= iterations; ++iteration) {
        std::vector<unsigned> relevant;
        std::vector<double> au;
        for (std::size_t i = 0; i < N; ++i)
            if (alpha[i] < kMax) {
                relevant.push_back(static_cast<unsigned>(i));
                au.push_back(alpha[i]);
            }
        const std::size_t R = relevant.size();
        std::vector<mlx::matrix<double>> sigma(8);
        for (std::size_t p = 0; p < 8 && R > 0; ++p) {
            mlx::matrix<double> A(R, R);
            for (std::size_t j = 0; j < R; ++j)
                for (std::size_t l = 0; l < R; ++l)
                    A(j, l) = beta[p] * dot(PHI, relevant[j], PHI, relevant[l]) + (j == l ? au[j] : 0.0);
            sigma[p] = mlx::plu(A).inv(true);
        }
        chooseBest([&](std::size_t i, factors& s, factors& q, factors& S, factors& Q) {
            for (std::size_t p = 0; p < 8; ++p) {
                double uSu = 0.0, uSt = 0.0;
                for (std::size_t j = 0; j < R; ++j)
                    for (std::size_t l = 0; l < R; ++l) {
                        const double us = dot(PHI, i, PHI, relevant[j]) * sigma[p](j, l);
                        uSu += us * dot(PHI, i, PHI, relevant[l]);
                        uSt += us * dot(PHI, relevant[l], T, p);
                    }
                S[p] = beta[p] * dot(PHI, i, PHI, i) - beta[p] * beta[p] * uSu;
                Q[p] = beta[p] * dot(PHI, i, T, p) - beta[p] * beta[p] * uSt;
                const double a = alpha[i];
                s[p] = a >= kMax ? S[p] : a * S[p] / (a - S[p]);
                q[p] = a >= kMax ? Q[p] : a * Q[p] / (a - S[p]);
            }
        });
        model.used = relevant;
        model.weights = mlx::matrix<double>(R, 8);
        for (std::size_t p = 0; p < 8 && R > 0; ++p) {
            std::vector<double> mu(R, 0.0);
            double gammaSum = 0.0;
            for (std::size_t j = 0; j < R; ++j) {
                gammaSum += 1.0 - au[j] * sigma[p](j, j);
                for (std::size_t l = 0; l < R; ++l) mu[j] += beta[p] * sigma[p](j, l) * dot(PHI, relevant[l], T, p);
            }
            double E = 0.0;
            for (std::size_t n = 0; n < N; ++n) {
                double fit = 0.0;
                for (std::size_t j = 0; j < R; ++j) fit += PHI(n, relevant[j]) * mu[j];
                E += (T(n, p) - fit) * (T(n, p) - fit);
            }
            beta[p] = (static_cast<double>(N) - gammaSum) / E;
            for (std::size_t j = 0; j < R; ++j)
                for (std::size_t l = 0; l < R; ++l)
                    model.weights(j, p) += beta[p] * sigma[p](j, l) * dot(PHI, relevant[l], T, p);
        }
    }
    return model;
}

}  // namespace

TEST(SolveForAlpha, FindsTheBestAdditionThatADirectSearchFinds) {
    for (int trial = 0; trial < 20; ++trial) {
        const factors s = draw(0.5, 5.0);
        const factors q = draw(-4.0, 4.0);
        double deltaML = 0.0, newAlpha = 0.0;
        track::AppRVM::SolveForAlpha(s, q, s, q, kMax, deltaML, newAlpha);
        double best = 0.0, bestAt = kMax;  // staying out changes nothing
        for (double logc = -8.0; logc <= 12.0; logc += 1e-3) {
            const double c = std::pow(10.0, logc);
            if (additionChange(c, s, q) > best) {
                best = additionChange(c, s, q);
                bestAt = c;
            }
        }
        EXPECT_GE(deltaML, best - 1e-9) << trial;
        EXPECT_LE(deltaML, best + 1e-3 * std::fabs(best) + 1e-9) << trial;
        if (bestAt < kMax) {
            EXPECT_NEAR(std::log10(newAlpha), std::log10(bestAt), 1e-2) << trial;
            EXPECT_NEAR(deltaML, additionChange(newAlpha, s, q), 1e-9);
        } else {
            EXPECT_EQ(newAlpha, kMax);
            EXPECT_EQ(deltaML, 0.0);
        }
    }
}

TEST(Mvrvm, OneIterationKeepsTheInitialChoiceAndTiesGoToTheLowestIndex) {
    bench rvm;
    const mlx::matrix<double> same = mlx::repmat(mlx::rand(1, 5), 6, 1);  // six identical basis functions
    const mlx::matrix<double> motions = mlx::rand(6, 8) - 0.5;
    rvm.train(same, motions, 1.0, 1);
    ASSERT_EQ(rvm.getUsed()[0].numel(), 1u);
    EXPECT_EQ(rvm.getUsed()[0](0), 0u);
    EXPECT_EQ(rvm.getWeights()[0].size(), (mlx::shape{1, 8}));
}

TEST(Mvrvm, SharedProductsGiveTheModelOfThePlainIteration) {
    bench rvm;
    const mlx::matrix<double> inputs = mlx::rand(30, 5);
    mlx::matrix<double> motions(30, 8);
    for (std::size_t i = 0; i < 30; ++i)
        for (std::size_t p = 0; p < 8; ++p) motions(i, p) = std::cos(2.0 * inputs(i, p % 5) - 0.3 * static_cast<double>(p));
    const double width = 0.7;
    rvm.train(inputs, motions, width, 12);
    const plainModel plain = plainMvrvm(track::kernel::sbl_kernelFunction(inputs, inputs, width), motions, 12);
    const auto& used = rvm.getUsed()[0];
    ASSERT_EQ(used.numel(), plain.used.size());
    for (std::size_t j = 0; j < used.numel(); ++j) EXPECT_EQ(used(j), plain.used[j]);
    const double scale = fixtures::largestAbs(plain.weights);
    EXPECT_LT(fixtures::largestAbs(rvm.getWeights()[0] - plain.weights), 1e-8 * scale);
}

TEST(Mvrvm, ZeroMotionTrainingSetIsAToolkitErrorNotACrash) {
    bench rvm;
    EXPECT_THROW(rvm.train(mlx::rand(10, 4), mlx::matrix<double>(10, 8), 1.0, 3), mlx::tool::generalException);
}

TEST(AppRVM, ALevelWithoutRelevanceVectorPredictsNoMotion) {
    bench rvm;
    rvm.emptyLevel();
    mlx::matrix<double> kappa;
    mlx::matrix<double, 8> delta;
    rvm.predict(mlx::rand(1, 400), 0, kappa, delta);
    EXPECT_TRUE(mlx::isequal(delta, mlx::matrix<double>(1, 8)));
}

