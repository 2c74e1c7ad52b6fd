#include "mlx/array/as_hindex.hpp"

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "mlx/tool/cpu.hpp"

namespace mlx::detail {

namespace {

struct picture {
    const unsigned char* I;
    std::size_t W;          // rows: the step from one column to the next
    double last_i, last_j;  // the last row's and column's subscripts
};

double level(const picture& im, double i, double j) {
    if (!(i >= 0.0 && i <= im.last_i && j >= 0.0 && j <= im.last_j)) return 0.0;
    // Signed conversions: one instruction each, where unsigned ones test for the top bit; the
    // subscripts are small and not negative, so the values are the same.
    const auto i0 = static_cast<std::int64_t>(i);
    const auto j0 = static_cast<std::int64_t>(j);
    const float a = static_cast<float>(i - static_cast<double>(i0));
    const float b = static_cast<float>(j - static_cast<double>(j0));
    const std::size_t W = im.W;
    const unsigned char* p = im.I + static_cast<std::size_t>(i0) + W * static_cast<std::size_t>(j0);
    float v10, v01, v11;
    if (i < im.last_i && j < im.last_j) {
        v10 = p[1];
        v01 = p[W];
        v11 = p[W + 1];
    } else {
        const bool inner_i = i < im.last_i, inner_j = j < im.last_j;
        v10 = inner_i ? p[1] : 0.0f;
        v01 = inner_j ? p[W] : 0.0f;
        v11 = inner_i && inner_j ? p[W + 1] : 0.0f;
    }
    const float v00 = p[0];
    const float v = (1.0f - a) * (1.0f - b) * v00 + a * (1.0f - b) * v10 + (1.0f - a) * b * v01 + a * b * v11;
    return static_cast<double>(static_cast<int>(v));
}

#if defined(__x86_64__) || defined(__i386__)
// Four points at a time where all four lie at least a column before the last: there one 4-byte
// read at a pixel and one a column on give its four neighbours without reading past the image.
// The same conversions and float operations, in the same order and unfused, as level().
[[gnu::target("avx2")]] void fourAtATime(const picture& im, const double* points, std::size_t stride, std::size_t n,
                                         double* out) {
    const __m256d zero = _mm256_setzero_pd(), lastI = _mm256_set1_pd(im.last_i),
                  safeJ = _mm256_set1_pd(im.last_j - 1.0);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i bytes = _mm_set1_epi32(0xff);
    const auto step = static_cast<long long>(im.W);
    std::size_t m = 0;
    for (; m + 4 <= n; m += 4) {
        const double* q = points + m * stride;
        const __m256d i = _mm256_set_pd(q[3 * stride], q[2 * stride], q[stride], q[0]);
        const __m256d j = _mm256_set_pd(q[3 * stride + 1], q[2 * stride + 1], q[stride + 1], q[1]);
        const __m256d inside =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(i, zero, _CMP_GE_OQ), _mm256_cmp_pd(i, lastI, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(j, zero, _CMP_GE_OQ), _mm256_cmp_pd(j, safeJ, _CMP_LT_OQ)));
        if (_mm256_movemask_pd(inside) != 0xf) {
            for (std::size_t k = m; k < m + 4; ++k) out[k] = level(im, points[k * stride], points[k * stride + 1]);
            continue;
        }
        const __m128i i0 = _mm256_cvttpd_epi32(i), j0 = _mm256_cvttpd_epi32(j);
        const __m128 a = _mm256_cvtpd_ps(_mm256_sub_pd(i, _mm256_cvtepi32_pd(i0)));
        const __m128 b = _mm256_cvtpd_ps(_mm256_sub_pd(j, _mm256_cvtepi32_pd(j0)));
        const __m256i at = _mm256_add_epi64(_mm256_cvtepi32_epi64(i0),
                                            _mm256_mul_epi32(_mm256_cvtepi32_epi64(j0), _mm256_set1_epi64x(step)));
        const auto* base = reinterpret_cast<const int*>(im.I);
        const __m128i here = _mm256_i64gather_epi32(base, at, 1);
        const __m128i next = _mm256_i64gather_epi32(base, _mm256_add_epi64(at, _mm256_set1_epi64x(step)), 1);
        const __m128 v00 = _mm_cvtepi32_ps(_mm_and_si128(here, bytes)),
                     v10 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(here, 8), bytes));
        const __m128 v01 = _mm_cvtepi32_ps(_mm_and_si128(next, bytes)),
                     v11 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(next, 8), bytes));
        const __m128 na = _mm_sub_ps(one, a), nb = _mm_sub_ps(one, b);
        __m128 v = _mm_mul_ps(_mm_mul_ps(na, nb), v00);
        v = _mm_add_ps(v, _mm_mul_ps(_mm_mul_ps(a, nb), v10));
        v = _mm_add_ps(v, _mm_mul_ps(_mm_mul_ps(na, b), v01));
        v = _mm_add_ps(v, _mm_mul_ps(_mm_mul_ps(a, b), v11));
        _mm256_storeu_pd(out + m, _mm256_cvtepi32_pd(_mm_cvttps_epi32(v)));
    }
    for (; m < n; ++m) out[m] = level(im, points[m * stride], points[m * stride + 1]);
}
#endif

}  // namespace

void as_hindex(const unsigned char* I, std::size_t rows, std::size_t cols, const double* points, std::size_t stride,
               std::size_t n, double* out, std::size_t lanes) {
    const picture im{I, rows, static_cast<double>(rows) - 1.0, static_cast<double>(cols) - 1.0};
#if defined(__x86_64__) || defined(__i386__)
    // (subscripts and a column's step in 32 bits for the vector conversions and products)
    if (lanes == 4 && mlx::tool::hasAvx2() && rows >= 2 && rows < (1u << 31) && cols < (1u << 31))
        return fourAtATime(im, points, stride, n, out);
#endif
    for (std::size_t m = 0; m < n; ++m) out[m] = level(im, points[m * stride], points[m * stride + 1]);
}

}  // namespace mlx::detail
