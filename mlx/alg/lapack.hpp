#ifndef MLX_ALG_LAPACK_HPP
#define MLX_ALG_LAPACK_HPP

// The BLAS/LAPACK boundary, layers 1 and 2 of three (STYLE.md):
//   1. extern "C" prototypes of the Fortran routines (in lapack.cpp, with the integer alias);
//   2. these thin typed wrappers: sizes as std::size_t, matrices column-major with a leading
//      dimension, each returning LAPACK's status `info` unexamined and owning the workspace
//      query of the routines that take work arrays;
//   3. the toolkit's operations (mldivide, plu, pqr, svd, pinv), which decide what a status means.
// Nothing above this header sees a Fortran integer or a work array: pivot indices travel in the
// opaque `pivots`, scratch storage in the opaque `workspace`.

#include <cstddef>
#include <memory>

namespace mlx::alg::lapack {

// The Fortran INTEGER of the installed libraries. Debian's reference BLAS/LAPACK and OpenBLAS
// are LP64: a 32-bit int (as a 32-bit Windows `long` is). An ILP64 build
// would change this line and nothing else.
using lapack_int = int;

// Pivot indices as LAPACK returns them: 1-based. Row interchanges of dgetrf (row i was swapped
// with row p[i]) or the column permutation of dgeqp3 (column i of A*P is column p[i] of A).
class pivots {
public:
    explicit pivots(std::size_t n = 0);
    pivots(const pivots& other);
    pivots& operator=(const pivots& other);
    pivots(pivots&&) noexcept = default;
    pivots& operator=(pivots&&) noexcept = default;
    ~pivots();

    std::size_t size() const noexcept { return n_; }
    // The 1-based index at position i (0-based).
    std::size_t operator[](std::size_t i) const noexcept;
    // Every index set to 0: for dgeqp3, every column free to move.
    void clear() noexcept;

private:
    friend struct access;
    std::unique_ptr<lapack_int[]> p_;
    std::size_t n_ = 0;
};

// Scratch storage of the routines that take work arrays (`workspace`): two real
// arrays and two integer arrays, each created with one zero element and grown by capacity
// (never filled), the current real work length and the query length -1.
class workspace {
public:
    workspace();
    workspace(const workspace&) = delete;
    workspace& operator=(const workspace&) = delete;
    workspace(workspace&&) noexcept;
    workspace& operator=(workspace&&) noexcept;
    ~workspace();

    // Length of the real work array currently held (elements), for tests.
    std::size_t work_length() const noexcept;

