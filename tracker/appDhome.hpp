#ifndef TRACKER_APPDHOME_HPP
#define TRACKER_APPDHOME_HPP

#include <vector>

#include "tracker/learning.hpp"

namespace track {

// Learner of the linear method "jd": per level, the minimum-norm least-squares map from pattern
// differences to corner motions, models[k] = pinv(deltaI) * deltaP (n x 8).
class LearnJD : public learning {
public:
    LearnJD(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image);

    const std::vector<mlx::matrix<double>>& getModels() const { return models; }

protected:
    void createPlanes() override;

private:
    std::vector<mlx::matrix<double>> models;
};

}  // namespace track

#endif
