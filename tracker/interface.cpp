#include "tracker/interface.hpp"

#include <cmath>
#include <iostream>

#include "mlx/tool/exception.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackjdk.hpp"
#include "tracker/trackRVM.hpp"

namespace track {
namespace {

// Whether corners a and b are collinear with corner o: (a - o) x (b - o) = 0. Coordinates span
// less than 2^32, so that product, twice the area of a triangle of corners, is below 2^64 in
// magnitude: computed modulo 2^64, where unsigned arithmetic is defined, it is zero only when it is.
bool collinear(const mlx::matrix<int, 12>& c, std::size_t a, std::size_t b, std::size_t o) {
    const auto d = [&](std::size_t row, std::size_t j) {
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(c(row, j)) - c(row, o));
    };
    return d(0, a) * d(1, b) - d(1, a) * d(0, b) == 0;
}

// Four corners define a homography of the unit square only when no three of them are collinear
// (which includes coincident corners).
void requireGeneralPosition(const mlx::matrix<int, 12>& c) {
    static const std::size_t triples[4][3] = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
    for (const auto& t : triples)
        if (collinear(c, t[0], t[1], t[2]))
            MLX_RAISE("selected corners " << t[0] + 1 << ", " << t[1] + 1 << " and " << t[2] + 1
                                          << " are collinear or coincident: no region to track");
}

}  // namespace

std::unique_ptr<tracker> makeTracker(const mlx::matrix<int, 12>& corners, const ini::INIParser& config,
                                     const mlx::matrix<unsigned char>& image) {
    requireGeneralPosition(corners);
    switch (tracker::kindOf(config)) {
    case tracker::JDK:
        return std::make_unique<trackjdk>(corners, config, image);
    case tracker::RVM:
        return std::make_unique<trackRVM>(corners, config, image);
    case tracker::JD:
        break;
    }
    return std::make_unique<trackDhome>(corners, config, image);
}

bool toHostCoordinate(double v, std::uint32_t& out) {
    if (!(std::fabs(v) < 9223372036854775808.0)) return false;  // 2^63
    out = static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(v)));
    return true;
}

trackview::trackview() : position(2, 4) {
    if (!config.read("tracker.ini")) std::cerr << "Fichier ini de config introuvable" << std::endl;
}

trackview::~trackview() { kill(); }

void trackview::init(const Select& sel, const unsigned char* frame, const std::uint32_t& w, const std::uint32_t& h,
                     const std::uint32_t& d) {
    kill();
    if (frame == nullptr) MLX_RAISE("init: the image pointer is null");
    if (w == 0 || h == 0) MLX_RAISE("init: image of " << w << " x " << h << " pixels");
    const Selection<int> selection(sel);
    width = w;
    height = h;
    depth = d;
    image.assign(frame, width, height);
    tk = makeTracker(selection.getSel(), config, image);
    std::cout << "Learning time : " << tk->learningTime() << " seconds" << std::endl;
}

void trackview::run(const unsigned char* frame, Select& sel) {
    if (!tk) MLX_RAISE("run: no region is being tracked (call init first)");
    if (frame == nullptr) MLX_RAISE("run: the image pointer is null");
    image.assign(frame, width, height);
    const mlx::matrix<double>& C = tk->run(image);
    if (C.rows() < 2 || C.cols() < 4) return;
    mlx::matrix<unsigned int> next(2, 4);
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t i = 0; i < 2; ++i)
            if (!toHostCoordinate(C(i, j), next(i, j)))
                MLX_RAISE("run: the region was lost (corner " << j + 1 << " estimate " << C(i, j) << ")");
    position = next;
    std::uint32_t* out[4][2] = {{&sel.x1, &sel.y1}, {&sel.x2, &sel.y2}, {&sel.x3, &sel.y3}, {&sel.x4, &sel.y4}};
    for (std::size_t j = 0; j < 4; ++j) {
        *out[j][0] = position(0, j);
        *out[j][1] = position(1, j);
    }
}

void trackview::kill() {
    if (!tk) return;
    const double average = tk->averageFrameTime();
    tk.reset();
    std::cout << "Average picture tracking time : " << average << " seconds" << std::endl;
}

}  // namespace track
