#include "mlx/optimization/base_brent.hpp"

#include <cmath>

#include "mlx/tool/exception.hpp"

namespace mlx::optimization {

namespace {

// (3 - sqrt(5)) / 2: the golden-section fraction of the larger part of the bracket.
constexpr double golden = 0.3819660112501051;

// 0 for 0, so that a zero step evaluates x again rather than stepping by +tol1.
double sgn(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }

}  // namespace

double base_brent(const optimizableFunc<double, double>& f, double a, double b, double x0,
                  double rtol, double atol, unsigned max_passes) {
    // Written as negations so that a NaN bound or start point is refused too.
    if (!(a <= x0 && x0 <= b))
        MLX_RAISE(tool::checker::BadDimensions << ": Brent start point " << x0
                                               << " outside the interval [" << a << ", " << b << "]");

    double d = 0.0;
    double e = 0.0;
    double x = x0;
    double w = x0;
    double v = x0;
    double fx = f(x0);
    double fw = fx;
    double fv = fx;

    for (unsigned pass = 1; pass <= max_passes; ++pass) {
        const double xm = (a + b) * 0.5;
        const double tol1 = std::abs(x) * rtol + atol;
        const double tol2 = 2.0 * tol1;
        if (std::abs(x - xm) <= tol2 - (b - a) * 0.5) return x;

        bool parabolic = false;
        if (std::abs(e) > tol1) {
            double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::abs(q);
            const double etemp = e;
            e = d;
            if (!(std::abs(p) >= std::abs(0.5 * q * etemp) || p <= q * (a - x) || p >= q * (b - x))) {
                d = p / q;
                const double u = x + d;
                if (u - a < tol2 || b - u < tol2) d = sgn(xm - x) * tol1;
                parabolic = true;
            }
        }
        if (!parabolic) {
            e = x >= xm ? a - x : b - x;
            d = golden * e;
        }

        const double u = std::abs(d) >= tol1 ? x + d : x + sgn(d) * tol1;
        const double fu = f(u);

        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    MLX_RAISE("process not converging after " << max_passes + 1 << " iterations");
}

}  // namespace mlx::optimization
