#include "tracker/interface.hpp"

#include <gtest/gtest.h>

#include <limits>

TEST(HostCoordinates, TruncateTowardZeroWrapModulo2To32AndRefuseLostEstimates) {
    for (const auto& [estimate, expected] : {std::pair<double, std::uint32_t>{12.9, 12u}, {-0.5, 0u},
                                             {-1.5, 4294967295u}, {4294967296.0 + 5.0, 5u}}) {
        std::uint32_t v = 7;
        EXPECT_TRUE(track::toHostCoordinate(estimate, v));
        EXPECT_EQ(v, expected) << estimate;
    }
    std::uint32_t v = 7;
    EXPECT_FALSE(track::toHostCoordinate(std::numeric_limits<double>::quiet_NaN(), v));
    EXPECT_FALSE(track::toHostCoordinate(-std::numeric_limits<double>::infinity(), v));
    EXPECT_FALSE(track::toHostCoordinate(1e19, v));
    EXPECT_EQ(v, 7u);
}
