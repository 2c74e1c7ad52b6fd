// Bad inputs driven through the loaded plug-in: each ends in a report that reaches the host, or
// in a documented result; never a crash, a hang, or a corner the host cannot use.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "loaded_plugin.hpp"
#include "synthetic.hpp"

namespace {

const char* const kSmall = "nbtrack = 2\nplans = 200\nnbpoints = 64\niter = 2\n";
const std::uint32_t kWidth = 320, kHeight = 240, kDepth = 8;

// "ok", or the message proper of the library's report (what follows its tag and location lines).
std::string outcome(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        const std::string report = e.what();
        if (report.rfind("<MLX Error>\nIn file ", 0) != 0) return "not a library report: " + report;
        return report.substr(report.find('\n', report.find('\n') + 1) + 1);
    }
    return "ok";
}

std::uint32_t u(long long v) { return static_cast<std::uint32_t>(v); }

bool same(const Select& a, const Select& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class BadInput : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.ready());
        loaded::enterDirectory(kSmall);
    }

    // Outcome of init on a fresh object created with config as tracker.ini (none when absent), on
    // frame (the first frame when empty).
    std::string initWith(const Select& sel, const std::optional<std::string>& config = kSmall,
                         const std::vector<std::uint8_t>& frame = {}, std::uint32_t w = kWidth,
                         std::uint32_t h = kHeight) {
        unlink("tracker.ini");
        if (config) std::ofstream("tracker.ini", std::ios::binary) << *config;
        Interface* view = plugin.make();
        const auto* pixels = frame.empty() ? first.data() : frame.data();
        const std::string result = outcome([&] { view->init(sel, pixels, w, h, kDepth); });
        plugin.destroy(view);
        return result;
    }

    loaded::plugin plugin;
    const std::vector<std::uint8_t> first = synthetic::render(synthetic::motion(0), kWidth, kHeight);
};

}  // namespace

TEST_F(BadInput, ConfigurationsAreUsedWithDefaultsOrRefusedNamingTheKeyBeforeAnythingLarge) {
    const Select sel = synthetic::selection(synthetic::motion(0));
    EXPECT_EQ(initWith(sel, std::nullopt), "ok");
    EXPECT_EQ(initWith(sel, ""), "ok");
    EXPECT_EQ(initWith(sel, std::string("\x00\x01\xfe\xff=\x80\x7f\n\x1b[2J\xc3\x28=\n", 16) + kSmall), "ok");
    const struct {
        std::string config;
        std::string message;
    } refused[] = {
        {std::string("plans = \xff\xfe\n", 11), "configuration key \"plans\": \"\xff\xfe\" is not an unsigned integer"},
        {"tracker = rvm\nplans = 1\n", "needs at least 2 perturbations, not 1"},
        {"tracker = jdk\nplans = 1\n", "needs at least 2 perturbations, not 1"},
        {"noise = -0.2\n", "configuration key \"noise\": -0.2 is not positive"},
        {"noise = nan\n", "configuration key \"noise\": \"nan\" is not a finite number"},
        {"plans = 0\n", "configuration key \"plans\": 0 leaves no training perturbation"},
        {"nbpoints = 3\n", "configuration key \"nbpoints\": 3 is below 4 sample points"},
        {"iter =\n", "configuration key \"iter\": \"\" is not an unsigned integer"},
        {"tracker = jdk\nwidth0 = -2\n", "configuration key \"width0\": -2 is not positive"},
        {"tracker = jdk\nM = 0\n", "configuration key \"M\": 0 leaves no kernel centre"},
        {"tracker = rvm\nwidth0 = 0\n", "configuration key \"width0\": 0 is not positive"},
        {"tracker = rvm\nmax_iter = 0\n", "configuration key \"max_iter\": 0 leaves no training iteration"},
        {"plans = 99999999999\n", "configuration key \"plans\": \"99999999999\" is not an unsigned integer"},
        {"plans = 4000000000\n", "configuration key \"plans\": 4000000000 is above the limit of 100000"},
        {"nbpoints = 4000000000\n", "configuration key \"nbpoints\": 4000000000 is above the limit of 1000000"},
        {"plans = 100000\nnbpoints = 1000000\n",
         "\"plans\" and \"nbpoints\": 100000 x 1000000 training values are above the limit of 134217728"},
        {"tracker = jdk\nplans = 20000\n", "20000 x 20000 kernel matrix is above the limit of 134217728 values"},
        {"tracker = rvm\nplans = 20000\n", "20000 x 20000 kernel matrix is above the limit of 134217728 values"},
        {"tracker = rvm\nmax_iter = 4000000000\n", "\"max_iter\": 4000000000 is above the limit of 10000"},
        {"iter = 4000000000\n", "configuration key \"iter\": 4000000000 is above the limit of 1000"},
        {"settle = 1001\n", "configuration key \"settle\": 1001 is above the limit of 1000"},
        {"nbtrack = 4000000000\n", "configuration key \"nbtrack\": 4000000000 is above the limit of 32"},
        {"tracker = jdk\nwidth0 = 1e308\n", "process not converging after 101 iterations"},
    };
    for (const auto& r : refused) {
        const std::string got = initWith(sel, r.config);
        EXPECT_NE(got.find(r.message), std::string::npos) << r.config << "\n-> " << got;
    }
}

