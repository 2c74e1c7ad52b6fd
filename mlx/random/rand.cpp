#include "mlx/random/rand.hpp"

namespace mlx {
namespace atom {

Randomizer::engine& Randomizer::LocalRndDevice() {
    static engine device;
    return device;
}

double Randomizer::uniform() {
    constexpr double min = 0.0;
    constexpr double max = 1.0;
    return min + (max - min) * LocalRndDevice()();
}

}  // namespace atom

matrix<double> rand(std::size_t r, std::size_t c) {
    matrix<double> out(r, c);
    for (double& v : out) v = atom::Randomizer::uniform();
    return out;
}

}  // namespace mlx
