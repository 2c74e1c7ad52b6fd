#include "tracker/trackDhome.hpp"

#include "mlx/alg/product.hpp"

namespace track {

trackDhome::trackDhome(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini,
                       const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(learnerAs<LearnJD>("jd")) {}

void trackDhome::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) {
    mlx::prod(patternDifference(*learner, H, frame), learner->getModels()[k], step.delta);
    moveCorners(*learner, corners, H);
}

}  // namespace track
