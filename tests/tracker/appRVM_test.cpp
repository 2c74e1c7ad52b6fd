#include "tracker/appRVM.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
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

// One iteration keeps the initial choice, and ties go to the lowest index; a training set without
// motion is a toolkit error, not a crash; a level without relevance vector predicts no motion.
TEST(Mvrvm, TiesGoToTheLowestIndexAndDegenerateModelsAreHandled) {
    bench rvm;
    const mlx::matrix<double> same = mlx::repmat(mlx::rand(1, 5), 6, 1);  // six identical basis functions
    rvm.train(same, mlx::rand(6, 8) - 0.5, 1.0, 1);
    ASSERT_EQ(rvm.getUsed()[0].numel(), 1u);
    EXPECT_EQ(rvm.getUsed()[0](0), 0u);
    EXPECT_EQ(rvm.getWeights()[0].size(), (mlx::shape{1, 8}));
    EXPECT_THROW(rvm.train(mlx::rand(10, 4), mlx::matrix<double>(10, 8), 1.0, 3), mlx::tool::generalException);

    rvm.emptyLevel();
    mlx::matrix<double> kappa;
    mlx::matrix<double, 8> delta;
    rvm.predict(mlx::rand(1, 400), 0, kappa, delta);
    EXPECT_TRUE(mlx::isequal(delta, mlx::matrix<double>(1, 8)));
}
