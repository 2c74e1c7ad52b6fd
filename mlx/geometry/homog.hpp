#ifndef MLX_GEOMETRY_HOMOG_HPP
#define MLX_GEOMETRY_HOMOG_HPP

// Plane projective transforms and homogeneous points. Points are the columns
// (x, y, w) of 3 x n matrices of double. A transform is a 3 x 3 matrix in fixed storage of nine
// values (column-major), so copying, scaling and composing transforms never allocates.

#include <cmath>
#include <cstddef>

#include "mlx/alg/product.hpp"
#include "mlx/array/matrix.hpp"
#include "mlx/tool/exception.hpp"

namespace mlx::geometry {

namespace detail {
// h (nine values, column-major 3 x 3) = the homography mapping the n points of X onto those of
// Y (both 3 x n, column-major), scaled so that h(2,2) = 1. Defined in homog.cpp.
void estimate(const double* X, const double* Y, std::size_t n, bool normalise, double* h);
[[noreturn]] void bad_shape(const char* what, shape s);
// h (nine values, column-major) = the transform of the unit square onto the four points of Y
// (3 x 4, column-major, last row 1), h(2,2) = 1. Defined in homog.cpp.
void unit_square_to(const double* Y, double* h);
}  // namespace detail

// Divides every element of each column of P by that column's last element, in place; returns P.
// A column whose last element is 0 becomes non-finite; no error is raised.
template <class T, std::size_t C>
matrix<T, C>& normalize_h(matrix<T, C>& P) {
    if (P.rows() == 0) return P;
    if (P.rows() == 3) {
        // The plane's points: w / w is exactly 1 whenever w is finite and not 0, so that division,
        // a third of the work, is only made where it gives NaN.
        T* p = P.data();
        for (std::size_t j = 0; j < P.cols(); ++j, p += 3) {
            const T w = p[2];
            p[0] /= w;
            p[1] /= w;
            p[2] = std::isfinite(w) && w != T(0) ? T(1) : w / w;
        }
        return P;
    }
    const std::size_t last = P.rows() - 1;
    for (std::size_t j = 0; j < P.cols(); ++j) {
        const T w = P(last, j);
        for (std::size_t i = 0; i <= last; ++i) P(i, j) /= w;
    }
    return P;
}

// A 3 x 3 projective transform of the plane.
class homog {
public:
    // The identity.
    homog() {
        for (std::size_t i = 0; i < 3; ++i) h_(i, i) = 1.0;
    }

    // A copy of the 3 x 3 matrix M (another shape raises BadDimensions).
    template <std::size_t C>
    explicit homog(const matrix<double, C>& M) {
        *this = M;
    }

    // The transform H with H * X(:, p) ~ Y(:, p) for every point p (equal up to a scale per
    // point), X and Y 3 x n with n >= 4 (else BadDimensions), scaled so that H(2,2) = 1 exactly. With `normalise` and
    // no point at infinity (last coordinate 0) in X or Y, both sets are first Hartley-normalised
    // (centroid to the origin, mean distance sqrt(2)); otherwise the direct path is taken. The
    // null vector of the 2n x 9 system is taken by zerosolve. Degenerate correspondences are not
    // reported: one null vector is returned, and a zero H(2,2) gives non-finite values.
    template <std::size_t C1, std::size_t C2>
    homog(const matrix<double, C1>& X, const matrix<double, C2>& Y, bool normalise) : h_(3, 3) {
        if (X.rows() != 3) detail::bad_shape("homography from points X of shape", X.size());
        if (Y.size() != X.size()) detail::bad_shape("homography from points Y of shape", Y.size());
        if (X.cols() < 4) detail::bad_shape("homography from fewer than 4 points:", X.size());
        detail::estimate(X.data(), Y.data(), X.cols(), normalise, h_.data());
    }

    template <std::size_t C>
    homog& operator=(const matrix<double, C>& M) {
        if (M.rows() != 3 || M.cols() != 3) detail::bad_shape("homography from a matrix of shape", M.size());
        h_ = M;
        return *this;
    }

    double& operator()(std::size_t i, std::size_t j) noexcept { return h_(i, j); }
    double operator()(std::size_t i, std::size_t j) const noexcept { return h_(i, j); }
    const matrix<double, 9>& mat() const noexcept { return h_; }

    // H * P (3 x n) by the toolkit's product; the third row is not normalised.
    template <std::size_t C>
    matrix<double, C> applyto(const matrix<double, C>& P) const {
        matrix<double, C> out;
        applyto(P, out);
        return out;
    }
    // H * P into the caller's out (no allocation when out's capacity suffices; out is not P).
    template <std::size_t C, std::size_t C2>
    void applyto(const matrix<double, C>& P, matrix<double, C2>& out) const {
        if (P.rows() != 3 && !P.empty()) detail::bad_shape("homography applied to points of shape", P.size());
        // Three dot products of three per point: a BLAS call costs more than the arithmetic.
        out.resize(3, P.cols());
        const double* h = h_.data();
        const double* p = P.data();
        double* o = out.data();
        for (std::size_t j = 0; j < P.cols(); ++j, p += 3, o += 3)
            for (std::size_t i = 0; i < 3; ++i) o[i] = h[i] * p[0] + h[i + 3] * p[1] + h[i + 6] * p[2];
    }

    // Divides the nine values by s.
    homog& operator/=(double s) noexcept {
        for (double& v : h_) v /= s;
        return *this;
    }

private:
    matrix<double, 9> h_ = matrix<double, 9>(3, 3);
};

// H1 * H2: the transform applying H2 first, then H1 (dgemm into fixed storage).
inline homog operator*(const homog& H1, const homog& H2) {
    matrix<double, 9> out;
    prod(H1.mat(), H2.mat(), out);
    return homog(out);
}

// The transform mapping the unit square's corners (0, 0), (1, 0), (1, 1), (0, 1) onto the four
// columns of corners (3 x 4, last row 1), in closed form, scaled so that H(2,2) = 1: a few dozen
// operations where the general estimate solves a system. Corners three of which are collinear give
// non-finite values; nothing is raised.
template <std::size_t C>
homog unitSquareTo(const matrix<double, C>& corners) {
    if (corners.rows() != 3 || corners.cols() != 4)
        detail::bad_shape("unit square mapped onto corners of shape", corners.size());
    homog H;
    detail::unit_square_to(corners.data(), &H(0, 0));
    return H;
}

// H * P for a 3 x n point set P: the same as H.applyto(P).
template <std::size_t C>
matrix<double, C> operator*(const homog& H, const matrix<double, C>& P) {
    return H.applyto(P);
}

// The tracker-side holder of the current transform: the same 3 x 3 fixed storage, built from a
// 3 x 3 matrix, assigned from a homog by copying the nine values, and usable wherever a homog
// is (products with transforms and point sets).
class homography : public homog {
public:
    homography() = default;
    homography(const homog& H) : homog(H) {}
    template <std::size_t C>
    explicit homography(const matrix<double, C>& M) : homog(M) {}
    homography& operator=(const homog& H) {
        homog::operator=(H);
        return *this;
    }
    template <std::size_t C>
    homography& operator=(const matrix<double, C>& M) {
        homog::operator=(M);
        return *this;
    }
};

}  // namespace mlx::geometry

#endif
