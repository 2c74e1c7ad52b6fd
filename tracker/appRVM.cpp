#include "tracker/appRVM.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "mlx/alg/plu.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/polynome/roots.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/xpr/elementwise.hpp"
#include "mlx/xpr/reductions.hpp"

namespace track {
namespace {

constexpr std::size_t P = 8;  // motion outputs

// A polynomial of at most 17 coefficients, highest degree first, in fixed storage. Products are
// the plain convolution c(i + j) += a(i) * b(j), i outer, so the same inputs give the same bits
// as the toolkit's polynomial class.
struct poly {
    std::array<double, 17> c{};
    std::size_t n = 0;

    static poly constant(double v) {
        poly p;
        p.c[0] = v;
        p.n = 1;
        return p;
    }
    friend poly operator*(const poly& a, const poly& b) {
        poly out;
        out.n = a.n + b.n - 1;
        for (std::size_t i = 0; i < a.n; ++i)
            for (std::size_t j = 0; j < b.n; ++j) out.c[i + j] += a.c[i] * b.c[j];
        return out;
    }
    poly& operator*=(double s) {
        for (std::size_t k = 0; k < n; ++k) c[k] *= s;
        return *this;
    }
    // Sum aligned on the constant terms.
    poly& add(const poly& other, double sign) {
        const std::size_t m = std::max(n, other.n);
        poly sum;
        sum.n = m;
        for (std::size_t k = 0; k < n; ++k) sum.c[m - n + k] = c[k];
        for (std::size_t k = 0; k < other.n; ++k) sum.c[m - other.n + k] += sign * other.c[k];
        return *this = sum;
    }
};

// The polynomial with roots -s_r for every r but skip, multiplied out in increasing r.
poly fromNegatedRoots(const AppRVM::factors& s, std::size_t skip) {
    poly p = poly::constant(1.0);
    for (std::size_t r = 0; r < P; ++r) {
        if (r == skip) continue;
        poly factor;
        factor.n = 2;
        factor.c[0] = 1.0;
        factor.c[1] = s[r];
        p = p * factor;
    }
    return p;
}

// Change of twice the log marginal likelihood when alpha goes from a to c: addition, removal,
// re-estimation, or none when the basis function stays out.
double likelihoodChange(double c, double a, const AppRVM::factors& s, const AppRVM::factors& q,
                        const AppRVM::factors& S, const AppRVM::factors& Q) {
    constexpr double out = AppRVM::maxAlpha;
    double L = 0.0;
    if (a >= out && c < out) {
        for (std::size_t p = 0; p < P; ++p) L += std::log(c / (c + s[p])) + q[p] * q[p] / (c + s[p]);
    } else if (a < out && c >= out) {
        for (std::size_t p = 0; p < P; ++p) L += Q[p] * Q[p] / (S[p] - a) - std::log(1.0 - S[p] / a);
    } else if (a < out && c < out) {
        const double d = 1.0 / c - 1.0 / a;
        for (std::size_t p = 0; p < P; ++p) L += Q[p] * Q[p] / (S[p] + 1.0 / d) - std::log(1.0 + S[p] * d);
    }
    return L;
}

}  // namespace

std::array<double, 17> AppRVM::stationaryPolynomial(const factors& s, const factors& q) {
    poly A;
    A.n = 8;
    poly B;
    B.n = 15;
    for (std::size_t p = 0; p < P; ++p) {
        const poly others = fromNegatedRoots(s, p);
        A.add(others, 1.0);
        poly square = others * others;
        square *= q[p] * q[p];
        B.add(square, 1.0);
    }
    poly B16;
    B16.n = 16;
    B16.add(B, 1.0);
    const poly all = fromNegatedRoots(s, P);
    poly T1 = all * all;
    T1 *= static_cast<double>(P);
    const poly T2 = all * A;
    poly T3 = B16;
    T3.add(T2, 1.0);
    T3.n = 17;  // times x: a trailing zero
    T1.add(T3, -1.0);
    return T1.c;
}

void AppRVM::SolveForAlpha(const factors& s, const factors& q, const factors& S, const factors& Q, const double& a,
                           double& deltaML, double& newAlpha) {
    const std::array<double, 17> coefficients = stationaryPolynomial(s, q);
    mlx::matrix<double> row(1, coefficients.size());
    std::copy(coefficients.begin(), coefficients.end(), row.begin());
    std::array<double, 17> candidates{};
    std::size_t count = 0;
    for (const auto& root : mlx::polynomes::roots(row))
        if (root.imag() == 0.0 && root.real() > 0.0) candidates[count++] = root.real();
    candidates[count++] = maxAlpha;

    // The first largest change wins (a NaN never does; none above the lowest double: the first).
    double best = std::numeric_limits<double>::lowest();
    std::size_t at = 0;
    std::array<double, 17> changes{};
    for (std::size_t k = 0; k < count; ++k) {
        changes[k] = likelihoodChange(candidates[k], a, s, q, S, Q);
        if (changes[k] > best) {
            best = changes[k];
            at = k;
        }
    }
    newAlpha = candidates[at];
    deltaML = changes[at];
}

AppRVM::AppRVM(const mlx::matrix<double>& corners, const ini::INIParser& ini, const mlx::matrix<unsigned char>& image,
               const relevanceHooks& hooks)
    : learning(corners, ini, image, defaultNoise, hooks), search(hooks.search), screen(hooks.screen) {
    kernel = ini::readChar(ini, "kernel", kernel);
    width0 = ini::readDouble(ini, "width0", defaultWidth0);
    max_iter = ini::readUnsigned(ini, "max_iter", defaultMaxIter);
    if (!(width0 > 0.0)) MLX_RAISE("configuration key \"width0\": " << width0 << " is not positive");
    if (max_iter == 0) MLX_RAISE("configuration key \"max_iter\": 0 leaves no training iteration");
    if (plans < 2)
        MLX_RAISE("configuration key \"plans\": the relevance vector machine needs at least 2 perturbations, not " << plans);
    if (static_cast<unsigned long long>(plans) * plans > learningLimits::matrixElements)
        MLX_RAISE("configuration key \"plans\": the relevance vector machine's " << plans << " x " << plans
                  << " kernel matrix is above the limit of " << learningLimits::matrixElements << " values");
    if (max_iter > maxIterLimit)
        MLX_RAISE("configuration key \"max_iter\": " << max_iter << " is above the limit of " << maxIterLimit);
    weights.resize(nbtrack);
    widths.assign(nbtrack, 0.0);
    used.resize(nbtrack);
    inputs.resize(nbtrack);
    relevance.resize(nbtrack);
    relevanceSquares.resize(nbtrack);
    train();
}

void AppRVM::predict(const mlx::matrix<double>& difference, unsigned k, mlx::matrix<double>& kappa,
                     mlx::matrix<double, 8>& delta) const {
    if (relevance[k].empty()) {
        delta.resize(1, P);
        delta.fill(0.0);
        return;
    }
    kernel::dist2(difference, relevance[k], relevanceSquares[k], kappa);
    kernel::gaussian(kappa, widths[k]);
    mlx::prod(kappa, weights[k], delta);
}

double AppRVM::findWidth(const widthCriterium& criterion) const { return kernel::findWidth(criterion, width0); }

void AppRVM::createPlanes() {
    for (unsigned k = 0; k < nbtrack; ++k) {
        createOnePlane(k);
        // The kernel matrix maps the distances the width search already formed.
        if (search != nullptr) {
            widths[k] = search->find(deltaI, width0, PHI);
        } else {
            const widthCriterium criterion(deltaI);
            widths[k] = findWidth(criterion);
            PHI = criterion.squaredDistances();
        }
        kernel::gaussian(PHI, widths[k]);
        mvrvm(k);
        inputs[k] = deltaI;
        relevance[k].resize(used[k].numel(), deltaI.cols());
        for (std::size_t r = 0; r < used[k].numel(); ++r)
            for (std::size_t m = 0; m < deltaI.cols(); ++m) relevance[k](r, m) = deltaI(used[k](r), m);
        relevanceSquares[k] = kernel::rowSquares(relevance[k]);
    }
}

void AppRVM::mvrvm(const unsigned& k) {
    const std::size_t N = PHI.rows();
    const double count = static_cast<double>(N);

    // Products with every basis function that do not change during training.
    mlx::matrix<double> phiNorm(N, 1);  // phi_i' phi_i
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t n = 0; n < N; ++n) phiNorm(i) += PHI(n, i) * PHI(n, i);
    const mlx::matrix<double> phiT = mlx::prodtMM(PHI, deltaP);  // phi_i' t_p, N x 8

