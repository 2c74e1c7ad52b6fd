#ifndef TRACKER_COMPONENTS_MOTION_PRIOR_HPP
#define TRACKER_COMPONENTS_MOTION_PRIOR_HPP

#include "mlx/array/matrix.hpp"
#include "tracker/tracker.hpp"

namespace track {

// What the region's recent motion tells of a frame. "predict": each frame starts from the last
// corners moved on by this share of their last motion (1: constant velocity), so the models see
// only the change of motion. "settle": on a frame without motion history (the first after
// learning or a restart, the first after a lost one) a level whose last step still moved a
// corner by more than a tenth of the level's range steps on, up to this many steps in all: a
// start far off needs more than "iter" steps to come within the next level's reach, while with a
// history more steps would only chase what stopped matching (occluders, repeated texture).
class motionPrior {
public:
    static constexpr double defaultPredict = 0.5;
    static constexpr unsigned defaultSettle = 10;
    static constexpr double settleMotion = 0.1;

    motionPrior(double predict, unsigned settle) : predict(predict), settle(settle) {}

    // Moves the frame's start to the predicted corners once two frames are known.
    void start(tracker& t) const;
    // Whether level k steps on after `taken` steps.
    bool stepOn(const tracker& t, unsigned k, unsigned taken) const;
    // A frame ended tracked at these corners (3 x 4).
    void tracked(const mlx::matrix<double, 12>& corners);
    // Whether the last two frames were tracked since learning, a restart or a lost frame: the
    // region is being followed, and changes little from frame to frame.
    bool following() const { return known >= 2; }
    // A frame was lost: the motion is forgotten, the last corners kept.
    void lost() { known = known < 1 ? known : 1; }
    // Back to the selected region, whose corners are these.
    void restart(const mlx::matrix<double, 12>& corners);

private:
    double predict;
    unsigned settle;
    // Corners of the last two frames tracked without loss (last first) and how many are known.
    mlx::matrix<double, 12> last, previous;
    unsigned known = 0;
};

}  // namespace track

#endif
