#include "tracker/components/keys.hpp"

#include <cmath>
#include <limits>

#include "mlx/tool/exception.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/appRVM.hpp"
#include "tracker/appjdk.hpp"
#include "tracker/components/binned_sampler.hpp"
#include "tracker/components/lost_state.hpp"
#include "tracker/components/motion_prior.hpp"
#include "tracker/components/occlusion.hpp"
#include "tracker/components/photometry.hpp"
#include "tracker/components/reacquisition.hpp"
#include "tracker/components/seeded_draws.hpp"
#include "tracker/components/weak_texture.hpp"

namespace track::keys {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::array<double, 3> every(double v) { return {v, v, v}; }

}  // namespace

bool key::readBy(tracker::enumTrackerType method) const { return !std::isnan(byMethod[method]); }

const std::vector<key>& all() {
    using T = tracker;
    static const std::vector<key> table{
        {"tracker", type::text, every(0), "jd", 0, 0, false, false,
         "tracking method: jd (linear), jdk (Gaussian kernel) or rvm (relevance vectors); any other name selects jd"},
        {"iter", type::count, every(T::defaultIter), nullptr, 0, T::iterLimit, false, false,
         "tracking steps per motion level and frame"},
        {"nbtrack", type::count, every(learningDefaults::nbtrack), nullptr, 0, learningLimits::nbtrack, false, false,
         "motion levels, coarse to fine; each halves the perturbations of the one before"},
        {"noise", type::number, {LearnJD::defaultNoise, Appjdk::defaultNoise, AppRVM::defaultNoise}, nullptr, 0, kInf,
         false, false, "largest corner perturbation of the first level, as a fraction of the region's side"},
        {"plans", type::count, every(learningDefaults::plans), nullptr, 1, learningLimits::plans, false, false,
         "synthetic perturbations learned per level"},
        {"nbpoints", type::count, every(learningDefaults::nbpoints), nullptr, 4, learningLimits::nbpoints, false, false,
         "sample points, rounded down to a square"},
        {"width0", type::number, {kNone, Appjdk::defaultWidth0, AppRVM::defaultWidth0}, nullptr, 0, kInf, false, false,
         "kernel methods: start of the kernel-width search over [0, 2 width0]"},
        {"M", type::count, {kNone, Appjdk::defaultM, kNone}, nullptr, 1, kInf, false, false,
         "jdk: kernel centres per level (lowered to plans)"},
        {"max_iter", type::count, {kNone, kNone, AppRVM::defaultMaxIter}, nullptr, 1, AppRVM::maxIterLimit, false, false,
         "rvm: training iterations per level"},
        {"kernel", type::text, {kNone, 0, 0}, "g", 0, 0, false, false,
         "kernel methods: read and ignored, the kernel is always Gaussian"},
        {"extensions", type::count, every(1), nullptr, 0, kInf, false, false,
         "0 leaves out every key below: the plain hyperplane method"},
        {"predict", type::number, every(motionPrior::defaultPredict), nullptr, 0, 1, false, true,
         "each frame starts from the last corners moved on by this share of their last motion; 0: off"},
        {"lost", type::number, every(lostState::defaultThreshold), nullptr, 0, 1, true, true,
         "a frame whose match score falls below this, or whose quad is crossed, collapsed or mostly off the frame, "
         "is reported lost and the corners are held; 0: off"},
        {"robust", type::number, every(photometry::defaultRobust), nullptr, 0, kInf, false, true,
         "pattern residuals beyond this many robust standard deviations are ignored; 0: off"},
        {"sensor", type::number, {8.0, kNone, kNone}, nullptr, 0, kInf, false, true,
         "jd: the models withstand sensor noise of this deviation in grey levels (ridge regression); 0: off"},
        {"clipping", type::count, every(1), nullptr, 0, kInf, false, true,
         "samples clipped at 0 or 255 only bound the level they saw; 0: off"},
        {"occlusion", type::number, {occlusion::defaultThreshold, kNone, kNone}, nullptr, 0, kInf, false, true,
         "jd: samples beyond this many robust deviations at the end of a frame, in blobs, are taken as hidden and "
         "the models refitted without them; 0: off"},
        {"binning", type::number, every(binnedSampler::defaultSpacing), nullptr, 0, kInf, false, true,
         "regions whose sample points lie at least this many pixels apart are read from frames binned 2 x 2; 0: off"},
        {"settle", type::count, every(motionPrior::defaultSettle), nullptr, 0, T::iterLimit, false, true,
         "on a frame without motion history a level whose steps still move the corners steps on, up to this "
         "many steps; not above iter: off"},
        {"reacquire", type::number, every(reacquisition::defaultAccept), nullptr, 0, 1, false, true,
         "while lost, the frame is searched for the region, taken back at this match score; 0: off"},
        {"follow", type::count, every(1), nullptr, 0, kInf, false, true,
         "while lost, the held corners move with the rest of the picture (the camera's motion); 0: off"},
        {"flat", type::number, every(weakTexture::defaultFlat), nullptr, 0, 1, false, true,
         "a region whose pattern correlates at least this much with itself a quarter of its side away moves with "
         "the camera's motion, the steps taken only within a pixel of it (needs follow); 0: off"},
        {"fastlearn", type::count, every(1), nullptr, 0, kInf, false, true,
         "learning takes its fast paths, which give the same models to 1e-9: perturbations in closed form, jd's ridge "
         "fit by Cholesky, the kernel width search on one symmetric distance matrix, rvm's search of the best change "
         "screened by a bound; 0: off"},
        {"seed", type::count, every(seededDraws::defaultSeed), nullptr, 0, 4294967295.0, false, true,
         "the tracker's own stream of training perturbations starts from this seed: the same frame, corners and keys "
         "learn the same models in any process and order (extensions = 0: the process's one stream)"},
    };
    return table;
}

