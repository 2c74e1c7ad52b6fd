#ifndef MLX_MLX_HPP
#define MLX_MLX_HPP

// The whole toolkit in one include.
#include "mlx/array/generate.hpp"
#include "mlx/array/matrix.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/tool/timer.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"

#endif
