#ifndef TRACKER_APPDHOME_HPP
#define TRACKER_APPDHOME_HPP

#include <vector>

#include "tracker/learning.hpp"

namespace track {

// Learner of the linear method "jd": per level, the minimum-norm least-squares map from pattern
// differences to corner motions, models[k] = pinv(deltaI) * deltaP (n x 8); with the "sensor"
// extension, the ridge regression that sensor noise of that deviation calls for.
class LearnJD : public learning {
public:
    // A linear model is accurate over a narrower range than the kernel models, and its iterations
    // reach beyond that range: learned over +-0.1, it brings back 9 in 10 corner offsets of sigma
    // 0.15 of the region's side; learned over +-0.2, 3 in 4.
    static constexpr double defaultNoise = 0.1;

    LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image);

    const std::vector<mlx::matrix<double>>& getModels() const { return models; }
    // With the "occlusion" extension, per level inv(deltaI' deltaI + ridge I) (n x n), from which
    // the models refitted without any set of samples follow cheaply; otherwise, or when n x n is
    // above the limit of the training matrix (more than 11585 points), empty.
    const std::vector<mlx::matrix<double>>& getInverses() const { return inverses; }
    // With the "occlusion" extension, per sample the root mean square of the finest level's
    // training differences: how far its motions move that sample's value (1 x n).
    const mlx::matrix<double>& getSpread() const { return spread; }
    // Into model: the level-k model refitted without the listed samples, M - G(:, h) G(h, h)^-1
    // M(h, :) for the inverse G (the inverse of a principal block's Schur complement), its rows h
    // then zero; M itself where G(h, h) is not positive definite (without the ridge). block and
    // solution are scratch. Needs the inverses.
    void modelWithout(std::size_t k, const std::vector<std::size_t>& hidden, mlx::matrix<double>& model,
                      mlx::matrix<double>& block, mlx::matrix<double>& solution) const;

protected:
    void createPlanes() override;

private:
    std::vector<mlx::matrix<double>> models;
    std::vector<mlx::matrix<double>> inverses;
    mlx::matrix<double> spread;
};

}  // namespace track

#endif
