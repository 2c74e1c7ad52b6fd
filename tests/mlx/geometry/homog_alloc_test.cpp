// Fixed storage of transforms: copying, composing, scaling them and mapping fixed point sets
// never allocates. Counts every global operator new of the test program while a scope is open.

#include <gtest/gtest.h>

#include <cmath>

#include "mlx/geometry/homog.hpp"
#include "tests/allocation_counter.hpp"

using mlx::matrix;
using mlx::geometry::homog;
using mlx::geometry::homography;

TEST(HomogAllocation, HandlingTransformsAndFixedPointSetsNeverAllocates) {
    const matrix<double, 12> square = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    const matrix<double, 12> quad = {{10, 110, 120, 5}, {20, 25, 80, 70}, {1, 1, 1, 1}};
    const homog H0(square, quad, true);  // estimation itself may allocate
    const homog Hp(matrix<double, 9>{{1.01, 0.02, 0.01}, {-0.01, 0.98, 0.02}, {0.001, 0.002, 1}});
    matrix<double, 12> corners;
    matrix<double> dynamic_out(3, 400);
    const matrix<double> grid(3, 400);

    const long before = allocation_counter::count.load();
    homog H = H0 * Hp;
    H /= H(2, 2);
    homography T;
    T = H;
    homography U(T);
    const homog V = U * T;
    corners = V.applyto(square);
    mlx::geometry::normalize_h(corners);
    V.applyto(grid, dynamic_out);  // a dynamic block large enough is reused
    const long after = allocation_counter::count.load();

    EXPECT_EQ(after - before, 0);
    EXPECT_TRUE(std::isfinite(corners(0, 2)));
}

TEST(HomogAllocation, FourPointEstimatesAfterTheFirstNeverAllocate) {
    const matrix<double, 12> square = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    const matrix<double, 12> quad = {{10, 110, 120, 5}, {20, 25, 80, 70}, {1, 1, 1, 1}};
    const homog first(square, quad, true);  // sizes this thread's LAPACK workspace

    const long before = allocation_counter::count.load();
    const homog normalised(square, quad, true);
    const homog direct(square, quad, false);
    const long after = allocation_counter::count.load();

    EXPECT_EQ(after - before, 0);
    for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(normalised(k % 3, k / 3), first(k % 3, k / 3));
    EXPECT_NEAR(direct(0, 0), first(0, 0), 1e-9 * std::abs(first(0, 0)));
}
