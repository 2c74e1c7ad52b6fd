#include "tracker/appDhome.hpp"

#include "mlx/alg/pinv.hpp"

namespace track {

LearnJD::LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini,
                 const mlx::matrix<unsigned char>& image)
    : learning(corners, ini, image, defaultNoise, extensions::defaultPlans), models(nbtrack) {
    createPlanes();
}

void LearnJD::createPlanes() {
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        models[k] = mlx::pinvprod(deltaI, deltaP);
    }
}

}  // namespace track
