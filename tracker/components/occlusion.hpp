#ifndef TRACKER_COMPONENTS_OCCLUSION_HPP
#define TRACKER_COMPONENTS_OCCLUSION_HPP

#include <cstddef>
#include <vector>

#include "mlx/alg/ridge.hpp"
#include "mlx/array/matrix.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/components/photometry.hpp"
#include "tracker/trackDhome.hpp"

namespace track {

// "occlusion" (jd): samples whose residual at the end of a frame's steps lies beyond this many
// robust standard deviations, in blobs, are taken as hidden: the frame is tracked again from its
// start without them (at most twice; a pass is kept only when it matches the samples seen by both
// better than the one before), and the next frames too, with the linear models refitted without
// them. The refit keeps, per level, the inverse of the regularised Gram matrix, from which the
// model without any set of samples follows cheaply; it is formed from the fit's Cholesky factor
// on the first frame that hides samples, so that learning does not pay for it.
class occlusion : public levelFit {
public:
    static constexpr double defaultThreshold = 3.0;

    // For a learner of this many levels and sample points; the refit is left out (a line on
    // standard error says so) where its inverses would pass the training matrix's memory limit.
    occlusion(double threshold, photometry& weights, unsigned levels, unsigned nbpoints, bool factorised = true);

    // Whether the refit is on for this region.
    bool active() const { return on; }
    // The level's model, with how far the level's motions move each sample (kept for the finest
    // level). Factorised, it is fitted through the Cholesky factor of deltaI' deltaI + ridge I,
    // which it keeps, as choleskyFit fits; else, and where that matrix is conditioned too poorly,
    // through the inverse from the SVD.
    void fit(unsigned k, const mlx::matrix<double>& deltaI, const mlx::matrix<double>& deltaP, double ridge,
             mlx::matrix<double>& model) override;
    // Ready to track with t, whose learner this component fitted: sizes the scratch, so that a
    // frame allocates nothing.
    void attach(trackDhome& t);
    // The frame's steps: a pass, then again without the samples it ends with as hidden.
    void steps(trackDhome& t, const mlx::matrix<unsigned char>& frame);
    // Every sample seen again, the learner's models applied.
    void release(trackDhome& t);

    // Into model: the level-k model refitted without the listed samples, M - G(:, h) G(h, h)^-1
    // M(h, :) for the inverse G (the inverse of a principal block's Schur complement), its rows h
    // then zero; M itself where G(h, h) is not positive definite. block and solution are scratch.
    void modelWithout(std::size_t k, const std::vector<mlx::matrix<double>>& models, const std::vector<std::size_t>& hidden,
                      mlx::matrix<double>& model, mlx::matrix<double>& block, mlx::matrix<double>& solution);

private:
    // The samples whose residual at the end of the last step is an outlier, in a blob, grown by
    // `growth` grid cells (none when too few or too many); true when one of them was seen.
    bool hide(trackDhome& t);
    static constexpr long growth = 2;
    // Whether the earlier pass's last samples match the reference better than the current ones,
    // on the samples seen now and unclipped in both (squared residuals, each fitted on them).
    bool earlierFitsBetter(const trackDhome& t);
    // masked[k]: models[k] without the hidden samples, which the steps then apply.
    void refit(trackDhome& t);
    // release(); false, as hide() returns when it hides nothing.
    bool nothingHidden(trackDhome& t);

    double threshold;
    photometry& weights;
    bool on;
    bool factorised;
    // Per level, the Cholesky factor, kept packed, all levels in one block (what a tracker holds
    // until a frame hides samples: learning's largest fresh memory otherwise), and inverted into
    // room made for it, not touched until then, when first needed; or else the inverse itself.
    mlx::matrix<double> packed;
    std::vector<bool> factored;
    std::vector<mlx::matrix<double>> inverses;
    const mlx::matrix<double>& inverse(std::size_t k);
    // Per sample, the root mean square of the finest level's training differences: how far its
    // motions move that sample's value (1 x n).
    mlx::matrix<double> spread;
    std::vector<mlx::matrix<double>> masked;
    // Scratch, sized by attach().
    std::vector<std::size_t> hidden;
    std::vector<unsigned char> outlying;
    mlx::matrix<double> fitted, residual, magnitudes, block, solution, earlierSamples, earlierPattern, earlierCorners;
};

}  // namespace track

#endif
