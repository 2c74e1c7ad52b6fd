// The host and the real plug-in together on a short sequence with known truth.
#include "host/image_io.hpp"
#include "host/sequence.hpp"
#include "host_process.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>

using namespace host;
using hosttest::lines;
using hosttest::readText;
using hosttest::writeText;

namespace {

class Tracking : public hosttest::HostTest {};

// Whole-pixel output costs up to one pixel per axis; the rest is the tracker's own error.
constexpr double kCornerTolerance = 2.5;

std::vector<double> numbers(const std::string& line) {
    std::vector<double> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(std::stod(field));
    return out;
}

// A 160 x 120 sequence with a 50 px region, and its first frame's corners as --corners takes them.
Sequence smallSequence(int frames, std::uint64_t seed, double noise) {
    SequenceOptions o;
    o.width = 160;
    o.height = 120;
    o.region = 50;
    o.frames = frames;
    o.noise = noise;
    o.seed = seed;
    return Sequence(o);
}

std::string cornersOf(const Sequence& s) {
    std::string corners;
    for (const Point& p : s.truth(0)) corners += std::to_string(int(p.x)) + "," + std::to_string(int(p.y)) + ",";
    corners.pop_back();
    return corners;
}

}  // namespace

TEST_F(Tracking, FollowsTheGeneratedRegionFromFilesAndFromStandardInputAlike) {
    const Sequence s = smallSequence(30, 3, 1);
    const std::string corners = cornersOf(s);
    std::vector<std::string> args = {"track", "--config", "test.ini", "--output", "files.csv", "--corners=" + corners};
    std::string raw;
    for (int k = 0; k < s.size(); ++k) {
        const GreyImage f = s.frame(k);
        args.push_back("frame" + std::to_string(k) + (k % 2 ? ".png" : ".pgm"));
        if (k % 2)
            writePng(path(args.back()), RgbImage(f));
        else
            writePgm(path(args.back()), f);
        raw.append(f.pixels.begin(), f.pixels.end());
    }
    writeText(path("test.ini"), "tracker = jd\n");

    const auto files = quadtrack(args);
    ASSERT_EQ(files.status, 0) << files.err;
    const auto piped = quadtrack({"track", "--config", "test.ini", "--corners", corners, "--size", "160x120", "-"}, raw);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(readText(path("files.csv")), piped.out);

    const auto table = lines(piped.out);
    ASSERT_EQ(table.size(), std::size_t(s.size()) + 1);
    for (int k = 0; k < s.size(); ++k) {
        const std::string& line = table[std::size_t(k) + 1];
        EXPECT_EQ(line.substr(line.rfind(',')), ",tracked");
        const auto row = numbers(line.substr(0, line.rfind(',')));
        ASSERT_EQ(row.size(), 10u);
        EXPECT_EQ(row[0], k);
        const Quad truth = s.truth(k);
        for (int c = 0; c < 4; ++c)
            EXPECT_LT(distance({row[1 + 2 * c], row[2 + 2 * c]}, truth[c]), kCornerTolerance)
                << "frame " << k << " corner " << c + 1;
        EXPECT_GT(row[9], 0.9) << "frame " << k;
    }
}

TEST_F(Tracking, CarriesOnThroughFramesWhereTheRegionIsHiddenAndFindsItAgain) {
    const Sequence s = smallSequence(14, 5, 0);
    const std::string corners = cornersOf(s);
    std::string raw;
    for (int k = 0; k < s.size(); ++k) {
        const GreyImage f = k == 6 || k == 7 ? GreyImage(160, 120) : s.frame(k);
        raw.append(f.pixels.begin(), f.pixels.end());
    }
    const auto r = quadtrack({"track", "--corners", corners, "--size", "160x120", "-"}, raw);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames lost             2\nre-acquisitions         1\n"), std::string::npos) << r.err;
    const auto table = lines(r.out);
    ASSERT_EQ(table.size(), std::size_t(s.size()) + 1);
    for (int k = 1; k < s.size(); ++k) {
        const std::string& line = table[std::size_t(k) + 1];
        const bool hidden = k == 6 || k == 7;
        EXPECT_EQ(line.substr(line.rfind(',') + 1), hidden ? "lost" : "tracked") << line;
        // Hidden frames hold frame 5's corners; the black frame matches nothing.
        const auto row = numbers(line.substr(0, line.rfind(',')));
        const Quad truth = s.truth(hidden ? 5 : k);
        for (int c = 0; c < 4; ++c)
            EXPECT_LT(distance({row[1 + 2 * c], row[2 + 2 * c]}, truth[c]), kCornerTolerance)
                << "frame " << k << " corner " << c + 1;
        EXPECT_EQ(row[9] > 0.9, !hidden) << line;
    }
}

TEST_F(Tracking, DemoRunsEndToEndAndWritesItsTableAndPictures) {
    const auto r = quadtrack({"demo", "--frames", "12", "--output", "demo"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"frames tracked          11 of 11", "within 2 px", "mean corner error", "worst corner error",
                             "learning time", "median time per frame", "lowest score"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " missing from:\n" << r.out;
    const auto table = lines(readText(path("demo/corners.csv")));
    ASSERT_EQ(table.size(), 13u);
    EXPECT_EQ(table[0], "frame,x1,y1,x2,y2,x3,y3,x4,y4,score,tx1,ty1,tx2,ty2,tx3,ty3,tx4,ty4,error");
    EXPECT_LT(numbers(table.back()).back(), kCornerTolerance);
    EXPECT_TRUE(std::filesystem::exists(path("demo/frames/frame_00011.png")));
    EXPECT_GT(readImage(path("demo/summary.png")).width, 3 * 320);
}
