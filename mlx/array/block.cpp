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
    if (bytes >= large && bytes <= static_cast<std::size_t>(-1) - hugePage) {
        const std::size_t tail = bytes % hugePage;
        const std::size_t huge = bytes - tail + (tail >= large ? hugePage : 0);
        return {huge > bytes ? huge : bytes, alignment > hugePage ? alignment : hugePage, huge};
    }
#endif
    return {bytes, alignment, 0};
}

void adviseHugePages(void* block, const blockLayout& layout) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Where huge pages are off or short, the block is backed by small pages as before.
    if (layout.huge > 0) madvise(block, layout.huge, MADV_HUGEPAGE);
#else
    (void)block;
    (void)layout;
#endif
}

}  // namespace mlx::detail
