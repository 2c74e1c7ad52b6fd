#include "mlx/random/rand.hpp"

#include <gtest/gtest.h>

#include <boost/random/lagged_fibonacci.hpp>

// The generator is shared by the whole process; this program's only draws are in this test.
TEST(Rand, DrawsTheDefaultSeededSequenceInStorageOrder) {
    boost::random::lagged_fibonacci607 reference;  // default seed, as the toolkit's
    mlx::matrix<double> first = mlx::rand(2, 4);
    ASSERT_EQ(first.size(), (mlx::shape{2, 4}));
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(first(k), reference()) << k;
    // Past the 607-value buffer the generator refills it and the sequence goes on.
    mlx::matrix<double> more = mlx::rand(700, 1);
    for (std::size_t k = 0; k < 700; ++k) {
        const double r = reference();
        ASSERT_EQ(more(k), r) << k;
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
    }
}
