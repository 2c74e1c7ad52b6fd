#ifndef TRACKER_COMPONENTS_BINNED_SAMPLER_HPP
#define TRACKER_COMPONENTS_BINNED_SAMPLER_HPP

#include <cmath>
#include <cstddef>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
#include "tracker/learning.hpp"

namespace track {

// Reads a region whose sample points lie far apart from frames binned 2 x 2: binned pixel (i, j)
// is the rounded mean of frame pixels 2i, 2i + 1 by 2j, 2j + 1, so frame point x lies at
// (x - 0.5) / 2 in binned coordinates. Half the sensor noise in every sample, and fine texture
// averaged rather than aliased by the coarse grid. Only the pixels a frame's samples read are
// binned, once per frame.
class binnedSampler : public sampler {
public:
    static constexpr double defaultSpacing = 4.0;
    // A region is not binned when more than this share of its samples lie this close to either
    // end of the scale: a mean of clipped and unclipped pixels would pass for a true level.
    static constexpr double endMargin = 20.0;
    static constexpr double endShare = 0.05;

    // For the region of these corners (3 x 4), binned when its sample points lie at least
    // `spacing` pixels apart; decided on the first read, that of the reference pattern.
    binnedSampler(const mlx::matrix<double>& corners, double spacing) : corners(corners), spacing(spacing) {}

    void newFrame() override { rows = cols = {0, 0}; }
    void read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H, const mlx::matrix<double>& grid,
              mlx::matrix<double>& points, mlx::matrix<double>& samples) override;
    // Whether this region's frames are read binned (false before the first read).
    bool isBinned() const { return binned; }

    // The map from frame to binned coordinates.
    static const mlx::geometry::homog& fromFrame();
    // The whole image binned into out.
    static void bin(const mlx::matrix<unsigned char>& image, mlx::matrix<unsigned char>& out);
    // The binned frame, binned at least where the points (binned coordinates, 3 x n, normalised)
    // read it.
    const mlx::matrix<unsigned char>& cover(const mlx::matrix<unsigned char>& frame, const mlx::matrix<double>& points);

private:
    // The extent of the points that lie on the binned frame.
    struct bounds {
        double lo_i = INFINITY, hi_i = -INFINITY, lo_j = INFINITY, hi_j = -INFINITY;
        void add(double i, double j, double rows, double cols);
    };
    const mlx::matrix<unsigned char>& cover(const mlx::matrix<unsigned char>& frame, const bounds& b);
    // Whether the region's reference samples (side x side) call for binning.
    bool suits(const mlx::matrix<double>& samples, std::size_t side) const;

    struct span {
        std::size_t begin, end;
    };
    mlx::matrix<double> corners;
    double spacing;
    bool decided = false, binned = false;
    mlx::matrix<unsigned char> binnedFrame;
    span rows{0, 0}, cols{0, 0};  // the part binned for the current frame
};

}  // namespace track

#endif
