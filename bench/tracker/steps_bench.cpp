// One tracking step of each method beside its unavoidable parts measured alone (the four-point
// homography's SVD, the bilinear samples, the model product), and each learner beside its
// decompositions and Gram products, on frame 0 -> 1 of the demo sequence with the defaults.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "host/sequence.hpp"
#include "mlx/alg/lapack.hpp"
#include "mlx/alg/product.hpp"
#include "mlx/alg/svd.hpp"
#include "mlx/array/as_hindex.hpp"
#include "mlx/geometry/homog.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/appjdk.hpp"
#include "tracker/components/camera_motion.hpp"
#include "tracker/kernel.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

namespace {

mlx::matrix<unsigned char> frame(int k) {
    static const host::Sequence sequence{host::SequenceOptions{}};
    const host::GreyImage image = sequence.frame(k);
    mlx::matrix<unsigned char> m;
    m.assign(image.pixels.data(), static_cast<std::size_t>(image.width), static_cast<std::size_t>(image.height));
    return m;
}

mlx::matrix<int, 12> corners() {
    static const host::Sequence sequence{host::SequenceOptions{}};
    const host::Quad q = sequence.truth(0);
    mlx::matrix<int, 12> c(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        c(0, j) = static_cast<int>(q[j].x);
        c(1, j) = static_cast<int>(q[j].y);
        c(2, j) = 1;
    }
    return c;
}

ini::INIParser config(const std::string& method) {
    const std::string path = "/tmp/quadtrack_steps_bench_" + method + ".ini";
    { std::ofstream(path) << "tracker = " << method << "\n"; }
    ini::INIParser parser;
    parser.read(path);
    return parser;
}

// The trackers and learners print their timings; a benchmark's output is its table.
struct quiet {
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    ~quiet() { std::cout.rdbuf(saved); }
};

// A method's tracker, learned once, whose learner the parts below read.
template <class Tracker>
struct exposed : Tracker {
    using Tracker::Tracker;
    template <class Learner>
    const Learner& learnerOf() const {
        return static_cast<const Learner&>(this->getLearner());
    }
};

template <class Tracker>
exposed<Tracker>& trained(const std::string& method) {
    static const auto first = frame(0);
    static exposed<Tracker> t = [&] {
        const quiet q;
        return exposed<Tracker>(corners(), config(method), first);
    }();
    return t;
}

const mlx::matrix<double, 12> kSquare{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};

template <class Tracker>
void step(benchmark::State& state, const std::string& method) {
    Tracker& t = trained<Tracker>(method);
    const auto next = frame(1);
    const mlx::geometry::homog H0(kSquare, mlx::matrix<double, 12>(corners()), true);
    mlx::geometry::homog H = H0;
    mlx::matrix<double> estimate;
    for (auto _ : state) {
        H = H0;
        t.trackstep(0, estimate, H, next);
        benchmark::DoNotOptimize(H);
    }
}
void BM_StepJD(benchmark::State& state) { step<track::trackDhome>(state, "jd"); }
void BM_StepJDK(benchmark::State& state) { step<track::trackjdk>(state, "jdk"); }
void BM_StepRVM(benchmark::State& state) { step<track::trackRVM>(state, "rvm"); }
BENCHMARK(BM_StepJD);
BENCHMARK(BM_StepJDK);
BENCHMARK(BM_StepRVM);

// The LAPACK calls of the four-point homography: the QR factorisation of the 8 x 9 system's
// transpose and the last column of its Q.
void BM_Part_NullVector8x9(benchmark::State& state) {
    mlx::matrix<double> At(9, 8);
    for (std::size_t k = 0; k < At.numel(); ++k) At(k) = std::sin(1.7 * static_cast<double>(k) + 0.3);
    mlx::alg::lapack::workspace ws;
    mlx::matrix<double> a, tau(8, 1), x(9, 1);
    for (auto _ : state) {
        a = At;
        x.fill(0.0);
        x(8) = 1.0;
        mlx::alg::lapack::geqr2(9, 8, a.data(), 9, tau.data(), ws);
        mlx::alg::lapack::orm2r('L', 'N', 9, 1, 8, a.data(), 9, tau.data(), x.data(), 9, ws);
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_Part_NullVector8x9);

// For comparison, the SVD that the QR replaced: dgesvd of the 8 x 9 system, V^T only (jobu "N")
// and with U as well.
void svd8x9(benchmark::State& state, char jobu) {
    mlx::matrix<double> A(8, 9);
    for (std::size_t k = 0; k < A.numel(); ++k) A(k) = std::sin(1.7 * static_cast<double>(k) + 0.3);
    mlx::alg::lapack::workspace ws;
    mlx::matrix<double> a, s(8, 1), u(8, 8), vt(9, 9);
    for (auto _ : state) {
        a = A;
        mlx::alg::lapack::gesvd(jobu, 'A', 8, 9, a.data(), 8, s.data(), u.data(), 8, vt.data(), 9, ws);
        benchmark::DoNotOptimize(vt.data());
    }
}
void BM_Part_Svd8x9_VtOnly(benchmark::State& state) { svd8x9(state, 'N'); }
void BM_Part_Svd8x9_WithU(benchmark::State& state) { svd8x9(state, 'A'); }
BENCHMARK(BM_Part_Svd8x9_VtOnly);
BENCHMARK(BM_Part_Svd8x9_WithU);

void BM_Part_FourPointHomography(benchmark::State& state) {
    const mlx::matrix<double, 12> moved{{101.2, 190.4, 188.9, 99.7}, {70.3, 71.8, 160.2, 158.9}, {1, 1, 1, 1}};
    for (auto _ : state) {
        mlx::geometry::homog H(kSquare, moved, true);
        benchmark::DoNotOptimize(H);
    }
}
BENCHMARK(BM_Part_FourPointHomography);

// The grid mapped through H and its 400 bilinear samples.
void BM_Part_WarpAndSamples(benchmark::State& state) {
    const auto& learner = trained<track::trackDhome>("jd").template learnerOf<track::learning>();
    const auto next = frame(1);
    const mlx::geometry::homog H(kSquare, mlx::matrix<double, 12>(corners()), true);
    mlx::matrix<double> points, samples;
    for (auto _ : state) {
        H.applyto(learner.getGridPts(), points);
        mlx::geometry::normalize_h(points);
        mlx::as_hindex(next, points, samples);
        benchmark::DoNotOptimize(samples.data());
    }
}
BENCHMARK(BM_Part_WarpAndSamples);

// What a frame of a weak-texture region ("flat") adds to its steps: the camera's motion since the
// first frame, 320 x 240; argument 1: the camera still (the first frame again).
void BM_Part_CameraSince(benchmark::State& state) {
    const auto first = frame(0), next = state.range(0) == 1 ? frame(0) : frame(1);
    track::cameraMotion camera;
    camera.reference(first);
    track::cameraMotion::similarity motion;
    for (auto _ : state) benchmark::DoNotOptimize(camera.since(next, motion));
}
BENCHMARK(BM_Part_CameraSince)->Arg(0)->Arg(1);
void BM_Part_CameraNext(benchmark::State& state) {
    const auto first = frame(0), next = frame(1);
    track::cameraMotion camera;
    track::cameraMotion::similarity motion;
    for (auto _ : state) {
        camera.reference(first);
        benchmark::DoNotOptimize(camera.next(next, motion));
    }
}
BENCHMARK(BM_Part_CameraNext);

void BM_Part_ModelProductJD(benchmark::State& state) {
    const auto& learner = trained<track::trackDhome>("jd").template learnerOf<track::LearnJD>();
    mlx::matrix<double> d(1, learner.getModels()[0].rows());
    for (std::size_t k = 0; k < d.numel(); ++k) d(k) = std::sin(static_cast<double>(k));
    mlx::matrix<double, 8> delta;
    for (auto _ : state) {
        mlx::prod(d, learner.getModels()[0], delta);
        benchmark::DoNotOptimize(delta.data());
    }
}
BENCHMARK(BM_Part_ModelProductJD);

// The kernel expansion of one step: distances to the centres (one product), exponentials and the
// product with the weights.
void kernelExpansion(benchmark::State& state, const mlx::matrix<double>& centres, const mlx::matrix<double>& weights,
                     double width) {
    mlx::matrix<double> d(1, centres.cols());
    for (std::size_t k = 0; k < d.numel(); ++k) d(k) = 0.05 * std::sin(static_cast<double>(k));
    const mlx::matrix<double> squares = track::kernel::rowSquares(centres);
    mlx::matrix<double> kappa;
    mlx::matrix<double, 8> delta;
    for (auto _ : state) {
        track::kernel::dist2(d, centres, squares, kappa);
        track::kernel::gaussian(kappa, width);
        mlx::prod(kappa, weights, delta);
        benchmark::DoNotOptimize(delta.data());
    }
}
void BM_Part_KernelExpansionJDK(benchmark::State& state) {
    const auto& l = trained<track::trackjdk>("jdk").template learnerOf<track::Appjdk>();
    kernelExpansion(state, l.getCentres()[0], l.getWeights()[0], l.getWidths()[0]);
}
void BM_Part_KernelExpansionRVM(benchmark::State& state) {
    const auto& l = trained<track::trackRVM>("rvm").template learnerOf<track::AppRVM>();
    kernelExpansion(state, l.getRelevanceVectors()[0], l.getWeights()[0], l.getWidths()[0]);
}
BENCHMARK(BM_Part_KernelExpansionJDK);
BENCHMARK(BM_Part_KernelExpansionRVM);

// Learners, whole, beside their dominant work on a training set of the same shape.
template <class Learner>
void learner(benchmark::State& state, const std::string& method) {
    const quiet q;
    const auto first = frame(0);
    const mlx::matrix<double> c(corners());
    for (auto _ : state) {
        Learner l(c, config(method), first);
        benchmark::DoNotOptimize(&l);
    }
}
void BM_LearnJD(benchmark::State& state) { learner<track::LearnJD>(state, "jd"); }
void BM_LearnJDK(benchmark::State& state) { learner<track::Appjdk>(state, "jdk"); }
void BM_LearnRVM(benchmark::State& state) { learner<track::AppRVM>(state, "rvm"); }
BENCHMARK(BM_LearnJD)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LearnJDK)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LearnRVM)->Unit(benchmark::kMillisecond)->Iterations(1);

