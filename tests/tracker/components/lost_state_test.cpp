// A region hidden for a while is reported lost, never handed out as a quad it cannot be, and
// found again when it comes back, where it left or elsewhere; a look-alike is not taken for it.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tracker/components/lost_state.hpp"
#include "tracker/components/reacquisition.hpp"
#include "tracking.hpp"

namespace {

mlx::matrix<double> quad(std::initializer_list<double> xy) {
    mlx::matrix<double> c(3, 4);
    auto v = xy.begin();
    for (std::size_t j = 0; j < 4; ++j) {
        c(0, j) = *v++;
        c(1, j) = *v++;
        c(2, j) = 1.0;
    }
    return c;
}

// The synthetic region moving on while frames `from` to `to` show nothing of it (grain).
mlx::matrix<unsigned char> hiddenFrom(int f, int from, int to) {
    return f >= from && f <= to ? fixtures::image(synthetic::noise(static_cast<unsigned>(f), 320 * 240)) : fixtures::frame(f);
}

// The texture square [0, 80]^2 at (40, 40) and, with `copy`, again at (200, 120), on another
// texture, the whole scene moved by (dx, dy); `board` (x0, y0, x1, y1), if given, is flat grey.
mlx::matrix<unsigned char> scene(bool copy, int dx, int dy, const int* board) {
    std::vector<std::uint8_t> bytes(320 * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int u = x - dx, w = y - dy;
            double v = synthetic::texture(1.7 * w + 400.0, 1.3 * u + 250.0);
            if (u >= 40 && u < 120 && w >= 40 && w < 120) v = synthetic::texture(u - 40.0, w - 40.0);
            if (copy && u >= 200 && u < 280 && w >= 120 && w < 200) v = synthetic::texture(u - 200.0, w - 120.0);
            if (board && x >= board[0] && x < board[2] && y >= board[1] && y < board[3]) v = 128.0;
            bytes[static_cast<std::size_t>(x + 320 * y)] = static_cast<std::uint8_t>(std::round(v));
        }
    return fixtures::image(bytes);
}

// The first square's corners, as selected.
mlx::matrix<int, 12> firstSquare() {
    const int xy[4][2] = {{40, 40}, {119, 40}, {119, 119}, {40, 119}};
    return fixtures::quad(xy);
}

// The scene at rest; `hidden` covers the first square with a flat board.
mlx::matrix<unsigned char> twice(bool copy, bool hidden) {
    static const int square[4] = {40, 40, 120, 120};
    return scene(copy, 0, 0, hidden ? square : nullptr);
}

}  // namespace

TEST(LostState, CrossedConcaveCollapsedOrOffFrameQuadsAreNotTheRegions) {
    track::lostState lost(0.1);
    lost.select(mlx::matrix<double, 12>(quad({100, 100, 180, 100, 180, 180, 100, 180})));
    const struct {
        mlx::matrix<double> corners;
        const char* why;
    } cases[] = {
        {quad({110, 90, 190, 105, 185, 170, 95, 185}), ""},
        {quad({100, 100, 180, 180, 180, 100, 100, 180}), "the quad is crossed or not convex"},
        {quad({100, 100, 180, 100, 120, 120, 100, 180}), "the quad is crossed or not convex"},
        {quad({100, 100, 101, 100, 101, 101, 100, 101}), "the quad's area 1 is far from the selection's 6400"},
        {quad({0, 0, 320, 0, 320, 240, 0, 240}), ""},
        {quad({100, 100, 180, 100, 180, 103, 100, 103}), "the quad's area 240 is far from the selection's 6400"},
        {quad({100, 100, 104, 100, 180, 180, 100, 180}), "side 1 of the quad has collapsed to"},
        {quad({-60, 100, 20, 100, 20, 180, -60, 180}), "the region is mostly off the frame"},
        {quad({100, 100, NAN, 100, 180, 180, 100, 180}), "corner 2 estimate nan"},
    };
    for (const auto& c : cases) {
        const std::string why = lost.verdict(0.9, c.corners, 320, 240, false);
        EXPECT_EQ(why.substr(0, std::string(c.why).size()), c.why) << why;
        EXPECT_EQ(why.empty(), std::string(c.why).empty()) << why;
    }
    const auto square = quad({100, 100, 180, 100, 180, 180, 100, 180});
    EXPECT_EQ(lost.verdict(0.05, square, 320, 240, false), "match score 0.05 below 0.1");
    EXPECT_EQ(lost.verdict(0.9, square, 320, 240, true), "the steps diverge");
    EXPECT_EQ(track::lostState(0.0).verdict(-1.0, quad({0, 0, 1, 1, 0, 1, 1, 0}), 320, 240, true), "");
}

