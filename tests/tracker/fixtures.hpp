#ifndef TESTS_TRACKER_FIXTURES_HPP
#define TESTS_TRACKER_FIXTURES_HPP

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mlx/array/matrix.hpp"
#include "synthetic.hpp"
#include "tracker/iniparser.hpp"

namespace fixtures {

// A configuration table from lines "key = value".
inline ini::INIParser config(const std::string& text) {
    // Tests run as parallel processes: each writes its own file.
    const std::string path = ::testing::TempDir() + "fixtures_config_" + std::to_string(getpid()) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    ini::INIParser parser;
    EXPECT_TRUE(parser.read(path));
    return parser;
}

// A 320 x 240 frame's bytes as an image matrix (width rows, height columns).
inline mlx::matrix<unsigned char> image(const std::vector<std::uint8_t>& bytes) {
    mlx::matrix<unsigned char> out;
    out.assign(bytes.data(), 320, 240);
    return out;
}

// Frame t of the synthetic sequence.
inline mlx::matrix<unsigned char> frame(int t) { return image(synthetic::render(synthetic::motion(t), 320, 240)); }

// Frame t with the region's left side, as far as `band` texture units, and what lies above and
// below it, covered by another texture fixed in the image: an occluder.
inline mlx::matrix<unsigned char> occludedFrame(int t, double band) {
    const auto m = synthetic::motion(t);
    const auto back = synthetic::inverse(m);
    auto bytes = synthetic::render(m, 320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const auto uv = synthetic::apply(back, x, y);
            if (uv[0] < band && uv[1] > -10.0 && uv[1] < 90.0)
                bytes[x + 320 * y] = static_cast<unsigned char>(std::round(synthetic::texture(1.7 * y, 1.3 * x)));
        }
    return image(bytes);
}

// The region of frame t as integer corners, 3 x 4.
inline mlx::matrix<int, 12> corners(int t) {
    const auto c = synthetic::truth(synthetic::motion(t));
    mlx::matrix<int, 12> out(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        out(0, j) = static_cast<int>(c[2 * j]);
        out(1, j) = static_cast<int>(c[2 * j + 1]);
        out(2, j) = 1;
    }
    return out;
}

// The corners (3 x 4) of the quad through four (x, y) points.
template <class T>
mlx::matrix<T, 12> quad(const T (&xy)[4][2]) {
    mlx::matrix<T, 12> out(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        out(0, j) = xy[j][0];
        out(1, j) = xy[j][1];
        out(2, j) = T(1);
    }
    return out;
}

// Largest magnitude of the elements of m.
inline double largestAbs(const mlx::matrix<double>& m) {
    double worst = 0.0;
    for (double v : m) worst = std::max(worst, std::fabs(v));
    return worst;
}

}  // namespace fixtures

#endif
