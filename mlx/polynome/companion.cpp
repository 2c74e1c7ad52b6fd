#include "mlx/polynome/companion.hpp"

#include <algorithm>
#include <cmath>

#include "mlx/tool/exception.hpp"

namespace mlx::polynomes {

namespace {

// 2^-52: below this fraction of its diagonal neighbours a subdiagonal element counts as zero.
constexpr double negligible = 2.220446049250313e-16;
constexpr int max_iterations = 160;

void require_square(const matrix<double>& A, const char* what) {
    if (A.rows() != A.cols())
        MLX_RAISE(tool::checker::BadDimensions << ": " << what << " of a non-square matrix " << A.size());
}

}  // namespace

matrix<double> compan(const matrix<double>& p) {
    const std::size_t first = static_cast<std::size_t>(
        std::find_if(p.begin(), p.end(), [](double c) { return c != 0.0; }) - p.begin());
    const std::size_t n = first == p.numel() ? 0 : p.numel() - first - 1;
    matrix<double> A(n, n);
    const double lead = p.numel() > first ? p(first) : 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 < n) A(i + 1, i) = 1.0;
        A(i, n - 1) = -p(p.numel() - 1 - i) / lead;
    }
    return A;
}

bool balance_companion(matrix<double>& A) {
    require_square(A, "balance_companion");
    const std::size_t n = A.rows();
    bool changed = true;
    while (changed) {
        changed = false;
        for (std::size_t i = 0; i < n; ++i) {
            double c = 0.0;
            if (i < n - 1) {
                c = std::abs(A(i + 1, i));
            } else {
                for (std::size_t j = 0; j + 1 < n; ++j) c += std::abs(A(j, n - 1));
            }
            double r = 0.0;
            if (i == 0)
                r = std::abs(A(0, n - 1));
            else if (i == n - 1)
                r = std::abs(A(n - 1, n - 2));
            else
                r = std::abs(A(i, n - 1)) + std::abs(A(i, i - 1));
            // A non-finite norm would keep the scaling loops below from ever ending.
            if (c == 0.0 || r == 0.0 || !std::isfinite(c) || !std::isfinite(r)) continue;

            const double s = c + r;
            double f = 1.0;
            while (c < r / 2.0) {
                c *= 4.0;
                f *= 2.0;
            }
            while (c > 2.0 * r) {
                c /= 4.0;
                f /= 2.0;
            }
            if (c + r < 0.95 * s * f) {
                changed = true;
                const double g = 1.0 / f;
                if (i == 0) {
                    A(0, n - 1) *= g;
                } else {
                    A(i, i - 1) *= g;
                    A(i, n - 1) *= g;
                }
                if (i == n - 1) {
                    for (std::size_t j = 0; j < n; ++j) A(j, i) *= f;
                } else {
                    A(i + 1, i) *= f;
                }
            }
        }
    }
    return true;
}

matrix<std::complex<double>> qr_companion(matrix<double>& A) {
    require_square(A, "qr_companion");
    const int n = static_cast<int>(A.rows());
    matrix<std::complex<double>> roots(static_cast<std::size_t>(n), 1);
    auto a = [&A](int i, int j) -> double& { return A(static_cast<std::size_t>(i), static_cast<std::size_t>(j)); };
    auto store = [&roots](int k, double re, double im) { roots(static_cast<std::size_t>(k)) = {re, im}; };

    double t = 0.0;
    int its = 0;
    int e = n - 1;
    while (e >= 0) {
        int l = e;
        while (l > 0 && !(std::abs(a(l, l - 1)) <= negligible * (std::abs(a(l - 1, l - 1)) + std::abs(a(l, l)))))
            --l;

        double x = a(e, e);
        if (l == e) {
            store(e, x + t, 0.0);
            e -= 1;
            its = 0;
            continue;
        }
        double y = a(e - 1, e - 1);
        double w = a(e, e - 1) * a(e - 1, e);
        if (l == e - 1) {
            double p = (y - x) / 2.0;
            double q = p * p + w;
            double z = std::sqrt(std::abs(q));
            x += t;
            if (q <= 0.0) {
                store(e, x + p, -z);
                store(e - 1, x + p, z);
            } else {
                z = p >= 0.0 ? p + z : p - z;
                store(e, x - w / z, 0.0);
                store(e - 1, x + z, 0.0);
            }
            e -= 2;
            its = 0;
            continue;
        }

        if (its == max_iterations)
            MLX_RAISE("process not converging after " << max_iterations << " iterations");
        if (its != 0 && its % 10 == 0) {
            // Exceptional shift, breaking the cycles that the Francis shift can fall into.
            t += x;
            for (int i = 0; i <= e; ++i) a(i, i) -= x;
            const double s = std::abs(a(e, e - 1)) + std::abs(a(e - 1, e - 2));
            x = y = 0.75 * s;
            w = -0.4375 * s * s;
        }
        ++its;

        // Start the double-shift sweep below two consecutive small subdiagonal elements.
        int m = e - 2;
        double p = 0.0;
        double q = 0.0;
        double r = 0.0;
        for (;; --m) {
            const double z = a(m, m);
            r = x - z;
            double s = y - z;
            p = (r * s - w) / a(m + 1, m) + a(m, m + 1);
            q = a(m + 1, m + 1) - z - r - s;
            r = a(m + 2, m + 1);
            s = std::abs(p) + std::abs(q) + std::abs(r);
            p /= s;
            q /= s;
            r /= s;
            if (m == l) break;
            const double u = std::abs(a(m, m - 1)) * (std::abs(q) + std::abs(r));
            const double v = std::abs(p) * (std::abs(a(m - 1, m - 1)) + std::abs(z) + std::abs(a(m + 1, m + 1)));
            if (u <= negligible * v) break;
        }
        for (int i = m + 2; i <= e; ++i) {
            a(i, i - 2) = 0.0;
            if (i != m + 2) a(i, i - 3) = 0.0;
        }

        for (int k = m; k <= e - 1; ++k) {
            if (k != m) {
                p = a(k, k - 1);
                q = a(k + 1, k - 1);
                r = k != e - 1 ? a(k + 2, k - 1) : 0.0;
                x = std::abs(p) + std::abs(q) + std::abs(r);
                if (x != 0.0) {
                    p /= x;
                    q /= x;
                    r /= x;
                }
            }
            const double norm = std::sqrt(p * p + q * q + r * r);
            const double s = p >= 0.0 ? norm : -norm;
            if (s == 0.0) continue;
            if (k == m) {
                if (l != m) a(k, k - 1) = -a(k, k - 1);
            } else {
                a(k, k - 1) = -s * x;
            }
            p += s;
            x = p / s;
            y = q / s;
            const double z = r / s;
            q /= p;
            r /= p;
            for (int j = k; j <= e; ++j) {
                double h = a(k, j) + q * a(k + 1, j);
                if (k != e - 1) {
                    h += r * a(k + 2, j);
                    a(k + 2, j) -= h * z;
                }
                a(k + 1, j) -= h * y;
                a(k, j) -= h * x;
            }
            for (int i = l; i <= std::min(e, k + 3); ++i) {
                double h = x * a(i, k) + y * a(i, k + 1);
                if (k != e - 1) {
                    h += z * a(i, k + 2);
                    a(i, k + 2) -= h * r;
                }
                a(i, k + 1) -= h * q;
                a(i, k) -= h;
            }
        }
    }
    return roots;
}

}  // namespace mlx::polynomes
