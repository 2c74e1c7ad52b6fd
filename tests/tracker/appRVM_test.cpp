#include "tracker/appRVM.hpp"

#include <gtest/gtest.h>

#include "fixtures.hpp"
#include "mlx/array/generate.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "tracker/trackRVM.hpp"

namespace {

const auto kFrame = fixtures::frame(0);

// A learner without levels, trained by the tests on training sets of their own.
struct bench : track::AppRVM {
    bench() : AppRVM(mlx::matrix<double>(fixtures::corners(0)), fixtures::config("nbtrack = 0\n"), kFrame) {}
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

}  // namespace

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
