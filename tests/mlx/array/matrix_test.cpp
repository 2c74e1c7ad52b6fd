#include "mlx/mlx.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace mlx;

namespace {

// The message part of a toolkit report: after the tag and location lines.
template <class F>
std::string report_of(F&& f) {
    try {
        f();
    } catch (const tool::generalException& e) {
        return e.what();
    }
    return "no error";
}

std::string message_of(const std::string& report) {
    const auto first = report.find('\n');
    const auto second = report.find('\n', first + 1);
    return report.substr(second + 1);
}

}  // namespace

TEST(Matrix, StoresColumnByColumnWithZeroBasedLinearIndex) {
    matrix<double> a{{1, 2, 3}, {4, 5, 6}};
    ASSERT_EQ(a.rows(), 2u);
    ASSERT_EQ(a.cols(), 3u);
    const double expected[] = {1, 4, 2, 5, 3, 6};
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(a(k), expected[k]);
    EXPECT_EQ(ind2i(4, 2), 0u);
    EXPECT_EQ(ind2j(4, 2, 3), 2u);
    EXPECT_EQ(a(0, 2), a(4));
}

TEST(Matrix, ResizeKeepsLeadingElementsInStorageOrderAndZeroesTheRest) {
    matrix<double> a{{1, 2}, {3, 4}};
    a.resize(3, 2);
    const double grown[] = {1, 3, 2, 4, 0, 0};
    for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(a(k), grown[k]);
    a.resize(1, 1);
    EXPECT_EQ(a(0), 1.0);
    const double* block = a.data();
    a.resize(2, 3);  // shrinking kept the block; growing back within it reuses it
    EXPECT_EQ(a.data(), block);
    for (std::size_t k = 1; k < 6; ++k) EXPECT_EQ(a(k), 0.0) << k;
}

TEST(Matrix, FixedCapacityRefusesLargerShapesWithoutWriting) {
    matrix<double, 3> p(3, 1);
    p(0) = 1;
    testing::internal::CaptureStdout();
    const std::string report = report_of([&] { p.resize(2, 2); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "erreur alloc\n");
    EXPECT_EQ(report.rfind("<MLX Error>\nIn file mlx/array/storage.hpp at line #", 0), 0u) << report;
    EXPECT_NE(report.find("BadDimensions"), std::string::npos);
    EXPECT_EQ(p.size(), (shape{3, 1}));
    EXPECT_EQ(p(0), 1.0);
}

TEST(Matrix, ErrorReportsHaveTheirExactTexts) {
    matrix<double> twelve(1, 12);
    EXPECT_EQ(message_of(report_of([&] { reshape(twelve, 5, 2); })),
              "Numel of te reshape target: 10 is not equal to source numel: 12");
    EXPECT_EQ(message_of(report_of([] { static_cast<double>(matrix<double>(2, 1)); })),
              "Only singletons can be converted to scalar. Size was(2, 1)");
    matrix<double> a;
    const std::string null_report = report_of([&] { a.assign(nullptr, 2, 2); });
    EXPECT_EQ(message_of(null_report).rfind("Invalid memory pointer used in copy or reference :", 0), 0u);
    matrix<double> target(1, 4);
    matrix<int> idx{{0, 1}};
    EXPECT_EQ(message_of(report_of([&] { target(idx) = matrix<double>(3, 1); })),
              "In a(i) = b, the dimensions of b and i must be the same.\n They where (3, 1) and(1, 2)");
    EXPECT_EQ(report_of([&] { target(idx) = matrix<double>(3, 1); }).rfind("<MLX Error>\nIn file mlx/", 0), 0u);
}

TEST(Matrix, RangesSelectAndAssignBlocks) {
    matrix<int> a = reshape(iota(0, 11), 3, 4);
    matrix<int> rows01 = a(AllTo(1), All);
    EXPECT_EQ(rows01.size(), (shape{2, 4}));
    EXPECT_EQ(rows01(1, 3), 10);
    matrix<int> repeated = a(Repeat(2, 4), range(1));
    EXPECT_TRUE(isequal(repeated, matrix<int>{{5}, {5}, {5}, {5}}));
    matrix<int> last_but_one = a(range(0), AllTo(End - 1));
    EXPECT_EQ(last_but_one.cols(), 3u);
    a(range(1), All) = matrix<int>{{-1, -2, -3, -4}};
    EXPECT_EQ(a(1, 0), -1);
    EXPECT_EQ(a(1, 3), -4);
    EXPECT_EQ(a(0, 3), 9);
    a(range(0, 2, 2), range(0)) = 7;
    EXPECT_EQ(a(0, 0), 7);
    EXPECT_EQ(a(2, 0), 7);
    matrix<int> odd = a(range(1, 2, 3));
    EXPECT_TRUE(isequal(odd, matrix<int>{{-1}, {3}, {5}}));
}

TEST(Matrix, IndexMatrixAssignsInIndexOrder) {
    matrix<double> a(2, 3);
    a(matrix<unsigned>{{5, 0, 3}}) = matrix<double>{{1}, {2}, {3}};
    EXPECT_EQ(a(5), 1.0);
    EXPECT_EQ(a(0), 2.0);
    EXPECT_EQ(a(1, 1), 3.0);
    matrix<double> picked = a(matrix<unsigned>{{5, 0}});
    EXPECT_TRUE(isequal(picked, matrix<double>{{1, 2}}));
}
