#ifndef MLX_ARRAY_AS_HINDEX_HPP
#define MLX_ARRAY_AS_HINDEX_HPP

#include <cstddef>

#include "mlx/array/matrix.hpp"

namespace mlx {

namespace detail {
// The levels of n points read from the column-major rows x cols image I, point m at
// (points[m * stride], points[m * stride + 1]), into out. lanes 4 takes the points four at a time
// where the CPU has AVX2, with the same arithmetic and so the same levels; 1 one at a time.
void as_hindex(const unsigned char* I, std::size_t rows, std::size_t cols, const double* points, std::size_t stride,
               std::size_t n, double* out, std::size_t lanes = 4);
}  // namespace detail

// Grey levels of image at real subscripts: point m is (points(0, m), points(1, m)). Bilinear
// interpolation in single precision, truncated to an integer level. A point on the last row or
// column counts its missing neighbours as 0; a point outside the image (or not finite) reads 0.
// Writes a 1 x n row into out, reusing its storage.
template <std::size_t C>
void as_hindex(const matrix<unsigned char>& image, const matrix<double, C>& points, matrix<double>& out) {
    const std::size_t n = points.cols();
    out.resize(1, n);
    if (n > 0) detail::as_hindex(image.data(), image.rows(), image.cols(), points.data(), points.rows(), n, out.data());
}

template <std::size_t C>
matrix<double> as_hindex(const matrix<unsigned char>& image, const matrix<double, C>& points) {
    matrix<double> out;
    as_hindex(image, points, out);
    return out;
}

}  // namespace mlx

#endif
