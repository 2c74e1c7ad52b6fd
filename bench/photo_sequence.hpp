// Video with known ground truth made from a photograph: the view of a camera moving smoothly over
// the photograph (translation along a Lissajous path, rotation, scale and perspective), with
// optional light drift, sensor noise and an occluder crossing the region. Deterministic for a
// given photograph and set of options; frames can be rendered in any order.
#ifndef QUADTRACK_BENCH_PHOTO_SEQUENCE_HPP
#define QUADTRACK_BENCH_PHOTO_SEQUENCE_HPP

#include <cstdint>
#include <vector>

#include "host/geometry.hpp"
#include "host/image.hpp"

namespace bench {

// The view (width x height) of a photograph through viewToPhoto, mirrored at the photograph's
// borders so that no part of a view is empty.
host::GreyImage viewOf(const host::GreyImage& photo, const host::Homography& viewToPhoto, int width, int height);

struct PhotoSequenceOptions {
    int width = 320;
    int height = 240;
    int frames = 150;
    // Side of the region on frame 0, in view pixels.
    double region = 100;
    // Photograph pixel (region centre on frame 0) and view pixels per photograph pixel.
    host::Point anchor{0, 0};
    double zoom = 1;
    // Largest corner motion between two consecutive frames, in pixels.
    double speed = 3;
    // Slow drift of gain (1 +- 0.25) and offset (+- 20 levels), values clipped to 0..255.
    bool light = false;
    // Standard deviation of Gaussian sensor noise in grey levels, drawn afresh for each frame.
    double noise = 0;
    // Picture crossing the region from left to right (none when empty), its width as a share of
    // the region's side.
    const host::GreyImage* occluder = nullptr;
    double occluded = 0.4;
    // Draws the path's phases, the region's shape and the noise.
    std::uint64_t seed = 1;
};

class PhotoSequence {
public:
    PhotoSequence(const host::GreyImage& photo, const PhotoSequenceOptions& options);

    int size() const { return options_.frames; }
    // Corners of the region on frame k; those of frame 0 are whole pixels.
    const host::Quad& truth(int k) const { return truth_[static_cast<std::size_t>(k)]; }
    host::GreyImage frame(int k) const;
    // Frame 0 seen after the motion of the plane that takes the region onto moved (no light,
    // noise or occluder).
    host::GreyImage moved(const host::Quad& moved) const;

private:
    // Image of local plane coordinates (region centre at the origin) at path time t.
    host::Homography pose(double t) const;
    // Largest corner motion between consecutive frames when the path advances tau per frame.
    double fastest(double tau) const;
    void settle(double tau);
    host::GreyImage render(const host::Homography& frameToView0) const;
    void occlude(host::GreyImage& image, int k) const;

    const host::GreyImage& photo_;
    PhotoSequenceOptions options_;
    double phase_[6];
    double scale_ = 1;  // shrinks every amplitude until the region stays inside the view
    double tau_ = 0;
    host::Quad start_;
    host::Homography startInverse_;  // pose(0) inverse
    std::vector<host::Quad> truth_;
};

}  // namespace bench

#endif
