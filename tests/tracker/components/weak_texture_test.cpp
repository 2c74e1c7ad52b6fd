// A region of weak texture is placed by the camera's motion: whatever walks through it does not
// drag it along, a still camera keeps it where it was selected and a moving one carries it.

#include <gtest/gtest.h>

#include <cmath>

#include "tracking.hpp"
#include "tracker/components/weak_texture.hpp"

namespace {

// A flat plate [80, 240) x [60, 180) with one soft dark line along it, in a textured picture; a
// textured board 40 px high crosses the plate from left to right, 6 px a frame. Frame f shows
// the picture turned by turn * f about (160, 120) and shifted by f * (dx, dy).
struct scene {
    double turn = 0.0, dx = 0.0, dy = 0.0;

    static double picture(double x, double y, int f) {
        const double boardX = 40.0 + 6.0 * f;
        if (x >= boardX && x < boardX + 40.0 && y >= 95.0 && y < 135.0) return synthetic::texture(2.0 * x + 300.0, 2.0 * y);
        if (x >= 80.0 && x < 240.0 && y >= 60.0 && y < 180.0)
            return 150.0 - 70.0 / (1.0 + std::exp(-(y - 120.0 - 0.2 * (x - 160.0)) / 3.0));
        return synthetic::texture(x, y);
    }
    // Where picture point (x, y) shows on frame f.
    void toFrame(int f, double& x, double& y) const {
        const double c = std::cos(turn * f), s = std::sin(turn * f), u = x - 160.0, v = y - 120.0;
        x = 160.0 + c * u - s * v + dx * f;
        y = 120.0 + s * u + c * v + dy * f;
    }
    mlx::matrix<unsigned char> frame(int f) const {
        std::vector<std::uint8_t> bytes(320 * 240);
        const double c = std::cos(turn * f), s = std::sin(turn * f);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) {
                const double u = x - 160.0 - dx * f, v = y - 120.0 - dy * f;
                const double value = picture(160.0 + c * u + s * v, 120.0 - s * u + c * v, f);
                bytes[static_cast<std::size_t>(x + 320 * y)] = static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
            }
        return fixtures::image(bytes);
    }
};

mlx::matrix<double, 12> plateRegion() {
    const double xy[4][2] = {{100, 80}, {220, 80}, {220, 160}, {100, 160}};
    return fixtures::quad(xy);
}

// Worst corner error over the frames the board crosses the plate; 1e9 once a frame is lost.
double worstWhileCrossed(const scene& s, const std::string& settings) {
    track::session t(plateRegion(), fixtures::config(tracking::kConfig + settings), s.frame(0));
    double worst = 0.0;
    for (int f = 1; f <= 36; ++f) {
        const track::frameResult& r = t.run(s.frame(f));
        if (r.lost()) return 1e9;
        for (std::size_t j = 0; j < 4; ++j) {
            double x = plateRegion()(0, j), y = plateRegion()(1, j);
            s.toFrame(f, x, y);
            worst = std::max(worst, std::hypot(r.corners(0, j) - x, r.corners(1, j) - y));
        }
    }
    return worst;
}

}  // namespace

TEST(WeakTexture, TellsAFlatPlateFromATexturedRegion) {
    EXPECT_TRUE(track::weakTexture::weak(plateRegion(), scene{}.frame(0), track::weakTexture::defaultFlat));
    const mlx::matrix<double, 12> textured(mlx::matrix<double>(fixtures::corners(0)));
    EXPECT_FALSE(track::weakTexture::weak(textured, fixtures::frame(0), track::weakTexture::defaultFlat));
}

TEST(WeakTexture, ThePlateStaysUnderAStillCameraAndMovesWithAMovingOne) {
    for (const scene& s : {scene{}, scene{0.001, 0.7, -0.4}}) {
        EXPECT_LT(worstWhileCrossed(s, ""), 0.5) << s.dx;
        EXPECT_GT(worstWhileCrossed(s, "flat = 0\n"), 2.0) << s.dx;
    }
}
