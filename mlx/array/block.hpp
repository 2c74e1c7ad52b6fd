#ifndef MLX_ARRAY_BLOCK_HPP
#define MLX_ARRAY_BLOCK_HPP

#include <cstddef>

namespace mlx::detail {

// Large element blocks are laid on huge pages where the system offers them. A fresh block is
// otherwise backed one small page at a time on first touch, and on a virtual machine each such
// fault costs up to 10 us: 6 ms for the 2.5 MiB training set of one level, more than its fit.
struct blockLayout {
    std::size_t bytes;      // what to allocate: at least the bytes asked
    std::size_t alignment;  // and its alignment: at least the one asked
    std::size_t huge;       // the first bytes to lay on huge pages (0: none)
};

// The layout of a block of this many bytes at this alignment: unchanged below 1 MiB and on
// systems without huge pages; else aligned on a 2 MiB page, each whole 2 MiB on a huge page, and
// a tail of 1 MiB or more rounded up to one (a shorter tail stays on small pages).
blockLayout layoutOf(std::size_t bytes, std::size_t alignment) noexcept;

// Asks the system to back the block's huge part with huge pages (only a hint).
void adviseHugePages(void* block, const blockLayout& layout) noexcept;

// Freed blocks of huge-page layouts are kept, a few and up to keptBytes in all, for the next block
// of the same layout: memory the system has already backed, where a fresh block would pay its
// faults again (a tracker that learns a region anew, or the next tracker's learning, asks for the
// same blocks). Not under AddressSanitizer, whose checks of freed memory a kept block would evade.
inline constexpr std::size_t keptBlocks = 4;
inline constexpr std::size_t keptBytes = std::size_t{32} << 20;
// A kept block of this layout, taken from the keep; nullptr when there is none.
void* reuseBlock(const blockLayout& layout) noexcept;
// Keeps a freed block of this layout if there is room; false: the caller frees it.
bool keepBlock(void* block, const blockLayout& layout) noexcept;

}  // namespace mlx::detail

#endif
