#ifndef TRACKER_TRACKER_HPP
#define TRACKER_TRACKER_HPP

#include <memory>
#include <string>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
#include "tracker/binning.hpp"
#include "tracker/iniparser.hpp"
#include "tracker/learning.hpp"

namespace track {

// Base of the three tracking methods. The constructor learns the region on the first frame
// (timed); run() tracks one frame by calling trackstep() iter times per motion level, coarse to
// fine. Reporting the timings is left to the host.
class tracker {
public:
    enum enumTrackerType { JD = 0, JDK = 1, RVM = 2 };
    static constexpr unsigned defaultIter = 3;
    // Steps per level and frame beyond which run() would take minutes per frame.
    static constexpr unsigned iterLimit = 1000;

    tracker(const mlx::matrix<int, 12>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image);
    virtual ~tracker();
    tracker(const tracker&) = delete;
    tracker& operator=(const tracker&) = delete;

    // One frame: exactly nbtrack x iter steps, no convergence test. Returns the corner estimate
    // (3 x 4, column j = corner j; empty until a step has run). With the extensions, the steps
    // start from the predicted corners, a frame without motion history steps on until each level
    // settles ("settle"), and a frame whose region is lost raises "the region was lost" and keeps
    // the previous corners.
    virtual const mlx::matrix<double>& run(const mlx::matrix<unsigned char>& frame);
    // Back to the region selected at learning, as if no frame had been tracked since.
    void restart();

    // One update at level k: samples the frame through H, predicts the corner motion, writes
    // the new corners and rebuilds H from them.
    virtual void trackstep(const unsigned& k, mlx::matrix<double>& corners, mlx::geometry::homog& H,
                           const mlx::matrix<unsigned char>& frame) = 0;

    // Seconds spent learning, frames run and their mean time in seconds (NaN before the first).
    double learningTime() const { return learningSeconds; }
    unsigned framesTracked() const { return frames; }
    double averageFrameTime() const { return totalTime / static_cast<double>(frames); }

    // The learner built at construction, read only.
    const learning& getLearner() const { return *ownedLearner; }

    // The tracking method a configuration selects; absent or unknown names select "jd".
    static enumTrackerType kindOf(const ini::INIParser& ini);

protected:
    // The learner as the concrete type a method needs; a toolkit error when the configuration
    // made another kind (name is the method's).
    template <class Learner>
    const Learner* learnerAs(const char* name) const {
        const auto* typed = dynamic_cast<const Learner*>(ownedLearner.get());
        if (typed == nullptr) refuseMethod(name);
        return typed;
    }

    // Start of every method's step: the frame sampled at the grid mapped through H, normalised,
    // subtracted from the reference pattern. Returns the 1 x n difference (held in step.pattern).
    const mlx::matrix<double>& patternDifference(const learning& learner, const mlx::geometry::homog& H,
                                                 const mlx::matrix<unsigned char>& frame);
    // End of every method's step: the 8 predicted motions in step.delta (dx0, dy0, ..., dx3, dy3)
    // move the unit-square corners in the frame of H; corners receives their images (3 x 4) and
    // H is rebuilt from them.
    void moveCorners(const learning& learner, mlx::matrix<double>& corners, mlx::geometry::homog& H);

    // The steps of one frame from the current estimate: one pass. A method that sets samples
    // aside may pass again.
    virtual void steps(const mlx::matrix<unsigned char>& frame);
    // iter steps per motion level, coarse to fine, from the current estimate, and on a frame with
    // no motion history more while the "settle" extension finds the level unsettled; none when
    // either count is 0 (then step holds nothing).
    void pass(const mlx::matrix<unsigned char>& frame);
    // Whether a pass takes any step.
    bool stepping() const;

    // The current estimate: the corners (3 x 4, empty until a step has run) and the homography
    // from the unit square.
    mlx::matrix<double> corners;
    mlx::geometry::homog H;
    // Per sample, 1 where the region is seen and 0 where it is taken as hidden; empty: all seen.
    mlx::matrix<double> visible;

    // Storage reused by every step, so that tracking a frame allocates nothing once warm.
    struct scratch {
        mlx::matrix<double> points;
        mlx::matrix<double> samples;
        mlx::matrix<double> pattern;
        mlx::matrix<double> kappa;
        mlx::matrix<double> work;
        mlx::matrix<double, 8> delta;
    } step;

private:
    [[noreturn]] static void refuseMethod(const char* name);
    // Match score of the last step's pattern difference: the correlation of the two patterns.
    double score() const;
    // Whether the last step at level k moved a corner by more than settleMotion of the level's range.
    bool unsettled(unsigned k) const;
    static constexpr double settleMotion = 0.1;
    // Back to the corners of the frame before, forgetting the motion; raises "the region was lost".
    [[noreturn]] void holdLost(const mlx::geometry::homog& before, const std::string& why);

    std::unique_ptr<learning> ownedLearner;
    binning bins;
    unsigned iter = 0;
    // Corners of the last two frames tracked without loss (last first) and how many are known.
    mlx::matrix<double, 12> last, previous;
    unsigned known = 0;
    double learningSeconds = 0.0;
    unsigned frames = 0;
    double totalTime = 0.0;
};

}  // namespace track

#endif
