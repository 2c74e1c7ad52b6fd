#include "mlx/geometry/homog.hpp"

#include <cmath>

#include "mlx/alg/zerosolve.hpp"

namespace mlx::geometry::detail {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;  // sqrt(2), the mean distance after normalisation

// Hartley normalisation of one point set (3 x n, column-major): A = the points divided by their
// last coordinate, centred on their centroid c and divided by s = mean distance / sqrt(2).
// T = [1/s 0 -c0/s; 0 1/s -c1/s; 0 0 1] maps the points onto A; Tinv is its inverse.
struct normalised {
    matrix<double> A;
    matrix<double, 9> T = matrix<double, 9>(3, 3);
    matrix<double, 9> Tinv = matrix<double, 9>(3, 3);
};

normalised hartley(const double* P, std::size_t n) {
    normalised r;
    r.A.assign(P, 3, n);
    normalize_h(r.A);
    double c0 = 0.0, c1 = 0.0;
    for (std::size_t p = 0; p < n; ++p) {
        c0 += r.A(0, p);
        c1 += r.A(1, p);
    }
    c0 /= static_cast<double>(n);
    c1 /= static_cast<double>(n);
    double dist = 0.0;
    for (std::size_t p = 0; p < n; ++p) {
        r.A(0, p) -= c0;
        r.A(1, p) -= c1;
        dist += std::sqrt(r.A(0, p) * r.A(0, p) + r.A(1, p) * r.A(1, p));
    }
    const double s = dist / static_cast<double>(n) / kSqrt2;
    for (std::size_t p = 0; p < n; ++p) {
        r.A(0, p) /= s;
        r.A(1, p) /= s;
    }
    r.T(0, 0) = r.T(1, 1) = 1.0 / s;
    r.T(0, 2) = -c0 / s;
    r.T(1, 2) = -c1 / s;
    r.T(2, 2) = 1.0;
    r.Tinv(0, 0) = r.Tinv(1, 1) = s;
    r.Tinv(0, 2) = c0;
    r.Tinv(1, 2) = c1;
    r.Tinv(2, 2) = 1.0;
    return r;
}

bool has_point_at_infinity(const double* P, std::size_t n) {
    for (std::size_t p = 0; p < n; ++p)
        if (P[3 * p + 2] == 0.0) return true;
    return false;
}

// The 2n x 9 system in the unknowns h = (H(0,0), H(0,1), H(0,2), H(1,0), ..., H(2,2)): row p is
// the x-equation and row n + p the y-equation of point p,
//   sum_c H(i,c) X(c,p) - Y(i,p) sum_c H(2,c) X(c,p) = 0.
matrix<double> system(const double* X, const double* Y, std::size_t n) {
    matrix<double> M(2 * n, 9);
    for (std::size_t i = 0; i < 2; ++i)
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t row = i * n + p;
            for (std::size_t c = 0; c < 3; ++c) {
                M(row, 3 * i + c) = X[3 * p + c];
                M(row, 6 + c) = -Y[3 * p + i] * X[3 * p + c];
            }
        }
    return M;
}

}  // namespace

void estimate(const double* X, const double* Y, std::size_t n, bool normalise, double* h) {
    const bool hartley_path = normalise && !has_point_at_infinity(X, n) && !has_point_at_infinity(Y, n);
    matrix<double, 9> H(3, 3);
    if (hartley_path) {
        const normalised nx = hartley(X, n);
        const normalised ny = hartley(Y, n);
        const matrix<double> v = zerosolve(system(nx.A.data(), ny.A.data(), n));
        for (std::size_t k = 0; k < 9; ++k) H(k / 3, k % 3) = v(k);
        matrix<double, 9> HT;
        prod(H, nx.T, HT);
        prod(ny.Tinv, HT, H);  // T_Y^-1 * H * T_X
    } else {
        const matrix<double> v = zerosolve(system(X, Y, n));
        for (std::size_t k = 0; k < 9; ++k) H(k / 3, k % 3) = v(k);
    }
    const double scale = H(2, 2);  // read once, so that H(2,2) becomes exactly 1
    for (std::size_t k = 0; k < 9; ++k) h[k] = H(k) / scale;
}

void bad_shape(const char* what, shape s) {
    MLX_RAISE(tool::checker::BadDimensions << ": " << what << " " << s);
}

}  // namespace mlx::geometry::detail
