// Plane geometry of the host: corner quadrilaterals and the homographies between them.
#ifndef QUADTRACK_HOST_GEOMETRY_HPP
#define QUADTRACK_HOST_GEOMETRY_HPP

#include <array>

namespace host {

struct Point {
    double x = 0;
    double y = 0;
};

// Corners 1 to 4 of a region, in order around it; corner c is the image of unit-square corner
// (0,0), (1,0), (1,1), (0,1) respectively.
using Quad = std::array<Point, 4>;

// Projective transform of the plane, row-major, acting on (x, y, 1).
struct Homography {
    std::array<double, 9> h{1, 0, 0, 0, 1, 0, 0, 0, 1};

    Point apply(Point p) const;
    // Adjugate inverse; a singular transform gives non-finite entries.
    Homography inverse() const;
};

// a * b applies b first.
Homography operator*(const Homography& a, const Homography& b);

// The transform taking the unit square's corners onto q (Heckbert's square-to-quad mapping);
// non-finite entries when three corners are collinear.
Homography squareToQuad(const Quad& q);

// True when the corners go around a convex region of non-zero area, in either direction.
bool isConvex(const Quad& q);

double distance(Point a, Point b);

}  // namespace host

#endif
