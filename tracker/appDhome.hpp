#ifndef TRACKER_APPDHOME_HPP
#define TRACKER_APPDHOME_HPP

#include <vector>

#include "tracker/learning.hpp"

namespace track {

// Fits one level's linear model in place of the learner's own fit, from the same training set
// and ridge weight: a layer above that keeps more of the fit than the model itself.
class levelFit {
public:
    virtual ~levelFit() = default;
    // Level k's model (n x 8) from deltaI (plans x n) and deltaP (plans x 8) with this ridge weight.
    virtual void fit(unsigned k, const mlx::matrix<double>& deltaI, const mlx::matrix<double>& deltaP, double ridge,
                     mlx::matrix<double>& model) = 0;
};

// What a layer above may change in the linear fit; the defaults are the plain method.
struct linearHooks : learningHooks {
    // Deviation, in grey levels, of the noise every training sample is taken to carry: the fit is
    // the ridge regression such noise calls for. 0: the minimum-norm least squares.
    double sampleNoise = 0.0;
    levelFit* fit = nullptr;  // none: the learner fits each level itself
};

// Learner of the linear method "jd": per level, the minimum-norm least-squares map from pattern
// differences to corner motions, models[k] = pinv(deltaI) * deltaP (n x 8), or the ridge
// regression that a sample noise calls for.
class LearnJD : public learning {
public:
    // A linear model is accurate over a narrower range than the kernel models, and its iterations
    // reach beyond that range: learned over +-0.1, it brings back 9 in 10 corner offsets of sigma
    // 0.15 of the region's side; learned over +-0.2, 3 in 4.
    static constexpr double defaultNoise = 0.1;

    LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
            const linearHooks& hooks = {});

    const std::vector<mlx::matrix<double>>& getModels() const { return models; }
    // The ridge weight of every level's fit: plans (sampleNoise / refNorm)^2.
    double getRidge() const { return ridge; }

protected:
    void createPlanes() override;

private:
    std::vector<mlx::matrix<double>> models;
    double sampleNoise;
    double ridge = 0.0;
    levelFit* fit;
};

}  // namespace track

#endif
