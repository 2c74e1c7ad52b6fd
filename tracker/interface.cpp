#include "tracker/interface.hpp"

#include <cmath>
#include <iostream>

#include "mlx/tool/exception.hpp"

namespace track {
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
    tk = std::make_unique<session>(selection.getSel(), config, image);
    std::cout << "Learning time : " << tk->learningTime() << " seconds" << std::endl;
}

void trackview::run(const unsigned char* frame, Select& sel) {
    if (!tk) MLX_RAISE("run: no region is being tracked (call init first)");
    if (frame == nullptr) MLX_RAISE("run: the image pointer is null");
    image.assign(frame, width, height);
    const frameResult& r = tk->run(image);
    requireTracked(r);
    mlx::matrix<unsigned int> next(2, 4);
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t i = 0; i < 2; ++i)
            if (!toHostCoordinate(r.corners(i, j), next(i, j)))
                MLX_RAISE("run: the region was lost (corner " << j + 1 << " estimate " << r.corners(i, j) << ")");
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
