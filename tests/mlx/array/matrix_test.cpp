#include "mlx/mlx.hpp"

#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "../alg/testing.hpp"

using namespace mlx;
using mlx::testing::report_of;

TEST(Matrix, StoresColumnByColumnAndResizesInStorageOrder) {
    matrix<double> a{{1, 2, 3}, {4, 5, 6}};
    ASSERT_EQ(a.size(), (shape{2, 3}));
    EXPECT_TRUE(isequal(reshape(a, 1, 6), matrix<double>{{1, 4, 2, 5, 3, 6}}));
    EXPECT_EQ(ind2i(4, 2), 0u);
    EXPECT_EQ(ind2j(4, 2, 3), 2u);
    EXPECT_EQ(a(0, 2), a(4));
    a.resize(2, 4);  // the leading elements kept, the rest zero
    EXPECT_TRUE(isequal(a, matrix<double>{{1, 2, 3, 0}, {4, 5, 6, 0}}));
    a.resize(1, 1);
    const double* block = a.data();
    a.resize(2, 3);  // shrinking kept the block; growing back within it reuses it
    EXPECT_EQ(a.data(), block);
    EXPECT_TRUE(isequal(a, matrix<double>{{1, 0, 0}, {0, 0, 0}}));
    // Room made ahead keeps the shape and values; a later resize within it neither moves the block
    // nor leaves the new elements unset, however large the block (huge-page layouts included).
    for (std::size_t room : {std::size_t{64}, std::size_t{400000}}) {
        matrix<double> b{{7, 8}};
        b.reserve(room);
        const double* kept = b.data();
        EXPECT_TRUE(isequal(b, matrix<double>{{7, 8}}));
        b.resize(room / 4, 4);
        EXPECT_EQ(b.data(), kept);
        EXPECT_EQ(b(0), 7.0);
        EXPECT_EQ(b(1), 8.0);
        EXPECT_EQ(std::count(b.begin(), b.end(), 0.0), static_cast<std::ptrdiff_t>(room - 2));
    }
}

TEST(Matrix, LargeBlocksAreLaidOnWholeHugePagesOrLeftAsAsked) {
    for (std::size_t bytes : {std::size_t{1000}, std::size_t{1} << 20, std::size_t{1280000}, std::size_t{2} << 20,
                              std::size_t{2560000}, std::size_t{3500000}}) {
        const auto layout = detail::layoutOf(bytes, 16);
        EXPECT_GE(layout.bytes, bytes);
        EXPECT_GE(layout.alignment, 16u);
        EXPECT_LE(layout.huge, layout.bytes);
        EXPECT_EQ(layout.huge % (std::size_t{2} << 20), 0u);
        if (layout.huge > 0) {
            EXPECT_EQ(layout.alignment % (std::size_t{2} << 20), 0u);
        }
        // What is not on huge pages is a tail shorter than 1 MiB, or the whole of a small block.
        EXPECT_LT(bytes - std::min(bytes, layout.huge), layout.huge > 0 ? std::size_t{1} << 20 : bytes + 1);
    }
    EXPECT_EQ(detail::layoutOf(1000, 16).bytes, 1000u);
}

#if defined(__linux__)
// A freed large block serves the next block of its layout without a page fault, and reads as a
// fresh one: every element 0.
TEST(Matrix, FreedLargeBlocksServeTheNextOfTheirLayoutAsFreshBlocks) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "blocks are not kept under AddressSanitizer";
#endif
    if (detail::layoutOf(std::size_t{9} << 20, 16).huge == 0) GTEST_SKIP() << "no huge-page layouts here";
    const auto faults = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_minflt;
    };
    auto before = faults();
    {
        matrix<double> fresh(1100, 1000);  // 8.8 MB, a layout of 10 MiB no other test asks for
        fresh.fill(5.0);
    }
    EXPECT_GT(faults() - before, 0);
    before = faults();
    const matrix<double> kept(1000, 1100);
    EXPECT_EQ(faults() - before, 0);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 0.0), static_cast<std::ptrdiff_t>(kept.numel()));
}
#endif

TEST(Matrix, MisuseGivesReportsWithTheirExactTextsAndWritesNothing) {
    matrix<double, 3> p(3, 1);
    p(0) = 1;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(report_of([&] { p.resize(2, 2); }),
              "<MLX Error>\nIn file mlx/array/storage.hpp at line #\nBadDimensions: 4 elements exceed the fixed capacity 3");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "erreur alloc\n");
    EXPECT_EQ(p.size(), (shape{3, 1}));
    EXPECT_EQ(p(0), 1.0);

    const std::string at = "<MLX Error>\nIn file mlx/array/";
    matrix<double> twelve(1, 12);
    EXPECT_EQ(report_of([&] { reshape(twelve, 5, 2); }),
              at + "generate.hpp at line #\nNumel of te reshape target: 10 is not equal to source numel: 12");
    EXPECT_EQ(report_of([] { static_cast<double>(matrix<double>(2, 1)); }),
              at + "matrix.hpp at line #\nOnly singletons can be converted to scalar. Size was(2, 1)");
    EXPECT_EQ(report_of([&] { twelve.assign(nullptr, 2, 2); }).rfind(at + "matrix.hpp at line #\nInvalid memory pointer", 0), 0u);
    matrix<int> idx{{0, 1}};
    EXPECT_EQ(report_of([&] { twelve(idx) = matrix<double>(3, 1); }),
              at + "matrix.hpp at line #\nIn a(i) = b, the dimensions of b and i must be the same.\n They where (3, 1) and(1, 2)");
}

TEST(Matrix, RangesAndIndexMatricesSelectAndAssignInIndexOrder) {
    matrix<int> a = reshape(iota(0, 11), 3, 4);
    matrix<int> rows01 = a(AllTo(1), All);
    EXPECT_TRUE(isequal(rows01, matrix<int>{{0, 3, 6, 9}, {1, 4, 7, 10}}));
    matrix<int> repeated = a(Repeat(2, 4), range(1));
    EXPECT_TRUE(isequal(repeated, matrix<int>{{5}, {5}, {5}, {5}}));
    matrix<int> last_but_one = a(range(0), AllTo(End - 1));
    EXPECT_TRUE(isequal(last_but_one, matrix<int>{{0, 3, 6}}));
    a(range(1), All) = matrix<int>{{-1, -2, -3, -4}};
    a(range(0, 2, 2), range(0)) = 7;
    EXPECT_TRUE(isequal(a, matrix<int>{{7, 3, 6, 9}, {-1, -2, -3, -4}, {7, 5, 8, 11}}));
    matrix<int> odd = a(range(1, 2, 3));
    EXPECT_TRUE(isequal(odd, matrix<int>{{-1}, {3}, {5}}));

    matrix<double> b(2, 3);
    b(matrix<unsigned>{{5, 0, 3}}) = matrix<double>{{1}, {2}, {3}};
    EXPECT_TRUE(isequal(b, matrix<double>{{2, 0, 0}, {0, 3, 1}}));
    matrix<double> picked = b(matrix<unsigned>{{5, 0}});
    EXPECT_TRUE(isequal(picked, matrix<double>{{1, 2}}));
}