mlx::matrix<double> trainingLike(std::size_t rows, std::size_t cols) {
    mlx::matrix<double> X(rows, cols);
    for (std::size_t k = 0; k < X.numel(); ++k) X(k) = 0.05 * std::sin(0.731 * static_cast<double>(k) + 0.2);
    return X;
}

// jd's decomposition of one level: the thin SVD of the 800 x 400 differences.
void BM_Part_LearnJD_Svd800x400(benchmark::State& state) {
    const mlx::matrix<double> X = trainingLike(800, 400);
    for (auto _ : state) benchmark::DoNotOptimize(mlx::svd(X, 'S', mlx::svd::method::divide_and_conquer).S().data());
}
BENCHMARK(BM_Part_LearnJD_Svd800x400)->Unit(benchmark::kMillisecond);

// jdk's per-level Gram products: 800 x 800 distances (width search) and 800 x 200 (kernel matrix).
void BM_Part_LearnJDK_Gram(benchmark::State& state) {
    const mlx::matrix<double> X = trainingLike(800, 400);
    const mlx::matrix<double> Z = trainingLike(200, 400);
    for (auto _ : state) {
        benchmark::DoNotOptimize(track::kernel::dist2(X, X).data());
        benchmark::DoNotOptimize(track::kernel::dist2(X, Z).data());
    }
}
BENCHMARK(BM_Part_LearnJDK_Gram)->Unit(benchmark::kMillisecond);

}  // namespace
