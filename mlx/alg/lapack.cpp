#include "mlx/alg/lapack.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "mlx/tool/exception.hpp"

// Layer 1: the Fortran routines. Scalars by address, column-major arrays; every CHARACTER
// argument carries a hidden length at the end of the list (gfortran's convention, size_t since
// GCC 8), which the Fortran-compiled reference libraries and OpenBLAS's LAPACK expect.
extern "C" {
using mlx::alg::lapack::lapack_int;
using fortran_strlen = std::size_t;

void dgemm_(const char* transa, const char* transb, const lapack_int* m, const lapack_int* n,
            const lapack_int* k, const double* alpha, const double* a, const lapack_int* lda,
            const double* b, const lapack_int* ldb, const double* beta, double* c,
            const lapack_int* ldc, fortran_strlen, fortran_strlen);
void dgemv_(const char* trans, const lapack_int* m, const lapack_int* n, const double* alpha, const double* a,
            const lapack_int* lda, const double* x, const lapack_int* incx, const double* beta, double* y,
            const lapack_int* incy, fortran_strlen);
void dgesv_(const lapack_int* n, const lapack_int* nrhs, double* a, const lapack_int* lda,
            lapack_int* ipiv, double* b, const lapack_int* ldb, lapack_int* info);
void dtrtrs_(const char* uplo, const char* trans, const char* diag, const lapack_int* n,
             const lapack_int* nrhs, const double* a, const lapack_int* lda, double* b,
             const lapack_int* ldb, lapack_int* info, fortran_strlen, fortran_strlen, fortran_strlen);
void dposv_(const char* uplo, const lapack_int* n, const lapack_int* nrhs, double* a,
            const lapack_int* lda, double* b, const lapack_int* ldb, lapack_int* info, fortran_strlen);
void dsyrk_(const char* uplo, const char* trans, const lapack_int* n, const lapack_int* k, const double* alpha,
            const double* a, const lapack_int* lda, const double* beta, double* c, const lapack_int* ldc, fortran_strlen,
            fortran_strlen);
void dpotrf_(const char* uplo, const lapack_int* n, double* a, const lapack_int* lda, lapack_int* info, fortran_strlen);
void dpotrs_(const char* uplo, const lapack_int* n, const lapack_int* nrhs, const double* a, const lapack_int* lda,
             double* b, const lapack_int* ldb, lapack_int* info, fortran_strlen);
void dpotri_(const char* uplo, const lapack_int* n, double* a, const lapack_int* lda, lapack_int* info, fortran_strlen);
void dpocon_(const char* uplo, const lapack_int* n, const double* a, const lapack_int* lda, const double* anorm,
             double* rcond, double* work, lapack_int* iwork, lapack_int* info, fortran_strlen);
double dlansy_(const char* norm, const char* uplo, const lapack_int* n, const double* a, const lapack_int* lda,
               double* work, fortran_strlen, fortran_strlen);
void dgeqp3_(const lapack_int* m, const lapack_int* n, double* a, const lapack_int* lda,
             lapack_int* jpvt, double* tau, double* work, const lapack_int* lwork, lapack_int* info);
void dormqr_(const char* side, const char* trans, const lapack_int* m, const lapack_int* n,
             const lapack_int* k, const double* a, const lapack_int* lda, const double* tau,
             double* c, const lapack_int* ldc, double* work, const lapack_int* lwork,
             lapack_int* info, fortran_strlen, fortran_strlen);
void dgeqr2_(const lapack_int* m, const lapack_int* n, double* a, const lapack_int* lda, double* tau,
             double* work, lapack_int* info);
void dorm2r_(const char* side, const char* trans, const lapack_int* m, const lapack_int* n,
             const lapack_int* k, const double* a, const lapack_int* lda, const double* tau,
             double* c, const lapack_int* ldc, double* work, lapack_int* info, fortran_strlen, fortran_strlen);
void dgetrf_(const lapack_int* m, const lapack_int* n, double* a, const lapack_int* lda,
             lapack_int* ipiv, lapack_int* info);
void dgetri_(const lapack_int* n, double* a, const lapack_int* lda, const lapack_int* ipiv,
             double* work, const lapack_int* lwork, lapack_int* info);
double dlange_(const char* norm, const lapack_int* m, const lapack_int* n, const double* a,
               const lapack_int* lda, double* work, fortran_strlen);
void dgecon_(const char* norm, const lapack_int* n, const double* a, const lapack_int* lda,
             const double* anorm, double* rcond, double* work, lapack_int* iwork, lapack_int* info,
             fortran_strlen);
void dgesvd_(const char* jobu, const char* jobvt, const lapack_int* m, const lapack_int* n,
             double* a, const lapack_int* lda, double* s, double* u, const lapack_int* ldu,
             double* vt, const lapack_int* ldvt, double* work, const lapack_int* lwork,
             lapack_int* info, fortran_strlen, fortran_strlen);
void dgesdd_(const char* jobz, const lapack_int* m, const lapack_int* n, double* a, const lapack_int* lda,
             double* s, double* u, const lapack_int* ldu, double* vt, const lapack_int* ldvt, double* work,
             const lapack_int* lwork, lapack_int* iwork, lapack_int* info, fortran_strlen);
}

