#ifndef TRACKER_COMPONENTS_CAMERA_MOTION_HPP
#define TRACKER_COMPONENTS_CAMERA_MOTION_HPP

#include <cstddef>
#include <vector>

#include "mlx/array/matrix.hpp"

namespace track {

// "follow": while the region is lost, the held corners move with the rest of the picture, so that
// a region that comes back after the camera moved on is sought where it now is, and a copy of it
// where it was is not taken for it. A region of weak texture ("flat") is placed by the motion since
// the first frame on every frame. The motion from one frame to the next is the similarity (and
// change of light) that aligns two coarse levels of their pyramids, fitted by Gauss-Newton steps
// with Tukey's biweight: what moves otherwise (whatever hides the region) misfits and is left out.
class cameraMotion {
public:
    // x' = a x - b y + tx, y' = b x + a y + ty, in frame pixels.
    struct similarity {
        double a = 1.0, b = 0.0, tx = 0.0, ty = 0.0;
        // Moves corners (3 x 4, column j = (x_j, y_j, 1)).
        void move(mlx::matrix<double, 12>& corners) const;
    };

    // The frame (width x height) the next motion starts from.
    void reference(const mlx::matrix<unsigned char>& frame);
    // The motion from the last frame given to this one, which becomes the reference; false, and
    // no motion, when the two do not align (a cut, grain, a frame of another size or too small)
    // or the picture is at rest.
    bool next(const mlx::matrix<unsigned char>& frame, similarity& motion);
    // The motion from the reference to this frame, which does not replace it: each frame starts
    // from the last one's motion, and estimates do not add up their errors. False, and no motion,
    // as for next; identity when the picture is at rest.
    bool since(const mlx::matrix<unsigned char>& frame, similarity& motion);

    // Grey levels per pixel of the fine level below which a pixel is flat and tells no motion.
    static constexpr double flat = 2.0;
    // The biweight's reach in grey levels: 4.685 robust deviations, within these bounds.
    static constexpr double leastReach = 10.0;
    static constexpr double mostReach = 30.0;
    // Share of the textured pixels that must align within the reach; the most a frame may turn
    // (radians) or zoom (relative).
    static constexpr double aligned = 0.5;
    static constexpr double largestTurn = 0.1;
    static constexpr double largestZoom = 0.1;
    // Frame pixels a frame's corners must move for the motion to count.
    static constexpr double rest = 0.1;

private:
    struct level {
        std::vector<float> pixels;
        std::size_t width = 0, height = 0;
    };
    // x' = (1 + a) x - b y + tx, y' = b x + (1 + a) y + ty about a level's centre; light: + offset.
    struct warp {
        double a = 0.0, b = 0.0, tx = 0.0, ty = 0.0, offset = 0.0;
    };
    // The fine level (the smaller side 160 pixels or below, 2^scale frame pixels to one) and the
    // coarse one, half of it.
    void reduce(const mlx::matrix<unsigned char>& frame, level& fine, level& coarse);
    // Whole-pixel shift of the coarse level from the reference to this frame, by the least
    // misfit of the overlap.
    warp coarseShift() const;
    // Refines w by at most `steps` steps on one level from the reference `from` to `to`, read at
    // every stride-th pixel of a line (each line starting one further); the share of its textured
    // pixels within the reach, and the biweight's misfit.
    // The warp of the fine level as a similarity of frame pixels: false when too few pixels
    // aligned (share), it turns or zooms too much, or moves no corner of the frame by `rest`.
    bool inFrame(const warp& best, double share, const mlx::matrix<unsigned char>& frame, similarity& motion) const;
    void align(const level& from, const level& to, warp& w, int steps, long stride, double& share, double& misfit);

    unsigned scale = 1;
    bool known = false;
    level fine, coarse, lastFine, lastCoarse;
    warp sinceReference;
    // Scratch of align: the reference's textured pixels about the level's centre, and misfits.
    struct sample {
        float x, y, fx, fy, value;
    };
    std::vector<sample> samples;
    std::vector<float> residuals;
};

}  // namespace track

#endif
