#include "tracker/interface.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

// Written as the host reads them: the upper half of the 32-bit range is negative.
TEST(HostCoordinates, TruncateTowardZeroWrapModulo2To32ReadBackSignedAndRefuseLostEstimates) {
    for (const auto& [estimate, host, read] :
         {std::tuple<double, std::uint32_t, std::int32_t>{12.9, 12u, 12}, {-0.5, 0u, 0}, {-1.5, 4294967295u, -1},
          {4294967296.0 + 5.0, 5u, 5}, {-2147483648.0, 2147483648u, INT32_MIN}, {2147483647.0, 2147483647u, INT32_MAX}}) {
        std::uint32_t v = 7;
        EXPECT_TRUE(track::toHostCoordinate(estimate, v));
        EXPECT_EQ(v, host) << estimate;
        EXPECT_EQ(track::fromHostCoordinate(v), read) << estimate;
    }
    std::uint32_t v = 7;
    EXPECT_FALSE(track::toHostCoordinate(std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_FALSE(track::toHostCoordinate(-std::numeric_limits<double>::infinity(), v));
    EXPECT_FALSE(track::toHostCoordinate(1e19, v));
    EXPECT_EQ(v, 7u);
}
