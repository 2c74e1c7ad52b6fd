#ifndef TRACKER_KERNEL_HPP
#define TRACKER_KERNEL_HPP

// The Gaussian kernel of the two kernel learners and the search of its width.

#include "mlx/array/matrix.hpp"
#include "mlx/optimization/base_brent.hpp"
#include "tracker/learning.hpp"

namespace track::kernel {

// a x b squared Euclidean distances between the rows of X (a x n) and of Y (b x n), formed as
// |x|^2 + |y|^2 - 2 x.y from one product; rounding may leave tiny negative values, kept as they
// are. Writes into out, reusing its storage.
void dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, mlx::matrix<double>& out);
mlx::matrix<double> dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y);
// The same with Y's squared row norms given (rowSquares(Y), which a learner keeps per level), so
// that a tracker step neither recomputes them nor allocates; the same bits as dist2(X, Y).
void dist2(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, const mlx::matrix<double>& ySquares,
           mlx::matrix<double>& out);

// The squared Euclidean norms of the rows of X (a column of X.rows() values).
mlx::matrix<double> rowSquares(const mlx::matrix<double>& X);

// Gaussian kernel of squared distances, in place: exp(-D / (width * width)).
void gaussian(mlx::matrix<double>& D, double width);

// a x b kernel matrix exp(-dist2(X, Y) / width^2).
mlx::matrix<double> sbl_kernelFunction(const mlx::matrix<double>& X, const mlx::matrix<double>& Y, double width);

// The width criterion: minus the standard deviation (divisor N - 1) of the column standard
// deviations of the N x N kernel matrix of the training rows. The distances do not depend on
// the width, so they are computed once, when the criterion is built.
class widthCriterium : public mlx::optimization::optimizableFunc<double, double> {
public:
    explicit widthCriterium(const mlx::matrix<double>& X);
    double operator()(double const& width) const override;
    // The N x N squared distances between the training rows.
    const mlx::matrix<double>& squaredDistances() const { return distances; }

private:
    mlx::matrix<double> distances;
    mutable mlx::matrix<double> column;  // one column of the Gram matrix
    mutable mlx::matrix<double> spread;  // the standard deviation of each column
};

// The width minimising the criterion on [0, 2 width0] by Brent's method from width0, with
// tolerances 2^-26 and 100 passes; a search that does not converge raises the minimiser's error.
double findWidth(const mlx::optimization::optimizableFunc<double, double>& f, double width0);
double findWidth(const mlx::matrix<double>& X, double width0);

// How a kernel learner finds a level's width: a layer above may evaluate the same criterion
// otherwise.
class widthSearch {
public:
    virtual ~widthSearch() = default;
    // The width for the training rows X (N x n) from width0, as findWidth(X, width0) finds it, and
    // the N x N squared distances between the rows into distances.
    virtual double find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) = 0;
};

// How the kernel method solves for a level's weights: a layer above may reach the same
// least-squares weights otherwise.
class weightSolve {
public:
    virtual ~weightSolve() = default;
    // The weights (M x p) for the kernel matrix gram (N x M) and the motions deltaP (N x p), as
    // pinvprod(gram, deltaP) gives them, into weights.
    virtual void solve(const mlx::matrix<double>& gram, const mlx::matrix<double>& deltaP,
                       mlx::matrix<double>& weights) = 0;
};

}  // namespace track::kernel

namespace track {

// What a layer above may change in the kernel learners; the defaults are the plain method.
struct kernelHooks : learningHooks {
    kernelHooks() = default;
    kernelHooks(const learningHooks& learning) : learningHooks(learning) {}
    kernel::widthSearch* search = nullptr;  // none: the learner's own search, kernels of their own distances
    kernel::weightSolve* solve = nullptr;   // none: the pseudo-inverse's weights (the kernel method)
};

}  // namespace track

#endif
