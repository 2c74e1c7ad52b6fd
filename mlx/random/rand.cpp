#include "mlx/random/rand.hpp"

#include <mutex>

namespace mlx {
namespace atom {

Randomizer::engine& Randomizer::LocalRndDevice() {
    static engine device;
    return device;
}

namespace {

std::mutex& deviceLock() {
    static std::mutex lock;
    return lock;
}

double draw() {
    constexpr double min = 0.0;
    constexpr double max = 1.0;
    return min + (max - min) * Randomizer::LocalRndDevice()();
}

}  // namespace

double Randomizer::uniform() {
    const std::lock_guard<std::mutex> hold(deviceLock());
    return draw();
}

}  // namespace atom

// One lock for the whole matrix: its draws are consecutive in the stream even when other
// threads draw at the same time.
matrix<double> rand(std::size_t r, std::size_t c) {
    matrix<double> out(r, c);
    const std::lock_guard<std::mutex> hold(atom::deviceLock());
    for (double& v : out) v = atom::draw();
    return out;
}

}  // namespace mlx
