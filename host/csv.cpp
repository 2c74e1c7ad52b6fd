#include "host/csv.hpp"

#include <cstdio>

namespace host {

std::string csvRow(long frame, const Quad& corners, double score) {
    std::string row = std::to_string(frame);
    for (const Point& p : corners) {
        row += ',' + std::to_string(static_cast<long long>(p.x));
        row += ',' + std::to_string(static_cast<long long>(p.y));
    }
    char text[32];
    std::snprintf(text, sizeof text, ",%.4f", score);
    return row + text;
}

}  // namespace host
