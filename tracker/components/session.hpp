#ifndef TRACKER_COMPONENTS_SESSION_HPP
#define TRACKER_COMPONENTS_SESSION_HPP

#include <memory>
#include <string>

#include "mlx/array/matrix.hpp"
#include "tracker/components/binned_sampler.hpp"
#include "tracker/components/camera_motion.hpp"
#include "tracker/components/lost_state.hpp"
#include "tracker/components/motion_prior.hpp"
#include "tracker/components/fast_learning.hpp"
#include "tracker/components/occlusion.hpp"
#include "tracker/components/photometry.hpp"
#include "tracker/components/reacquisition.hpp"
#include "tracker/components/seeded_draws.hpp"
#include "tracker/components/weak_texture.hpp"
#include "tracker/iniparser.hpp"
#include "tracker/tracker.hpp"

namespace track {

// What one frame gives every host.
struct frameResult {
    enum class state { tracked, lost };
    // The corners (3 x 4, column j = (x_j, y_j, 1)): those tracked, or those held when the frame
    // is lost or takes no step.
    mlx::matrix<double, 12> corners;
    // The match score of the frame's last step (1 for a perfect match); NaN when it took none.
    double score = 0.0;
    state status = state::tracked;
    // Why the frame is lost: "match score 0.05 below 0.1", an error's message, ...
    std::string why;
    // Tracked again on this frame after lost ones, or after a first frame's steps fell short.
    bool reacquired = false;

    bool lost() const { return status == state::lost; }
};

// For hosts whose only channel is an error: raises "run: the region was lost (why)" for a lost
// frame.
void requireTracked(const frameResult& r);

// One region followed from the first frame on: the method's tracker (the plain method) with the
// components the configuration switches on around it. The method is chosen here, once.
class session : private tracker::frameControl {
public:
    // Learns the region of corners (3 x 4, column j = corner j, sub-pixel or whole) on image
    // (width x height, element (x, y) = pixel (x, y)). A toolkit error, before anything large is
    // allocated, when three corners are collinear or a key is refused; later when the region
    // cannot be learned.
    session(const mlx::matrix<double, 12>& corners, const ini::INIParser& config, const mlx::matrix<unsigned char>& image);
    ~session() override;

    // Follows the region onto frame. Errors pass as the plain method raises them, but for those
    // the lost state turns into a lost frame.
    const frameResult& run(const mlx::matrix<unsigned char>& frame);
    // Back to the region selected at learning, as if no frame had been tracked since.
    void restart();

    const frameResult& last() const { return result; }
    tracker::enumTrackerType method() const { return kind; }
    const tracker& spine() const { return *tk; }
    double learningTime() const { return tk->learningTime(); }
    unsigned framesTracked() const { return tk->framesTracked(); }
    double averageFrameTime() const { return tk->averageFrameTime(); }

private:
    void start(tracker& t) override;
    void steps(tracker& t, const mlx::matrix<unsigned char>& frame) override;
    bool stepOn(const tracker& t, unsigned k, unsigned taken) const override;
    // Why the frame the spine just tracked is lost; empty when it is not.
    std::string judge(const mlx::matrix<unsigned char>& frame);
    // The search's places, each refined by the learned steps, and where the frame's own steps
    // ended when they passed: true with the spine at the best whose match score reaches the
    // acceptance.
    bool search(const mlx::matrix<unsigned char>& frame, bool stepsPassed);
    // A frame after a lost one: the held corners, and the shape sought, move as the picture did.
    void follow(const mlx::matrix<unsigned char>& frame);
    // A region of weak texture: the frame's corners are where the camera's motion puts them, or
    // where the steps end if that is within reach.
    const frameResult& withCamera(const mlx::matrix<unsigned char>& frame);
    // The frame is lost: back to its start and the corners held.
    const frameResult& hold(const mlx::geometry::homog& before, std::string why);

    tracker::enumTrackerType kind;
    // The training perturbations' own stream ("seed"); none: the process's one stream.
    std::unique_ptr<seededDraws> draws;
    std::unique_ptr<photometry> weights;
    std::unique_ptr<binnedSampler> reader;
    std::unique_ptr<occlusion> hiding;
    std::unique_ptr<choleskyFit> fitter;
    std::unique_ptr<closedFormMoves> moves;
    std::unique_ptr<symmetricWidthSearch> widthSearch;
    std::unique_ptr<relevanceScreen> screen;
    std::unique_ptr<refinedWeights> solver;
    std::unique_ptr<motionPrior> motion;
    lostState lost{0.0};
    std::unique_ptr<reacquisition> finder;
    std::unique_ptr<cameraMotion> camera;
    // A region of weak texture: the camera's motion as it stood on the first frame, and the
    // selection moved by the camera's motion since.
    std::unique_ptr<cameraMotion> selectedView;
    mlx::matrix<double, 12> selection, anchor;
    // The last region tracked wholly on the frame: the shape the search looks for.
    mlx::matrix<double, 12> seenWhole;
    // Two places a quarter side or more apart whose match differs by less than this are look-alikes.
    static constexpr double ambiguity = 0.02;
    static constexpr double apart = 0.25;
    // A region the first frame repeats is taken back only within this share of its side from
    // where it was last.
    static constexpr double nearby = 0.5;
    // A region is found again only with this share of it on the frame.
    static constexpr double foundInside = 0.9;
    std::unique_ptr<tracker> tk;
    frameResult result;
};

}  // namespace track

#endif
