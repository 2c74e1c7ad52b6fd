// The track command against a stand-in plug-in: everything the host does around the tracking.
#include "host/image_io.hpp"
#include "host/overlay.hpp"
#include "host/sequence.hpp"
#include "host_process.hpp"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <memory>

using namespace host;
using hosttest::lines;
using hosttest::readText;
using hosttest::writeText;

namespace {

class TrackCommand : public hosttest::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        SequenceOptions o;
        o.width = 80;
        o.height = 60;
        o.region = 30;
        o.frames = 5;
        const Sequence s(o);
        for (int k = 0; k < s.size(); ++k) {
            const GreyImage f = s.frame(k);
            frames_.push_back("f" + std::to_string(k) + ".pgm");
            writePgm(path(frames_.back()), f);
            raw_.append(f.pixels.begin(), f.pixels.end());
        }
        const Quad q = s.truth(0);
        corners_ = "--corners=";
        for (const Point& p : q) corners_ += std::to_string(int(p.x)) + "," + std::to_string(int(p.y)) + ",";
        corners_.pop_back();
        writeText(path("fake.ini"), "tracker = fake-method\n");
    }

    hosttest::Result track(std::vector<std::string> args, const std::string& input = "",
                           const std::string& plugin = FAKE_PLUGIN) const {
        args.insert(args.begin(), "track");
        return quadtrack(args, input, plugin);
    }

    std::vector<std::string> withFrames(std::vector<std::string> args) const {
        args.insert(args.end(), frames_.begin(), frames_.end());
        return args;
    }

    std::vector<std::string> frames_;
    std::string raw_;
    std::string corners_;
};

}  // namespace

