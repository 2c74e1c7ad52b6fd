#ifndef TRACKER_COMPONENTS_FAST_LEARNING_HPP
#define TRACKER_COMPONENTS_FAST_LEARNING_HPP

#include <vector>

#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
#include "mlx/optimization/base_brent.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/kernel.hpp"

namespace track {

// "fastlearn": learning's fast paths, each giving the plain method's models to 1e-9 relative.

// jd's ridge fit as the solution of the normal equations, through the Cholesky factor of the
// regularised Gram matrix, where that matrix is conditioned well enough for the factor to give
// the SVD's model; the SVD's fit elsewhere.
class choleskyFit : public levelFit {
public:
    // eps / 1e-5 = 2e-11: the factor's model then matches the SVD's to 1e-9 with room to spare.
    static constexpr double rcondFloor = 1e-5;

    void fit(unsigned k, const mlx::matrix<double>& deltaI, const mlx::matrix<double>& deltaP, double ridge,
             mlx::matrix<double>& model) override;
};

// The training perturbations' transforms in closed form, where the plain way solves for each:
// equal to its to a few units in the last place, far below what moves a sample's grey level.
class closedFormMoves : public perturbationMap {
public:
    mlx::geometry::homog operator()(const mlx::matrix<double, 12>& moved) const override {
        return mlx::geometry::unitSquareTo(moved);
    }
};

// The kernel learners' width criterion on the distance matrix formed once per level, of which it
// reads the triangle on and below the diagonal: each evaluation takes half the exponentials, by
// the toolkit's vectorised exp (within an ulp of the C library's), and reduces every column's
// spread in two passes over that triangle, a value below the diagonal counting for its row's
// column as well as its own. Its values are the plain criterion's to a few ulps, and the width
// it finds lies within the search's tolerance of the plain search's.
class symmetricWidthSearch : public kernel::widthSearch {
public:
    double find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) override;

    // The criterion on the distances D, in buffers of the search's.
    class criterion : public mlx::optimization::optimizableFunc<double, double> {
    public:
        criterion(const mlx::matrix<double>& D, symmetricWidthSearch& buffers) : D(D), buffers(buffers) {}
        double operator()(double const& width) const override;

    private:
        const mlx::matrix<double>& D;
        symmetricWidthSearch& buffers;
    };

private:
    // Kept from level to level: the kernel's triangle packed column by column, the columns' means
    // and spreads.
    mlx::matrix<double> values, means, spreads;
};

// The kernel method's weights as the least-squares solution of the normal equations, through
// the Cholesky factor of gram' gram, refined on the residual (each step multiplies the error by
// about eps / rcond) until rounding stops it. Where that matrix's reciprocal condition
// number is at least 1e-12, gram's is above 1e-6, far from the pseudo-inverse's cut-off
// (max(N, M) eps(s0), 1.8e-13 s0 at 800 x 200): both give the same minimiser. Elsewhere the
// pseudo-inverse's weights.
class refinedWeights : public kernel::weightSolve {
public:
    static constexpr double rcondFloor = 1e-12;
    static constexpr unsigned maxSteps = 6;

    void solve(const mlx::matrix<double>& gram, const mlx::matrix<double>& deltaP,
               mlx::matrix<double>& weights) override;
};

// The relevance vector machine's iterations evaluate a basis function out of the model only
// where a bound of its change reaches the largest change found: per output, the likelihood term
// log(c / (c + s)) + q^2 / (c + s) peaks at q^2 / s - 1 - log(q^2 / s) where q^2 > s, and never
// passes 0 elsewhere, so their sum bounds the shared alpha's change. The basis functions are
// evaluated by decreasing bound, those in the model first; the best change, and so the model, is
// the plain search's.
class relevanceScreen : public changeScreen {
public:
    void visit(std::size_t n, const std::function<double(std::size_t, AppRVM::factors&, AppRVM::factors&)>& factorsOf,
               const std::function<double(std::size_t)>& change) override;

private:
    std::vector<double> bounds;
    std::vector<std::size_t> order;
};

}  // namespace track

#endif
