// The picture's motion between two frames is found whatever hides part of it, and none is claimed
// between frames that do not align.

#include <gtest/gtest.h>

#include <cmath>

#include "../fixtures.hpp"
#include "tracker/components/camera_motion.hpp"

namespace {

// The texture plane through a similarity about (160, 120) (turn, zoom, shift), on 320 x 240; the
// textured board [x0, x0 + 90) x [60, 180), if x0 >= 0, is another texture and moves on its own.
mlx::matrix<unsigned char> view(double turn, double zoom, double dx, double dy, int x0 = -1) {
    std::vector<std::uint8_t> bytes(320 * 240);
    const double c = std::cos(turn) / zoom, s = std::sin(turn) / zoom;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const double u = x - 160.0 - dx, w = y - 120.0 - dy;
            double v = synthetic::texture(c * u + s * w + 160.0, -s * u + c * w + 120.0);
            if (x0 >= 0 && x >= x0 && x < x0 + 90 && y >= 60 && y < 180) v = synthetic::texture(1.9 * (y - 60) + 300.0, 2.3 * (x - x0) + 90.0);
            bytes[static_cast<std::size_t>(x + 320 * y)] = static_cast<std::uint8_t>(std::round(v));
        }
    return fixtures::image(bytes);
}

mlx::matrix<double, 12> square() {
    const double xy[4][2] = {{100, 80}, {180, 80}, {180, 160}, {100, 160}};
    return fixtures::quad(xy);
}

}  // namespace

// The second view turns by 0.02 rad, zooms by 2 % and shifts by (3.4, -2.2) px about (160, 120)
// while a textured board over a third of the frame moves 8 px the other way: corners move as the
// picture does, within a tenth of a pixel.
TEST(CameraMotion, FindsThePicturesSimilarityAndLeavesOutWhatMovesOtherwise) {
    for (const bool board : {false, true}) {
        track::cameraMotion camera;
        camera.reference(view(0.0, 1.0, 0.0, 0.0, board ? 120 : -1));
        track::cameraMotion::similarity motion;
        ASSERT_TRUE(camera.next(view(0.02, 1.02, 3.4, -2.2, board ? 112 : -1), motion)) << board;
        mlx::matrix<double, 12> moved = square();
        motion.move(moved);
        const double c = 1.02 * std::cos(0.02), s = 1.02 * std::sin(0.02);
        for (std::size_t j = 0; j < 4; ++j) {
            const double x = square()(0, j) - 160.0, y = square()(1, j) - 120.0;
            EXPECT_NEAR(moved(0, j), 160.0 + c * x - s * y + 3.4, 0.1) << board << " corner " << j;
            EXPECT_NEAR(moved(1, j), 120.0 + s * x + c * y - 2.2, 0.1) << board << " corner " << j;
        }
    }
}

// No motion without a frame to start from, towards grain, from a frame of another size, or of a
// few hundredths of a pixel; each frame given becomes the next reference.
TEST(CameraMotion, ClaimsNoMotionBetweenFramesThatDoNotAlign) {
    track::cameraMotion camera;
    track::cameraMotion::similarity motion;
    EXPECT_FALSE(camera.next(view(0.0, 1.0, 0.0, 0.0), motion));
    EXPECT_FALSE(camera.next(fixtures::image(synthetic::noise(7, 320 * 240)), motion));
    camera.reference(view(0.0, 1.0, 0.0, 0.0));
    mlx::matrix<unsigned char> small;
    const std::vector<std::uint8_t> bytes(200 * 150, 128);
    small.assign(bytes.data(), 200, 150);
    EXPECT_FALSE(camera.next(small, motion));
    EXPECT_FALSE(camera.next(view(0.0, 1.0, 0.0, 0.0), motion));
    EXPECT_TRUE(camera.next(view(0.0, 1.0, 1.0, 0.0), motion));
    EXPECT_NEAR(motion.tx, 1.0, 0.1);
    EXPECT_FALSE(camera.next(view(0.0, 1.0, 1.03, 0.0), motion)) << "a picture at rest: " << motion.tx;
}
