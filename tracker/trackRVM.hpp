#ifndef TRACKER_TRACKRVM_HPP
#define TRACKER_TRACKRVM_HPP

#include "tracker/appRVM.hpp"
#include "tracker/tracker.hpp"

namespace track {

// Tracker of the method "rvm": the motion is the pattern difference's kernel values against the
// level's relevance vectors, times the level's weights.
class trackRVM : public tracker {
public:
    trackRVM(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
             const relevanceHooks& hooks = {});

    void trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                   const mlx::matrix<unsigned char>& frame) override;

private:
    const AppRVM* learner;
};

}  // namespace track

#endif
