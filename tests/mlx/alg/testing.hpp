#ifndef TESTS_MLX_ALG_TESTING_HPP
#define TESTS_MLX_ALG_TESTING_HPP

// Helpers shared by the toolkit's tests: tolerance tiers, seeded random matrices, norms, reports.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>

#include "mlx/array/generate.hpp"
#include "mlx/array/matrix.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"

namespace mlx::testing {

inline constexpr double kTight = 1e-12;
inline constexpr double kLoose = 1e-8;

// Uniform values in [-1, 1) from a fixed 64-bit LCG, identical on every platform.
class lcg {
public:
    explicit lcg(std::uint64_t seed) : s_(seed) {}
    double next() {
        s_ = s_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(s_ >> 11) * 0x1p-52 - 1.0;
    }

private:
    std::uint64_t s_;
};

inline matrix<double> random_matrix(std::size_t r, std::size_t c, std::uint64_t seed) {
    lcg g(seed);
    matrix<double> m(r, c);
    for (double& v : m) v = g.next();
    return m;
}

// Largest absolute element of a - b (shapes must agree; infinity when they do not).
template <std::size_t C1, std::size_t C2>
double max_diff(const matrix<double, C1>& a, const matrix<double, C2>& b) {
    if (a.size() != b.size()) return INFINITY;
    double d = 0.0;
    for (std::size_t k = 0; k < a.numel(); ++k) d = std::max(d, std::abs(a(k) - b(k)));
    return d;
}

// Plain triple-loop product, the independent reference for dgemm.
template <std::size_t C1, std::size_t C2>
matrix<double> naive_product(const matrix<double, C1>& a, const matrix<double, C2>& b) {
    matrix<double> out(a.rows(), b.cols());
    for (std::size_t i = 0; i < a.rows(); ++i)
        for (std::size_t j = 0; j < b.cols(); ++j) {
            double s = 0.0;
            for (std::size_t k = 0; k < a.cols(); ++k) s += a(i, k) * b(k, j);
            out(i, j) = s;
        }
    return out;
}

// The report of the toolkit error f raises, its line number left out (so "...at line #\nmessage"),
// or "no error".
template <class F>
std::string report_of(F&& f) {
    try {
        f();
    } catch (const tool::generalException& e) {
        std::string report = e.what();
        const auto at = report.find('#') + 1;
        std::size_t end = at;
        while (end < report.size() && std::isdigit(static_cast<unsigned char>(report[end]))) ++end;
        return report.erase(at, end - at);
    }
    return "no error";
}

}  // namespace mlx::testing

#endif
