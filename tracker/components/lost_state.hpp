#ifndef TRACKER_COMPONENTS_LOST_STATE_HPP
#define TRACKER_COMPONENTS_LOST_STATE_HPP

#include <cstddef>
#include <string>

#include "mlx/array/matrix.hpp"

namespace track {

// "lost": a frame is lost when the region is not seen there: its match score falls below this
// threshold, the tracked quad is crossed, not convex, collapsed or grown out of all proportion,
// mostly off the frame, or the steps diverge (or fail, a region that samples as uniform, say).
// Such a quad is never handed out: the frame's start is restored, the motion forgotten and the
// last corners held.
class lostState {
public:
    static constexpr double defaultThreshold = 0.5;
    // A quad whose area leaves [1/16, 16] times the selection's, or with a side below a tenth of
    // the selection's square root of area, has collapsed or exploded.
    static constexpr double areaRatio = 16.0;
    static constexpr double shortestSide = 0.1;
    // Below this share of its area on the frame, a region is mostly off it.
    static constexpr double minimumInside = 0.5;

    explicit lostState(double threshold) : threshold(threshold) {}

    bool on() const { return threshold > 0.0; }
    double selectedArea() const { return selected; }
    // The selected region, whose size a tracked quad is compared with (3 x 4).
    void select(const mlx::matrix<double, 12>& corners);
    // Why a frame that ends with this score at these corners (3 x 4) on a frame of width x height
    // is lost; empty when it is not. `diverging`: the last step moved a corner by more than the
    // steps can bring back.
    std::string verdict(double score, const mlx::matrix<double>& corners, std::size_t width, std::size_t height,
                        bool diverging) const;
    // Why a quad is not a region's: crossed, concave, collapsed, mostly off the frame; empty when
    // it may be.
    std::string shapeVerdict(const mlx::matrix<double>& corners, std::size_t width, std::size_t height) const;
    // The share of a quad (3 x 4) on a frame of width x height, from an 8 x 8 grid of its inside.
    static double insideShare(const mlx::matrix<double>& corners, std::size_t width, std::size_t height);

private:
    double threshold;
    double selected = 0.0;
};

// "corner j estimate v" for the first corner coordinate that is not finite; empty when all are.
std::string nonFinite(const mlx::matrix<double>& corners);

// Match score of a pattern difference: the correlation of the two zero-mean, unit-norm patterns
// it is the difference of, 1 - |d|^2 / 2; NaN for an empty difference.
double matchScore(const mlx::matrix<double>& difference);

}  // namespace track

#endif
