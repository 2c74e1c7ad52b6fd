#ifndef TRACKER_INTERFACE_HPP
#define TRACKER_INTERFACE_HPP

#include <cstdint>
#include <memory>

#include "mlx/array/matrix.hpp"
#include "tracker/iniparser.hpp"
#include "tracker/quadtrack.h"
#include "tracker/components/session.hpp"

namespace track {

// A host coordinate as a signed one: 2^31 and above are the 32-bit wrap of negative coordinates.
// Written out because before C++20 converting such a value to int is implementation-defined.
inline std::int32_t fromHostCoordinate(std::uint32_t v) {
    return v < 0x80000000u ? static_cast<std::int32_t>(v) : -static_cast<std::int32_t>(~v) - 1;
}

// Homogeneous image point (x, y, 1) of a corner.
template <class T>
class Point {
public:
    Point(std::uint32_t x, std::uint32_t y) : p(3, 1) {
        p(0) = static_cast<T>(fromHostCoordinate(x));
        p(1) = static_cast<T>(fromHostCoordinate(y));
        p(2) = T(1);
    }
    const mlx::matrix<T, 3>& get() const { return p; }

private:
    mlx::matrix<T, 3> p;
};

// The four corners of a Select record side by side: a 3 x 4 matrix, column j = corner j.
template <class T>
class Selection {
public:
    explicit Selection(const Select& sel) : c(3, 4) {
        const Point<T> points[4] = {{sel.x1, sel.y1}, {sel.x2, sel.y2}, {sel.x3, sel.y3}, {sel.x4, sel.y4}};
        for (std::size_t j = 0; j < 4; ++j)
            for (std::size_t i = 0; i < 3; ++i) c(i, j) = points[j].get()(i);
    }
    mlx::matrix<T, 12> getSel() const { return c; }

private:
    mlx::matrix<T, 12> c;
};

// A corner estimate as the host's unsigned coordinate: truncated toward zero and wrapped modulo
// 2^32. False for an estimate that is not finite or beyond 64-bit range (the region is lost).
bool toHostCoordinate(double v, std::uint32_t& out);

// The tracking object handed to hosts. It reads "tracker.ini" from the current directory once,
// at construction, and owns one tracking session from init() to kill(); both print their timing
// line. A lost frame raises "run: the region was lost (...)" and leaves the selection as it was.
class trackview : public Interface {
public:
    trackview();
    ~trackview() override;

    void init(const Select& sel, const unsigned char* image, const std::uint32_t& width, const std::uint32_t& height,
              const std::uint32_t& depth) override;
    void run(const unsigned char* image, Select& sel) override;
    void kill() override;

private:
    std::unique_ptr<session> tk;
    ini::INIParser config;
    std::uint32_t height = 0;
    std::uint32_t width = 0;
    std::uint32_t depth = 0;
    mlx::matrix<unsigned int> position;
    mlx::matrix<unsigned char> image;
};

}  // namespace track

#endif
