#include "tracker/trackRVM.hpp"
#include "mlx/tool/exception.hpp"

namespace track {

trackRVM::trackRVM(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(dynamic_cast<const AppRVM*>(baseLearner())) {
    if (learner == nullptr) MLX_RAISE("the configuration selects another method than \"rvm\" for this tracker");
}

void trackRVM::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                         const mlx::matrix<unsigned char>& frame) {
    patternDifference(*learner, H, frame, points, samples, pattern);
    learner->predict(pattern, k, kappa, delta);
    moveCorners(delta, *learner, corners, H);
}

}  // namespace track
