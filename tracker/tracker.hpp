#ifndef TRACKER_TRACKER_HPP
#define TRACKER_TRACKER_HPP

#include <functional>
#include <memory>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
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

    // What a layer above may change in a frame; every default is the plain method.
    class frameControl {
    public:
        virtual ~frameControl() = default;
        // Before the frame's steps: where they start (setH); by default where the last frame ended.
        virtual void start(tracker&) {}
        // The frame's steps: by default one pass.
        virtual void steps(tracker& t, const mlx::matrix<unsigned char>& frame) { t.pass(frame); }
        // After `taken` steps of level k (iter of them at least, one at least): whether the level
        // steps on; by default never.
        virtual bool stepOn(const tracker&, unsigned /*k*/, unsigned /*taken*/) const { return false; }
    };

    virtual ~tracker();
    tracker(const tracker&) = delete;
    tracker& operator=(const tracker&) = delete;

    // One frame, timed and counted however it ends: the steps the frame control asks for (one
    // pass of exactly nbtrack x iter steps without one). Returns the corner estimate (3 x 4,
    // column j = corner j; empty until a step has run).
    virtual const mlx::matrix<double>& run(const mlx::matrix<unsigned char>& frame);
    // iter steps per motion level, coarse to fine, from the current estimate, and more while the
    // frame control's stepOn asks; none when either count is 0.
    void pass(const mlx::matrix<unsigned char>& frame);
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
    unsigned getIter() const { return iter; }

    // The current estimate: the homography from the unit square (which the next step starts
    // from) and the corners (3 x 4; empty until a step has run).
    const mlx::geometry::homog& getH() const { return H; }
    void setH(const mlx::geometry::homog& start) { H = start; }
    const mlx::matrix<double>& getCorners() const { return corners; }
    void setCorners(const mlx::matrix<double>& c) { corners = c; }
    // What the last step read: the samples (1 x n), the pattern difference (1 x n) and the motion
    // it predicted (8 values, dx0, dy0, ..., dx3, dy3).
    const mlx::matrix<double>& lastSamples() const { return step.samples; }
    const mlx::matrix<double>& lastDifference() const { return step.pattern; }
    const mlx::matrix<double, 8>& lastMotion() const { return step.delta; }
    // Puts back the difference of an earlier pass, which a layer above keeps.
    void setLastDifference(const mlx::matrix<double>& difference) { step.pattern = difference; }
    // The frame control run() consults (not owned); none: the plain method.
    void setControl(frameControl* c) { control = c; }

    // The tracking method a configuration selects; absent or unknown names select "jd".
    static enumTrackerType kindOf(const ini::INIParser& ini);

protected:
    using learnerMaker = std::function<std::unique_ptr<learning>()>;
    // Reads "iter", then builds (and times) the learner the concrete method makes.
    tracker(const ini::INIParser& ini, const learnerMaker& learn);

    // Start of every method's step: the frame sampled at the grid mapped through H, normalised,
    // subtracted from the reference pattern. Returns the 1 x n difference (held in step.pattern).
    const mlx::matrix<double>& patternDifference(const learning& learner, const mlx::geometry::homog& H,
                                                 const mlx::matrix<unsigned char>& frame);
    // End of every method's step: the 8 predicted motions in step.delta (dx0, dy0, ..., dx3, dy3)
    // move the unit-square corners in the frame of H; corners receives their images (3 x 4) and
    // H is rebuilt from them.
    void moveCorners(const learning& learner, mlx::matrix<double>& corners, mlx::geometry::homog& H);

    mlx::matrix<double> corners;
    mlx::geometry::homog H;

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
    std::unique_ptr<learning> ownedLearner;
    unsigned iter = 0;
    frameControl* control = nullptr;
    double learningSeconds = 0.0;
    unsigned frames = 0;
    double totalTime = 0.0;
};

}  // namespace track

#endif
