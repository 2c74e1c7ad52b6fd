#include "host/geometry.hpp"

#include <cmath>

namespace host {

Point Homography::apply(Point p) const {
    const double w = h[6] * p.x + h[7] * p.y + h[8];
    return {(h[0] * p.x + h[1] * p.y + h[2]) / w, (h[3] * p.x + h[4] * p.y + h[5]) / w};
}

Homography Homography::inverse() const {
    const auto& m = h;
    Homography r;
    r.h = {m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
           m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
           m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    const double det = m[0] * r.h[0] + m[1] * r.h[3] + m[2] * r.h[6];
    for (double& v : r.h) v /= det;
    return r;
}

Homography operator*(const Homography& a, const Homography& b) {
    Homography r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += a.h[3 * i + k] * b.h[3 * k + j];
            r.h[3 * i + j] = s;
        }
    return r;
}

Homography squareToQuad(const Quad& q) {
    const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
    const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
    const double den = dx1 * dy2 - dx2 * dy1;
    const double g = (sx * dy2 - dx2 * sy) / den;
    const double k = (dx1 * sy - sx * dy1) / den;
    Homography r;
    r.h = {q[1].x - q[0].x + g * q[1].x, q[3].x - q[0].x + k * q[3].x, q[0].x,
           q[1].y - q[0].y + g * q[1].y, q[3].y - q[0].y + k * q[3].y, q[0].y,
           g, k, 1};
    return r;
}

bool isConvex(const Quad& q) {
    int positive = 0, negative = 0;
    for (int c = 0; c < 4; ++c) {
        const Point& a = q[c];
        const Point& b = q[(c + 1) % 4];
        const Point& d = q[(c + 2) % 4];
        const double cross = (b.x - a.x) * (d.y - b.y) - (b.y - a.y) * (d.x - b.x);
        if (cross > 0) ++positive;
        if (cross < 0) ++negative;
    }
    return positive == 4 || negative == 4;
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace host
