#include "tracker/trackjdk.hpp"

#include "mlx/alg/product.hpp"
#include "mlx/tool/exception.hpp"

namespace track {

trackjdk::trackjdk(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(dynamic_cast<const Appjdk*>(baseLearner())) {
    if (learner == nullptr) MLX_RAISE("the configuration selects another method than \"jdk\" for this tracker");
}

void trackjdk::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                         const mlx::matrix<unsigned char>& frame) {
    patternDifference(*learner, H, frame, points, samples, pattern);
    kernel::dist2(pattern, learner->getCentres()[k], learner->getCentreSquares()[k], kappa);
    kernel::gaussian(kappa, learner->getWidths()[k]);
    mlx::prod(kappa, learner->getWeights()[k], delta);
    moveCorners(delta, *learner, corners, H);
}

}  // namespace track