const key& find(const std::string& name) {
    for (const key& k : all())
        if (name == k.name) return k;
    MLX_RAISE("no configuration key \"" << name << "\"");
}

bool extensionsOn(const ini::INIParser& config) { return ini::readUnsigned(config, "extensions", 1) != 0; }

double read(const ini::INIParser& config, const key& k, tracker::enumTrackerType method) {
    if (k.kind == type::count) {
        const unsigned v = ini::readUnsigned(config, k.name, static_cast<unsigned>(k.byMethod[method]));
        if (v > k.highest) MLX_RAISE("configuration key \"" << k.name << "\": " << v << " is above the limit of " << k.highest);
        return v;
    }
    const double v = ini::readDouble(config, k.name, k.byMethod[method]);
    const bool inside = v >= k.lowest && (k.open ? v < k.highest : v <= k.highest);
    if (!inside) {
        if (std::isinf(k.highest)) MLX_RAISE("configuration key \"" << k.name << "\": " << v << " is negative");
        MLX_RAISE("configuration key \"" << k.name << "\": " << v << " is not in [" << k.lowest << ", " << k.highest
                                         << (k.open ? ")" : "]"));
    }
    return v;
}

double read(const ini::INIParser& config, const char* name, tracker::enumTrackerType method) {
    return read(config, find(name), method);
}

tracker::enumTrackerType method(const ini::INIParser& config) { return tracker::kindOf(config); }

const char* methodName(tracker::enumTrackerType method) {
    static const char* const names[] = {"jd", "jdk", "rvm"};
    return names[method];
}

std::vector<setting> effective(const ini::INIParser& config) {
    const tracker::enumTrackerType m = method(config);
    const bool extended = extensionsOn(config);
    std::vector<setting> out;
    for (const key& k : all()) {
        if (!k.readBy(m) || (k.extension && !extended)) continue;
        if (k.kind == type::text) {
            const std::string given = config.getFieldValue(k.name);
            out.push_back({&k, k.name == std::string("tracker") ? methodName(m) : given.empty() ? k.text : given, kNone});
        } else if (k.extension) {
            out.push_back({&k, "", read(config, k, m)});
        } else {
            // The spine checks its own keys; here they are read as it reads them.
            out.push_back({&k, "",
                           k.kind == type::count ? ini::readUnsigned(config, k.name, static_cast<unsigned>(k.byMethod[m]))
                                                 : ini::readDouble(config, k.name, k.byMethod[m])});
        }
    }
    return out;
}

}  // namespace track::keys
