// Pins the models and tracked corners of every method on a fixed input, so that work on speed
// cannot change a result unnoticed. Each fingerprint is a set of weighted sums of the model's
// elements (weights that differ per position, so a permutation or a sign slip shows) and the
// corners of a short sequence; the tolerance admits a changed BLAS summation order, nothing more.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "mlx/random/rand.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/appjdk.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

namespace {

constexpr double kRelative = 1e-9;

const std::string kConfig =
    "extensions = 0\nnbtrack = 2\nnoise = 0.2\nplans = 150\nnbpoints = 64\niter = 2\nwidth0 = 1.0\nM = 40\nmax_iter = 8\n";

// Sum, sum of magnitudes and two position-weighted sums of a matrix's elements.
std::vector<double> fingerprint(const mlx::matrix<double>& m) {
    double sum = 0.0, magnitude = 0.0, wave = 0.0, ramp = 0.0;
    for (std::size_t i = 0; i < m.numel(); ++i) {
        sum += m(i);
        magnitude += std::abs(m(i));
        wave += m(i) * std::cos(0.37 * static_cast<double>(i));
        ramp += m(i) * static_cast<double>(i % 17 + 1);
    }
    return {sum, magnitude, wave, ramp};
}

void append(std::vector<double>& to, const std::vector<double>& values) {
    to.insert(to.end(), values.begin(), values.end());
}

// Compares with the golden values; on a mismatch prints the actual values to twelve digits, so
// that a deliberate change of result can be pinned anew.
void expectGolden(const std::vector<double>& actual, const std::vector<double>& golden, const std::string& what) {
    bool same = actual.size() == golden.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = std::abs(actual[i] - golden[i]) <= kRelative * std::max(1.0, std::abs(golden[i]));
    std::ostringstream text;
    for (double v : actual) text << std::setprecision(12) << v << ", ";
    EXPECT_TRUE(same) << what << " changed; actual values:\n{" << text.str() << "}";
}

// The method's learner, then its tracker on frames 2, 4, ..., 10, each from the generator back at
// its default seed, as at the start of a process: the golden values then do not depend on what
// other tests of this program drew before.
template <class Learner, class Tracker, class Fingerprint>
void expectGoldenMethod(const std::string& method, Fingerprint model, const std::vector<double>& goldenModel,
                        const std::vector<double>& goldenCorners) {
    const auto config = fixtures::config(kConfig + "tracker = " + method + "\n");
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    expectGolden(model(Learner(mlx::matrix<double>(fixtures::corners(0)), config, fixtures::frame(0))), goldenModel,
                 method + " models");
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    testing::internal::CaptureStdout();
    std::vector<double> corners;
    {
        Tracker t(fixtures::corners(0), config, fixtures::frame(0));
        for (int f = 2; f <= 10; f += 2) {
            const auto& c = t.run(fixtures::frame(f));
            for (std::size_t j = 0; j < 4; ++j) append(corners, {c(0, j), c(1, j)});
        }
    }
    testing::internal::GetCapturedStdout();
    expectGolden(corners, goldenCorners, method + " corners");
}

}  // namespace

TEST(Golden, TheLinearModelsAndTrackedCornersStayAsPinned) {
    const auto model = [](const track::LearnJD& learner) {
        std::vector<double> out;
        for (const auto& m : learner.getModels()) append(out, fingerprint(m));
        return out;
    };
    expectGoldenMethod<track::LearnJD, track::trackDhome>(
        "jd", model,
        {-5.77315972805e-15, 59.9775442573, 0.0495597377581, -8.65608555579, -2.19269047363e-14, 51.6959847297,
         -0.952145081401, 1.53821864091},
        {127.002478032, 82.3102337781, 207.524896538, 83.1543152586, 207.117758816, 163.324067795, 126.403629166,
         163.207895317, 134.070834013, 84.638157939, 215.426933341, 85.8860537488, 214.400498617, 166.938884845,
         132.868721987, 166.206310927, 140.809643078, 86.9118013921, 222.680241024, 88.9499938912, 221.424906594,
         170.642638132, 139.010009733, 169.296190066, 147.154103296, 89.2526904493, 230.185876656, 91.4783189874,
         228.184969681, 174.134330253, 144.837500072, 172.292105801, 153.309248548, 91.2225230241, 236.731309469,
         94.0797562545, 234.271010914, 177.307995748, 150.260102716, 175.311348682});
}

