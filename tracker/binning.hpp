#ifndef TRACKER_BINNING_HPP
#define TRACKER_BINNING_HPP

#include <cstddef>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"

namespace track {

// Frames binned 2 x 2: binned pixel (i, j) is the rounded mean of frame pixels 2i, 2i + 1 by
// 2j, 2j + 1, so frame point x lies at (x - 0.5) / 2 in binned coordinates. Tracking bins only
// the pixels a frame's samples read, once per frame.
class binning {
public:
    // The map from frame to binned coordinates.
    static const mlx::geometry::homog& fromFrame();
    // The whole image binned into out.
    static void bin(const mlx::matrix<unsigned char>& image, mlx::matrix<unsigned char>& out);

    // Room for the binned frames of an image of this size.
    void reserve(const mlx::matrix<unsigned char>& image);
    // A new frame: nothing of it is binned yet.
    void newFrame() { rows = cols = {0, 0}; }
    // The binned frame, binned at least where the points (binned coordinates, 3 x n, normalised)
    // read it.
    const mlx::matrix<unsigned char>& cover(const mlx::matrix<unsigned char>& frame, const mlx::matrix<double>& points);

private:
    struct span {
        std::size_t begin, end;
    };
    mlx::matrix<unsigned char> binned;
    span rows{0, 0}, cols{0, 0};  // the part binned for the current frame
};

}  // namespace track

#endif
