#include "host/image.hpp"

#include <algorithm>

namespace host {

RgbImage::RgbImage(int w, int h, Colour fill) : width(w), height(h) {
    pixels.reserve(std::size_t(w) * std::size_t(h) * 3);
    for (std::size_t i = 0; i < std::size_t(w) * std::size_t(h); ++i)
        pixels.insert(pixels.end(), {fill.r, fill.g, fill.b});
}

RgbImage::RgbImage(const GreyImage& grey) : width(grey.width), height(grey.height) {
    pixels.reserve(grey.pixels.size() * 3);
    for (std::uint8_t v : grey.pixels) pixels.insert(pixels.end(), {v, v, v});
}

void RgbImage::set(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::uint8_t* p = &pixels[(std::size_t(y) * std::size_t(width) + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

bool sampleBilinear(const GreyImage& image, double x, double y, double& value) {
    // Written so that NaN coordinates fail the test too.
    if (!(x >= 0 && y >= 0 && x <= image.width - 1 && y <= image.height - 1)) return false;
    const int x0 = std::min(int(x), image.width - 2 < 0 ? 0 : image.width - 2);
    const int y0 = std::min(int(y), image.height - 2 < 0 ? 0 : image.height - 2);
    const int x1 = std::min(x0 + 1, image.width - 1);
    const int y1 = std::min(y0 + 1, image.height - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = image.at(x0, y0) * (1 - fx) + image.at(x1, y0) * fx;
    const double bottom = image.at(x0, y1) * (1 - fx) + image.at(x1, y1) * fx;
    value = top * (1 - fy) + bottom * fy;
    return true;
}

}  // namespace host
