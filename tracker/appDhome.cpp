#include "tracker/appDhome.hpp"

#include "mlx/alg/mldivide.hpp"
#include "mlx/alg/pinv.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/alg/ridge.hpp"

#include <cmath>

namespace track {

LearnJD::LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini,
                 const mlx::matrix<unsigned char>& image)
    : learning(corners, ini, image, defaultNoise), models(nbtrack) {
    createPlanes();
}

// Grain of deviation s grey levels adds (s / norm)^2 to the variance of every value of a pattern
// normalised by the reference's norm, norm being the reference levels' deviation from their mean:
// over the plans, plans * (s / norm)^2 on the diagonal of deltaI' * deltaI in expectation, which
// is the ridge regression's weight.
void LearnJD::createPlanes() {
    const double ridge = static_cast<double>(plans) * (ext.sensor / refNorm) * (ext.sensor / refNorm);
    // The inverses hold n x n values per level: beyond the training matrix's limit, no occlusion.
    const unsigned long long n = gridPts.cols();
    const bool hiding = ext.occlusion > 0.0 && n * n <= learningLimits::matrixElements;
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        if (hiding) {
            inverses.push_back(mlx::ridgeinv(deltaI, ridge));
            models[k] = inverses.back() * mlx::prodtMM(deltaI, deltaP);
            spread.resize(1, deltaI.cols());
            for (std::size_t m = 0; m < deltaI.cols(); ++m) {
                double squares = 0.0;
                for (std::size_t p = 0; p < deltaI.rows(); ++p) squares += deltaI(p, m) * deltaI(p, m);
                spread(m) = std::sqrt(squares / static_cast<double>(deltaI.rows()));
            }
        } else {
            models[k] = ext.sensor > 0.0 ? mlx::ridgeprod(deltaI, deltaP, ridge) : mlx::pinvprod(deltaI, deltaP);
        }
    }
}

void LearnJD::modelWithout(std::size_t k, const std::vector<std::size_t>& hidden, mlx::matrix<double>& model,
                           mlx::matrix<double>& block, mlx::matrix<double>& solution) const {
    const mlx::matrix<double>& G = inverses[k];
    const mlx::matrix<double>& M = models[k];
    const std::size_t n = M.rows(), h = hidden.size();
    block.resize(h, h);
    solution.resize(h, 8);
    for (std::size_t b = 0; b < h; ++b)
        for (std::size_t a = 0; a < h; ++a) block(a, b) = G(hidden[a], hidden[b]);
    for (std::size_t q = 0; q < 8; ++q)
        for (std::size_t a = 0; a < h; ++a) solution(a, q) = M(hidden[a], q);
    model = M;
    if (!mlx::CholSolveIP(block, solution)) return;
    for (std::size_t q = 0; q < 8; ++q)
        for (std::size_t a = 0; a < h; ++a) {
            const double y = solution(a, q);
            const double* g = &G(0, hidden[a]);
            double* out = &model(0, q);
            for (std::size_t i = 0; i < n; ++i) out[i] -= g[i] * y;
        }
}

}  // namespace track
