#include "mlx/alg/plu.hpp"

#include <iostream>

namespace mlx {

namespace lapack = alg::lapack;

namespace {
const matrix<double>& require_square(const matrix<double>& A) {
    if (A.rows() != A.cols())
        MLX_RAISE(tool::checker::BadDimensions << ": LU factorisation of a non-square matrix " << A.size());
    return A;
}
}  // namespace

plu::plu(const matrix<double>& A) : lu_(require_square(A)), n_(A.rows()), ipiv_(A.rows()) {
    if (n_ == 0) return;
    anorm_ = lapack::lange('1', n_, n_, lu_.data(), n_, ws_);
    info_ = lapack::getrf(n_, n_, lu_.data(), n_, ipiv_);
}

matrix<double> plu::inv(bool quiet) {
    matrix<double> inverse(lu_);
    if (n_ == 0) return inverse;
    if (!quiet) {
        if (rcond_ == -1.0) {
            lapack::gecon('1', n_, lu_.data(), n_, anorm_, rcond_, ws_);
            ++estimates_;
        }
        if (rcond_ < 0x1p-52)  // 2^-52, the spacing of doubles at 1; false for NaN
            std::cerr << " Warning : Qx::Matrix is close to singular or badly scaled." << std::endl
                      << "           Results may be inaccurate. RCOND = " << rcond_ << "." << std::endl;
    }
    lapack::getri(n_, inverse.data(), n_, ipiv_, ws_);
    return inverse;
}

}  // namespace mlx