    const mlx::matrix<double> spread = mlx::stdev(deltaP, false, 0);
    beta.resize(1, P);
    for (std::size_t p = 0; p < P; ++p) beta(p) = 1.0 / ((spread(p) / 10.0) * (spread(p) / 10.0));
    alpha.resize(N, 1);
    alpha.fill(maxAlpha);

    factors s{}, q{}, S{}, Q{};
    // The single best change over all basis functions: strictly greater wins, so the lowest
    // index wins ties.
    std::vector<double> changes, proposals;
    const auto bestChange = [&](const auto& factorsOf) {
        double best = -std::numeric_limits<double>::infinity();
        std::size_t at = 0;
        double chosen = alpha(0);
        if (screen != nullptr) {
            changes.assign(N, std::numeric_limits<double>::quiet_NaN());
            proposals.assign(N, 0.0);
            screen->visit(
                N,
                [&](std::size_t i, factors& sOut, factors& qOut) {
                    factorsOf(i);
                    sOut = s;
                    qOut = q;
                    return alpha(i);
                },
                [&](std::size_t i) {
                    factorsOf(i);
                    SolveForAlpha(s, q, S, Q, alpha(i), changes[i], proposals[i]);
                    return changes[i];
                });
            for (std::size_t i = 0; i < N; ++i)
                if (changes[i] > best) {
                    best = changes[i];
                    at = i;
                    chosen = proposals[i];
                }
            alpha(at) = chosen;
            return;
        }
        for (std::size_t i = 0; i < N; ++i) {
            factorsOf(i);
            double deltaML = 0.0, newAlpha = 0.0;
            SolveForAlpha(s, q, S, Q, alpha(i), deltaML, newAlpha);
            if (deltaML > best) {
                best = deltaML;
                at = i;
                chosen = newAlpha;
            }
        }
        alpha(at) = chosen;
    };

