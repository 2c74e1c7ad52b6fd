// Images of the host: grey frames as the plug-in reads them and colour pictures for overlays.
#ifndef QUADTRACK_HOST_IMAGE_HPP
#define QUADTRACK_HOST_IMAGE_HPP

#include <cstdint>
#include <vector>

namespace host {

// Lines of width bytes one after the other: byte x + width*y is pixel (x, y), as the plug-in reads.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    GreyImage() = default;
    GreyImage(int w, int h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h)) {}
    std::uint8_t& at(int x, int y) { return pixels[std::size_t(y) * std::size_t(width) + x]; }
    std::uint8_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + x]; }
};

struct Colour {
    std::uint8_t r, g, b;
};

// Three bytes per pixel, red first, in the same line order as GreyImage.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    RgbImage() = default;
    RgbImage(int w, int h, Colour fill);
    explicit RgbImage(const GreyImage& grey);
    // Pixels outside the image are ignored, so shapes may run over the border.
    void set(int x, int y, Colour c);
};

// Bilinear interpolation at (x, y); false when the point is outside the pixel centres' hull.
bool sampleBilinear(const GreyImage& image, double x, double y, double& value);

}  // namespace host

#endif
