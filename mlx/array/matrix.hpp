#ifndef MLX_ARRAY_MATRIX_HPP
#define MLX_ARRAY_MATRIX_HPP

#include <algorithm>
#include <complex>
#include <cstddef>
#include <initializer_list>
#include <ostream>
#include <type_traits>

#include "mlx/array/range.hpp"
#include "mlx/array/storage.hpp"
#include "mlx/tool/exception.hpp"

namespace mlx {

// Rows and columns of a matrix; any shape with a zero dimension is the empty shape (0, 0).
struct shape {
    std::size_t rows = 0;
    std::size_t cols = 0;
    friend bool operator==(shape a, shape b) { return a.rows == b.rows && a.cols == b.cols; }
    friend bool operator!=(shape a, shape b) { return !(a == b); }
    friend std::ostream& operator<<(std::ostream& os, shape s) {
        return os << '(' << s.rows << ", " << s.cols << ')';
    }
};

template <class T, std::size_t Capacity = dynamic>
class matrix;
template <class M>
class block;
template <class M>
class indexed;

// Row of i and column of j addressed by a linear index k of an r x c matrix.
constexpr std::size_t ind2i(std::size_t k, std::size_t r) { return k % r; }
constexpr std::size_t ind2j(std::size_t k, std::size_t r, std::size_t c) { return (k / r) % c; }

// Dense column-major matrix with 0-based indices: element (i, j) is element i + rows*j of its
// storage. Capacity 0 keeps the elements in an aligned heap block; a positive capacity keeps
// them inside the object (a fixed matrix never allocates). Copies copy the elements.
template <class T, std::size_t Capacity>
class matrix {
public:
    using value_type = T;
    static constexpr std::size_t fixed_capacity = Capacity;

    matrix() = default;
    // An r x c matrix of zeros.
    matrix(std::size_t r, std::size_t c) { resize(r, c); }
    // Rows listed one after the other, as in [1 2; 3 4].
    matrix(std::initializer_list<std::initializer_list<T>> rows_list) {
        const std::size_t r = rows_list.size();
        const std::size_t c = r == 0 ? 0 : rows_list.begin()->size();
        resize(r, c);
        std::size_t i = 0;
        for (const auto& row : rows_list) {
            if (row.size() != c)
                MLX_RAISE(tool::checker::BadDimensions << ": rows of different lengths "
                                                       << c << " and " << row.size());
            std::size_t j = 0;
            for (const T& v : row) (*this)(i, j++) = v;
            ++i;
        }
    }
    matrix(const matrix& other) { copy_from(other); }
    matrix(matrix&& other) noexcept(Capacity == dynamic) { take(std::move(other)); }
    // Element-wise copy of a matrix of another capacity or element type.
    template <class U, std::size_t C>
    matrix(const matrix<U, C>& other) { copy_from(other); }

    matrix& operator=(const matrix& other) {
        if (this != &other) copy_from(other);
        return *this;
    }
    matrix& operator=(matrix&& other) noexcept(Capacity == dynamic) {
        if (this != &other) take(std::move(other));
        return *this;
    }
    template <class U, std::size_t C>
    matrix& operator=(const matrix<U, C>& other) {
        copy_from(other);
        return *this;
    }

    std::size_t rows() const noexcept { return rows_; }
    std::size_t cols() const noexcept { return cols_; }
    std::size_t numel() const noexcept { return rows_ * cols_; }
    bool empty() const noexcept { return numel() == 0; }
    mlx::shape size() const noexcept { return {rows_, cols_}; }
    std::size_t capacity() const noexcept { return store_.capacity(); }

    T* data() noexcept { return store_.data(); }
    const T* data() const noexcept { return store_.data(); }
    T* begin() noexcept { return data(); }
    T* end() noexcept { return data() + numel(); }
    const T* begin() const noexcept { return data(); }
    const T* end() const noexcept { return data() + numel(); }

