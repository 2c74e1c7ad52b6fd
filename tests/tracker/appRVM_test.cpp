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
    explicit bench(const std::string& extra = "")
        : AppRVM(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 0\n" + extra), image()) {}
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

TEST(SolveForAlpha, WeakFactorsStayOutAndRemovalReportsItsChange) {
    const factors s{1, 1, 1, 1, 1, 1, 1, 1};
    const factors q{};  // no correlation with any output
    double deltaML = -1.0, newAlpha = 0.0;
    track::AppRVM::SolveForAlpha(s, q, s, q, kMax, deltaML, newAlpha);
    EXPECT_EQ(newAlpha, kMax);
    EXPECT_EQ(deltaML, 0.0);
    // The same function inside the model: removing it is worth Sum Q^2/(S - a) - ln(1 - S/a) > 0.
    const double a = 2.0;
    const factors S{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
    const factors sIn{2.0 / 3, 2.0 / 3, 2.0 / 3, 2.0 / 3, 2.0 / 3, 2.0 / 3, 2.0 / 3, 2.0 / 3};
    track::AppRVM::SolveForAlpha(sIn, q, S, q, a, deltaML, newAlpha);
    EXPECT_EQ(newAlpha, kMax);
    EXPECT_NEAR(deltaML, -8.0 * std::log(1.0 - 0.25), 1e-12);
}

TEST(SolveForAlpha, StationaryPolynomialIsTheDocumentedConvolutionWithAZeroLeadingTerm) {
    using mlx::polynomes::polynome;
    const factors s = draw(0.1, 3.0);
    const factors q = draw(-2.0, 2.0);
    polynome A(mlx::matrix<double>(1, 8)), B(mlx::matrix<double>(1, 15));
    mlx::matrix<double> all(1, 8);
    for (std::size_t p = 0; p < 8; ++p) {
        mlx::matrix<double> others(1, 7);
        for (std::size_t r = 0, j = 0; r < 8; ++r)
            if (r != p) others(j++) = -s[r];
        const polynome part = polynome::fromRoots(others);
        A += part;
        B += (part * part) * (q[p] * q[p]);
        all(p) = -s[p];
    }
    const polynome Pi = polynome::fromRoots(all);
    const polynome B16 = polynome(mlx::matrix<double>(1, 16)) + B;
    const polynome T1 = (Pi * Pi) * 8.0;
    const polynome T3 = (B16 + Pi * A) * polynome(mlx::matrix<double>{{1.0, 0.0}});
    const polynome expected = T1 - T3;
    const auto built = track::AppRVM::stationaryPolynomial(s, q);
    EXPECT_EQ(built[0], 0.0);
    for (std::size_t k = 0; k < 17; ++k) EXPECT_EQ(built[k], expected(k)) << k;
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

TEST(Mvrvm, RelevanceVectorsGrowByAtMostOnePerIterationAndFitTheMotions) {
    bench rvm;
    const mlx::matrix<double> inputs = mlx::rand(40, 6);
    mlx::matrix<double> motions(40, 8);
    for (std::size_t i = 0; i < 40; ++i)
        for (std::size_t p = 0; p < 8; ++p) motions(i, p) = std::sin(3.0 * inputs(i, p % 6) + static_cast<double>(p));
    rvm.train(inputs, motions, 0.8, 15);
    const auto& used = rvm.getUsed()[0];
    ASSERT_GE(used.numel(), 1u);
    EXPECT_LE(used.numel(), 15u);
    for (std::size_t j = 1; j < used.numel(); ++j) EXPECT_LT(used(j - 1), used(j));
    for (std::size_t p = 0; p < 8; ++p) EXPECT_GT(rvm.beta(p), 0.0);
    // The sparse model explains the motions far better than predicting none.
    double residual = 0.0, total = 0.0;
    const mlx::matrix<double> K = track::kernel::sbl_kernelFunction(inputs, inputs, 0.8);
    for (std::size_t i = 0; i < 40; ++i)
        for (std::size_t p = 0; p < 8; ++p) {
            double fit = 0.0;
            for (std::size_t j = 0; j < used.numel(); ++j) fit += K(i, used(j)) * rvm.getWeights()[0](j, p);
            residual += (motions(i, p) - fit) * (motions(i, p) - fit);
            total += motions(i, p) * motions(i, p);
        }
    EXPECT_LT(residual, 0.2 * total);
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

TEST(AppRVM, RefusesSettingsThatCannotTrain) {
    const auto message = [](const std::string& cfg) {
        try {
            bench rvm(cfg);
        } catch (const mlx::tool::generalException& e) {
            return e.message();
        }
        return std::string("accepted");
    };
    EXPECT_EQ(message("max_iter = 0\n"), "configuration key \"max_iter\": 0 leaves no training iteration");
    EXPECT_EQ(message("width0 = 0\n"), "configuration key \"width0\": 0 is not positive");
    EXPECT_EQ(message("plans = 1\n"),
              "configuration key \"plans\": the relevance vector machine needs at least 2 perturbations, not 1");
}

// On the first frame at the learned position the difference is zero, so the step moves the
// region by the model's response to a zero difference: sum_j exp(-|V_j|^2 / w^2) W_j.
TEST(TrackRVM, AnUnmovedFrameMovesByTheResponseToAZeroDifference) {
    const auto image = fixtures::frame(0);
    const std::string cfg = "tracker = rvm\nnbtrack = 1\niter = 1\nplans = 120\nmax_iter = 8\nnbpoints = 100\n";
    const auto stream = mlx::atom::Randomizer::LocalRndDevice();
    testing::internal::CaptureStdout();
    track::trackRVM t(fixtures::corners(0), fixtures::config(cfg), image);
    testing::internal::GetCapturedStdout();
    mlx::atom::Randomizer::LocalRndDevice() = stream;  // the same draws: the same model
    const track::AppRVM model(mlx::matrix<double>(fixtures::corners(0)), fixtures::config(cfg), image);

    const auto& V = model.getRelevanceVectors()[0];
    ASSERT_GE(V.rows(), 1u);
    double response[8] = {};
    for (std::size_t j = 0; j < V.rows(); ++j) {
        double norm2 = 0.0;
        for (std::size_t m = 0; m < V.cols(); ++m) norm2 += V(j, m) * V(j, m);
        const double w = model.getWidths()[0];
        for (std::size_t p = 0; p < 8; ++p) response[p] += std::exp(-norm2 / (w * w)) * model.getWeights()[0](j, p);
    }
    mlx::matrix<double> moved = model.getUnitSquare();
    for (std::size_t c = 0; c < 4; ++c) {
        moved(0, c) += response[2 * c];
        moved(1, c) += response[2 * c + 1];
    }
    mlx::matrix<double> expected = model.getH0().applyto(moved);
    mlx::geometry::normalize_h(expected);

    const auto& c = t.run(image);
    ASSERT_EQ(c.size(), (mlx::shape{3, 4}));
    for (std::size_t j = 0; j < 4; ++j) {
        EXPECT_NEAR(c(0, j), expected(0, j), 1e-9);
        EXPECT_NEAR(c(1, j), expected(1, j), 1e-9);
        EXPECT_EQ(c(2, j), 1.0);
    }
}
