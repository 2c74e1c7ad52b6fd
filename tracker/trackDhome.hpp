#ifndef TRACKER_TRACKDHOME_HPP
#define TRACKER_TRACKDHOME_HPP

#include <vector>

#include "tracker/appDhome.hpp"
#include "tracker/tracker.hpp"

namespace track {

// Tracker of the linear method "jd": the motion is the pattern difference times the level's
// linear model.
class trackDhome : public tracker {
public:
    trackDhome(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
               const linearHooks& hooks = {});

    void trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                   const mlx::matrix<unsigned char>& frame) override;

    const LearnJD& getLinearLearner() const { return *learner; }
    // The models the steps apply, one per level (not owned); none: the learner's.
    void useModels(const std::vector<mlx::matrix<double>>* models) { inUse = models; }

private:
    const LearnJD* learner;
    const std::vector<mlx::matrix<double>>* inUse = nullptr;
};

}  // namespace track

#endif
