#include "mlx/array/as_hindex.hpp"
#include "mlx/xpr/elementwise.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace mlx;

// Bilinear interpolation truncated to grey levels; the last row and column count their missing
// neighbours as zero; points outside or not finite read zero.
TEST(AsHindex, SamplesInterpolateInsideAndReadZeroOutside) {
    // 4 x 3 image whose pixel (i, j) is given row by row (i along a line).
    matrix<unsigned char> im(4, 3);
    const unsigned char levels[3][4] = {{100, 51, 10, 200}, {0, 255, 30, 40}, {7, 9, 11, 13}};
    for (std::size_t j = 0; j < 3; ++j)
        for (std::size_t i = 0; i < 4; ++i) im(i, j) = levels[j][i];
    const double samples[][3] = {
        {0, 0, 100},   {0.5, 0, 75},   {1, 0.5, 153},    {0.5, 0.5, 101}, {0.25, 0, 87},  // 75.5, 101.5, 75 + 12.75
        {3, 0.5, 120}, {3, 2, 13},     {1.5, 2, 10},                                       // (200 + 40) / 2, (9 + 11) / 2
        {3 + 1e-9, 0, 0}, {-1e-9, 0, 0}, {0, 2 + 1e-9, 0}, {std::nan(""), 1, 0}, {1e300, 1, 0}, {-1e300, -1e300, 0},
    };
    for (const auto& s : samples) {
        const matrix<double> p{{s[0]}, {s[1]}, {1}};
        EXPECT_EQ(as_hindex(im, p)(0), s[2]) << s[0] << ", " << s[1];
    }
}

// Four points at a time give every level one at a time gives, inside, on the last row and column
// and outside, whatever the points around them.
TEST(AsHindex, TheVectorPathGivesTheLevelsOfThePlainOne) {
    matrix<unsigned char> im(37, 23);
    for (std::size_t k = 0; k < im.numel(); ++k) im(k) = static_cast<unsigned char>((k * 97 + k / 7) % 256);
    std::uint64_t s = 12345;
    const auto next = [&s] {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(s >> 11) * 0x1p-53;
    };
    matrix<double> points(3, 4099);
    for (std::size_t m = 0; m < points.cols(); ++m) {
        points(0, m) = -1.0 + 39.0 * next();
        points(1, m) = m % 5 == 0 ? 22.0 - next() : -1.0 + 25.0 * next();
        points(2, m) = 1.0;
    }
    std::vector<double> four(points.cols()), one(points.cols());
    detail::as_hindex(im.data(), im.rows(), im.cols(), points.data(), 3, points.cols(), four.data(), 4);
    detail::as_hindex(im.data(), im.rows(), im.cols(), points.data(), 3, points.cols(), one.data(), 1);
    std::size_t inside = 0;
    for (std::size_t m = 0; m < points.cols(); ++m) {
        EXPECT_EQ(four[m], one[m]) << points(0, m) << ", " << points(1, m);
        inside += one[m] != 0.0;
    }
    EXPECT_GT(inside, points.cols() / 2);
}