TEST_F(BadInput, SelectionsWithoutAnAreaOrOffTheFrameAreRefusedAndPartlyOutsideOnesTrack) {
    const std::string collinear = "selected corners 1, 2 and 3 are collinear or coincident: no region to track";
    const std::string uniform = "the sampled region is uniform";
    // Corners near 2^31 and 2^32 put the products of the collinearity check close to 2^64.
    const std::uint32_t lo = 1u << 31, hi = lo - 1, m1 = u(-1);
    const struct {
        Select sel;
        std::string outcome;
    } selections[] = {
        {{10, 10, 50, 50, 90, 90, 10, 90}, collinear},
        {{10, 10, 10, 10, 90, 90, 10, 90}, collinear},
        {{7, 7, 7, 7, 7, 7, 7, 7}, collinear},
        {{hi, hi, 0, 0, lo, lo, m1, 0}, collinear},
        {{0, hi, hi, hi, 0, 0, lo, lo}, "selected corners 2, 3 and 4 are collinear or coincident"},
        {{400, 300, 480, 300, 480, 380, 400, 380}, uniform},
        {{lo, lo, lo + 80, lo, lo + 80, lo + 80, lo, lo + 80}, uniform},
        {{hi, 0, 0, hi, lo, lo, 0, 0}, uniform},
        {{lo, 0, 0, lo, hi, hi, 0, 0}, uniform},
        {{hi, m1, m1, hi, lo, lo, m1, m1}, uniform},
        {{hi, lo, lo, hi, lo, lo, hi, hi}, uniform},
        {{lo, lo, hi, lo, hi, hi, lo, hi}, uniform},
        // One sample on the frame, until the perturbations move it off.
        {{100, 100, hi, 100, hi, hi, 100, hi}, uniform},
        // Bilinear interpolation gives a one-pixel region a texture of its own.
        {{100, 100, 101, 100, 101, 101, 100, 101}, "ok"},
    };
    for (const auto& s : selections) {
        const std::string got = initWith(s.sel);
        EXPECT_EQ(got.rfind(s.outcome, 0), 0u) << s.sel.x1 << ", " << s.sel.y1 << ", " << s.sel.x2 << "... -> " << got;
    }
    EXPECT_EQ(initWith(Select{0, 0, 1, 0, 1, 1, 0, 1}, kSmall, {200}, 1, 1).rfind(uniform, 0), 0u);

    // Negative corners come as their 32-bit wrap; the part of the region off the frame reads black.
    for (const Select& sel : {Select{u(-20), u(-20), 60, u(-20), 60, 60, u(-20), 60},
                              Select{u(-40), u(-30), 360, u(-30), 360, 270, u(-40), 270}}) {
        Interface* view = plugin.make();
        EXPECT_EQ(outcome([&] { view->init(sel, first.data(), kWidth, kHeight, kDepth); }), "ok");
        Select out = sel;
        EXPECT_EQ(outcome([&] { view->run(first.data(), out); }), "ok");
        for (int k = 0; k < 8; ++k)
            EXPECT_NEAR(synthetic::coordinates(out)[k], synthetic::coordinates(sel)[k], 4) << "corner value " << k;
        plugin.destroy(view);
    }
}

TEST_F(BadInput, UniformFramesAreReportedAndNoiseIsLearnedLikeAnyTexture) {
    const Select sel = synthetic::selection(synthetic::motion(0));
    for (const std::uint8_t level : {0, 128, 255})
        EXPECT_EQ(initWith(sel, kSmall, std::vector<std::uint8_t>(kWidth * kHeight, level)).rfind("the sampled region is uniform", 0), 0u);

    Interface* view = plugin.make();
    const auto noise = synthetic::noise(12345u, kWidth * kHeight);
    ASSERT_EQ(outcome([&] { view->init(sel, noise.data(), kWidth, kHeight, kDepth); }), "ok");
    Select out = sel;
    EXPECT_EQ(outcome([&] { view->run(noise.data(), out); }), "ok");
    EXPECT_NEAR(out.x1, sel.x1, 1.0);
    EXPECT_NEAR(out.y3, sel.y3, 1.0);
    const Select before = out;
    const std::vector<std::uint8_t> black(kWidth * kHeight, 0);
    EXPECT_EQ(outcome([&] { view->run(black.data(), out); }), "run: the region was lost (the sampled region is uniform "
                                                                 "(no texture, or outside the image): it has no pattern to track)");
    EXPECT_TRUE(same(out, before));
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
        const std::string got = outcome([&] { view->run(synthetic::noise(seed, kWidth * kHeight).data(), out); });
        EXPECT_TRUE(got == "ok" || got.rfind("run: the region was lost", 0) == 0) << got;
    }
    plugin.destroy(view);
}