namespace mlx::alg::lapack {

namespace {

// A size handed to Fortran; beyond the integer's range the call cannot be made.
lapack_int to_int(std::size_t n) {
    if (n > static_cast<std::size_t>(INT_MAX))
        MLX_RAISE(tool::checker::BadDimensions << ": " << n << " exceeds the LAPACK integer range");
    return static_cast<lapack_int>(n);
}

// A leading dimension: LAPACK requires at least 1, also for an empty operand.
lapack_int to_ld(std::size_t n) { return std::max<lapack_int>(1, to_int(n)); }

// A growable array grown by capacity only: a larger block replaces the old one unfilled.
template <class T>
class buffer {
public:
    buffer() : p_(new T[1]), capacity_(1) { p_[0] = T(0); }
    T* data() noexcept { return p_.get(); }
    std::size_t capacity() const noexcept { return capacity_; }
    void reserve(std::size_t n) {
        if (n > capacity_) {
            p_.reset(new T[n]);  // default-initialised: no element-wise fill
            capacity_ = n;
        }
    }

private:
    std::unique_ptr<T[]> p_;
    std::size_t capacity_;
};

}  // namespace

struct workspace::arrays {
    buffer<double> work;        // real work array of the query protocol
    buffer<double> work2;       // second real array (dgecon, dpocon, dlange, dlansy, dgeqr2, dorm2r)
    buffer<lapack_int> iwork;   // integer work array (dgecon, dpocon, dgesdd)
    buffer<lapack_int> iwork2;  // second integer array (unused by the system's routines)
    lapack_int lwork = 0;       // current length of the real work array
    const lapack_int query = -1;
    std::array<lapack_int, 7> queried{};  // jobs and sizes of the last remembered dgesvd query
};

// Layer-2 access to the opaque holders.
struct access {
    static lapack_int* ints(pivots& p) { return p.p_.get(); }
    static const lapack_int* ints(const pivots& p) { return p.p_.get(); }
    static workspace::arrays& arrays(workspace& w) { return *w.a_; }
};

pivots::pivots(std::size_t n) : p_(new lapack_int[std::max<std::size_t>(n, 1)]()), n_(n) {}
pivots::pivots(const pivots& other) : pivots(other.n_) {
    std::copy(other.p_.get(), other.p_.get() + n_, p_.get());
}
pivots& pivots::operator=(const pivots& other) {
    if (this != &other) {
        pivots copy(other);
        *this = std::move(copy);
    }
    return *this;
}
pivots::~pivots() = default;
std::size_t pivots::operator[](std::size_t i) const noexcept { return static_cast<std::size_t>(p_[i]); }
void pivots::clear() noexcept { std::fill(p_.get(), p_.get() + n_, 0); }

workspace::workspace() : a_(new arrays) {}
workspace::workspace(workspace&&) noexcept = default;
workspace& workspace::operator=(workspace&&) noexcept = default;
workspace::~workspace() = default;
std::size_t workspace::work_length() const noexcept { return static_cast<std::size_t>(a_->lwork); }

namespace {

// The workspace query protocol: call with lwork = -1, read the optimal length from work[0]
// (truncated toward zero), grow the array to it, call again with that length.
template <class Call>
lapack_int with_query(workspace::arrays& ws, Call call) {
    lapack_int info = 0;
    ws.queried = {};  // the length below belongs to another routine
    call(ws.work.data(), &ws.query, &info);
    ws.lwork = std::max<lapack_int>(1, static_cast<lapack_int>(ws.work.data()[0]));
    ws.work.reserve(static_cast<std::size_t>(ws.lwork));
    call(ws.work.data(), &ws.lwork, &info);
    return info;
}

}  // namespace

void gemm(char transa, char transb, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* b, std::size_t ldb, double* c, std::size_t ldc) {
    const lapack_int im = to_int(m), in = to_int(n), ik = to_int(k);
    const lapack_int ilda = to_ld(lda), ildb = to_ld(ldb), ildc = to_ld(ldc);
    const double alpha = 1.0, beta = 0.0;
    dgemm_(&transa, &transb, &im, &in, &ik, &alpha, a, &ilda, b, &ildb, &beta, c, &ildc, 1, 1);
}

void gemv(char trans, std::size_t m, std::size_t n, const double* a, std::size_t lda, const double* x,
          std::size_t incx, double* y, std::size_t incy) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda);
    const lapack_int ix = to_int(incx), iy = to_int(incy);
    const double alpha = 1.0, beta = 0.0;
    dgemv_(&trans, &im, &in, &alpha, a, &ilda, x, &ix, &beta, y, &iy, 1);
}

