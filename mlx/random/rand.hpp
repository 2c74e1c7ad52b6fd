#ifndef MLX_RANDOM_RAND_HPP
#define MLX_RANDOM_RAND_HPP

#include <boost/random/lagged_fibonacci.hpp>

#include "mlx/array/matrix.hpp"

namespace mlx {
namespace atom {

// The process's one random source: a lagged Fibonacci generator (48 bits, lags 607 and 273)
// with its default seed, never reseeded, so every process draws the same sequence. Draws are
// locked, so threads may share it; LocalRndDevice() itself is not (callers that use it directly
// must keep to one thread).
struct Randomizer {
    using engine = boost::random::lagged_fibonacci607;
    // The next uniform draw on [0, 1).
    static double uniform();
    static engine& LocalRndDevice();
};

}  // namespace atom

// r x c matrix of successive uniform draws on [0, 1), filled in storage order.
matrix<double> rand(std::size_t r, std::size_t c);

}  // namespace mlx

#endif
