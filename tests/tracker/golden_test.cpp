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
#include "host/sequence.hpp"
#include "tracker/components/session.hpp"

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
void expectGolden(const std::vector<double>& actual, const std::vector<double>& golden, const std::string& what,
                  double relative = kRelative) {
    bool same = actual.size() == golden.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = std::abs(actual[i] - golden[i]) <= relative * std::max(1.0, std::abs(golden[i]));
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

namespace {

// Fingerprints of every level's model as the tracker holds it.
std::vector<double> modelOf(const track::learning& learner) {
    std::vector<double> out;
    if (const auto* jd = dynamic_cast<const track::LearnJD*>(&learner))
        for (const auto& m : jd->getModels()) append(out, fingerprint(m));
    if (const auto* jdk = dynamic_cast<const track::Appjdk*>(&learner))
        for (unsigned k = 0; k < jdk->getNbtrack(); ++k) {
            out.push_back(jdk->getWidths()[k]);
            append(out, fingerprint(jdk->getWeights()[k]));
        }
    if (const auto* rvm = dynamic_cast<const track::AppRVM*>(&learner))
        for (unsigned k = 0; k < rvm->getNbtrack(); ++k) {
            out.push_back(rvm->getWidths()[k]);
            out.push_back(static_cast<double>(rvm->getUsed()[k].numel()));
            append(out, fingerprint(rvm->getWeights()[k]));
        }
    return out;
}

// The default configuration of a method on the demo's sequence: the models, then the corners of
// every sixth frame of 30 tracked, from the generator at its default seed. The kernel widths are
// found to the search's tolerance, and the last steps of its search turn on the criterion's last
// bits, which another BLAS's summation order changes: jdk's width and weights then move by up to
// 2e-7 and a corner, over 30 frames, by up to 5e-4 of its value, 0.02 px (the reference BLAS
// against OpenBLAS); rvm's fifty greedy iterations per level carry such changes to 1e-5 of its
// weights. Both keep their corners to 1e-3, jd everything to kRelative.
void expectGoldenDefaults(const std::string& method, const std::vector<double>& goldenModel,
                          const std::vector<double>& goldenCorners) {
    const double modelTolerance = method == "rvm" ? 1e-5 : method == "jdk" ? 1e-6 : kRelative;
    const double cornerTolerance = method == "jd" ? kRelative : 1e-3;
    const host::Sequence demo{host::SequenceOptions{}};
    const auto frame = [&](int k) {
        const host::GreyImage g = demo.frame(k);
        mlx::matrix<unsigned char> m;
        m.assign(g.pixels.data(), static_cast<std::size_t>(g.width), static_cast<std::size_t>(g.height));
        return m;
    };
    mlx::matrix<int, 12> corners(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        corners(0, j) = static_cast<int>(demo.truth(0)[j].x);
        corners(1, j) = static_cast<int>(demo.truth(0)[j].y);
        corners(2, j) = 1;
    }
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    track::session t(corners, fixtures::config("tracker = " + method + "\n"), frame(0));
    expectGolden(modelOf(t.spine().getLearner()), goldenModel, method + " default models", modelTolerance);
    std::vector<double> tracked;
    for (int f = 1; f <= 30; ++f) {
        const auto& c = t.run(frame(f)).corners;
        if (f % 6 == 0)
            for (std::size_t j = 0; j < 4; ++j) append(tracked, {c(0, j), c(1, j)});
    }
    expectGolden(tracked, goldenCorners, method + " default corners", cornerTolerance);
}

// jd's default configuration where an occluder grows over the region from frame 2: the corners of
// frames 1 to 10, the hidden samples refitted out.
std::vector<double> occludedCorners() {
    mlx::atom::Randomizer::LocalRndDevice() = mlx::atom::Randomizer::engine();
    track::session t(fixtures::corners(0), fixtures::config("plans = 400\nnbpoints = 225\n"), fixtures::frame(0));
    std::vector<double> tracked;
    for (int f = 1; f <= 10; ++f) {
        const auto& c = t.run(fixtures::occludedFrame(f, 4.0 * (f - 1))).corners;
        for (std::size_t j = 0; j < 4; ++j) append(tracked, {c(0, j), c(1, j)});
    }
    return tracked;
}

}  // namespace

TEST(Golden, TheDefaultConfigurationTracksAnOccludedRegionAsPinned) {
    expectGolden(occludedCorners(),
        {123.833940562, 81.398842751, 204.149400434, 81.0597899568, 203.560843794, 161.985718014,
         123.815464888, 161.198610452, 127.360436304, 83.1869144121, 208.494300532, 81.7267123461,
         207.18921122, 163.687878161, 128.04265571, 162.314844291, 130.464154327, 83.460785214,
         211.719767446, 84.3369142084, 210.85595046, 165.420874989, 129.704101526, 164.690592102,
         133.962194924, 84.6327190743, 215.579110017, 85.7475935983, 214.440155069, 167.230851736,
         132.902173575, 166.185342944, 137.227753021, 85.7433580698, 219.310399533, 87.1686823975,
         217.981891651, 168.925662912, 136.028533051, 167.83054565, 140.659626561, 86.8137486968,
         222.979489507, 88.6528314059, 221.431781844, 170.716207177, 139.100412955, 169.24275497,
         144.089577732, 87.9819279768, 226.627408684, 90.0004056783, 224.774402499, 172.536704106,
         142.071468232, 170.746394032, 147.145579549, 88.9352527683, 230.156765045, 91.3452300812,
         228.017463913, 174.144045922, 145.062241777, 172.225115102, 150.098379405, 90.0432906629,
         233.585854633, 92.6755598865, 231.240604058, 175.729308923, 147.772983468, 173.708526383,
         152.738685275, 90.7836246663, 236.906438066, 94.0797572409, 234.266210411, 177.306303174,
         150.128525268, 175.285355907},
                 "occluded corners");
}

TEST(Golden, TheDefaultConfigurationTracksTheDemoAsPinnedForEveryMethod) {
    expectGoldenDefaults(
        "jd",
        {-1.01545161169e-12, 76.583075027, 1.28799803289, -5.65766188528, 2.80026002386e-13, 41.2673768259,
         0.659565678909, 2.53997849525, 5.53376788837e-15, 34.4820670845, 0.288913190016, 1.61900901721},
        {70.4112046763, 41.200514409, 154.153102096, 42.4899506223, 160.755931597, 132.912253769,
         62.9879375841, 133.236659535, 62.1529375351, 46.9077518267, 142.793274984, 52.1080394859,
         142.758460533, 140.265317206, 50.361038465, 132.780756157, 56.668081396, 56.2603846599, 134.71755399,
         64.9242057027, 128.251047855, 150.484872949, 41.7209936992, 136.300153086, 54.4783266017,
         68.012020045, 130.477210785, 79.7814981893, 117.945871616, 162.615380021, 37.1043198347,
         143.064751093, 55.7454188933, 80.5528077409, 130.56624493, 95.0611077521, 112.503970124,
         175.481381125, 36.6654977641, 151.861824049});
    expectGoldenDefaults(
        "jdk",
        {1.02127390663, -0.237655620966, 273.956651847, 2.27319174115, 36.7264458149, 0.538868418005,
         -0.122337962936, 101.322347163, 2.54495755654, 24.9266990367, 0.799304360236, -0.0058241809192,
         894.473959714, 11.2659391771, 100.618440088},
        {70.3944432277, 41.2039862838, 154.196251798, 42.4577018486, 160.688947602, 132.824978776,
         62.9549149309, 133.306802515, 62.1136399756, 46.9010488659, 142.841693102, 52.0681869468,
         142.718240314, 140.190950033, 50.331697537, 132.818482691, 56.6562484906, 56.2510413326,
         134.717108291, 64.9239640304, 128.232635389, 150.404342565, 41.6777804401, 136.32099879,
         54.4767182452, 67.9990727303, 130.518051915, 79.7474720925, 117.941633551, 162.577939919,
         37.0666537548, 143.119843705, 55.6884520901, 80.5344308148, 130.634717657, 95.0353696454,
         112.494922384, 175.38559838, 36.6625500331, 151.856737877});
    expectGoldenDefaults(
        "rvm",
        {1.02127390663, 50, -0.105011296962, 81.0174449414, -0.595163869691, 11.8545703363, 0.538868418005,
         50, 0.0790045598118, 32.2783733146, -1.60147169728, 4.1687911467, 0.799304360236, 50, 0.051673851307,
         64.0839435189, 0.914283691862, -2.79371020626},
        {70.3907424956, 41.218450064, 154.086718686, 42.5403755897, 160.758785087, 132.894066128,
         62.9884362766, 133.140598642, 62.1085104927, 46.9389076962, 142.736386143, 52.150002852,
         142.784181476, 140.243057581, 50.3674328132, 132.670220104, 56.7089850104, 56.277669413,
         134.641896751, 64.9772111559, 128.22999703, 150.519624149, 41.747381231, 136.187905346,
         54.4909773988, 68.0238089778, 130.418399524, 79.8054187418, 117.916939976, 162.574685446,
         37.1238397723, 142.992476515, 55.7303425463, 80.5659478735, 130.50192492, 95.093284809,
         112.508650297, 175.475536866, 36.6637851917, 151.791936651});
}