    struct arrays;  // defined in lapack.cpp only

private:
    friend struct access;
    std::unique_ptr<arrays> a_;
};

// C (m x n) = op(A) * op(B) by dgemm with alpha 1 and beta 0; op is 'N' (as is) or 'T'
// (transposed); k is the inner dimension. Every size must be positive.
void gemm(char transa, char transb, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* b, std::size_t ldb, double* c, std::size_t ldc);

// y = op(A) * x by dgemv with alpha 1 and beta 0, A m x n, op 'N' or 'T'; x and y are read and
// written with the given strides. Every size must be positive.
void gemv(char trans, std::size_t m, std::size_t n, const double* a, std::size_t lda, const double* x,
          std::size_t incx, double* y, std::size_t incy);

// dgesv: A (n x n) overwritten by its LU factors, B (n x nrhs) by the solution.
int gesv(std::size_t n, std::size_t nrhs, double* a, std::size_t lda, pivots& ipiv, double* b,
         std::size_t ldb);

// dtrtrs: solves op(A) X = B in place in B for triangular A of order n ('U'/'L', 'N'/'T', 'N'/'U').
// info > 0: A(info, info) is exactly 0.
int trtrs(char uplo, char trans, char diag, std::size_t n, std::size_t nrhs, const double* a,
          std::size_t lda, double* b, std::size_t ldb);

// dposv: Cholesky solve in place; info > 0: A not positive definite.
int posv(char uplo, std::size_t n, std::size_t nrhs, double* a, std::size_t lda, double* b,
         std::size_t ldb);

// C (n x n) = A^T A (trans 'T', A k x n) or A A^T ('N', A n x k) by dsyrk with alpha 1 and beta
// 0; only the triangle uplo ('U'/'L') of C is written.
void syrk(char uplo, char trans, std::size_t n, std::size_t k, const double* a, std::size_t lda, double* c,
          std::size_t ldc);

// dpotrf: the triangle uplo of symmetric A (n x n) overwritten by its Cholesky factor; info > 0:
// A not positive definite.
int potrf(char uplo, std::size_t n, double* a, std::size_t lda);

// dpotrs: solves A X = B in place in B (n x nrhs) from dpotrf's factor of A.
int potrs(char uplo, std::size_t n, std::size_t nrhs, const double* a, std::size_t lda, double* b, std::size_t ldb);

// dpotri: the triangle uplo of inv(A) in place of dpotrf's factor; info > 0: the factor is singular.
int potri(char uplo, std::size_t n, double* a, std::size_t lda);

// dlansy: the norm ('M', '1', 'I' or 'F') of a symmetric matrix given by its triangle uplo; work n
// from ws.
double lansy(char norm, char uplo, std::size_t n, const double* a, std::size_t lda, workspace& ws);

// dpocon: reciprocal condition number estimate in rcond from dpotrf's factor and the 1-norm
// anorm of the original matrix; real work 3n, integer work n from ws.
int pocon(char uplo, std::size_t n, const double* a, std::size_t lda, double anorm, double& rcond, workspace& ws);

// dgeqp3: A*P = Q*R with column pivoting; jpvt (n entries, 0 = free column) receives P, tau
// min(m, n) scalar factors. Workspace query protocol.
int geqp3(std::size_t m, std::size_t n, double* a, std::size_t lda, pivots& jpvt, double* tau,
          workspace& ws);

// dormqr: C (m x n) overwritten by op(Q) C ('L') or C op(Q) ('R') with Q given by k reflectors
// of a dgeqrf/dgeqp3 factor. Workspace query protocol.
int ormqr(char side, char trans, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* tau, double* c, std::size_t ldc, workspace& ws);

// dgeqr2: A = Q*R without pivoting or blocking (the fastest for a handful of columns); A (m x n)
// receives R and the reflectors, tau min(m, n) scalar factors; work n from ws.
int geqr2(std::size_t m, std::size_t n, double* a, std::size_t lda, double* tau, workspace& ws);

// dorm2r: C (m x n) overwritten by op(Q) C ('L') or C op(Q) ('R') with Q given by k reflectors
// of a dgeqr2 factor, unblocked; work n ('L') or m ('R') from ws.
int orm2r(char side, char trans, std::size_t m, std::size_t n, std::size_t k, const double* a,
          std::size_t lda, const double* tau, double* c, std::size_t ldc, workspace& ws);

// dgetrf: A (m x n) overwritten by P*L*U's packed factors; ipiv receives min(m, n) pivots.
// info > 0: U(info, info) is exactly 0 (the factorisation is still complete).
int getrf(std::size_t m, std::size_t n, double* a, std::size_t lda, pivots& ipiv);

// dgetri: inverse from dgetrf's factors, in place. Workspace query protocol.
int getri(std::size_t n, double* a, std::size_t lda, const pivots& ipiv, workspace& ws);

// dlange: the norm ('M', '1', 'I' or 'F') of an m x n matrix.
double lange(char norm, std::size_t m, std::size_t n, const double* a, std::size_t lda,
             workspace& ws);

// dgecon: reciprocal condition number estimate in rcond from dgetrf's factors and the norm
// ('1' or 'I') anorm of the original matrix; real work 4n, integer work n from ws.
int gecon(char norm, std::size_t n, const double* a, std::size_t lda, double anorm, double& rcond,
          workspace& ws);

// dgesvd with the same job for U and V^T ('A', 'S', 'O' or 'N'): A (m x n, destroyed),
// s min(m, n) singular values in decreasing order, U (ldu), V^T (ldvt). Workspace query protocol.
int gesvd(char job, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s, double* u,
          std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws);

// dgesvd with separate jobs for U and V^T. The workspace remembers the shape of its last query,
// so repeated calls of one shape (the four-point homography's 8 x 9 system) query only once.
int gesvd(char jobu, char jobvt, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s,
          double* u, std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws);

// dgesdd (divide and conquer) with job 'A', 'S' or 'N', arguments as dgesvd's: the same
// decomposition, several times faster with singular vectors of large matrices. Integer work 8
// min(m, n) from ws; workspace query protocol. info > 0: no convergence.
int gesdd(char job, std::size_t m, std::size_t n, double* a, std::size_t lda, double* s, double* u,
          std::size_t ldu, double* vt, std::size_t ldvt, workspace& ws);

}  // namespace mlx::alg::lapack

#endif
