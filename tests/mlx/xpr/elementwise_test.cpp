#include "mlx/mlx.hpp"

#include <gtest/gtest.h>

#include "../alg/testing.hpp"

using namespace mlx;

TEST(Elementwise, ArithmeticWithMatricesAndValues) {
    matrix<double> a{{1, 2}, {3, 4}};
    matrix<double> b{{10, 20}, {30, 40}};
    EXPECT_TRUE(isequal(a + b, matrix<double>{{11, 22}, {33, 44}}));
    EXPECT_TRUE(isequal(b - a, matrix<double>{{9, 18}, {27, 36}}));
    EXPECT_TRUE(isequal(times(a, b), matrix<double>{{10, 40}, {90, 160}}));
    EXPECT_TRUE(isequal(rdivide(b, a), matrix<double>{{10, 10}, {10, 10}}));
    EXPECT_TRUE(isequal(2.0 * a - 1.0, matrix<double>{{1, 3}, {5, 7}}));
    EXPECT_TRUE(isequal(1.0 - a, matrix<double>{{0, -1}, {-2, -3}}));
    EXPECT_TRUE(isequal(-a / 2.0, matrix<double>{{-0.5, -1}, {-1.5, -2}}));
    EXPECT_TRUE(isequal(sq(a), matrix<double>{{1, 4}, {9, 16}}));
    EXPECT_TRUE(isequal(sqrt(sq(a)), a));
    EXPECT_TRUE(isequal(abs(-a), a));
}

TEST(Elementwise, ComparisonsAndWhereWithDifferentShapesASizeMismatchReport) {
    matrix<double> a{{1, 5}, {3, -2}};
    matrix<bool> big = a > 2.0;
    EXPECT_TRUE(isequal(big, matrix<bool>{{false, true}, {true, false}}));
    EXPECT_TRUE(isequal(a == 3.0, matrix<bool>{{false, false}, {true, false}}));
    EXPECT_TRUE(isequal(a != a, matrix<bool>(2, 2)));
    EXPECT_TRUE(isequal(where(big, a, -a), matrix<double>{{-1, 5}, {3, 2}}));
    EXPECT_TRUE(isequal(where(a < 0.0, 0.0, 1.0), matrix<double>{{1, 1}, {1, 0}}));
    const matrix<double> wide(2, 3);
    const std::string report = mlx::testing::report_of([&] { (void)(a + wide); });
    EXPECT_EQ(report.rfind("<XPR Error>\nIn file mlx/", 0), 0u) << report;
    EXPECT_NE(report.find("SizeMismatch: operands of shapes (2, 2) and (2, 3)"), std::string::npos) << report;
    EXPECT_THROW(where(a > 0.0, a, wide), tool::generalException);
}

TEST(Generate, ConstantsSequencesAndRearrangements) {
    EXPECT_TRUE(isequal(eye(2), matrix<double>{{1, 0}, {0, 1}}));
    EXPECT_TRUE(isequal(ones(1, 2), matrix<double>{{1, 1}}));
    EXPECT_TRUE(iota(3, 2).empty());
    EXPECT_TRUE(isequal(iota(2, 4), matrix<int>{{2, 3, 4}}));
    EXPECT_TRUE(isequal(linspace(0, 1, 5), matrix<double>{{0, 0.25, 0.5, 0.75, 1}}));
    matrix<int> a{{1, 2}, {3, 4}};
    EXPECT_TRUE(isequal(trans(a), matrix<int>{{1, 3}, {2, 4}}));
    EXPECT_TRUE(isequal(repmat(matrix<int>{{1, 2}}, 2, 2), matrix<int>{{1, 2, 1, 2}, {1, 2, 1, 2}}));
    EXPECT_TRUE(isequal(cat(2u, a, matrix<int>{{5}, {6}}), matrix<int>{{1, 2, 5}, {3, 4, 6}}));
    EXPECT_TRUE(isequal(cat(1u, a, matrix<int>{{5, 6}}), matrix<int>{{1, 2}, {3, 4}, {5, 6}}));
    EXPECT_THROW(cat(1u, a, matrix<int>{{5}}), tool::generalException);
    EXPECT_TRUE(isequal(fliplr(a), matrix<int>{{2, 1}, {4, 3}}));
    EXPECT_TRUE(isequal(flipud(a), matrix<int>{{3, 4}, {1, 2}}));
    EXPECT_TRUE(isequal(diag(a), matrix<int>{{1}, {4}}));
    EXPECT_TRUE(isequal(diag(matrix<int>{{7, 8}}), matrix<int>{{7, 0}, {0, 8}}));
}
