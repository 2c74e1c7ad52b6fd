#include "tracker/trackDhome.hpp"

#include "mlx/alg/product.hpp"
#include "mlx/tool/exception.hpp"

namespace track {

trackDhome::trackDhome(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini,
                       const mlx::matrix<unsigned char>& image)
    : tracker(corners, ini, image), learner(dynamic_cast<const LearnJD*>(baseLearner())) {
    if (learner == nullptr) MLX_RAISE("the configuration selects another method than \"jd\" for this tracker");
}

void trackDhome::trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) {
    patternDifference(*learner, H, frame, points, samples, pattern);
    mlx::prod(pattern, learner->getModels()[k], delta);
    moveCorners(delta, *learner, corners, H);
}

}  // namespace track
