#ifndef TRACKER_TRACKJDK_HPP
#define TRACKER_TRACKJDK_HPP

#include "tracker/appjdk.hpp"
#include "tracker/tracker.hpp"

namespace track {

// Tracker of the kernel method "jdk": the motion is the pattern difference's kernel values
// against the level's centres, times the level's weights.
class trackjdk : public tracker {
public:
    trackjdk(const mlx::matrix<double, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
             const kernelHooks& hooks = {});

    void trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                   const mlx::matrix<unsigned char>& frame) override;

private:
    const Appjdk* learner;
};

}  // namespace track

#endif
