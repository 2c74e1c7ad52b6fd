#include "mlx/tool/timer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "mlx/tool/exception.hpp"

using mlx::tool::timer;

TEST(Timer, NestedMeasurementsPopInnerFirst) {
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
}

TEST(Timer, TocWithoutTicIsATimeExceptionReport) {
    ASSERT_FALSE(timer::notEmpty());
    try {
        timer::toc();
        FAIL() << "no error";
    } catch (const mlx::tool::generalException& e) {
        const std::string report = e.what();
        EXPECT_EQ(report.rfind("<MLX Error>\nIn file mlx/tool/timer.cpp at line #", 0), 0u) << report;
        EXPECT_NE(report.find("TimeException"), std::string::npos);
    }
}
