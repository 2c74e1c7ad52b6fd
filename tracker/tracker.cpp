#include "tracker/tracker.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>

#include "mlx/array/as_hindex.hpp"
#include "mlx/tool/exception.hpp"
#include "mlx/tool/timer.hpp"
#include "tracker/appDhome.hpp"
#include "tracker/appjdk.hpp"
#include "tracker/appRVM.hpp"

namespace track {
namespace {

// Pops the timer's start time even when the timed work throws, so later timings stay paired.
class stopwatch {
public:
    stopwatch() { mlx::tool::timer::tic(); }
    ~stopwatch() {
        if (running) mlx::tool::timer::toc();
    }
    double stop() {
        running = false;
        return mlx::tool::timer::toc();
    }

private:
    bool running = true;
};

std::unique_ptr<learning> makeLearner(tracker::enumTrackerType kind, const mlx::matrix<double>& corners,
                                      const ini::INIParser& ini, const mlx::matrix<unsigned char>& image) {
    switch (kind) {
    case tracker::JDK:
        return std::make_unique<Appjdk>(corners, ini, image);
    case tracker::RVM:
        return std::make_unique<AppRVM>(corners, ini, image);
    case tracker::JD:
        break;
    }
    return std::make_unique<LearnJD>(corners, ini, image);
}

}  // namespace

tracker::enumTrackerType tracker::kindOf(const ini::INIParser& ini) {
    static const std::map<std::string, enumTrackerType> trackerTypes{{"jd", JD}, {"jdk", JDK}, {"rvm", RVM}};
    std::string name = ini.getFieldValue("tracker");
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = trackerTypes.find(name);
    return found == trackerTypes.end() ? JD : found->second;
}

tracker::tracker(const mlx::matrix<int, 12>& selected, const ini::INIParser& ini,
                 const mlx::matrix<unsigned char>& image) {
    iter = ini::readUnsigned(ini, "iter", defaultIter);
    if (iter > iterLimit) MLX_RAISE("configuration key \"iter\": " << iter << " is above the limit of " << iterLimit);
    const unsigned settle = extensions::read(ini).settle;
    if (settle > iterLimit)
        MLX_RAISE("configuration key \"settle\": " << settle << " is above the limit of " << iterLimit);
    const enumTrackerType kind = kindOf(ini);
    stopwatch learningTime;
    ownedLearner = makeLearner(kind, mlx::matrix<double>(selected), ini, image);
    learningSeconds = learningTime.stop();
    if (ownedLearner->isBinned()) bins.reserve(image);
    restart();
}

tracker::~tracker() = default;

const mlx::matrix<double>& tracker::run(const mlx::matrix<unsigned char>& frame) {
    stopwatch frameTime;
    const auto count = [&] {
        totalTime += frameTime.stop();
        ++frames;
    };
    const extensions& ext = ownedLearner->getExtensions();
    const mlx::geometry::homog before = H;
    bins.newFrame();
    if (ext.predict > 0.0 && known == 2) {
        mlx::matrix<double, 12> predicted(last);
        for (std::size_t i = 0; i < predicted.numel(); ++i) predicted(i) += ext.predict * (last(i) - previous(i));
        H = mlx::geometry::homog(ownedLearner->getUnitSquare(), predicted, true);
    }
    if (ext.lost > 0.0) {
        try {
            steps(frame);
        } catch (const mlx::tool::generalException& e) {
            count();
            holdLost(before, e.message());
        }
    } else {
        steps(frame);
    }
    const bool stepped = stepping();
    if (stepped && ext.lost > 0.0 && score() < ext.lost) {
        count();
        std::ostringstream why;
        why << "match score " << score() << " below " << ext.lost;
        holdLost(before, why.str());
    }
    if (stepped) {
        previous = last;
        last = corners;
        known = std::min(known + 1, 2u);
    }
    count();
    return corners;
}

void tracker::steps(const mlx::matrix<unsigned char>& frame) {
    pass(frame);
}

void tracker::pass(const mlx::matrix<unsigned char>& frame) {
    const unsigned levels = ownedLearner->getNbtrack();
    // With a motion history the start is predicted close, and more steps would only chase what
    // stopped matching (occluders, repeated texture).
    const unsigned settle = known < 2 ? ownedLearner->getExtensions().settle : 0;
    for (unsigned k = 0; k < levels; ++k) {
        unsigned taken = 0;
        for (; taken < iter; ++taken) trackstep(k, corners, H, frame);
        for (; taken < settle && taken > 0 && unsettled(k); ++taken) trackstep(k, corners, H, frame);
    }
}

bool tracker::unsettled(unsigned k) const {
    double moved = 0.0;
    for (std::size_t q = 0; q < 8; ++q) moved = std::max(moved, std::fabs(step.delta(q)));
    return moved > settleMotion * ownedLearner->levelRange(k);
}

bool tracker::stepping() const {
    return ownedLearner->getNbtrack() > 0 && iter > 0;
}

double tracker::score() const {
    double squares = 0.0;
    for (std::size_t m = 0; m < step.pattern.numel(); ++m) squares += step.pattern(m) * step.pattern(m);
    return 1.0 - 0.5 * squares;  // both patterns have zero mean and unit norm
}

void tracker::holdLost(const mlx::geometry::homog& before, const std::string& why) {
    H = before;
    corners = last;
    known = std::min(known, 1u);
    visible.resize(0, 0);
    MLX_RAISE("run: the region was lost (" << why << ")");
}

void tracker::restart() {
    H = ownedLearner->getH0();
    corners.resize(0, 0);
    H.applyto(ownedLearner->getUnitSquare(), last);
    mlx::geometry::normalize_h(last);
    known = 1;
    visible.resize(0, 0);
}

}  // namespace track

namespace track {

void tracker::refuseMethod(const char* name) {
    MLX_RAISE("the configuration selects another method than \"" << name << "\" for this tracker");
}

const mlx::matrix<double>& tracker::patternDifference(const learning& learner, const mlx::geometry::homog& H,
                                                      const mlx::matrix<unsigned char>& frame) {
    if (learner.isBinned())
        (binning::fromFrame() * H).applyto(learner.getGridPts(), step.points);
    else
        H.applyto(learner.getGridPts(), step.points);
    mlx::geometry::normalize_h(step.points);
    mlx::as_hindex(learner.isBinned() ? bins.cover(frame, step.points) : frame, step.points, step.samples);
    learner.difference(step.samples, step.pattern, step.work, visible.empty() ? nullptr : visible.data());
    return step.pattern;
}

void tracker::moveCorners(const learning& learner, mlx::matrix<double>& corners, mlx::geometry::homog& H) {
    const mlx::matrix<double>& square = learner.getUnitSquare();
    mlx::matrix<double, 12> moved(square);
    for (std::size_t c = 0; c < 4; ++c) {
        moved(0, c) += step.delta(2 * c);
        moved(1, c) += step.delta(2 * c + 1);
    }
    mlx::matrix<double, 12> image;
    H.applyto(moved, image);
    mlx::geometry::normalize_h(image);
    corners = image;
    H = mlx::geometry::homog(square, image, true);
}

}  // namespace track
