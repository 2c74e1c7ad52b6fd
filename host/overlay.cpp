#include "host/overlay.hpp"

#include <algorithm>
#include <cmath>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_easy_font.h>
#pragma GCC diagnostic pop

namespace host {

namespace {

constexpr Colour kInk{235, 235, 235};
constexpr Colour kPaper{30, 30, 34};
constexpr Colour kGridColour{90, 90, 96};

void fillRect(RgbImage& image, int x0, int y0, int x1, int y1, Colour c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) image.set(x, y, c);
}

void blit(RgbImage& dst, const RgbImage& src, int ox, int oy) {
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x) {
            const std::uint8_t* p = &src.pixels[(std::size_t(y) * src.width + x) * 3];
            dst.set(ox + x, oy + y, {p[0], p[1], p[2]});
        }
}

}  // namespace

void drawLine(RgbImage& image, Point a, Point b, Colour c, int dash) {
    // Corners far outside would make the loop long for nothing; the visible part is what counts.
    auto clampPoint = [&](Point p) {
        const double limit = 4.0 * std::max(image.width, image.height);
        return Point{std::clamp(p.x, -limit, limit), std::clamp(p.y, -limit, limit)};
    };
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
    a = clampPoint(a);
    b = clampPoint(b);
    const int steps = int(std::ceil(std::max(std::abs(b.x - a.x), std::abs(b.y - a.y)))) + 1;
    for (int s = 0; s <= steps; ++s) {
        if (dash > 0 && s / dash % 2 == 1) continue;
        const double t = double(s) / steps;
        image.set(int(std::lround(a.x + t * (b.x - a.x))), int(std::lround(a.y + t * (b.y - a.y))), c);
    }
}

void drawQuad(RgbImage& image, const Quad& q, Colour c, bool dashed) {
    for (int k = 0; k < 4; ++k) drawLine(image, q[k], q[(k + 1) % 4], c, dashed ? 4 : 0);
    if (!std::isfinite(q[0].x) || !std::isfinite(q[0].y)) return;
    const int x = int(std::lround(q[0].x)), y = int(std::lround(q[0].y));
    fillRect(image, x - 2, y - 2, x + 3, y + 3, c);
}

void drawLostQuad(RgbImage& image, const Quad& q) {
    drawQuad(image, q, kLostColour, true);
    // On a dark patch, so the label reads on any frame.
    fillRect(image, 0, 0, 44, 18, kPaper);
    drawText(image, 3, 2, "lost", kLostColour, 2);
}

void drawText(RgbImage& image, int x, int y, const std::string& text, Colour c, int scale) {
    std::string buffer = text;
    // stb_easy_font emits quads of four vertices: x, y, z as floats, then four colour bytes.
    struct Vertex {
        float x, y, z;
        unsigned char rgba[4];
    };
    std::vector<Vertex> vertices(text.size() * 70 * 4);
    const int quads = stb_easy_font_print(0, 0, buffer.data(), nullptr, vertices.data(),
                                          int(vertices.size() * sizeof(Vertex)));
    for (int q = 0; q < quads; ++q) {
        const Vertex* v = &vertices[std::size_t(q) * 4];
        fillRect(image, x + int(v[0].x) * scale, y + int(v[0].y) * scale, x + int(v[2].x) * scale,
                 y + int(v[2].y) * scale, c);
    }
}

RgbImage summaryPicture(const std::vector<SummaryPanel>& panels, const std::vector<double>& errors,
                        double threshold, const std::string& title) {
    constexpr int kGap = 8, kTitle = 30, kCaption = 22, kPlot = 150, kPlotPad = 36;
    int width = kGap, panelHeight = 0;
    for (const auto& p : panels) {
        width += p.picture.width + kGap;
        panelHeight = std::max(panelHeight, p.picture.height);
    }
    const int height = kTitle + panelHeight + kCaption + kPlot + kGap;
    RgbImage out(width, height, kPaper);
    drawText(out, kGap, 8, title, kInk, 2);
    drawText(out, width - 190, 6, "green: tracked", kTrackedColour);
    drawText(out, width - 190, 17, "magenta: truth", kTruthColour);

    int x = kGap;
    for (const auto& p : panels) {
        blit(out, p.picture, x, kTitle);
        drawText(out, x, kTitle + panelHeight + 6, p.caption, kInk, 1);
        x += p.picture.width + kGap;
    }

    // Error plot: frame index across, error up, clipped at a ceiling that keeps the threshold
    // in view even when the error is tiny.
    const int left = kGap + kPlotPad, right = width - kGap;
    const int top = kTitle + panelHeight + kCaption + 14, bottom = height - kGap - 12;
    double ceiling = 2 * threshold;
    for (double e : errors)
        if (std::isfinite(e)) ceiling = std::max(ceiling, std::min(e, 5 * threshold));
    auto px = [&](double frame) {
        const double span = std::max<double>(1, double(errors.size()) - 1);
        return left + frame / span * (right - left);
    };
    auto py = [&](double e) { return bottom - std::min(e, ceiling) / ceiling * (bottom - top); };
    drawLine(out, {double(left), double(bottom)}, {double(right), double(bottom)}, kGridColour);
    drawLine(out, {double(left), double(top)}, {double(left), double(bottom)}, kGridColour);
    for (int s = left; s < right; s += 6)
        drawLine(out, {double(s), py(threshold)}, {double(std::min(s + 3, right)), py(threshold)}, kTruthColour);
    drawText(out, kGap, int(py(threshold)) - 3, std::to_string(int(threshold)) + " px", kTruthColour);
    drawText(out, kGap, top - 4, "error", kInk);
    drawText(out, left, bottom + 3, "frame 0", kInk);
    drawText(out, right - 60, bottom + 3, "frame " + std::to_string(errors.empty() ? 0 : errors.size() - 1), kInk);
    drawText(out, left + 8, top - 12, "worst corner error per frame (px, clipped at " +
                                          std::to_string(int(std::round(ceiling))) + ")", kInk);
    for (std::size_t k = 1; k < errors.size(); ++k) {
        const double a = std::isfinite(errors[k - 1]) ? errors[k - 1] : ceiling;
        const double b = std::isfinite(errors[k]) ? errors[k] : ceiling;
        drawLine(out, {px(double(k - 1)), py(a)}, {px(double(k)), py(b)}, kTrackedColour);
    }
    return out;
}

}  // namespace host
