// Fixed storage of transforms: copying, composing, scaling them and mapping fixed point sets
// never allocates. Counts every global operator new of the test program while a scope is open.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "mlx/geometry/homog.hpp"

namespace {
std::atomic<long> g_allocations{0};

void* counted(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* counted_aligned(std::size_t n, std::align_val_t a) {
    ++g_allocations;
    const std::size_t al = static_cast<std::size_t>(a);
    const std::size_t size = (n + al - 1) / al * al;
    if (void* p = std::aligned_alloc(al, size == 0 ? al : size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void* operator new(std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

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

    const long before = g_allocations.load();
    homog H = H0 * Hp;
    H /= H(2, 2);
    homography T;
    T = H;
    homography U(T);
    const homog V = U * T;
    corners = V.applyto(square);
    mlx::geometry::normalize_h(corners);
    V.applyto(grid, dynamic_out);  // a dynamic block large enough is reused
    const long after = g_allocations.load();

    EXPECT_EQ(after - before, 0);
    EXPECT_TRUE(std::isfinite(corners(0, 2)));
}

TEST(HomogAllocation, FourPointEstimatesAfterTheFirstNeverAllocate) {
    const matrix<double, 12> square = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
    const matrix<double, 12> quad = {{10, 110, 120, 5}, {20, 25, 80, 70}, {1, 1, 1, 1}};
    const homog first(square, quad, true);  // sizes this thread's LAPACK workspace

    const long before = g_allocations.load();
    const homog normalised(square, quad, true);
    const homog direct(square, quad, false);
    const long after = g_allocations.load();

    EXPECT_EQ(after - before, 0);
    for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(normalised(k % 3, k / 3), first(k % 3, k / 3));
    EXPECT_NEAR(direct(0, 0), first(0, 0), 1e-9 * std::abs(first(0, 0)));
}
