#include "tracker/interface.hpp"

#include <gtest/gtest.h>

#include <limits>

TEST(HostCoordinates, TruncateTowardZeroWrapModulo2To32AndRefuseLostEstimates) {
    std::uint32_t v = 7;
    ASSERT_TRUE(track::toHostCoordinate(12.9, v));
    EXPECT_EQ(v, 12u);
    ASSERT_TRUE(track::toHostCoordinate(-0.5, v));
    EXPECT_EQ(v, 0u);
    ASSERT_TRUE(track::toHostCoordinate(-1.5, v));
    EXPECT_EQ(v, 4294967295u);
    ASSERT_TRUE(track::toHostCoordinate(4294967296.0 + 5.0, v));
    EXPECT_EQ(v, 5u);
    v = 7;
    EXPECT_FALSE(track::toHostCoordinate(std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_FALSE(track::toHostCoordinate(-std::numeric_limits<double>::infinity(), v));
    EXPECT_FALSE(track::toHostCoordinate(1e19, v));
    EXPECT_EQ(v, 7u);
}

TEST(HostCoordinates, ReadAsSignedWithTheUpperHalfOfTheRangeNegative) {
    EXPECT_EQ(track::fromHostCoordinate(0u), 0);
    EXPECT_EQ(track::fromHostCoordinate(2147483647u), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(track::fromHostCoordinate(2147483648u), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(track::fromHostCoordinate(4294967295u), -1);
}
