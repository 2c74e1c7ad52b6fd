#include "host/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace host;

namespace {

constexpr double kTight = 1e-9;

const Quad kTilted = {Point{10, 20}, Point{110, 30}, Point{95, 140}, Point{5, 120}};

}  // namespace

TEST(SquareToQuad, MapsTheUnitSquareCornersOntoTheQuadInOrder) {
    const Homography h = squareToQuad(kTilted);
    const Point square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int c = 0; c < 4; ++c) {
        const Point p = h.apply(square[c]);
        EXPECT_NEAR(p.x, kTilted[c].x, kTight) << "corner " << c;
        EXPECT_NEAR(p.y, kTilted[c].y, kTight) << "corner " << c;
    }
}

TEST(SquareToQuad, KeepsStraightLinesStraightAndInverseUndoesIt) {
    const Homography h = squareToQuad(kTilted);
    // The middle of the square's diagonal is where the quad's diagonals cross.
    const Point centre = h.apply({0.5, 0.5});
    auto side = [](Point a, Point b, Point p) { return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x); };
    EXPECT_NEAR(side(kTilted[0], kTilted[2], centre), 0, 1e-7);
    EXPECT_NEAR(side(kTilted[1], kTilted[3], centre), 0, 1e-7);
    const Point back = h.inverse().apply(h.apply({0.3, 0.8}));
    EXPECT_NEAR(back.x, 0.3, kTight);
    EXPECT_NEAR(back.y, 0.8, kTight);
}

TEST(SquareToQuad, GivesNonFiniteResultsForCollinearCorners) {
    const Quad line = {Point{0, 0}, Point{10, 0}, Point{20, 0}, Point{30, 0}};
    const Point p = squareToQuad(line).apply({0.5, 0.5});
    EXPECT_FALSE(std::isfinite(p.x) && std::isfinite(p.y));
}

TEST(IsConvex, AcceptsBothDirectionsAndRejectsCrossedFlatOrDentedQuads) {
    EXPECT_TRUE(isConvex(kTilted));
    EXPECT_TRUE(isConvex({kTilted[3], kTilted[2], kTilted[1], kTilted[0]}));
    EXPECT_FALSE(isConvex({kTilted[0], kTilted[2], kTilted[1], kTilted[3]}));  // bow tie
    EXPECT_FALSE(isConvex({Point{0, 0}, Point{10, 0}, Point{20, 0}, Point{5, 10}}));
    EXPECT_FALSE(isConvex({Point{0, 0}, Point{10, 0}, Point{2, 2}, Point{0, 10}}));
    EXPECT_FALSE(isConvex({Point{5, 5}, Point{5, 5}, Point{5, 5}, Point{5, 5}}));
}
