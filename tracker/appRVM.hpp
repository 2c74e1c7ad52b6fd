#ifndef TRACKER_APPRVM_HPP
#define TRACKER_APPRVM_HPP

#include <array>
#include <functional>
#include <vector>

#include "tracker/kernel.hpp"
#include "tracker/learning.hpp"

namespace track {

// Which basis functions an iteration of the relevance vector machine evaluates: a layer above may
// leave out those whose change cannot be the largest.
class changeScreen {
public:
    virtual ~changeScreen() = default;
    // Over the basis functions i of [0, n): factorsOf(i, s, q) writes their sparsity and quality
    // factors as if out of the model and returns their alpha; change(i) evaluates one and returns
    // its change (NaN never wins). Every basis function left unevaluated must bring a change
    // below the largest of those evaluated.
    virtual void visit(std::size_t n,
                       const std::function<double(std::size_t, std::array<double, 8>&, std::array<double, 8>&)>& factorsOf,
                       const std::function<double(std::size_t)>& change) = 0;
};

// What a layer above may change in the relevance vector machine; the defaults are the plain method.
struct relevanceHooks : kernelHooks {
    relevanceHooks() = default;
    relevanceHooks(const kernelHooks& kernels) : kernelHooks(kernels) {}
    relevanceHooks(const learningHooks& learning) : kernelHooks(learning) {}
    changeScreen* screen = nullptr;  // none: every basis function evaluated in every iteration
};

// Learner of the method "rvm": per level, a multivariate relevance vector machine over Gaussian
// kernels centred on the training differences. All 8 motion outputs share one precision alpha
// per basis function; each output has its own noise precision beta. Training is the sequential
// marginal-likelihood maximisation of sparse Bayesian learning: exactly max_iter iterations,
// each applying the single best change (add, re-estimate or remove one basis function).
class AppRVM : public learning {
public:
    using widthCriterium = kernel::widthCriterium;
    using factors = std::array<double, 8>;

    // A basis function with alpha at or above maxAlpha is out of the model.
    static constexpr double maxAlpha = 1e12;
    static constexpr double defaultNoise = 0.2;
    static constexpr double defaultWidth0 = 1.0;
    static constexpr unsigned defaultMaxIter = 50;
    // Every iteration costs a pass over all plans basis functions; more than this never ends in practice.
    static constexpr unsigned maxIterLimit = 10000;

    AppRVM(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
           const relevanceHooks& hooks = {});

    // The best shared precision of one basis function from its sparsity and quality factors
    // (s, q: as if out of the model; S, Q: with the current model) for the 8 outputs, and a, its
    // current alpha: newAlpha is the first best of the positive real stationary points of the
    // likelihood and maxAlpha, deltaML the change of twice the log marginal likelihood it brings.
    static void SolveForAlpha(const factors& s, const factors& q, const factors& S, const factors& Q, const double& a,
                              double& deltaML, double& newAlpha);
    // Coefficients (highest degree first) of the degree-16 polynomial whose positive real roots
    // are the stationary points of the shared-alpha likelihood.
    static std::array<double, 17> stationaryPolynomial(const factors& s, const factors& q);

    // The 8 motions (1 x 8, in delta) the model of level k predicts for a pattern difference:
    // its kernel values against the relevance vectors times the weights; no motion for a level
    // left without relevance vector. kappa is scratch.
    void predict(const mlx::matrix<double>& difference, unsigned k, mlx::matrix<double>& kappa,
                 mlx::matrix<double, 8>& delta) const;

    const std::vector<mlx::matrix<double>>& getWeights() const { return weights; }
    const std::vector<double>& getWidths() const { return widths; }
    const std::vector<mlx::matrix<unsigned>>& getUsed() const { return used; }
    const std::vector<mlx::matrix<double>>& getInputs() const { return inputs; }
    // Rows used[k] of inputs[k]: the relevance vectors of level k.
    const std::vector<mlx::matrix<double>>& getRelevanceVectors() const { return relevance; }

protected:
    void createPlanes() override;
    // Trains level k from PHI and deltaP: fills weights[k] and used[k].
    void mvrvm(const unsigned& k);
    // The width of the level whose training rows the criterion was built on.
    double findWidth(const widthCriterium& criterion) const;

    mlx::matrix<double> PHI;
    mlx::matrix<double> alpha;
    mlx::matrix<double> beta;
    char kernel = 'g';
    double width0 = defaultWidth0;
    unsigned max_iter = defaultMaxIter;
    std::vector<mlx::matrix<double>> weights;
    std::vector<double> widths;
    std::vector<mlx::matrix<unsigned>> used;
    std::vector<mlx::matrix<double>> inputs;
    std::vector<mlx::matrix<double>> relevance;
    std::vector<mlx::matrix<double>> relevanceSquares;  // squared norms of relevance[k]'s rows
    kernel::widthSearch* search;
    changeScreen* screen;
};

}  // namespace track

#endif
