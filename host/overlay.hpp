// Pictures for people: quadrilaterals drawn on frames, labels, and the demo's summary.
#ifndef QUADTRACK_HOST_OVERLAY_HPP
#define QUADTRACK_HOST_OVERLAY_HPP

#include "host/geometry.hpp"
#include "host/image.hpp"

#include <string>
#include <vector>

namespace host {

constexpr Colour kTrackedColour{40, 230, 60};
constexpr Colour kTruthColour{255, 60, 200};
constexpr Colour kLostColour{255, 150, 0};

// With dash, runs of dash pixels drawn and skipped in turn.
void drawLine(RgbImage& image, Point a, Point b, Colour c, int dash = 0);
// The quadrilateral's edges, and a small square on corner 1 so its orientation shows.
void drawQuad(RgbImage& image, const Quad& q, Colour c, bool dashed = false);
// The corners held on a frame where the region was lost: dashed, and "lost" in the top-left corner.
void drawLostQuad(RgbImage& image, const Quad& q);
// Text in a small built-in bitmap font, magnified scale times, top-left corner at (x, y).
void drawText(RgbImage& image, int x, int y, const std::string& text, Colour c, int scale = 1);

struct SummaryPanel {
    RgbImage picture;  // a frame with its overlays already drawn
    std::string caption;
};

// Panels side by side, each captioned, above a plot of the per-frame corner error with the
// threshold line; frames past the end of errors are not plotted.
RgbImage summaryPicture(const std::vector<SummaryPanel>& panels, const std::vector<double>& errors,
                        double threshold, const std::string& title);

}  // namespace host

#endif