TEST_F(TrackCommand, WritesOneLinePerFrameAndKeepsPluginChatterOffTheTable) {
    const auto r = track(withFrames({corners_, "--config", "fake.ini"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto table = lines(r.out);
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[0], "frame,x1,y1,x2,y2,x3,y3,x4,y4,score,status");
    EXPECT_EQ(table[1], "0," + corners_.substr(10) + ",1.0000,tracked");
    EXPECT_EQ(table[5].substr(0, 2), "4,");
    // The configuration reached the plug-in, and the plug-in's line went to standard error.
    EXPECT_NE(r.err.find("fake tracker: fake-method"), std::string::npos);
    EXPECT_EQ(r.out.find("fake tracker"), std::string::npos);
}

TEST_F(TrackCommand, ReportsCornersThatLeaveTheFrameAsNegativeNumbersWithAZeroScore) {
    writeText(path("drift.ini"), "drift = -30\n");
    const auto r = track(withFrames({corners_, "--config", "drift.ini"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto last = lines(r.out).back();
    EXPECT_NE(last.find(",-"), std::string::npos) << last;
    EXPECT_EQ(last.substr(last.size() - 15), ",0.0000,tracked");
}

namespace {

// The eight corner fields of a table line.
std::string cornersOf(const std::string& line) {
    const auto first = line.find(',') + 1;
    auto end = first;
    for (int k = 0; k < 8; ++k) end = line.find(',', end) + 1;
    return line.substr(first, end - 1 - first);
}

// How many pixels of a PNG have exactly colour c.
long pixelsOf(const std::string& path, Colour c) {
    int w = 0, h = 0, n = 0;
    const std::unique_ptr<unsigned char, void (*)(void*)> rgb(stbi_load(path.c_str(), &w, &h, &n, 3), stbi_image_free);
    if (!rgb) return -1;
    long count = 0;
    for (long p = 0; p < long(w) * h; ++p)
        count += rgb.get()[3 * p] == c.r && rgb.get()[3 * p + 1] == c.g && rgb.get()[3 * p + 2] == c.b;
    return count;
}

}  // namespace

TEST_F(TrackCommand, CarriesOnThroughLostFramesWithTheCornersHeldAndCountsThem) {
    // Lost on the first run (the selection is held), found on the next, lost to the end.
    writeText(path("lost.ini"), "drift = 1\nlost_at = 1,3,4\n");
    const auto r = track(withFrames({corners_, "--config", "lost.ini", "--overlay", "overlay"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto table = lines(r.out);
    ASSERT_EQ(table.size(), 6u);
    const std::vector<std::string> status = {"tracked", "lost", "tracked", "lost", "lost"};
    for (std::size_t k = 0; k < status.size(); ++k) {
        const auto& line = table[k + 1];
        EXPECT_EQ(line.substr(line.rfind(',') + 1), status[k]) << line;
    }
    EXPECT_EQ(cornersOf(table[2]), corners_.substr(10));
    EXPECT_NE(cornersOf(table[3]), cornersOf(table[1]));
    EXPECT_EQ(cornersOf(table[4]), cornersOf(table[3]));
    EXPECT_EQ(cornersOf(table[5]), cornersOf(table[3]));
    for (const char* line : {"frames tracked          1 of 4\n", "frames lost             3\n",
                             "re-acquisitions         1\n"})
        EXPECT_NE(r.err.find(line), std::string::npos) << line << " missing from:\n" << r.err;
    // A lost frame is drawn in its own colour only, a tracked one in the tracked colour only.
    for (int k = 0; k < 5; ++k) {
        const std::string picture = path("overlay/frame_0000" + std::to_string(k) + ".png");
        const bool lost = status[std::size_t(k)] == "lost";
        EXPECT_EQ(pixelsOf(picture, kLostColour) > 0, lost) << picture;
        EXPECT_EQ(pixelsOf(picture, kTrackedColour) > 0, !lost) << picture;
    }
}

TEST_F(TrackCommand, KeepsTheTrackedFramesAndPrintsTheReportWhenThePluginFailsInRun) {
    writeText(path("fail.ini"), "fail_at = 3\n");
    const auto r = track(withFrames({corners_, "--config", "fail.ini", "--output", "t.csv"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("failed on frame 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("<MLX Error>\nIn file fake at line #2\nno convergence"), std::string::npos) << r.err;
    EXPECT_EQ(lines(readText(path("t.csv"))).size(), 4u);  // header and frames 0 to 2
    // With the table in a file, the plug-in keeps standard output.
    EXPECT_NE(r.out.find("fake tracker"), std::string::npos);
}

TEST_F(TrackCommand, RefusesBadInputsAndAMissingPluginWithAMessageAndAFailureStatus) {
    writeText(path("refuse.ini"), "fail_init = 1\n");
    writeText(path("junk.png"), "not an image");
    writeText(path("small.pgm"), "P5 4 4 255\n0123456789abcdef");
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string message;
        std::string plugin = FAKE_PLUGIN;
    };
    const std::vector<Case> cases = {
        {{corners_, "f0.pgm", "missing.pgm"}, "", 1, "missing.pgm: No such file"},
        {{corners_, "f0.pgm", "junk.png"}, "", 1, "junk.png: not a readable image"},
        {{corners_, "f0.pgm", "small.pgm"}, "", 1, "frame 1 is 4x4, the first frame 80x60"},
        {{"--corners=0,0,80,0,79,59,0,59", "f0.pgm"}, "", 1, "corner 2 (80,0) lies outside the 80x60 frame"},
        {{"--corners=0,0,79,59,79,0,0,59", "f0.pgm"}, "", 1, "convex"},
        {{"--corners=0,0,79,0,79,59", "f0.pgm"}, "", 2, "eight numbers"},
        {{corners_, "--config", "absent.ini", "f0.pgm"}, "", 1, "cannot read the configuration absent.ini"},
        {{corners_, "--config", ".", "f0.pgm"}, "", 1, "cannot read the configuration ."},
        {{corners_, "--config", "refuse.ini", "f0.pgm"}, "", 1, "refused the first frame or the configuration:\n<MLX Error>"},
        {{corners_, "--size", "80x60", "-"}, raw_.substr(0, 2 * 4800 + 100), 1, "frame 2 cut short: 100 of 4800 bytes"},
        {{corners_, "--size", "80x60", "-"}, "", 1, "no frame on standard input"},
        {{corners_, "--frobnicate", "f0.pgm"}, "", 2, "unknown option --frobnicate"},
        {{corners_, "f0.pgm"}, "", 1, "cannot load the plug-in", path("nowhere/libquadtrack.so")},
    };
    for (const auto& c : cases) {
        const auto r = track(c.args, c.input, c.plugin);
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << "expected \"" << c.message << "\" in:\n" << r.err;
    }
    // The cut stream still left the table of the two whole frames.
    EXPECT_EQ(lines(track({corners_, "--size", "80x60", "-"}, raw_.substr(0, 2 * 4800 + 100)).out).size(), 3u);
}

