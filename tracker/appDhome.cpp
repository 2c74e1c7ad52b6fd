#include "tracker/appDhome.hpp"

#include "mlx/alg/pinv.hpp"
#include "mlx/alg/ridge.hpp"

namespace track {

LearnJD::LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini,
                 const mlx::matrix<unsigned char>& image, const linearHooks& hooks)
    : learning(corners, ini, image, defaultNoise, hooks), models(nbtrack), sampleNoise(hooks.sampleNoise), fit(hooks.fit) {
    train();
}

// Grain of deviation s grey levels adds (s / norm)^2 to the variance of every value of a pattern
// normalised by the reference's norm, norm being the reference levels' deviation from their mean:
// over the plans, plans * (s / norm)^2 on the diagonal of deltaI' * deltaI in expectation, which
// is the ridge regression's weight.
void LearnJD::createPlanes() {
    ridge = static_cast<double>(plans) * (sampleNoise / refNorm) * (sampleNoise / refNorm);
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        if (fit != nullptr)
            fit->fit(k, deltaI, deltaP, ridge, models[k]);
        else
            models[k] = sampleNoise > 0.0 ? mlx::ridgeprod(deltaI, deltaP, ridge) : mlx::pinvprod(deltaI, deltaP);
    }
}

}  // namespace track
