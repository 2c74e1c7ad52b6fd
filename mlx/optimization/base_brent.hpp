#ifndef MLX_OPTIMIZATION_BASE_BRENT_HPP
#define MLX_OPTIMIZATION_BASE_BRENT_HPP

namespace mlx::optimization {

// A function of one argument, handed to the minimiser by reference.
template <class R, class A>
class optimizableFunc {
public:
    virtual R operator()(A const& x) const = 0;
    virtual ~optimizableFunc() = default;
};

// Settings of the kernel-width searches: 2^-26, the square root of double epsilon, for both
// tolerances, and 100 passes after the evaluation at the start point.
inline constexpr double brent_rtol = 1.4901161193847656e-08;
inline constexpr double brent_atol = 1.4901161193847656e-08;
inline constexpr unsigned brent_max_passes = 100;

// Abscissa of the smallest value of f seen by Brent's method (golden section and parabolic
// interpolation, no derivatives) on [a, b], starting at x0. Throws a generalException when the
// bracket has not shrunk to |x|*rtol + atol after max_passes evaluations beyond the first, or
// when x0 does not lie in [a, b].
double base_brent(const optimizableFunc<double, double>& f, double a, double b, double x0,
                  double rtol, double atol, unsigned max_passes);

}  // namespace mlx::optimization

#endif
