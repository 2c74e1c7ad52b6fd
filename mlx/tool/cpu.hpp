#ifndef MLX_TOOL_CPU_HPP
#define MLX_TOOL_CPU_HPP

namespace mlx::tool {

// Whether the CPU running the process has AVX2: the toolkit's and the tracker's four-wide paths
// run only where it does (the same results either way). False off x86.
inline bool hasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

}  // namespace mlx::tool

#endif