int gesv(std::size_t n, std::size_t nrhs, double* a, std::size_t lda, pivots& ipiv, double* b,
         std::size_t ldb) {
    const lapack_int in = to_int(n), inrhs = to_int(nrhs), ilda = to_ld(lda), ildb = to_ld(ldb);
    lapack_int info = 0;
    dgesv_(&in, &inrhs, a, &ilda, access::ints(ipiv), b, &ildb, &info);
    return info;
}

int trtrs(char uplo, char trans, char diag, std::size_t n, std::size_t nrhs, const double* a,
          std::size_t lda, double* b, std::size_t ldb) {
    const lapack_int in = to_int(n), inrhs = to_int(nrhs), ilda = to_ld(lda), ildb = to_ld(ldb);
    lapack_int info = 0;
    dtrtrs_(&uplo, &trans, &diag, &in, &inrhs, a, &ilda, b, &ildb, &info, 1, 1, 1);
    return info;
}

int posv(char uplo, std::size_t n, std::size_t nrhs, double* a, std::size_t lda, double* b,
         std::size_t ldb) {
    const lapack_int in = to_int(n), inrhs = to_int(nrhs), ilda = to_ld(lda), ildb = to_ld(ldb);
    lapack_int info = 0;
    dposv_(&uplo, &in, &inrhs, a, &ilda, b, &ildb, &info, 1);
    return info;
}

void syrk(char uplo, char trans, std::size_t n, std::size_t k, const double* a, std::size_t lda, double* c,
          std::size_t ldc) {
    const lapack_int in = to_int(n), ik = to_int(k), ilda = to_ld(lda), ildc = to_ld(ldc);
    const double alpha = 1.0, beta = 0.0;
    dsyrk_(&uplo, &trans, &in, &ik, &alpha, a, &ilda, &beta, c, &ildc, 1, 1);
}

int potrf(char uplo, std::size_t n, double* a, std::size_t lda) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    lapack_int info = 0;
    dpotrf_(&uplo, &in, a, &ilda, &info, 1);
    return info;
}

int potrs(char uplo, std::size_t n, std::size_t nrhs, const double* a, std::size_t lda, double* b, std::size_t ldb) {
    const lapack_int in = to_int(n), inrhs = to_int(nrhs), ilda = to_ld(lda), ildb = to_ld(ldb);
    lapack_int info = 0;
    dpotrs_(&uplo, &in, &inrhs, a, &ilda, b, &ildb, &info, 1);
    return info;
}

int potri(char uplo, std::size_t n, double* a, std::size_t lda) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    lapack_int info = 0;
    dpotri_(&uplo, &in, a, &ilda, &info, 1);
    return info;
}

double lansy(char norm, char uplo, std::size_t n, const double* a, std::size_t lda, workspace& ws) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    workspace::arrays& arrays = access::arrays(ws);
    arrays.work2.reserve(std::max<std::size_t>(n, 1));
    return dlansy_(&norm, &uplo, &in, a, &ilda, arrays.work2.data(), 1, 1);
}

int pocon(char uplo, std::size_t n, const double* a, std::size_t lda, double anorm, double& rcond, workspace& ws) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    workspace::arrays& arrays = access::arrays(ws);
    arrays.work2.reserve(3 * std::max<std::size_t>(n, 1));
    arrays.iwork.reserve(std::max<std::size_t>(n, 1));
    lapack_int info = 0;
    dpocon_(&uplo, &in, a, &ilda, &anorm, &rcond, arrays.work2.data(), arrays.iwork.data(), &info, 1);
    return info;
}

int geqp3(std::size_t m, std::size_t n, double* a, std::size_t lda, pivots& jpvt, double* tau,
          workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda);
    return with_query(access::arrays(ws), [&](double* work, const lapack_int* lwork, lapack_int* info) {
        dgeqp3_(&im, &in, a, &ilda, access::ints(jpvt), tau, work, lwork, info);
    });
}

int ormqr(char side, char trans, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* tau, double* c, std::size_t ldc, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ik = to_int(k), ilda = to_ld(lda), ildc = to_ld(ldc);
    return with_query(access::arrays(ws), [&](double* work, const lapack_int* lwork, lapack_int* info) {
        dormqr_(&side, &trans, &im, &in, &ik, a, &ilda, tau, c, &ildc, work, lwork, info, 1, 1);
    });
}