// Hidden on frames 6 to 13 while it moves on by about 25 px: lost on every one of them, its
// corners held, then found again where it is by the search; without the search, not.
TEST(LostState, ARegionHiddenWhileItMovesOnIsLostThenFoundWhereItComesBack) {
    for (const char* setting : {"", "reacquire = 0\n"}) {
        track::session t(fixtures::corners(0), fixtures::config(std::string(tracking::kConfig) + setting),
                         fixtures::frame(0));
        mlx::matrix<double, 12> held;
        for (int f = 1; f <= 5; ++f) held = t.run(fixtures::frame(f)).corners;
        const bool searching = *setting == '\0';
        for (int f = 6; f <= 13 && searching; ++f) {
            const track::frameResult& r = t.run(hiddenFrom(f, 6, 13));
            EXPECT_TRUE(r.lost()) << f;
            for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(r.corners(k), held(k)) << f;
        }
        for (int f = 6; f <= 13 && !searching; ++f) t.run(hiddenFrom(f, 6, 13));
        const track::frameResult& back = t.run(fixtures::frame(14));
        EXPECT_EQ(back.reacquired, searching) << back.why;
        if (!searching) continue;
        EXPECT_GT(back.score, 0.99);
        for (int f = 14; f <= 20; ++f)
            EXPECT_LT(tracking::worstError(t.run(fixtures::frame(f)).corners, synthetic::motion(f)), 1.0) << f;
    }
}

// Frames of a look-alike texture (the same waves, other phases) where the region has gone: the
// search finds places that resemble it, and takes none for it.
TEST(LostState, ALookAlikeElsewhereInTheFrameIsNotTaken) {
    track::session t(fixtures::corners(0), fixtures::config(tracking::kConfig), fixtures::frame(0));
    t.run(fixtures::frame(1));
    for (int f = 0; f < 6; ++f) {
        std::vector<std::uint8_t> bytes(320 * 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                bytes[static_cast<std::size_t>(x + 320 * y)] =
                    static_cast<std::uint8_t>(std::round(synthetic::texture(1.0 * y + 7 * f, 1.0 * x - 11 * f)));
        const track::frameResult& r = t.run(fixtures::image(bytes));
        EXPECT_TRUE(r.lost()) << f << ": " << r.score;
    }
}

// A region the first frame repeats is told from its copy by where it is only: while it is hidden
// the copy, a perfect match alone in the frame, is not taken; back, it is found where it was.
TEST(LostState, ARegionThatRepeatsIsTakenBackOnlyNearWhereItWasLost) {
    const mlx::matrix<int, 12> selected = firstSquare();
    const mlx::matrix<double, 12> region{mlx::matrix<double>(selected)};
    EXPECT_TRUE(track::reacquisition(0.8, region, twice(true, false)).repeated());
    EXPECT_FALSE(track::reacquisition(0.8, region, twice(false, false)).repeated());

    track::session t(selected, fixtures::config(tracking::kConfig), twice(true, false));
    EXPECT_FALSE(t.run(twice(true, false)).lost());
    for (int f = 0; f < 4; ++f) {
        const track::frameResult& r = t.run(twice(true, true));
        EXPECT_TRUE(r.lost()) << f;
        EXPECT_NEAR(r.corners(0, 0), 40.0, 1.0) << f;
    }
    const track::frameResult& back = t.run(twice(true, false));
    ASSERT_TRUE(back.reacquired) << back.why;
    for (std::size_t j = 0; j < 4; ++j) {
        EXPECT_NEAR(back.corners(0, j), selected(0, j), 1.0);
        EXPECT_NEAR(back.corners(1, j), selected(1, j), 1.0);
    }
}

// The camera pans 45 px while a board hides a region the frame repeats: followed with the picture,
// the region is found where it comes back, and its copy is not taken; held where it was lost, it
// comes back beyond the reach of its held corners and stays lost.
TEST(LostState, ARepeatedRegionHiddenWhileTheCameraPansIsFoundWhereThePanPutsIt) {
    const int board[4] = {30, 30, 170, 165};
    for (const char* follow : {"", "follow = 0\n"}) {
        track::session t(firstSquare(), fixtures::config(std::string(tracking::kConfig) + follow), twice(true, false));
        ASSERT_FALSE(t.run(twice(true, false)).lost());
        for (int f = 1; f <= 8; ++f) {
            const track::frameResult& r = t.run(scene(true, 4 * f, 3 * f, board));
            EXPECT_TRUE(r.lost()) << f;
            // The first lost frame is the first the picture's motion is measured from.
            if (*follow == '\0') {
                EXPECT_NEAR(r.corners(0, 0), 36.0 + 4 * f, 1.0) << f;
            }
        }
        const track::frameResult& back = t.run(scene(true, 36, 27, nullptr));
        if (*follow != '\0') {
            EXPECT_TRUE(back.lost());
            continue;
        }
        ASSERT_TRUE(back.reacquired) << back.why;
        EXPECT_NEAR(back.corners(0, 0), 76.0, 1.0);
        EXPECT_NEAR(back.corners(1, 0), 67.0, 1.0);
    }
}

TEST(LostState, TheMatchScoreIsTheCorrelationOfThePatterns) {
    const mlx::matrix<double> halves{{0.5, -0.5}};
    EXPECT_DOUBLE_EQ(track::matchScore(halves), 0.75);
    EXPECT_TRUE(std::isnan(track::matchScore(mlx::matrix<double>())));
}
