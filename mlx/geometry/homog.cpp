#include "mlx/geometry/homog.hpp"

#include <cmath>

#include "mlx/alg/nullvector.hpp"
#include "mlx/alg/zerosolve.hpp"

namespace mlx::geometry::detail {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;  // sqrt(2), the mean distance after normalisation

// Hartley normalisation of one point set (3 x n, column-major): A = the points divided by their
// last coordinate, centred on their centroid c and divided by s = mean distance / sqrt(2).
// T = [1/s 0 -c0/s; 0 1/s -c1/s; 0 0 1] maps the points onto A; Tinv is its inverse. C is the
// capacity of A: fixed for four points, so the tracker's per-step homography stays off the heap.
template <std::size_t C>
struct normalised {
    matrix<double, C> A;
    matrix<double, 9> T = matrix<double, 9>(3, 3);
    matrix<double, 9> Tinv = matrix<double, 9>(3, 3);
};

template <std::size_t C>
normalised<C> hartley(const double* P, std::size_t n) {
    normalised<C> r;
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
template <std::size_t C>
matrix<double, C> system(const double* X, const double* Y, std::size_t n) {
    matrix<double, C> M(2 * n, 9);
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

// H = TYinv * N * TX for the row-major null vector n of N. Both T have the form [a 0 b; 0 a c; 0 0 1],
// so the two 3 x 3 products reduce to scalings and one combination of columns, then of rows: a
// dgemm call per product would cost more than the arithmetic.
void denormalise(const double* n, const matrix<double, 9>& TX, const matrix<double, 9>& TYinv, matrix<double, 9>& H) {
    double NT[9];  // N * TX, row-major
    for (std::size_t i = 0; i < 3; ++i) {
        const double* r = n + 3 * i;
        NT[3 * i] = r[0] * TX(0, 0);
        NT[3 * i + 1] = r[1] * TX(1, 1);
        NT[3 * i + 2] = r[0] * TX(0, 2) + r[1] * TX(1, 2) + r[2];
    }
    for (std::size_t j = 0; j < 3; ++j) {
        H(0, j) = TYinv(0, 0) * NT[j] + TYinv(0, 2) * NT[6 + j];
        H(1, j) = TYinv(1, 1) * NT[3 + j] + TYinv(1, 2) * NT[6 + j];
        H(2, j) = NT[6 + j];
    }
}

// The unit h minimising the system's residual. Four pairs give 8 independent equations in 9
// unknowns: h is their null vector, which the QR factorisation of the transpose gives for a fifth
// of the cost of the SVD (the sign and scale of h are divided out below).
template <std::size_t CS>
void solve(const matrix<double, CS>& M, std::size_t n, double* h) {
    if (n == 4)
        nullvector(M, h);
    else
        zerosolve(M, h);
}

// CP holds a 3 x n point set, CS the 2n x 9 system.
template <std::size_t CP, std::size_t CS>
void estimate_with(const double* X, const double* Y, std::size_t n, bool normalise, double* h) {
    const bool hartley_path = normalise && !has_point_at_infinity(X, n) && !has_point_at_infinity(Y, n);
    matrix<double, 9> H(3, 3);
    double v[9];
    if (hartley_path) {
        const normalised<CP> nx = hartley<CP>(X, n);
        const normalised<CP> ny = hartley<CP>(Y, n);
        solve(system<CS>(nx.A.data(), ny.A.data(), n), n, v);
        denormalise(v, nx.T, ny.Tinv, H);
    } else {
        solve(system<CS>(X, Y, n), n, v);
        for (std::size_t k = 0; k < 9; ++k) H(k / 3, k % 3) = v[k];
    }
    const double scale = H(2, 2);  // read once, so that H(2,2) becomes exactly 1
    for (std::size_t k = 0; k < 9; ++k) h[k] = H(k) / scale;
}

}  // namespace

void estimate(const double* X, const double* Y, std::size_t n, bool normalise, double* h) {
    if (n == 4)
        estimate_with<12, 72>(X, Y, n, normalise, h);
    else
        estimate_with<dynamic, dynamic>(X, Y, n, normalise, h);
}

void unit_square_to(const double* Y, double* h) {
    const double x0 = Y[0], y0 = Y[1], x1 = Y[3], y1 = Y[4], x2 = Y[6], y2 = Y[7], x3 = Y[9], y3 = Y[10];
    // The projective terms g, h from the quad's departure from a parallelogram.
    const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double den = dx1 * dy2 - dx2 * dy1;
    const double g = (sx * dy2 - dx2 * sy) / den;
    const double k = (dx1 * sy - sx * dy1) / den;
    h[0] = x1 - x0 + g * x1;
    h[1] = y1 - y0 + g * y1;
    h[2] = g;
    h[3] = x3 - x0 + k * x3;
    h[4] = y3 - y0 + k * y3;
    h[5] = k;
    h[6] = x0;
    h[7] = y0;
    h[8] = 1.0;
}

void bad_shape(const char* what, shape s) {
    MLX_RAISE(tool::checker::BadDimensions << ": " << what << " " << s);
}

}  // namespace mlx::geometry::detail
