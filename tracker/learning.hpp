#ifndef TRACKER_LEARNING_HPP
#define TRACKER_LEARNING_HPP

#include <cmath>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
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

// How a frame's grey levels are read at the sample grid. The plain reading samples the frame itself
// at the grid mapped through H; a layer above may read it otherwise, the same way for learning and
// for every tracked frame.
class sampler {
public:
    virtual ~sampler() = default;
    // A new frame follows: nothing read of the one before may be reused.
    virtual void newFrame() {}
    // The grey levels of frame at grid (3 x n) mapped through H, into samples (1 x n); points is
    // scratch (3 x n).
    virtual void read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H,
                      const mlx::matrix<double>& grid, mlx::matrix<double>& points, mlx::matrix<double>& samples);
};

// Which samples count when a row of grey levels is compared with the reference pattern.
class sampleWeights {
public:
    virtual ~sampleWeights() = default;
    // Writes the weight of each of the n samples into weight (1: counts, 0: does not; scratch holds
    // n values); false when every sample counts and the plain normalisation applies.
    virtual bool weigh(const mlx::matrix<double>& samples, const mlx::matrix<double>& reference, double* weight,
                       double* scratch) const = 0;
    // The difference at a sample that does not count, given the one the map fitted on the others
    // gives it.
    virtual double uncounted(double sample, double fitted) const = 0;
};

// A source of uniform draws on [0, 1) for the training perturbations.
class uniformDraws {
public:
    virtual ~uniformDraws() = default;
    virtual double next() = 0;
};

// How a training perturbation's transform is formed from the unit square's moved corners.
class perturbationMap {
public:
    virtual ~perturbationMap() = default;
    // The transform taking the unit square's corners onto moved (3 x 4).
    virtual mlx::geometry::homog operator()(const mlx::matrix<double, 12>& moved) const = 0;
};

// What a layer above may change in learning; the defaults are the plain method. The learner
// keeps both for its differences, at learning and tracking alike; neither is owned.
struct learningHooks {
    sampler* reader = nullptr;                // none: the frame itself
    const sampleWeights* weights = nullptr;   // none: every sample counts
    uniformDraws* draws = nullptr;            // none: the process's one stream (mlx::rand)
    const perturbationMap* moves = nullptr;   // none: estimated from the four corners as any transform
};

// Base of the learners. From the first frame and the selected corners it lays the sample grid
// over the unit square mapped onto the region, keeps the reference pattern, and generates one
// training set of synthetic corner perturbations per motion level. A derived learner's
// constructor fits its models by calling createPlanes(); learning is complete once it returns.
class learning {
public:
    learning(const mlx::matrix<double>& corners, const ini::INIParser& ini,
             const mlx::matrix<unsigned char>& image, double defaultNoise, const learningHooks& hooks = {});
    virtual ~learning() = default;
    learning(const learning&) = delete;
    learning& operator=(const learning&) = delete;

    // Normalised pattern of a row of grey levels: mean removed (double precision), divided by
    // the Euclidean norm. A row whose levels are all equal has no pattern: toolkit error.
    static void standardize(const mlx::matrix<double>& samples, mlx::matrix<double>& pattern);
    // The reference pattern minus the normalised pattern of a row of grey levels (1 x n, in diff),
    // as the tracking steps and the training rows compare them; where the weights set samples
    // aside, the pattern is matched on the others (work is scratch).
    void difference(const mlx::matrix<double>& samples, mlx::matrix<double>& diff, mlx::matrix<double>& work) const;
    // The reference minus every sample (in diff) under the affine map that matches the reference's
    // mean and spread on the samples whose weight[m] is set.
    void residuals(const mlx::matrix<double>& samples, const double* weight, mlx::matrix<double>& diff) const;
    // The grey levels of frame at the grid mapped through H, as this learner reads its frames
    // (points is scratch).
    void read(const mlx::matrix<unsigned char>& frame, const mlx::geometry::homog& H, mlx::matrix<double>& points,
              mlx::matrix<double>& samples) const;

    // Frees the last level's training set, which a fitted learner no longer reads.
    void releaseTrainingSets();

    const mlx::matrix<double>& getUnitSquare() const { return unitSquare; }
    const mlx::geometry::homog& getH0() const { return H0; }
    unsigned getNbtrack() const { return nbtrack; }
    // Half-width of the corner motions learned at level k, in unit-square coordinates.
    double levelRange(unsigned k) const { return noise / std::ldexp(1.0, static_cast<int>(k)); }
    unsigned getNbpoints() const { return nbpoints; }
    unsigned getPlans() const { return plans; }
    const mlx::matrix<double>& getGridPts() const { return gridPts; }
    const mlx::matrix<double>& getRefPattern() const { return refPattern; }
    // Norm of the reference samples' deviations from their mean, in grey levels.
    double getRefNorm() const { return refNorm; }
    // The sample grid of a side x side learner: point m at (m mod side, m div side) / side.
    static mlx::matrix<double> gridOf(unsigned side);

protected:
    virtual void grid();
    // Lays the grid and keeps the reference pattern.
    void makePts();
    // Regenerates deltaI (plans x n pattern differences) and deltaP (plans x 8 corner motions)
    // for level k, whose motions are drawn uniformly in [-noise / 2^k, noise / 2^k), eight draws
    // per perturbation in the order dx0, dy0, ..., dx3, dy3.
    void createOnePlane(const unsigned& k);
    virtual void createPlanes() = 0;
    // Fits every level (createPlanes), then lets go of the first frame.
    void train();

    mlx::matrix<double> corners;
    mlx::matrix<double> unitSquare;
    mlx::geometry::homog H0;
    unsigned nbtrack = 0;
    unsigned side = 0;
    unsigned nbpoints = 0;
    unsigned plans = 0;
    double noise = 0.0;
    mlx::matrix<double> gridPts;
    mlx::matrix<double> refPattern;
    // Norm of the reference samples' deviations from their mean, in grey levels.
    double refNorm = 0.0;
    // The first frame, during learning only: train() clears it, so that nothing reads the
    // caller's buffer once it may have been freed or overwritten.
    const mlx::matrix<unsigned char>* image;
    learningHooks hooks;
    mlx::matrix<double> deltaI;
    mlx::matrix<double> deltaP;
};

}  // namespace track

#endif
