#include "tracker/appjdk.hpp"

#include <algorithm>

#include "mlx/alg/pinv.hpp"
#include "mlx/tool/exception.hpp"

namespace track {

Appjdk::Appjdk(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
               const kernelHooks& hooks)
    : learning(corners, ini, image, defaultNoise, hooks), search(hooks.search), solver(hooks.solve) {
    kernelType = ini::readChar(ini, "kernel", kernelType);
    width0 = ini::readDouble(ini, "width0", defaultWidth0);
    M = ini::readUnsigned(ini, "M", defaultM);
    if (!(width0 > 0.0)) MLX_RAISE("configuration key \"width0\": " << width0 << " is not positive");
    if (plans < 2) MLX_RAISE("configuration key \"plans\": the kernel method needs at least 2 perturbations, not " << plans);
    if (M == 0) MLX_RAISE("configuration key \"M\": 0 leaves no kernel centre");
    if (static_cast<unsigned long long>(plans) * plans > learningLimits::matrixElements)
        MLX_RAISE("configuration key \"plans\": the kernel method's " << plans << " x " << plans
                  << " kernel matrix is above the limit of " << learningLimits::matrixElements << " values");
    M = std::min(M, plans);
    weights.resize(nbtrack);
    widths.assign(nbtrack, 0.0);
    centres.resize(nbtrack);
    centreSquares.resize(nbtrack);
    train();
}

double Appjdk::findWidth() const { return kernel::findWidth(deltaI, width0); }

void Appjdk::jdk(const unsigned& k) {
    if (solver != nullptr)
        solver->solve(gram, deltaP, weights[k]);
    else
        weights[k] = mlx::pinvprod(gram, deltaP);
}

void Appjdk::createPlanes() {
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        const mlx::matrix<double> Z = deltaI(mlx::AllTo(static_cast<std::ptrdiff_t>(M) - 1), mlx::All);
        if (search != nullptr) {
            // The centres are the first rows: their distances are the first columns of the search's.
            widths[k] = search->find(deltaI, width0, gram);
            gram.resize(gram.rows(), M);
            kernel::gaussian(gram, widths[k]);
        } else {
            widths[k] = findWidth();
            gram = kernel::sbl_kernelFunction(deltaI, Z, widths[k]);
        }
        jdk(k);
        centres[k] = Z;
        centreSquares[k] = kernel::rowSquares(Z);
    }
}

}  // namespace track
