#include "mlx/array/as_hindex.hpp"
#include "mlx/xpr/elementwise.hpp"

#include <gtest/gtest.h>

using namespace mlx;

namespace {

// 4 x 3 image whose pixel (i, j) is given row by row of the initializer (i along a line).
matrix<unsigned char> image4x3() {
    matrix<unsigned char> im(4, 3);
    const unsigned char levels[3][4] = {{100, 51, 10, 200}, {0, 255, 30, 40}, {7, 9, 11, 13}};
    for (std::size_t j = 0; j < 3; ++j)
        for (std::size_t i = 0; i < 4; ++i) im(i, j) = levels[j][i];
    return im;
}

double sample(const matrix<unsigned char>& im, double i, double j) {
    matrix<double> p{{i}, {j}, {1}};
    return as_hindex(im, p)(0);
}

}  // namespace

TEST(AsHindex, InteriorPointsInterpolateAndTruncateToGreyLevels) {
    const auto im = image4x3();
    EXPECT_EQ(sample(im, 0, 0), 100.0);
    EXPECT_EQ(sample(im, 0.5, 0), 75.0);  // (100 + 51) / 2 = 75.5
    EXPECT_EQ(sample(im, 1, 0.5), 153.0);  // (51 + 255) / 2
    EXPECT_EQ(sample(im, 0.5, 0.5), 101.0);  // (100 + 51 + 0 + 255) / 4 = 101.5
    EXPECT_EQ(sample(im, 0.25, 0), 87.0);  // 75 + 12.75
}

TEST(AsHindex, LastRowAndColumnCountMissingNeighboursAsZero) {
    const auto im = image4x3();
    EXPECT_EQ(sample(im, 3, 0.5), 120.0);  // (200 + 40) / 2 on the last column
    EXPECT_EQ(sample(im, 3, 2), 13.0);     // the last pixel itself
    EXPECT_EQ(sample(im, 1.5, 2), 10.0);   // (9 + 11) / 2 on the last row
}

TEST(AsHindex, PointsOutsideOrNotFiniteReadZero) {
    const auto im = image4x3();
    EXPECT_EQ(sample(im, 3 + 1e-9, 0), 0.0);
    EXPECT_EQ(sample(im, -1e-9, 0), 0.0);
    EXPECT_EQ(sample(im, 0, 2 + 1e-9), 0.0);
    EXPECT_EQ(sample(im, std::nan(""), 1), 0.0);
    EXPECT_EQ(sample(im, 1e300, 1), 0.0);
    EXPECT_EQ(sample(im, -1e300, -1e300), 0.0);
}

