#ifndef MLX_ARRAY_BLOCK_HPP
#define MLX_ARRAY_BLOCK_HPP

#include <cstddef>

namespace mlx::detail {

// Large element blocks are laid on whole huge pages where the system offers them. A fresh block
// is otherwise backed one small page at a time on first touch, and on a virtual machine each such
// fault costs up to 10 us: 6 ms for the 2.5 MiB training set of one level, more than its fit.
struct blockLayout {
    std::size_t bytes;      // what to allocate: at least the bytes asked
    std::size_t alignment;  // and its alignment: at least the one asked
};

// The layout of a block of this many bytes at this alignment: unchanged below 1 MiB and on
// systems without huge pages; else rounded up to whole 2 MiB pages, aligned on one.
blockLayout layoutOf(std::size_t bytes, std::size_t alignment) noexcept;

// Asks the system to back a block laid out by layoutOf with huge pages (nothing where the layout
// was left unchanged, or the system declines).
void adviseHugePages(void* block, const blockLayout& layout) noexcept;

}  // namespace mlx::detail

#endif