    T& operator()(std::size_t i, std::size_t j) noexcept { return data()[i + rows_ * j]; }
    const T& operator()(std::size_t i, std::size_t j) const noexcept { return data()[i + rows_ * j]; }
    T& operator()(std::size_t k) noexcept { return data()[k]; }
    const T& operator()(std::size_t k) const noexcept { return data()[k]; }

    // Sub-blocks selected by ranges of rows and columns, or by a range of linear indices.
    block<matrix> operator()(range r, range c) { return block<matrix>(*this, r, c); }
    block<const matrix> operator()(range r, range c) const { return block<const matrix>(*this, r, c); }
    block<matrix> operator()(range k) { return block<matrix>(*this, k); }
    block<const matrix> operator()(range k) const { return block<const matrix>(*this, k); }
    // Elements selected by a matrix of linear indices.
    template <class I, std::size_t C>
    indexed<matrix> operator()(const matrix<I, C>& index) { return indexed<matrix>(*this, index); }

    // Shape r x c: the first min(old, new) elements keep their values, the others become 0.
    void resize(std::size_t r, std::size_t c) {
        if (r == 0 || c == 0) r = c = 0;
        store_.reserve(numel(), r * c);
        rows_ = r;
        cols_ = c;
    }

    // Room for count elements with the shape unchanged: resizing within it does not allocate,
    // and the room is not touched, nor on most systems backed by memory, before a resize uses it.
    void reserve(std::size_t count) { store_.grow(numel(), count); }

    // Shape r x c filled with r*c elements read from p in storage order.
    void assign(const T* p, std::size_t r, std::size_t c) {
        if (p == nullptr)
            MLX_RAISE("Invalid memory pointer used in copy or reference :"
                      << static_cast<const void*>(p));
        resize(r, c);
        std::copy(p, p + numel(), data());
    }

    // Every element set to v.
    matrix& fill(const T& v) {
        std::fill(begin(), end(), v);
        return *this;
    }

    // The element of a 1 x 1 matrix.
    explicit operator T() const {
        if (numel() != 1)
            MLX_RAISE("Only singletons can be converted to scalar. Size was" << size());
        return data()[0];
    }

private:
    template <class U, std::size_t C>
    void copy_from(const matrix<U, C>& other) {
        resize(other.rows(), other.cols());
        std::transform(other.begin(), other.end(), data(), [](const U& v) { return static_cast<T>(v); });
    }
    void take(matrix&& other) {
        if constexpr (Capacity == dynamic) {
            store_ = std::move(other.store_);
            rows_ = other.rows_;
            cols_ = other.cols_;
            other.rows_ = other.cols_ = 0;
        } else {
            copy_from(other);
        }
    }

    detail::storage<T, Capacity> store_;
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
};

// A rectangular selection of a matrix's elements, for reading into a new matrix or assigning.
template <class M>
class block {
public:
    using value_type = typename std::remove_const_t<M>::value_type;

    block(M& m, range r, range c) : m_(m), r_(r), c_(c) {
        rows_ = r.size(m.rows());
        cols_ = c.size(m.cols());
        check(r, rows_, m.rows());
        check(c, cols_, m.cols());
    }
    // Linear indices, seen as a column.
    block(M& m, range k) : m_(m), r_(k), c_(0), linear_(true) {
        rows_ = k.size(m.numel());
        cols_ = 1;
        check(k, rows_, m.numel());
    }

    std::size_t rows() const noexcept { return static_cast<std::size_t>(rows_); }
    std::size_t cols() const noexcept { return static_cast<std::size_t>(cols_); }

    decltype(auto) operator()(std::size_t i, std::size_t j) const {
        const auto row = static_cast<std::size_t>(r_[static_cast<std::ptrdiff_t>(i)]);
        return linear_ ? m_(row) : m_(row, static_cast<std::size_t>(c_[static_cast<std::ptrdiff_t>(j)]));
    }

