#include <benchmark/benchmark.h>

#include <random>

#include "mlx/polynome/roots.hpp"

namespace {

// Roots of a degree-16 polynomial with fixed random coefficients, the size that the RVM
// learner solves once per candidate basis function and iteration.
void BM_RootsDegree16(benchmark::State& state) {
    std::mt19937 gen(16);
    std::normal_distribution<double> coefficient;
    mlx::matrix<double> p(1, 17);
    for (double& c : p) c = coefficient(gen);
    for (auto _ : state) benchmark::DoNotOptimize(mlx::polynomes::roots(p));
}
BENCHMARK(BM_RootsDegree16);

}  // namespace
