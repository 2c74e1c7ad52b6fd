// How much the tracked region still looks like the selected one.
#ifndef QUADTRACK_HOST_SCORE_HPP
#define QUADTRACK_HOST_SCORE_HPP

#include "host/geometry.hpp"
#include "host/image.hpp"

#include <vector>

namespace host {

// Zero-mean normalised correlation between the reference region and the current one, both
// resampled bilinearly on the same grid of the unit square through their corners: 1 for the
// same pattern (also under a change of gain and offset), near 0 for unrelated ones. Grid points
// outside either image are left out; 0 when too few remain or either pattern is flat, since
// such a region confirms nothing.
class RegionScore {
public:
    RegionScore(const GreyImage& reference, const Quad& corners);
    double operator()(const GreyImage& frame, const Quad& corners) const;

    // Samples per side of the grid: 1024 points, plenty for a correlation and cheap per frame.
    static constexpr int kGrid = 32;

private:
    std::vector<double> reference_;  // NaN where the grid point fell outside the image
};

}  // namespace host

#endif
