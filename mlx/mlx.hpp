#ifndef MLX_MLX_HPP
#define MLX_MLX_HPP

// The whole toolkit in one include.
#include "mlx/array/generate.hpp"
#include "mlx/alg/det.hpp"
#include "mlx/alg/mldivide.hpp"
#include "mlx/alg/pinv.hpp"
#include "mlx/alg/plu.hpp"
#include "mlx/alg/pqr.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/alg/svd.hpp"
#include "mlx/alg/zerosolve.hpp"
#include "mlx/array/matrix.hpp"
#include "mlx/geometry/homog.hpp"
#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/tool/timer.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"

#endif
