#ifndef TRACKER_COMPONENTS_SEEDED_DRAWS_HPP
#define TRACKER_COMPONENTS_SEEDED_DRAWS_HPP

#include <boost/random/lagged_fibonacci.hpp>
#include <cstdint>

#include "tracker/learning.hpp"

namespace track {

// One tracker's own stream of training perturbations ("seed"): the process stream's generator
// (mlx::rand) with a seed of its own, so that the same frame, corners and configuration learn the
// same models in any process and in any order. The default seed is the generator's own: a
// tracker learns what the first one of a fresh process learned from the shared stream.
class seededDraws : public uniformDraws {
public:
    using engine = boost::random::lagged_fibonacci607;
    static constexpr std::uint32_t defaultSeed = 331;

    explicit seededDraws(std::uint32_t seed) : device(seed) {}
    // The process stream's draw, min + (max - min) * device() on [0, 1), which is device() itself.
    double next() override { return device(); }

private:
    engine device;
};

static_assert(seededDraws::defaultSeed == seededDraws::engine::default_seed,
              "the default seed reproduces the process stream of a fresh process");

}  // namespace track

#endif
