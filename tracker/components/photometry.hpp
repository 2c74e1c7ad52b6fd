#ifndef TRACKER_COMPONENTS_PHOTOMETRY_HPP
#define TRACKER_COMPONENTS_PHOTOMETRY_HPP

#include "mlx/array/matrix.hpp"
#include "tracker/learning.hpp"

namespace track {

// Which samples count when a pattern is matched, in one place: samples the light clipped
// ("clipping"), residuals that lie far out ("robust"), and samples taken as hidden (set by the
// occlusion component). The pattern is then matched on the others, by the affine map of their
// levels onto the reference's, which keeps it invariant to the light's gain and offset.
class photometry : public sampleWeights {
public:
    static constexpr double defaultRobust = 0.0;
    // Grey levels this close to either end of the scale are taken as clipped by the camera.
    static constexpr double saturationMargin = 3.0;

    photometry(bool clipping, double robust) : clipping(clipping), robust(robust) {}

    bool weigh(const mlx::matrix<double>& samples, const mlx::matrix<double>& reference, double* weight,
               double* scratch) const override;
    // A sample clipped white only bounds the level it saw: it differs from the reference only by
    // what exceeds the bound. Black ones are left out: the frame reads black off its edges, where
    // a sample tells nothing.
    double uncounted(double sample, double fitted) const override;

    static bool saturated(double level);
    // Whether a sample of this level is set aside as clipped.
    bool clipped(double level) const { return clipping && saturated(level); }
    bool rejectsOutliers() const { return robust > 0.0; }

    // Per sample, 1 where the region is seen and 0 where it is taken as hidden; empty: all seen.
    const mlx::matrix<double>& visible() const { return mask; }
    mlx::matrix<double>& visible() { return mask; }

private:
    // Clears weight[m] for the residuals beyond `robust` robust standard deviations; true when it
    // cleared one (scratch holds n values).
    bool rejectOutliers(const mlx::matrix<double>& samples, const mlx::matrix<double>& reference, double* weight,
                        double* scratch) const;

    bool clipping;
    double robust;
    mlx::matrix<double> mask;
};

}  // namespace track

#endif