int geqr2(std::size_t m, std::size_t n, double* a, std::size_t lda, double* tau, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda);
    auto& arrays = access::arrays(ws);
    arrays.work2.reserve(std::max<std::size_t>(n, 1));
    lapack_int info = 0;
    dgeqr2_(&im, &in, a, &ilda, tau, arrays.work2.data(), &info);
    return info;
}

int orm2r(char side, char trans, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* tau, double* c, std::size_t ldc, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ik = to_int(k), ilda = to_ld(lda), ildc = to_ld(ldc);
    auto& arrays = access::arrays(ws);
    arrays.work2.reserve(std::max<std::size_t>(side == 'L' ? n : m, 1));
    lapack_int info = 0;
    dorm2r_(&side, &trans, &im, &in, &ik, a, &ilda, tau, c, &ildc, arrays.work2.data(), &info, 1, 1);
    return info;
}

int getrf(std::size_t m, std::size_t n, double* a, std::size_t lda, pivots& ipiv) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda);
    lapack_int info = 0;
    dgetrf_(&im, &in, a, &ilda, access::ints(ipiv), &info);
    return info;
}

int getri(std::size_t n, double* a, std::size_t lda, const pivots& ipiv, workspace& ws) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    return with_query(access::arrays(ws), [&](double* work, const lapack_int* lwork, lapack_int* info) {
        dgetri_(&in, a, &ilda, access::ints(ipiv), work, lwork, info);
    });
}

double lange(char norm, std::size_t m, std::size_t n, const double* a, std::size_t lda, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda);
    auto& arrays = access::arrays(ws);
    arrays.work2.reserve(std::max<std::size_t>(m, 1));  // used by the 'I' norm only
    return dlange_(&norm, &im, &in, a, &ilda, arrays.work2.data(), 1);
}

int gecon(char norm, std::size_t n, const double* a, std::size_t lda, double anorm, double& rcond,
          workspace& ws) {
    const lapack_int in = to_int(n), ilda = to_ld(lda);
    auto& arrays = access::arrays(ws);
    arrays.work2.reserve(std::max<std::size_t>(4 * n, 1));
    arrays.iwork.reserve(std::max<std::size_t>(n, 1));
    lapack_int info = 0;
    dgecon_(&norm, &in, a, &ilda, &anorm, &rcond, arrays.work2.data(), arrays.iwork.data(), &info, 1);
    return info;
}

int gesvd(char job, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s, double* u,
          std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda), ildu = to_ld(ldu), ildvt = to_ld(ldvt);
    return with_query(access::arrays(ws), [&](double* work, const lapack_int* lwork, lapack_int* info) {
        dgesvd_(&job, &job, &im, &in, a, &ilda, s, u, &ildu, vt, &ildvt, work, lwork, info, 1, 1);
    });
}

int gesvd(char jobu, char jobvt, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s,
          double* u, std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda), ildu = to_ld(ldu), ildvt = to_ld(ldvt);
    auto& w = access::arrays(ws);
    lapack_int info = 0;
    const std::array<lapack_int, 7> shape{jobu, jobvt, im, in, ilda, ildu, ildvt};
    if (w.lwork == 0 || w.queried != shape) {
        dgesvd_(&jobu, &jobvt, &im, &in, a, &ilda, s, u, &ildu, vt, &ildvt, w.work.data(), &w.query, &info, 1, 1);
        w.lwork = std::max<lapack_int>(1, static_cast<lapack_int>(w.work.data()[0]));
        w.work.reserve(static_cast<std::size_t>(w.lwork));
        w.queried = shape;
    }
    dgesvd_(&jobu, &jobvt, &im, &in, a, &ilda, s, u, &ildu, vt, &ildvt, w.work.data(), &w.lwork, &info, 1, 1);
    return info;
}

int gesdd(char job, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s, double* u,
          std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws) {
    const lapack_int im = to_int(m), in = to_int(n), ilda = to_ld(lda), ildu = to_ld(ldu), ildvt = to_ld(ldvt);
    auto& arrays = access::arrays(ws);
    arrays.iwork.reserve(std::max<std::size_t>(8 * std::min(m, n), 1));
    return with_query(arrays, [&](double* work, const lapack_int* lwork, lapack_int* info) {
        dgesdd_(&job, &im, &in, a, &ilda, s, u, &ildu, vt, &ildvt, work, lwork, arrays.iwork.data(), info, 1);
    });
}

}  // namespace mlx::alg::lapack
