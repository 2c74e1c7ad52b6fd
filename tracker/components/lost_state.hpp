#ifndef TRACKER_COMPONENTS_LOST_STATE_HPP
#define TRACKER_COMPONENTS_LOST_STATE_HPP

#include <string>

#include "mlx/array/matrix.hpp"

namespace track {

// "lost": a frame whose match score falls below this threshold, or whose steps fail (a region
// that samples as uniform, say), is lost: its corners are not handed out, the frame's start is
// restored and the motion forgotten, so the next frame is tracked from the last corners held.
class lostState {
public:
    static constexpr double defaultThreshold = 0.1;

    explicit lostState(double threshold) : threshold(threshold) {}

    bool on() const { return threshold > 0.0; }
    // Why a frame of this match score is lost; empty when it is not.
    std::string verdict(double score) const;

private:
    double threshold;
};

// Match score of a pattern difference: the correlation of the two zero-mean, unit-norm patterns
// it is the difference of, 1 - |d|^2 / 2; NaN for an empty difference.
double matchScore(const mlx::matrix<double>& difference);

}  // namespace track

#endif
