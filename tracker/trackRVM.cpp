#include "tracker/trackRVM.hpp"

namespace track {

trackRVM::trackRVM(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
                   const relevanceHooks& hooks)
    : tracker(ini, [&] { return std::make_unique<AppRVM>(mlx::matrix<double>(corners), ini, image, hooks); }),
      learner(static_cast<const AppRVM*>(&getLearner())) {}

void trackRVM::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                         const mlx::matrix<unsigned char>& frame) {
    learner->predict(patternDifference(*learner, H, frame), k, step.kappa, step.delta);
    moveCorners(*learner, corners, H);
}

}  // namespace track
