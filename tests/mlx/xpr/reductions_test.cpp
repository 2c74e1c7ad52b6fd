#include "mlx/mlx.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace mlx;

namespace {
const matrix<double> square{{1, 2}, {3, 4}};
const matrix<double> row{{1, 2, 3, 4}};
const matrix<double> column{{1}, {2}, {3}, {4}};
}  // namespace

TEST(Reductions, SumsAndMeansAlongEachDimension) {
    EXPECT_EQ(sum(square), 10.0);
    EXPECT_TRUE(isequal(sum(square, 1), matrix<double>{{4, 6}}));
    EXPECT_TRUE(isequal(sum(square, 2), matrix<double>{{3}, {7}}));
    EXPECT_TRUE(isequal(mean(square, 1), matrix<double>{{2, 3}}));
    EXPECT_TRUE(isequal(mean(square, 2), matrix<double>{{1.5}, {3.5}}));
    EXPECT_TRUE(isequal(mean(square, 0), matrix<double>{{2.5}}));
    EXPECT_EQ(globalMean(matrix<unsigned char>{{0, 255}}), 127.5);
    EXPECT_TRUE(std::isnan(globalMean(matrix<double>())));
    EXPECT_THROW(sum(square, 3), tool::generalException);
}

TEST(Reductions, VarianceDivisorsAndDimensionZeroRule) {
    EXPECT_EQ(static_cast<double>(var(row, false, 2)), 1.6666666666666667);
    EXPECT_EQ(static_cast<double>(var(row, true, 2)), 1.25);
    EXPECT_EQ(static_cast<double>(stdev(row, false, 2)), std::sqrt(5.0 / 3.0));
    EXPECT_TRUE(isequal(var(row, false, 0), var(row, false, 2)));
    EXPECT_TRUE(isequal(var(column, false, 0), var(column, false, 1)));
    EXPECT_EQ(var(column, false, 0).size(), (shape{1, 1}));
    // mean with dim 0 reduces everything, var with dim 0 only the first non-singleton dimension.
    EXPECT_TRUE(isequal(var(square, false, 0), matrix<double>{{2, 2}}));
    EXPECT_TRUE(isequal(var(square, false, 2), matrix<double>{{0.5}, {0.5}}));
    // One element: the unbiased divisor is 0.
    EXPECT_TRUE(std::isnan(static_cast<double>(var(matrix<double>{{5}}, false, 0))));
}

TEST(Reductions, IndmaxTakesTheFirstOfTiesAndSkipsNaN) {
    EXPECT_EQ(static_cast<std::size_t>(indmax(matrix<double>{{3, 7, 7, 1}})), 1u);
    EXPECT_TRUE(isequal(indmax(matrix<double>{{1, 9}, {5, 2}, {0, 9}}), matrix<std::size_t>{{1, 0}}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(static_cast<std::size_t>(indmax(matrix<double>{{nan, 2, nan, 3}})), 3u);
    EXPECT_EQ(static_cast<std::size_t>(indmax(matrix<double>{{nan, nan}})), 0u);
    EXPECT_EQ(static_cast<std::size_t>(indmax(matrix<double>{{-inf, -inf, -inf}})), 0u);
    EXPECT_EQ(static_cast<std::size_t>(indmax(matrix<double>{{-inf, inf}})), 1u);
}