// The plane slides right, 4 px a frame, until the region is entirely off the frame. Beyond the
// region's surroundings the plane is grain: the texture's sinusoids repeat themselves closely
// enough elsewhere for a search to take a stretch of it for the region.
TEST_F(BadInput, ARegionThatLeavesTheFrameIsReportedAndTheSelectionLeftAsItWas) {
    const auto render = [](const synthetic::mat3& m) {
        std::vector<std::uint8_t> frame = synthetic::render(m, kWidth, kHeight);
        const std::vector<std::uint8_t> grain = synthetic::noise(7u, frame.size());
        const synthetic::mat3 back = synthetic::inverse(m);
        for (std::uint32_t y = 0; y < kHeight; ++y)
            for (std::uint32_t x = 0; x < kWidth; ++x) {
                const auto uv = synthetic::apply(back, x, y);
                if (uv[0] < -20 || uv[0] > 100 || uv[1] < -20 || uv[1] > 100) frame[x + kWidth * y] = grain[x + kWidth * y];
            }
        return frame;
    };
    const auto shifted = [](int t) {
        synthetic::mat3 m = synthetic::motion(0);
        m[2] += 4.0 * t * m[8];
        return m;
    };
    std::ofstream("tracker.ini") << "# defaults\n";
    Interface* view = plugin.make();
    Select sel = synthetic::selection(synthetic::motion(0));
    ASSERT_EQ(outcome([&] { view->init(sel, first.data(), kWidth, kHeight, kDepth); }), "ok");
    int firstReport = 0;
    for (int t = 1; t <= 60; ++t) {
        const Select before = sel;
        const std::string got = outcome([&] { view->run(render(shifted(t)).data(), sel); });
        if (got == "ok") {
            if (t <= 20) {
                EXPECT_NEAR(sel.x1, synthetic::truth(shifted(t))[0], 1.5) << "frame " << t;
            }
            continue;
        }
        if (firstReport == 0) firstReport = t;
        EXPECT_TRUE(got.rfind("the sampled region is uniform", 0) == 0 || got.rfind("run: the region was lost", 0) == 0)
            << "frame " << t << ": " << got;
        EXPECT_TRUE(same(sel, before)) << "frame " << t;
    }
    EXPECT_GT(firstReport, 20);
    EXPECT_LT(firstReport, 60);
    plugin.destroy(view);
}

TEST_F(BadInput, CallsOutOfOrderAreRefusedOrHarmless) {
    Select sel = synthetic::selection(synthetic::motion(0));
    const Select selected = sel;
    Interface* view = plugin.make();
    EXPECT_EQ(outcome([&] { view->run(first.data(), sel); }), "run: no region is being tracked (call init first)");
    EXPECT_EQ(outcome([&] { view->init(sel, nullptr, kWidth, kHeight, kDepth); }), "init: the image pointer is null");
    EXPECT_EQ(outcome([&] { view->init(sel, first.data(), kWidth, 0, kDepth); }), "init: image of 320 x 0 pixels");
    EXPECT_EQ(outcome([&] { view->kill(); }), "ok");
    EXPECT_EQ(outcome([&] { view->kill(); }), "ok");
    EXPECT_EQ(outcome([&] { view->init(sel, first.data(), kWidth, kHeight, kDepth); }), "ok");
    EXPECT_EQ(outcome([&] { view->init(sel, first.data(), kWidth, kHeight, kDepth); }), "ok");
    EXPECT_EQ(outcome([&] { view->run(first.data(), sel); }), "ok");
    EXPECT_EQ(outcome([&] { view->run(nullptr, sel); }), "run: the image pointer is null");
    EXPECT_EQ(outcome([&] { view->kill(); }), "ok");
    EXPECT_EQ(outcome([&] { view->run(first.data(), sel); }), "run: no region is being tracked (call init first)");
    const Select line{10, 10, 50, 50, 90, 90, 10, 90};
    EXPECT_NE(outcome([&] { view->init(line, first.data(), kWidth, kHeight, kDepth); }), "ok");
    sel = selected;
    EXPECT_EQ(outcome([&] { view->run(first.data(), sel); }), "run: no region is being tracked (call init first)");
    EXPECT_TRUE(same(sel, selected));
    plugin.destroy(view);

    plugin.destroy(plugin.make());
    plugin.destroy(nullptr);
}
