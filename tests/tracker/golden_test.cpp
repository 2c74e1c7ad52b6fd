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

// Compares with the golden values; on a mismatch prints the actual values in full precision, so
// that a deliberate change of result can be pinned anew.
void expectGolden(const std::vector<double>& actual, const std::vector<double>& golden, const std::string& what) {
    bool same = actual.size() == golden.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = std::abs(actual[i] - golden[i]) <= kRelative * std::max(1.0, std::abs(golden[i]));
    std::ostringstream text;
    for (double v : actual) text << std::setprecision(17) << v << ", ";
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
        {-5.773159728050814e-15, 59.977544257293921, 0.049559737758140404, -8.6560855557911651,
         -2.1926904736346842e-14, 51.695984729745497, -0.95214508140057275, 1.5382186409137062},
        {127.00247803209993, 82.310233778064813, 207.5248965375024,  83.154315258585029, 207.11775881569989,
         163.32406779547583, 126.40362916579055, 163.20789531673401, 134.07083401278604, 84.638157939001957,
         215.42693334079516, 85.886053748771928, 214.40049861725024, 166.93888484462744, 132.86872198675448,
         166.20631092728598, 140.80964307825579, 86.911801392058877, 222.68024102404479, 88.949993891224523,
         221.42490659406778, 170.64263813206497, 139.01000973323565, 169.29619006595044, 147.15410329606866,
         89.252690449320852, 230.18587665625412, 91.478318987367985, 228.18496968111856, 174.13433025312034,
         144.83750007154902, 172.29210580065003, 153.30924854818278, 91.222523024052379, 236.73130946911232,
         94.079756254478795, 234.27101091370668, 177.30799574808529, 150.26010271643838, 175.31134868234039});
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
        {1.1011292011897535, -0.1987882241969984, 56.669932882702625, -2.4952327376960919, 6.0836743016387551,
         -1.4155343563970746e-15, 303.42237151326481, 4.8717443172731061, 10.785653077271727, 0.62231455445890149,
         -0.39619946665111511, 22.321934951266684, 1.9320555131723864, -10.886764848376615, 6.2727600891321345e-15,
         186.07701287321925, 0.17408921506800057, -5.9126703606526583},
        {127.34557696694291, 83.369137338898241, 208.05826929593042, 82.723010983046663, 207.61690547463502,
         163.56411454676567, 127.34561092545209, 161.64179303469797, 134.06454555229291, 85.576867866571021,
         215.9088723253943,  85.506265341956933, 214.82359928228701, 167.07620849777592, 133.73347614194222,
         164.75776128396521, 140.64579367077232, 87.618634834966556, 223.30825362312302, 88.426284421836641,
         221.68152890558741, 170.45021489042941, 139.94661951008001, 167.90621054019923, 146.65180775830015,
         89.623382391821323, 230.47737861834565, 91.14510273428418,  228.28167342115583, 173.67150990530041,
         146.00941041625967, 170.75267288355838, 152.19266887341129, 91.260317931797928, 237.30734782382737,
         93.834471792349092, 234.47424201858274, 176.5732324788647,  151.5445229200605,  173.61884516777241});
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
        {126.37069562228352, 80.956787475864772, 204.05573156550673, 86.317320322574105, 204.16800041511135,
         160.86922886652161, 123.38901409677155, 168.76992228611476, 131.71343465671669, 80.463354458353692,
         208.69700559398856, 91.944502898518991, 207.89401855184704, 160.17972823424492, 129.11880584335509,
         175.81171876899967, 136.0628077884254,  79.218683336024469, 212.61742313759305, 95.919175614398881,
         210.40490931104497, 158.62059466882681, 136.13322569935059, 182.03569586298141, 141.07170042781561,
         78.050501389887856, 215.694755498056,   99.149908888214327, 211.82369786873463, 157.09545926376799,
         143.75781117556028, 187.17088310101056, 149.400547047104,   79.460606107449863, 217.89103760337289,
         102.40834482673586, 211.68873608710581, 156.32275870662522, 149.77937534904427, 187.9627937887941});
}