    operator matrix<value_type>() const { return eval(); }
    matrix<value_type> eval() const {
        matrix<value_type> out(rows(), cols());
        for (std::size_t j = 0; j < cols(); ++j)
            for (std::size_t i = 0; i < rows(); ++i) out(i, j) = (*this)(i, j);
        return out;
    }

    // Element-wise assignment from a matrix of the block's shape (or as many elements for a
    // linear selection), or from one value.
    template <class U, std::size_t C>
    const block& operator=(const matrix<U, C>& src) const {
        const bool fits = linear_ ? src.numel() == rows() * cols()
                                  : src.rows() == rows() && src.cols() == cols();
        if (!fits)
            XPR_RAISE(tool::checker::SizeMismatch << ": block " << mlx::shape{rows(), cols()}
                                                  << " assigned from " << src.size());
        std::size_t k = 0;
        for (std::size_t j = 0; j < cols(); ++j)
            for (std::size_t i = 0; i < rows(); ++i) (*this)(i, j) = static_cast<value_type>(src(k++));
        return *this;
    }
    const block& operator=(const block& src) const { return *this = src.eval(); }
    template <class N>
    const block& operator=(const block<N>& src) const { return *this = src.eval(); }
    const block& operator=(const value_type& v) const {
        for (std::size_t j = 0; j < cols(); ++j)
            for (std::size_t i = 0; i < rows(); ++i) (*this)(i, j) = v;
        return *this;
    }

private:
    static void check(range r, std::ptrdiff_t n, std::size_t extent) {
        if (n < 0)
            MLX_RAISE(tool::checker::BadDimensions << ": negative range length " << n);
        if (n == 0) return;
        const std::ptrdiff_t first = r[0];
        const std::ptrdiff_t last = r[n - 1];
        const auto limit = static_cast<std::ptrdiff_t>(extent);
        if (first < 0 || last < 0 || first >= limit || last >= limit)
            MLX_RAISE(tool::checker::BadDimensions << ": range " << first << " .. " << last
                                                   << " outside 0 .. " << limit - 1);
    }

    M& m_;
    range r_;
    range c_;
    std::ptrdiff_t rows_ = 0;
    std::ptrdiff_t cols_ = 0;
    bool linear_ = false;
};

// Elements of a matrix selected by a matrix of linear indices: a(i) = b.
template <class M>
class indexed {
public:
    using value_type = typename M::value_type;

    template <class I, std::size_t C>
    indexed(M& m, const matrix<I, C>& index) : m_(m), index_(index) {
        for (std::size_t k : index_)
            if (k >= m.numel())
                MLX_RAISE(tool::checker::BadDimensions << ": linear index " << k
                                                       << " outside a matrix of " << m.numel()
                                                       << " elements");
    }

    template <class U, std::size_t C>
    const indexed& operator=(const matrix<U, C>& b) const {
        if (b.numel() != index_.numel())
            MLX_RAISE("In a(i) = b, the dimensions of b and i must be the same.\n They where "
                      << b.size() << " and" << index_.size());
        for (std::size_t k = 0; k < index_.numel(); ++k) m_(index_(k)) = static_cast<value_type>(b(k));
        return *this;
    }
    const indexed& operator=(const value_type& v) const {
        for (std::size_t k : index_) m_(k) = v;
        return *this;
    }
    // The selected elements, shaped as the index matrix.
    operator matrix<value_type>() const {
        matrix<value_type> out(index_.rows(), index_.cols());
        for (std::size_t k = 0; k < index_.numel(); ++k) out(k) = m_(index_(k));
        return out;
    }

private:
    M& m_;
    matrix<std::size_t> index_;
};

template <class T, std::size_t C>
std::ostream& operator<<(std::ostream& os, const matrix<T, C>& m) {
    for (std::size_t i = 0; i < m.rows(); ++i) {
        for (std::size_t j = 0; j < m.cols(); ++j) os << (j == 0 ? "" : " ") << m(i, j);
        os << '\n';
    }
    return os;
}

}  // namespace mlx

#endif