    bestChange([&](std::size_t i) {
        for (std::size_t p = 0; p < P; ++p) {
            S[p] = beta(p) * phiNorm(i);
            Q[p] = beta(p) * phiT(i, p);
        }
        s = S;
        q = Q;
    });

    std::vector<std::size_t> relevant;
    std::vector<double> au;  // alpha of the relevant set as the iteration starts
    std::vector<mlx::matrix<double>> sigma(P);
    mlx::matrix<double> phiU, phiUt, U, G, SW, SQ, A;
    for (unsigned iteration = 1; iteration <= max_iter; ++iteration) {
        relevant.clear();
        au.clear();
        for (std::size_t i = 0; i < N; ++i)
            if (alpha(i) < maxAlpha) {
                relevant.push_back(i);
                au.push_back(alpha(i));
            }
        const std::size_t R = relevant.size();
        phiU.resize(N, R);
        phiUt.resize(R, P);  // Phi_u' t_p
        for (std::size_t j = 0; j < R; ++j) {
            for (std::size_t n = 0; n < N; ++n) phiU(n, j) = PHI(n, relevant[j]);
            for (std::size_t p = 0; p < P; ++p) phiUt(j, p) = phiT(relevant[j], p);
        }
        mlx::prodtMM(PHI, phiU, U);  // row i: u_i = phi_i' Phi_u
        G.resize(R, R);
        for (std::size_t j = 0; j < R; ++j)
            for (std::size_t l = 0; l < R; ++l) G(j, l) = U(relevant[j], l);

        // Per output: Sigma_p, then u_i Sigma_p u_i' and u_i Sigma_p Phi_u' t_p for every i.
        mlx::matrix<double> uSu(N, P), uSt(N, P);
        for (std::size_t p = 0; p < P; ++p) {
            A.resize(R, R);
            for (std::size_t j = 0; j < R; ++j)
                for (std::size_t l = 0; l < R; ++l) A(j, l) = beta(p) * G(j, l) + (j == l ? au[j] : 0.0);
            sigma[p] = R == 0 ? mlx::matrix<double>() : mlx::plu(A).inv(false);
            if (R == 0) continue;
            mlx::prod(U, sigma[p], SW);
            mlx::matrix<double> column = phiUt(mlx::All, mlx::range(static_cast<std::ptrdiff_t>(p)));
            mlx::prod(SW, column, SQ);
            for (std::size_t i = 0; i < N; ++i) {
                double v = 0.0;
                for (std::size_t l = 0; l < R; ++l) v += SW(i, l) * U(i, l);
                uSu(i, p) = v;
                uSt(i, p) = SQ(i);
            }
        }

        bestChange([&](std::size_t i) {
            const double a = alpha(i);
            for (std::size_t p = 0; p < P; ++p) {
                const double b = beta(p);
                S[p] = b * phiNorm(i) - b * b * uSu(i, p);
                Q[p] = b * phiT(i, p) - b * b * uSt(i, p);
                if (a >= maxAlpha) {
                    s[p] = S[p];
                    q[p] = Q[p];
                } else {
                    s[p] = a * S[p] / (a - S[p]);
                    q[p] = a * Q[p] / (a - S[p]);
                }
            }
        });

        // Noise re-estimation from the model the iteration started with (Sigma_p and a_u),
        // not from the change just applied.
        if (R != 0) {
            for (std::size_t p = 0; p < P; ++p) {
                double gammaSum = 0.0;
                for (std::size_t j = 0; j < R; ++j) gammaSum += 1.0 - au[j] * sigma[p](j, j);
                const mlx::matrix<double> column = phiUt(mlx::All, mlx::range(static_cast<std::ptrdiff_t>(p)));
                const mlx::matrix<double> mu = (sigma[p] * column) * beta(p);
                const mlx::matrix<double> fit = phiU * mu;
                double E = 0.0;
                for (std::size_t n = 0; n < N; ++n) {
                    const double e = deltaP(n, p) - fit(n);
                    E += e * e;
                }
                beta(p) = (count - gammaSum) / E;
            }
        }
        if (iteration == max_iter) {
            used[k].resize(R, 1);
            for (std::size_t j = 0; j < R; ++j) used[k](j) = static_cast<unsigned>(relevant[j]);
            weights[k].resize(R, P);
            for (std::size_t p = 0; p < P && R != 0; ++p) {
                const mlx::matrix<double> column = phiUt(mlx::All, mlx::range(static_cast<std::ptrdiff_t>(p)));
                const mlx::matrix<double> w = (sigma[p] * column) * beta(p);
                for (std::size_t j = 0; j < R; ++j) weights[k](j, p) = w(j);
            }
        }
    }
}

}  // namespace track
