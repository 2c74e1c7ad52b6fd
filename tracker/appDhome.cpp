#include "tracker/appDhome.hpp"

#include <cmath>
#include <utility>

#include "mlx/alg/pinv.hpp"

namespace track {

LearnJD::LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini,
                 const mlx::matrix<unsigned char>& image)
    : learning(corners, ini, image, defaultNoise), models(nbtrack) {
    createPlanes();
}

void LearnJD::createPlanes() {
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        if (ext.sensor > 0.0) addSensorNoise();
        models[k] = mlx::pinvprod(deltaI, deltaP);
    }
}

// Grain of deviation s grey levels adds (s / norm)^2 to the variance of every value of a pattern
// normalised by the reference's norm: over the plans, plans * (s / norm)^2 on the diagonal of
// deltaI' * deltaI in expectation. Rows sqrt(plans) * s / norm * I with zero motion add exactly that.
void LearnJD::addSensorNoise() {
    const std::size_t n = deltaI.cols(), motions = deltaP.cols();
    const double ridge = std::sqrt(static_cast<double>(plans)) * ext.sensor / refNorm;
    mlx::matrix<double> patterns(plans + n, n), moves(plans + n, motions);
    for (std::size_t m = 0; m < n; ++m) {
        for (std::size_t p = 0; p < plans; ++p) patterns(p, m) = deltaI(p, m);
        patterns(plans + m, m) = ridge;
    }
    for (std::size_t q = 0; q < motions; ++q)
        for (std::size_t p = 0; p < plans; ++p) moves(p, q) = deltaP(p, q);
    deltaI = std::move(patterns);
    deltaP = std::move(moves);
}

}  // namespace track
