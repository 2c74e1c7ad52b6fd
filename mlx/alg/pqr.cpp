#include "mlx/alg/pqr.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mlx {

namespace lapack = alg::lapack;

pqr::pqr(const matrix<double>& A)
    : qr_(A), tau_(std::min(A.rows(), A.cols()), 1), jpvt_(A.cols()), m_(A.rows()), n_(A.cols()) {
    if (qr_.empty()) return;
    jpvt_.clear();  // every column free to move
    info_ = lapack::geqp3(m_, n_, qr_.data(), m_, jpvt_, tau_.data(), ws_);
}

unsigned pqr::rank(double tol) const {
    const std::size_t k = std::min(m_, n_);
    double largest = std::numeric_limits<double>::lowest();
    for (std::size_t i = 0; i < k; ++i) largest = std::max(largest, std::abs(qr_(i, i)));
    const double t = tol * static_cast<double>(std::max(m_, n_)) * largest;
    unsigned r = 0;
    for (std::size_t i = 0; i < k; ++i)
        if (std::abs(qr_(i, i)) > t) ++r;
    return r;
}

matrix<double> pqr::solve(const matrix<double>& B) {
    const std::size_t nrhs = B.cols();
    matrix<double> X(n_, nrhs);
    if (qr_.empty() || B.empty()) return X;
    if (B.rows() != m_)
        XPR_RAISE(tool::checker::SizeMismatch << ": least squares with A " << qr_.size() << " and B " << B.size());
    matrix<double> qtb(B);
    lapack::ormqr('L', 'T', m_, nrhs, std::min(m_, n_), qr_.data(), m_, tau_.data(), qtb.data(), m_, ws_);
    const unsigned r = rank(0x1p-52);  // 2^-52, the spacing of doubles at 1
    if (r > 0) lapack::trtrs('U', 'N', 'N', r, nrhs, qr_.data(), m_, qtb.data(), m_);
    for (std::size_t j = 0; j < nrhs; ++j)
        for (std::size_t i = 0; i < r; ++i) X(jpvt_[i] - 1, j) = qtb(i, j);
    return X;
}

}  // namespace mlx