TEST(Golden, TheKernelModelsAndTrackedCornersStayAsPinned) {
    const auto model = [](const track::Appjdk& learner) {
        std::vector<double> out;
        for (unsigned k = 0; k < learner.getNbtrack(); ++k) {
            out.push_back(learner.getWidths()[k]);
            append(out, fingerprint(learner.getWeights()[k]));
            append(out, fingerprint(learner.getCentres()[k]));
        }
        return out;
    };
    expectGoldenMethod<track::Appjdk, track::trackjdk>(
        "jdk", model,
        {1.10112920119, -0.198788224197, 56.6699328827, -2.4952327377, 6.08367430164, -1.4155343564e-15,
         303.422371513, 4.87174431727, 10.7856530773, 0.622314554459, -0.396199466651, 22.3219349513, 1.93205551317,
         -10.8867648484, 6.27276008913e-15, 186.077012873, 0.174089215068, -5.91267036065},
        {127.345576967, 83.3691373389, 208.058269296, 82.723010983, 207.616905475, 163.564114547, 127.345610925,
         161.641793035, 134.064545552, 85.5768678666, 215.908872325, 85.506265342, 214.823599282, 167.076208498,
         133.733476142, 164.757761284, 140.645793671, 87.618634835, 223.308253623, 88.4262844218, 221.681528906,
         170.45021489, 139.94661951, 167.90621054, 146.651807758, 89.6233823918, 230.477378618, 91.1451027343,
         228.281673421, 173.671509905, 146.009410416, 170.752672884, 152.192668873, 91.2603179318, 237.307347824,
         93.8344717923, 234.474242019, 176.573232479, 151.54452292, 173.618845168});
}

TEST(Golden, TheRelevanceVectorModelsAndTrackedCornersStayAsPinned) {
    const auto model = [](const track::AppRVM& learner) {
        std::vector<double> out;
        for (unsigned k = 0; k < learner.getNbtrack(); ++k) {
            out.push_back(learner.getWidths()[k]);
            for (unsigned i : learner.getUsed()[k]) out.push_back(i);
            append(out, fingerprint(learner.getWeights()[k]));
        }
        return out;
    };
    expectGoldenMethod<track::AppRVM, track::trackRVM>(
        "rvm", model,
        {1.1011292011897535, 32, 39, 75, 88, 119, 125, 134, 146,  // level 0: width, relevance vectors
         -0.23695575907229649, 11.835567389511407, 0.18731920962679341, 12.479112005731,
         0.62231455445890149, 11, 17, 22, 29, 38, 91, 109, 147,  // level 1
         -0.31919472856920711, 5.7256049387626762, -0.50293198936229344, -6.919251406021047},
        {126.370695622, 80.9567874759, 204.055731566, 86.3173203226, 204.168000415, 160.869228867, 123.389014097,
         168.769922286, 131.713434657, 80.4633544584, 208.697005594, 91.9445028985, 207.894018552, 160.179728234,
         129.118805843, 175.811718769, 136.062807788, 79.218683336, 212.617423138, 95.9191756144, 210.404909311,
         158.620594669, 136.133225699, 182.035695863, 141.071700428, 78.0505013899, 215.694755498, 99.1499088882,
         211.823697869, 157.095459264, 143.757811176, 187.170883101, 149.400547047, 79.4606061074, 217.891037603,
         102.408344827, 211.688736087, 156.322758707, 149.779375349, 187.962793789});
}
