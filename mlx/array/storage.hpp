#ifndef MLX_ARRAY_STORAGE_HPP
#define MLX_ARRAY_STORAGE_HPP

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>

#include "mlx/array/block.hpp"
#include "mlx/tool/exception.hpp"

namespace mlx {

// Capacity tag of a matrix whose element block lives on the heap.
inline constexpr std::size_t dynamic = 0;

namespace detail {

// Element storage of a matrix. Both kinds offer data(), capacity(), reserve(used, count), which
// makes room for count elements, keeps the first min(used, count) values and zeroes the rest,
// and grow(used, count), which makes the room, keeps the first used values and touches no other.
template <class T, std::size_t Capacity>
class storage {
public:
    T* data() noexcept { return elems_; }
    const T* data() const noexcept { return elems_; }
    static constexpr std::size_t capacity() noexcept { return Capacity; }

    void reserve(std::size_t used, std::size_t count) {
        grow(used, count);
        std::fill(elems_ + std::min(used, count), elems_ + Capacity, T());
    }
    void grow(std::size_t, std::size_t count) const {
        if (count > Capacity) {
            std::cout << "erreur alloc" << std::endl;
            MLX_RAISE(tool::checker::BadDimensions << ": " << count
                                                   << " elements exceed the fixed capacity "
                                                   << Capacity);
        }
    }

private:
    alignas(16) T elems_[Capacity] = {};
};

// Heap block aligned on 16 bytes; it grows when needed and never shrinks.
template <class T>
class storage<T, dynamic> {
public:
    storage() = default;
    storage(const storage&) = delete;
    storage& operator=(const storage&) = delete;
    storage(storage&& other) noexcept : block_(other.block_), capacity_(other.capacity_) {
        other.block_ = nullptr;
        other.capacity_ = 0;
    }
    storage& operator=(storage&& other) noexcept {
        std::swap(block_, other.block_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~storage() { release(); }

    T* data() noexcept { return block_; }
    const T* data() const noexcept { return block_; }
    std::size_t capacity() const noexcept { return capacity_; }

    void reserve(std::size_t used, std::size_t count) {
        grow(std::min(used, count), count);
        std::fill(block_ + std::min(used, count), block_ + count, T());
    }
    void grow(std::size_t used, std::size_t count) {
        if (count <= capacity_) return;
        T* grown = allocate(count);
        std::copy(block_, block_ + used, grown);
        release();
        block_ = grown;
        capacity_ = count;
    }

private:
    static constexpr std::size_t alignment = alignof(T) > 16 ? alignof(T) : 16;

    static T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const blockLayout layout = layoutOf(count * sizeof(T), alignment);
        T* block = static_cast<T*>(reuseBlock(layout));
        if (block == nullptr) {
            block = static_cast<T*>(::operator new[](layout.bytes, std::align_val_t(layout.alignment)));
            adviseHugePages(block, layout);
        }
        // Left untouched: every element is set before it is read, and a page not yet written is
        // not yet backed.
        std::uninitialized_default_construct_n(block, count);
        return block;
    }
    void release() noexcept {
        if (block_ != nullptr) {
            std::destroy_n(block_, capacity_);
            const blockLayout layout = layoutOf(capacity_ * sizeof(T), alignment);
            if (!keepBlock(block_, layout)) ::operator delete[](block_, std::align_val_t(layout.alignment));
        }
        block_ = nullptr;
        capacity_ = 0;
    }

    T* block_ = nullptr;
    std::size_t capacity_ = 0;
};

}  // namespace detail
}  // namespace mlx

#endif
