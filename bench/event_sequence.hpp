// Video with known ground truth made from a photograph, in which one event takes the region away
// from the tracker: a board hides it, the camera pans it out of the picture and back, or the camera
// jumps. Around the event the camera moves smoothly (about 2 px per frame). The first frame depends
// only on the photograph, the region's side and the seed, not on the event, so that the three
// events of one photograph share their learning.
#ifndef QUADTRACK_BENCH_EVENT_SEQUENCE_HPP
#define QUADTRACK_BENCH_EVENT_SEQUENCE_HPP

#include <cstdint>
#include <vector>

#include "host/geometry.hpp"
#include "host/image.hpp"

namespace bench {

enum class Event { hidden, outAndBack, jump };

struct EventOptions {
    Event event = Event::hidden;
    int width = 320;
    int height = 240;
    // Side of the region on frame 0, in view pixels.
    double region = 80;
    // Photograph pixel (region centre on frame 0) and view pixels per photograph pixel.
    host::Point anchor{0, 0};
    double zoom = 1;
    // Where the event's size falls between its smallest and its largest (0 to 1): how long the
    // region stays hidden (30 to 50 frames), how far away it comes back (25 to 45 px), how far the
    // camera jumps (30 to 60 px, 6 to 10 degrees).
    double spread = 0.5;
    // The board's picture (hidden); a flat grey board when null.
    const host::GreyImage* board = nullptr;
    // Draws the path, the region's shape and the event's directions.
    std::uint64_t seed = 1;
};

class EventSequence {
public:
    EventSequence(const host::GreyImage& photo, const EventOptions& options);

    int size() const { return static_cast<int>(truth_.size()); }
    const host::Quad& truth(int k) const { return truth_[static_cast<std::size_t>(k)]; }
    host::GreyImage frame(int k) const;

    // Frames [goneFrom, goneTo) have the region wholly hidden or wholly out of the picture (for a
    // jump, the one frame of the jump).
    int goneFrom() const { return goneFrom_; }
    int goneTo() const { return goneTo_; }
    // First frame after the event with the whole region in view and unhidden.
    int back() const { return back_; }
    // The distance (px) between the region's centre on the last frame in full view before the event
    // and on back().
    double shift() const;
    // A frame before the event with the region in full view (for pictures).
    int before() const { return before_; }

private:
    struct Board {
        double x0 = 0, x1 = -1, y0 = 0, y1 = -1;  // empty when x1 < x0
    };
    // Similarity about the region's first centre at base path time t: the smooth camera motion.
    host::Homography base(double t) const;
    // Fills poses_ and truth_ from path times and extra motions placed before the base motion.
    void lay(const std::vector<double>& times, const std::vector<host::Homography>& extra);
    // Smallest distance of a corner to the view's border over frames [from, to).
    double margin(int from, int to) const;
    bool inView(int k) const;
    void hide(int frames);
    void outAndBack(double offset, int direction);
    void jump(double distance, double degrees, double zoom);

    const host::GreyImage& photo_;
    EventOptions options_;
    double phase_[4];
    double amplitude_[4];  // x, y (px), angle (rad), relative zoom
    double tau_ = 0;       // path time per frame
    host::Point centre_;
    host::Quad start_;
    std::vector<host::Homography> poses_;  // view 0 to view k
    std::vector<host::Quad> truth_;
    std::vector<Board> boards_;
    int goneFrom_ = 0, goneTo_ = 0, back_ = 0, before_ = 0, left_ = 0;
};

// A smooth path of a camera over a view of width x height, for n frames: view k is image k
// through path[k] (translation, rotation and zoom about the view's centre), path[0] the identity;
// the view's corners move by up to speed pixels per frame.
std::vector<host::Homography> smoothPath(std::size_t n, int width, int height, double speed);

}  // namespace bench

#endif
