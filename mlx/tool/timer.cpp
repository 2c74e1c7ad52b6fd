#include "mlx/tool/timer.hpp"

#include <chrono>
#include <vector>

#include "mlx/tool/exception.hpp"

namespace mlx::tool {
namespace {

// One stack per thread: a tracker timing its frames on one thread never pops another's start.
std::vector<double>& times() {
    thread_local std::vector<double> stack;
    return stack;
}

// Monotonic and high-resolution: clock_gettime(CLOCK_MONOTONIC) on Linux, QueryPerformanceCounter
// on Windows (mingw-w64's winpthreads behind libstdc++).
double now() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

}  // namespace

void timer::tic() { times().push_back(now()); }

double timer::toc() {
    const double t = now();
    if (times().empty()) MLX_RAISE(checker::TimeException << ": toc() without a pending tic()");
    const double start = times().back();
    times().pop_back();
    return t - start;
}

bool timer::notEmpty() { return !times().empty(); }

}  // namespace mlx::tool
