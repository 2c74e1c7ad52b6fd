#include "tracker/trackjdk.hpp"

#include "mlx/alg/product.hpp"

namespace track {

trackjdk::trackjdk(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
                   const kernelHooks& hooks)
    : tracker(ini, [&] { return std::make_unique<Appjdk>(mlx::matrix<double>(corners), ini, image, hooks); }),
      learner(static_cast<const Appjdk*>(&getLearner())) {}

void trackjdk::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                         const mlx::matrix<unsigned char>& frame) {
    const mlx::matrix<double>& d = patternDifference(*learner, H, frame);
    kernel::dist2(d, learner->getCentres()[k], learner->getCentreSquares()[k], step.kappa);
    kernel::gaussian(step.kappa, learner->getWidths()[k]);
    mlx::prod(step.kappa, learner->getWeights()[k], step.delta);
    moveCorners(*learner, corners, H);
}

}  // namespace track
