#include "mlx/array/block.hpp"

#include <mutex>

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

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool keeping = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool keeping = false;
#else
constexpr bool keeping = true;
#endif
#else
constexpr bool keeping = true;
#endif

struct keep {
    std::mutex lock;
    struct kept {
        void* block = nullptr;
        std::size_t bytes = 0, alignment = 0;
    } slots[keptBlocks];
    std::size_t bytes = 0;
};

// Never destroyed: blocks are freed, and so kept, until the process ends.
keep& theKeep() {
    static keep* k = new keep;
    return *k;
}

}  // namespace

void* reuseBlock(const blockLayout& layout) noexcept {
    if (!keeping || layout.huge == 0) return nullptr;
    keep& k = theKeep();
    const std::lock_guard<std::mutex> hold(k.lock);
    for (auto& slot : k.slots)
        if (slot.block != nullptr && slot.bytes == layout.bytes && slot.alignment == layout.alignment) {
            void* block = slot.block;
            slot = {};
            k.bytes -= layout.bytes;
            return block;
        }
    return nullptr;
}

bool keepBlock(void* block, const blockLayout& layout) noexcept {
    if (!keeping || layout.huge == 0) return false;
    keep& k = theKeep();
    const std::lock_guard<std::mutex> hold(k.lock);
    if (k.bytes + layout.bytes > keptBytes) return false;
    for (auto& slot : k.slots)
        if (slot.block == nullptr) {
            slot = {block, layout.bytes, layout.alignment};
            k.bytes += layout.bytes;
            return true;
        }
    return false;
}

}  // namespace mlx::detail
