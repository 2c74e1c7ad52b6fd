#include "host/csv.hpp"
#include "host/options.hpp"
#include "host/plugin.hpp"

#include <gtest/gtest.h>

using namespace host;

TEST(ParseCorners, ReadsEightWholeCoordinatesInCornerOrder) {
    const Quad q = parseCorners("1,2,30,4,50,60,7,80");
    EXPECT_EQ(q[1].x, 30);
    EXPECT_EQ(q[3].y, 80);
}

TEST(ParseCorners, RefusesAnythingButEightWholeNonNegativeNumbers) {
    for (const char* bad : {"1,2,3,4,5,6,7", "1,2,3,4,5,6,7,8,9", "1,2,3,4,5,6,7,-8", "1,2,3,4,5,6,7,8.5",
                            "1,2,3,4,5,6,7, 8", "1,2,3,4,5,6,7,", "", "1,2,3,4,5,6,7,99999999999999999999"})
        EXPECT_THROW(parseCorners(bad), UsageError) << bad;
}

TEST(ParseSize, ReadsWidthByHeightAndRefusesEmptyOrMalformedSizes) {
    EXPECT_EQ(parseSize("640x480").width, 640);
    EXPECT_EQ(parseSize("640x480").height, 480);
    for (const char* bad : {"640", "0x480", "640x", "x480", "640X480", "640x480x3", "100000x10"})
        EXPECT_THROW(parseSize(bad), UsageError) << bad;
}

TEST(ParseTrackOptions, TakesValuesEitherWayAndKeepsFramesInOrder) {
    const auto o = parseTrackOptions({"--corners=1,1,9,1,9,9,1,9", "b.png", "--output", "t.csv", "a.png", "--",
                                      "--odd-name.png"});
    EXPECT_EQ(o.frames, (std::vector<std::string>{"b.png", "a.png", "--odd-name.png"}));
    EXPECT_EQ(*o.output, "t.csv");
    EXPECT_EQ(o.corners[2].x, 9);
}

TEST(ParseTrackOptions, RefusesInconsistentCommandLines) {
    const std::string c = "--corners=1,1,9,1,9,9,1,9";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"a.png"},                           // no corners
             {c},                                 // no frames
             {c, "-"},                            // standard input without a size
             {c, "--size", "4x4", "a.png"},       // a size for files
             {c, "--size", "4x4", "-", "a.png"},  // standard input among files
             {c, "--bogus", "a.png"},
             {c, "a.png", "--output"}})  // option without its value
        EXPECT_THROW(parseTrackOptions(args), UsageError);
    EXPECT_TRUE(parseTrackOptions({"--help"}).help);
}

TEST(CornerProblem, NamesCornersOffTheFrameAndRejectsQuadsThatDoNotGoAround) {
    EXPECT_FALSE(cornerProblem(parseCorners("0,0,9,0,9,9,0,9"), {10, 10}));
    const auto off = cornerProblem(parseCorners("0,0,10,0,9,9,0,9"), {10, 10});
    ASSERT_TRUE(off);
    EXPECT_NE(off->find("corner 2 (10,0)"), std::string::npos);
    EXPECT_TRUE(cornerProblem(parseCorners("0,0,9,9,9,0,0,9"), {10, 10}));
}

TEST(CsvRow, WritesWholeCornersSignedAndTheScoreToFourDecimals) {
    const Quad q = {Point{-3, 4}, Point{5, 6}, Point{7, 8}, Point{9, 10}};
    EXPECT_EQ(csvRow(12, q, 0.987654), "12,-3,4,5,6,7,8,9,10,0.9877");
}

TEST(ToQuad, ReadsWrappedUnsignedCornersAsSmallNegativeOnes) {
    const Select s{0xFFFFFFFDu, 7, 300, 0xFFFFFFFFu, 0x7FFFFFFFu, 0, 1, 2};
    const Quad q = toQuad(s);
    EXPECT_EQ(q[0].x, -3);
    EXPECT_EQ(q[1].y, -1);
    EXPECT_EQ(q[2].x, 2147483647.0);
    const Select back = toSelect(parseCorners("1,2,3,4,5,6,7,8"));
    EXPECT_EQ(back.x4, 7u);
    EXPECT_EQ(back.y4, 8u);
}

TEST(ConfiguredMethod, FollowsTheLastTrackerLineAndFallsBackToJd) {
    EXPECT_EQ(configuredMethod(""), "jd");
    EXPECT_EQ(configuredMethod("tracker =  JDK  # kernel\n"), "jdk");
    EXPECT_EQ(configuredMethod("tracker = rvm\r\ntracker = jdk\n"), "jdk");
    EXPECT_EQ(configuredMethod("# tracker = rvm\ntracker = abc\n"), "jd");
    EXPECT_EQ(configuredMethod("trackers = rvm\n"), "jd");
}
