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

// The kernel learners' width criterion evaluated on the distance matrix formed once per level,
// which dgemm forms exactly symmetric: each evaluation then takes the exponentials on and below
// the diagonal only, each column's spread reduced in the plain criterion's order, so that every
// value, and the width, is the plain search's bit for bit. A matrix that is not exactly symmetric
// is searched the plain way.
class symmetricWidthSearch : public kernel::widthSearch {
public:
    double find(const mlx::matrix<double>& X, double width0, mlx::matrix<double>& distances) override;

private:
    class criterion : public mlx::optimization::optimizableFunc<double, double> {
    public:
        criterion(const mlx::matrix<double>& distances, mlx::matrix<double>& kernel, mlx::matrix<double>& spreads)
            : D(distances), values(kernel), spread(spreads) {}
        double operator()(double const& width) const override;

    private:
        const mlx::matrix<double>& D;
        mlx::matrix<double>& values;  // the kernel on and below the diagonal
        mlx::matrix<double>& spread;
    };
    // Kept from level to level: the kernel matrix is the largest buffer of the search.
    mlx::matrix<double> values, spread;
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
