#include "tracker/tracker.hpp"

#include <algorithm>
#include <cctype>
#include <map>

#include "mlx/tool/exception.hpp"
#include "mlx/tool/timer.hpp"

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

}  // namespace

tracker::enumTrackerType tracker::kindOf(const ini::INIParser& ini) {
    static const std::map<std::string, enumTrackerType> trackerTypes{{"jd", JD}, {"jdk", JDK}, {"rvm", RVM}};
    std::string name = ini.getFieldValue("tracker");
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = trackerTypes.find(name);
    return found == trackerTypes.end() ? JD : found->second;
}

tracker::tracker(const ini::INIParser& ini, const learnerMaker& learn) {
    iter = ini::readUnsigned(ini, "iter", defaultIter);
    if (iter > iterLimit) MLX_RAISE("configuration key \"iter\": " << iter << " is above the limit of " << iterLimit);
    stopwatch learningTime;
    ownedLearner = learn();
    learningSeconds = learningTime.stop();
    // A tracker holds only its models; the training set (perturbations x samples) is far larger.
    ownedLearner->releaseTrainingSets();
    restart();
}

tracker::~tracker() = default;

const mlx::matrix<double>& tracker::run(const mlx::matrix<unsigned char>& frame) {
    struct counted {
        tracker& t;
        stopwatch clock;
        ~counted() {
            t.totalTime += clock.stop();
            ++t.frames;
        }
    } timing{*this, {}};
    if (control == nullptr) {
        pass(frame);
    } else {
        control->start(*this);
        control->steps(*this, frame);
    }
    return corners;
}

void tracker::pass(const mlx::matrix<unsigned char>& frame) {
    const unsigned levels = ownedLearner->getNbtrack();
    for (unsigned k = 0; k < levels; ++k) {
        unsigned taken = 0;
        for (; taken < iter; ++taken) trackstep(k, corners, H, frame);
        for (; taken > 0 && control != nullptr && control->stepOn(*this, k, taken); ++taken)
            trackstep(k, corners, H, frame);
    }
}

void tracker::restart() {
    H = ownedLearner->getH0();
    corners.resize(0, 0);
}

const mlx::matrix<double>& tracker::patternDifference(const learning& learner, const mlx::geometry::homog& H,
                                                      const mlx::matrix<unsigned char>& frame) {
    learner.read(frame, H, step.points, step.samples);
    learner.difference(step.samples, step.pattern, step.work);
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
