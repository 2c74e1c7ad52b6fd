#ifndef MLX_ARRAY_RANGE_HPP
#define MLX_ARRAY_RANGE_HPP

#include <cstddef>

namespace mlx {

// An index relative to the last index of a dimension: End is the last one, End - 1 the one before.
struct last_index {
    std::ptrdiff_t offset;
};
inline constexpr last_index End{0};
constexpr last_index operator-(last_index e, std::ptrdiff_t n) { return {e.offset - n}; }

// The indices start, start + step, ... (count of them). A start or count relative to the end of
// the dimension is resolved when the range is applied to a matrix.
struct range {
    std::ptrdiff_t start = 0;
    std::ptrdiff_t step = 1;
    std::ptrdiff_t count = 0;
    bool end_relative = false;  // count = (extent - 1 + count) - start + 1

    constexpr range(std::ptrdiff_t first, std::ptrdiff_t stride, std::ptrdiff_t n)
        : start(first), step(stride), count(n) {}
    // A single index.
    constexpr range(std::ptrdiff_t index) : start(index), step(1), count(1) {}

    constexpr std::ptrdiff_t size(std::size_t extent) const {
        return end_relative ? static_cast<std::ptrdiff_t>(extent) + count - start : count;
    }
    constexpr std::ptrdiff_t operator[](std::ptrdiff_t k) const { return start + step * k; }
};

// The indices 0, 1, ..., last (last + 1 of them).
constexpr range AllTo(std::ptrdiff_t last) { return range(0, 1, last + 1); }
// The indices 0, 1, ..., extent - 1 + e.offset of the dimension it indexes.
constexpr range AllTo(last_index e) {
    range r(0, 1, e.offset);
    r.end_relative = true;
    return r;
}
// Every index of the dimension.
inline constexpr range All = AllTo(End);
// The indices first, first + 1, ..., last (inclusive).
constexpr range Span(std::ptrdiff_t first, std::ptrdiff_t last) { return range(first, 1, last - first + 1); }
// n copies of the index v.
constexpr range Repeat(std::ptrdiff_t v, std::ptrdiff_t n) { return range(v, 0, n); }

}  // namespace mlx

#endif
