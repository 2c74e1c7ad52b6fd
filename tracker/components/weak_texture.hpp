#ifndef TRACKER_COMPONENTS_WEAK_TEXTURE_HPP
#define TRACKER_COMPONENTS_WEAK_TEXTURE_HPP

#include "mlx/array/matrix.hpp"

namespace track {

// "flat": a region that is mostly flat and matches itself well a quarter of its side away along
// some direction (a stretch of asphalt along a kerb) cannot be placed by its appearance: the steps
// slide with whatever crosses it. Such a region moves with the camera's motion since the first
// frame, and the steps are taken only where they end within `reach` of it.
struct weakTexture {
    static constexpr double defaultFlat = 0.48;
    // Correlation with itself, shifted a quarter of its side along the direction it repeats best,
    // from which a mostly flat region is weak.
    static constexpr double selfMatch = 0.65;
    // Frame pixels the steps may place each corner from where the camera's motion puts it.
    static constexpr double reach = 1.0;

    // Whether the region of corners (3 x 4) on image (width x height) has at least `flat` of its
    // pixels flat (cameraMotion::flat) and matches itself at least selfMatch a quarter side away.
    static bool weak(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image, double flat);
    // The share of the region's pixels, read on a grid, whose gradient is below cameraMotion::flat.
    static double flatShare(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image);
    // The best correlation of the region with itself shifted a quarter of its side, over 32
    // directions; -1 when no shift stays on the image.
    static double shiftedMatch(const mlx::matrix<double, 12>& corners, const mlx::matrix<unsigned char>& image);
};

}  // namespace track

#endif
