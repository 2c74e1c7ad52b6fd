#include "mlx/array/block.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mlx::detail {

namespace {
constexpr std::size_t large = std::size_t{1} << 20;
constexpr std::size_t hugePage = std::size_t{2} << 20;
}  // namespace

blockLayout layoutOf(std::size_t bytes, std::size_t alignment) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= large && bytes <= static_cast<std::size_t>(-1) - hugePage)
        return {(bytes + hugePage - 1) / hugePage * hugePage, alignment > hugePage ? alignment : hugePage};
#endif
    return {bytes, alignment};
}

void adviseHugePages(void* block, const blockLayout& layout) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only a hint: where huge pages are off or short, the block is backed by small pages as before.
    if (layout.alignment >= hugePage) madvise(block, layout.bytes, MADV_HUGEPAGE);
#else
    (void)block;
    (void)layout;
#endif
}

}  // namespace mlx::detail
