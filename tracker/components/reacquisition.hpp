#ifndef TRACKER_COMPONENTS_REACQUISITION_HPP
#define TRACKER_COMPONENTS_REACQUISITION_HPP

#include <array>
#include <cstddef>
#include <vector>

#include "mlx/array/matrix.hpp"

namespace track {

// "reacquire": while the region is lost, the frame is searched for it, and it is taken back only
// with a match score of at least this, clearly above "lost", so that a look-alike or whatever
// covers the region is not taken for it. The search correlates the region's pattern, read on the
// first frame, with the frame over position, scale and rotation on a coarse level of its pyramid,
// where the region spans about 16 pixels; the best few places are handed to the learned steps.
// A frame costs a bounded search: the positions are thinned beyond a fixed number of candidates.
class reacquisition {
public:
    static constexpr double defaultAccept = 0.8;
    // Candidates correlated per frame at most, and places handed to the steps.
    static constexpr std::size_t budget = 40000;
    static constexpr std::size_t kept = 4;

    // Reads what the search needs of the first frame: the region of these corners (3 x 4) on
    // image (width x height), at the pyramid level of its size.
    reacquisition(double accept, const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image);

    double acceptance() const { return accept; }
    // Whether the first frame repeats the region half a side or more away from it, matching it
    // with at least repeatedAbove on the search's level: then only its position tells it from its
    // look-alikes. Found on the first call, from the first frame's coarse copy kept until then:
    // most trackers never ask.
    bool repeated();
    static constexpr double repeatedAbove = 0.95;
    // Whether a quad found by the steps keeps the shape of the one searched for (both 3 x 4): a
    // common scale within [1 / maxScale, maxScale] and every side and diagonal within maxWarp of
    // it. Steps that bend the quad to fit a stretch of another picture are not finding the region.
    static bool keepsShape(const mlx::matrix<double, 12>& found, const mlx::matrix<double, 12>& sought);
    static constexpr double maxScale = 1.6;
    static constexpr double maxWarp = 1.3;
    // Starts for the learned steps, best first: the held region (3 x 4) moved, turned and scaled
    // to where the frame correlates best with the reference; none when the region has no pattern.
    const std::vector<mlx::matrix<double, 12>>& candidates(const mlx::matrix<unsigned char>& frame,
                                                           const mlx::matrix<double, 12>& held);

private:
    static constexpr std::size_t side = 8;  // the search's grid: side x side points
    // The frame's pyramid level: block means of 2^level x 2^level pixels, into coarse.
    void reduce(const mlx::matrix<unsigned char>& frame);
    // Grid points of the region of these corners, in the coarse level's pixels (2 x side^2).
    void gridOf(const mlx::matrix<double, 12>& corners, std::array<double, 2 * side * side>& points) const;

    // Whether the coarse first frame (view) matches the reference, read at the grid points at
    // (2 x side^2), anywhere apart or farther from them.
    bool repeatedOn(const mlx::matrix<unsigned char>& view, const mlx::matrix<double>& at, double apart) const;

    double accept;
    bool repeats = false;
    // The coarse first frame, the grid on it and the distance a copy must lie at, until repeated()
    // has answered.
    mlx::matrix<unsigned char> firstView;
    mlx::matrix<double> firstAt;
    double apart = 0.0;
    unsigned level = 0;
    bool usable = false;
    std::array<double, side * side> reference{};
    // Scratch, reused from frame to frame.
    std::vector<unsigned char> coarse;
    std::size_t coarseWidth = 0, coarseHeight = 0;
    struct place {
        double score, x, y, scale, turn;
    };
    std::vector<place> best;
    std::vector<mlx::matrix<double, 12>> starts;
};

}  // namespace track

#endif
