#include "tracker/trackDhome.hpp"

#include "mlx/alg/product.hpp"

namespace track {

trackDhome::trackDhome(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini,
                       const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(dynamic_cast<const LearnJD*>(baseLearner())) {}

void trackDhome::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) {
    patternDifference(*learner, H, frame, points, samples, pattern);
    moveCorners(pattern * learner->getModels()[k], *learner, corners, H);
}

}  // namespace track
