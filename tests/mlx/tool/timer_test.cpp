#include "mlx/tool/timer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../alg/testing.hpp"

using mlx::tool::timer;

TEST(Timer, NestedMeasurementsPopInnerFirstAndTocWithoutTicIsAReport) {
    ASSERT_FALSE(timer::notEmpty());
    timer::tic();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    timer::tic();
    EXPECT_TRUE(timer::notEmpty());
    const double inner = timer::toc();
    const double outer = timer::toc();
    EXPECT_GE(inner, 0.0);
    EXPECT_GE(outer, 0.020);
    EXPECT_LT(inner, outer);
    EXPECT_FALSE(timer::notEmpty());
    EXPECT_EQ(mlx::testing::report_of([] { timer::toc(); }),
              "<MLX Error>\nIn file mlx/tool/timer.cpp at line #\nTimeException: toc() without a pending tic()");
}
