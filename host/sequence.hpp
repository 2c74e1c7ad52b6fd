// Synthetic video with known ground truth: a textured plane moving in front of a textured
// background with translation, rotation, scale and perspective. Deterministic for a given
// set of options; any frame can be rendered on its own, in any order.
#ifndef QUADTRACK_HOST_SEQUENCE_HPP
#define QUADTRACK_HOST_SEQUENCE_HPP

#include "host/geometry.hpp"
#include "host/image.hpp"

#include <cstdint>

namespace host {

struct SequenceOptions {
    int width = 320;
    int height = 240;
    int frames = 300;
    // Side of the tracked square in pixels on frame 0.
    double region = 90;
    // Multiplies every motion frequency: 2 moves twice as far per frame.
    double speed = 1;
    // Multiplies the texture's spatial frequencies: above 1 gives finer detail.
    double detail = 1;
    // Standard deviation of the texture's grey levels around 128.
    double contrast = 40;
    // 0 keeps the lighting constant; 1 swings the gain by 25 % and the offset by 15 levels.
    double illumination = 0;
    // Standard deviation of Gaussian sensor noise in grey levels, drawn afresh for each frame.
    double noise = 0;
    std::uint64_t seed = 1;
};

class Sequence {
public:
    explicit Sequence(const SequenceOptions& options);

    const SequenceOptions& options() const { return options_; }
    int size() const { return options_.frames; }
    // Corners of the region on frame k; those of frame 0 are whole pixels.
    Quad truth(int k) const;
    GreyImage frame(int k) const;

private:
    // Image of the region's unit square on frame k.
    Homography planeToImage(int k) const;
    // Local frame of the moving plane, [-1, 1]^2 onto the image, before anchoring on frame 0.
    Homography pose(int k) const;

    SequenceOptions options_;
    double phase_[6];
    double amplitudeX_, amplitudeY_;
    Quad start_;
    Homography startInverse_;
    GreyImage plane_;
    GreyImage background_;
};

// splitmix64: a small, fast generator with a 64-bit state, enough for textures and noise.
class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }
    double gaussian();

private:
    std::uint64_t state_;
};

}  // namespace host

#endif
