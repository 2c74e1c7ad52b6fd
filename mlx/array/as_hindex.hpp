#ifndef MLX_ARRAY_AS_HINDEX_HPP
#define MLX_ARRAY_AS_HINDEX_HPP

#include <cstddef>
#include <cstdint>

#include "mlx/array/matrix.hpp"

namespace mlx {

// Grey levels of image at real subscripts: point m is (points(0, m), points(1, m)). Bilinear
// interpolation in single precision, truncated to an integer level. A point on the last row or
// column counts its missing neighbours as 0; a point outside the image (or not finite) reads 0.
// Writes a 1 x n row into out, reusing its storage.
template <std::size_t C>
void as_hindex(const matrix<unsigned char>& image, const matrix<double, C>& points, matrix<double>& out) {
    const std::size_t n = points.cols();
    out.resize(1, n);
    const double last_i = static_cast<double>(image.rows()) - 1.0;
    const double last_j = static_cast<double>(image.cols()) - 1.0;
    const std::size_t W = image.rows();
    const unsigned char* I = image.data();
    for (std::size_t m = 0; m < n; ++m) {
        const double i = points(0, m);
        const double j = points(1, m);
        if (!(i >= 0.0 && i <= last_i && j >= 0.0 && j <= last_j)) {
            out(m) = 0.0;
            continue;
        }
        // Signed conversions: one instruction each, where unsigned ones test for the top bit; the
        // subscripts are small and not negative, so the values are the same.
        const auto i0 = static_cast<std::int64_t>(i);
        const auto j0 = static_cast<std::int64_t>(j);
        const float a = static_cast<float>(i - static_cast<double>(i0));
        const float b = static_cast<float>(j - static_cast<double>(j0));
        const unsigned char* p = I + static_cast<std::size_t>(i0) + W * static_cast<std::size_t>(j0);
        float v10, v01, v11;
        if (i < last_i && j < last_j) {
            v10 = p[1];
            v01 = p[W];
            v11 = p[W + 1];
        } else {
            const bool inner_i = i < last_i, inner_j = j < last_j;
            v10 = inner_i ? p[1] : 0.0f;
            v01 = inner_j ? p[W] : 0.0f;
            v11 = inner_i && inner_j ? p[W + 1] : 0.0f;
        }
        const float v00 = p[0];
        const float v = (1.0f - a) * (1.0f - b) * v00 + a * (1.0f - b) * v10 + (1.0f - a) * b * v01 + a * b * v11;
        out(m) = static_cast<double>(static_cast<int>(v));
    }
}

template <std::size_t C>
matrix<double> as_hindex(const matrix<unsigned char>& image, const matrix<double, C>& points) {
    matrix<double> out;
    as_hindex(image, points, out);
    return out;
}

}  // namespace mlx

#endif
