#include "tracker/trackDhome.hpp"

#include "mlx/alg/product.hpp"

namespace track {

trackDhome::trackDhome(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini,
                       const mlx::matrix<unsigned char>& image, const linearHooks& hooks)
    : tracker(ini, [&] { return std::make_unique<LearnJD>(mlx::matrix<double>(corners), ini, image, hooks); }),
      learner(static_cast<const LearnJD*>(&getLearner())) {}

void trackDhome::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) {
    const auto& models = inUse == nullptr ? learner->getModels() : *inUse;
    mlx::prod(patternDifference(*learner, H, frame), models[k], step.delta);
    moveCorners(*learner, corners, H);
}

}  // namespace track
