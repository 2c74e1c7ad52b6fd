#ifndef TESTS_ALLOCATION_COUNTER_HPP
#define TESTS_ALLOCATION_COUNTER_HPP

// Replaces the global operator new and delete of a test program to count every allocation.
// Include it from exactly one source file of the program.

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {

inline std::atomic<long> count{0};

inline void* counted(std::size_t n) {
    ++count;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
inline void* counted_aligned(std::size_t n, std::align_val_t a) {
    ++count;
    const std::size_t al = static_cast<std::size_t>(a);
    const std::size_t size = (n + al - 1) / al * al;
#ifdef _WIN32
    // The Windows C runtime has no aligned_alloc; its aligned blocks need their own free.
    if (void* p = _aligned_malloc(size == 0 ? al : size, al)) return p;
#else
    if (void* p = std::aligned_alloc(al, size == 0 ? al : size)) return p;
#endif
    throw std::bad_alloc();
}
inline void free_aligned(void* p) {
#ifdef _WIN32
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace allocation_counter

void* operator new(std::size_t n) { return allocation_counter::counted(n); }
void* operator new[](std::size_t n) { return allocation_counter::counted(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocation_counter::counted_aligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocation_counter::counted_aligned(n, a); }
// The library's temporary buffers (std::stable_sort's) come from the nothrow forms: they must pair
// with the deletes below too.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++allocation_counter::count;
    return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    try {
        return allocation_counter::counted_aligned(n, a);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t& t) noexcept { return operator new(n, a, t); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { allocation_counter::free_aligned(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { allocation_counter::free_aligned(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { allocation_counter::free_aligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { allocation_counter::free_aligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { allocation_counter::free_aligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { allocation_counter::free_aligned(p); }

#endif
