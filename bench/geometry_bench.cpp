// Micro-benchmarks of the geometry the trackers run at every step: the
// four-point homography from the unit square, and the mapping of the n = 400 grid points.

#include <benchmark/benchmark.h>

#include "mlx/geometry/homog.hpp"

namespace {

using mlx::matrix;
using mlx::geometry::homog;

const matrix<double, 12> kUnitSquare = {{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
const matrix<double, 12> kCorners = {{102.5, 398.25, 421.0, 88.75}, {51.0, 63.5, 301.25, 309.5}, {1, 1, 1, 1}};

// A 20 x 20 grid over the unit square, as the learner lays it (3 x 400, w = 1).
matrix<double> grid(std::size_t side) {
    matrix<double> g(3, side * side);
    for (std::size_t j = 0; j < side; ++j)
        for (std::size_t i = 0; i < side; ++i) {
            g(0, i + side * j) = static_cast<double>(i) / static_cast<double>(side - 1);
            g(1, i + side * j) = static_cast<double>(j) / static_cast<double>(side - 1);
            g(2, i + side * j) = 1.0;
        }
    return g;
}

void BM_FourPointHomography(benchmark::State& state) {
    for (auto _ : state) {
        homog H(kUnitSquare, kCorners, true);
        benchmark::DoNotOptimize(H);
    }
}
BENCHMARK(BM_FourPointHomography);

void BM_FourPointHomographyDirect(benchmark::State& state) {
    for (auto _ : state) {
        homog H(kUnitSquare, kCorners, false);
        benchmark::DoNotOptimize(H);
    }
}
BENCHMARK(BM_FourPointHomographyDirect);

// P = H * grid (3 x 3 by 3 x 400), then each column divided by its third coordinate, as a new
// matrix (the allocating form).
void BM_MapGrid400(benchmark::State& state) {
    const homog H(kUnitSquare, kCorners, true);
    const matrix<double> pts = grid(20);
    for (auto _ : state) {
        matrix<double> P = H.applyto(pts);
        mlx::geometry::normalize_h(P);
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * 400);
}
BENCHMARK(BM_MapGrid400);

// The same into a reused matrix: no allocation per call.
void BM_MapGrid400Into(benchmark::State& state) {
    const homog H(kUnitSquare, kCorners, true);
    const matrix<double> pts = grid(20);
    matrix<double> P(3, 400);
    for (auto _ : state) {
        H.applyto(pts, P);
        mlx::geometry::normalize_h(P);
        benchmark::DoNotOptimize(P.data());
    }
    state.SetItemsProcessed(state.iterations() * 400);
}
BENCHMARK(BM_MapGrid400Into);

// H * corners (3 x 4) and the product of two transforms, both in fixed storage.
void BM_MapCornersAndCompose(benchmark::State& state) {
    const homog H(kUnitSquare, kCorners, true);
    for (auto _ : state) {
        matrix<double, 12> c = H.applyto(kUnitSquare);
        mlx::geometry::normalize_h(c);
        homog G = H * H;
        benchmark::DoNotOptimize(c.data());
        benchmark::DoNotOptimize(G);
    }
}
BENCHMARK(BM_MapCornersAndCompose);

}  // namespace
