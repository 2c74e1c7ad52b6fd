#ifndef TRACKER_APPJDK_HPP
#define TRACKER_APPJDK_HPP

#include <vector>

#include "tracker/kernel.hpp"
#include "tracker/learning.hpp"

namespace track {

// Learner of the kernel method "jdk". Per level: the first M training differences are the
// centres, the Gaussian width is chosen by the width search, and the weights are the
// minimum-norm least-squares map from kernel values to corner motions, pinv(gram) * deltaP.
class Appjdk : public learning {
public:
    using widthCriterium = kernel::widthCriterium;
    static constexpr double defaultNoise = 0.2;
    static constexpr double defaultWidth0 = 1.0;
    static constexpr unsigned defaultM = 200;

    Appjdk(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
           const kernelHooks& hooks = {});

    const std::vector<mlx::matrix<double>>& getWeights() const { return weights; }
    const std::vector<double>& getWidths() const { return widths; }
    const std::vector<mlx::matrix<double>>& getCentres() const { return centres; }
    // Squared norms of the centres of each level (M x 1), the step's share of the distances.
    const std::vector<mlx::matrix<double>>& getCentreSquares() const { return centreSquares; }
    unsigned getM() const { return M; }

protected:
    void createPlanes() override;
    // weights[k] from the level's Gram matrix and motions.
    void jdk(const unsigned& k);
    double findWidth() const;

    mlx::matrix<double> gram;
    char kernelType = 'g';
    double width0 = defaultWidth0;
    std::vector<mlx::matrix<double>> weights;
    std::vector<double> widths;
    std::vector<mlx::matrix<double>> centres;
    std::vector<mlx::matrix<double>> centreSquares;
    unsigned M = defaultM;
    kernel::widthSearch* search;
    kernel::weightSolve* solver;
};

}  // namespace track

#endif
