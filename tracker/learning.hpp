#ifndef TRACKER_LEARNING_HPP
#define TRACKER_LEARNING_HPP

#include <cmath>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
#include "tracker/extensions.hpp"
#include "tracker/iniparser.hpp"

namespace track {

// Settings of the learning stage used when the configuration leaves a key out. The first level's
// amplitude, "noise", depends on the method: each learner passes its own.
struct learningDefaults {
    static constexpr unsigned nbtrack = 3;
    static constexpr unsigned plans = 800;
    static constexpr unsigned nbpoints = 400;
};

// Largest settings accepted, checked before anything is allocated, so that a mistyped value is
// refused with a message rather than ending in an out-of-memory kill or a learning that never ends.
struct learningLimits {
    static constexpr unsigned nbtrack = 32;  // level 32 perturbs by noise / 2^32: below a pixel of any region
    static constexpr unsigned plans = 100000;
    static constexpr unsigned nbpoints = 1000000;
    // 2^27 doubles = 1 GiB: the bound on the plans x points training matrix and, for the kernel
    // methods, on their plans x plans kernel matrices.
    static constexpr unsigned long long matrixElements = 1ull << 27;
};

// Base of the learners. From the first frame and the selected corners it lays the sample grid
// over the unit square mapped onto the region, keeps the reference pattern, and generates one
// training set of synthetic corner perturbations per motion level. A derived learner's
// constructor fits its models by calling createPlanes(); learning is complete once it returns.
class learning {
public:
    learning(const mlx::matrix<double>& corners, const ini::INIParser& ini,
             const mlx::matrix<unsigned char>& image, double defaultNoise);
    virtual ~learning() = default;
    learning(const learning&) = delete;
    learning& operator=(const learning&) = delete;

    // Normalised pattern of a row of grey levels: mean removed (double precision), divided by
    // the Euclidean norm. A row whose levels are all equal has no pattern: toolkit error.
    static void standardize(const mlx::matrix<double>& samples, mlx::matrix<double>& pattern);
    // The reference pattern minus the normalised pattern of a row of grey levels (1 x n, in diff),
    // as the tracking steps and the training rows compare them. With the "clipping" and "robust"
    // extensions, clipped samples and outlying residuals are set aside and the pattern is matched
    // on the others (work is scratch), as are the samples whose visible[m] is 0 when given.
    void difference(const mlx::matrix<double>& samples, mlx::matrix<double>& diff, mlx::matrix<double>& work,
                    const double* visible = nullptr) const;
    // The reference minus every sample (in diff) under the affine map that matches the reference's
    // mean and spread on the samples whose inlier[m] is set.
    void residuals(const mlx::matrix<double>& samples, const double* inlier, mlx::matrix<double>& diff) const;
    // Grey levels this close to either end of the scale are taken as clipped by the camera.
    static constexpr double saturationMargin = 3.0;
    static bool saturated(double level);
    // A region is not binned when more than this share of its samples lie this close to either
    // end of the scale, where light may clip them.
    static constexpr double binningEndMargin = 20.0;
    static constexpr double binningEndShare = 0.05;

    const mlx::matrix<double>& getUnitSquare() const { return unitSquare; }
    const mlx::geometry::homog& getH0() const { return H0; }
    unsigned getNbtrack() const { return nbtrack; }
    // Half-width of the corner motions learned at level k, in unit-square coordinates.
    double levelRange(unsigned k) const { return noise / std::ldexp(1.0, static_cast<int>(k)); }
    unsigned getNbpoints() const { return nbpoints; }
    const mlx::matrix<double>& getGridPts() const { return gridPts; }
    const mlx::matrix<double>& getRefPattern() const { return refPattern; }
    const extensions& getExtensions() const { return ext; }
    // Whether the frames are read binned 2 x 2 (the "binning" extension), as decided at learning.
    bool isBinned() const { return binned; }

protected:
    // Clears inlier[m] for the residuals beyond "robust" robust standard deviations; true when it
    // cleared one (scratch holds n values).
    bool rejectOutliers(const mlx::matrix<double>& samples, double* inlier, double* scratch) const;
    // The difference (in diff) under the map fitted on the samples whose inlier[m] is set.
    void matchInliers(const mlx::matrix<double>& samples, const double* inlier, mlx::matrix<double>& diff) const;
    virtual void grid();
    // Lays the grid and keeps the reference pattern, read binned when the region allows it.
    void makePts();
    // Whether the "binning" extension reads this region's frames binned, given its samples.
    bool binnable(const mlx::matrix<double>& samples) const;
    // Regenerates deltaI (plans x n pattern differences) and deltaP (plans x 8 corner motions)
    // for level k, whose motions are drawn uniformly in [-noise / 2^k, noise / 2^k).
    void createOnePlane(const unsigned& k);
    virtual void createPlanes() = 0;

    mlx::matrix<double> corners;
    mlx::matrix<double> unitSquare;
    mlx::geometry::homog H0;
    extensions ext;
    unsigned nbtrack = 0;
    unsigned side = 0;
    unsigned nbpoints = 0;
    unsigned plans = 0;
    double noise = 0.0;
    mlx::matrix<double> gridPts;
    mlx::matrix<double> refPattern;
    // Norm of the reference samples' deviations from their mean, in grey levels.
    double refNorm = 0.0;
    const mlx::matrix<unsigned char>& image;
    bool binned = false;
    mlx::matrix<unsigned char> binnedImage;
    mlx::matrix<double> deltaI;
    mlx::matrix<double> deltaP;
};

}  // namespace track

#endif
