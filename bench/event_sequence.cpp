#include "bench/event_sequence.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "bench/photo_sequence.hpp"
#include "host/sequence.hpp"

namespace bench {

namespace {

constexpr double kPi = 3.141592653589793;
// Unrelated angular frequencies of x, y, angle and zoom, so that the path does not repeat.
constexpr double kFrequencies[4] = {1.0, 1.37, 0.71, 0.53};
constexpr double kSpeed = 2;      // largest corner motion per frame of the smooth path, px
constexpr double kBoardSpeed = 3;  // the board's speed across the region, px per frame
constexpr double kBoardMargin = 6;
constexpr double kPanSpeed = 3.5;  // mean speed of a pan, px per frame
constexpr int kOutFrames = 12;
// Least distance of the region to the view's border outside the pan, px.
constexpr double kRoom = 15;
// Frames after the region is back, of which the first five are not scored.
constexpr int kAfter = 50;

host::Homography matrix(double a, double b, double c, double d, double e, double f) {
    host::Homography m;
    m.h = {a, b, c, d, e, f, 0, 0, 1};
    return m;
}

host::Homography translation(double x, double y) { return matrix(1, 0, x, 0, 1, y); }

// Turn by angle and zoom about point c.
host::Homography about(host::Point c, double angle, double zoom) {
    const double a = zoom * std::cos(angle), b = zoom * std::sin(angle);
    return translation(c.x, c.y) * matrix(a, -b, 0, b, a, 0) * translation(-c.x, -c.y);
}

host::Quad apply(const host::Homography& h, const host::Quad& q) {
    host::Quad out;
    for (int c = 0; c < 4; ++c) out[c] = h.apply(q[c]);
    return out;
}

host::Point centreOf(const host::Quad& q) {
    host::Point c{0, 0};
    for (const auto& p : q) c = {c.x + p.x / 4, c.y + p.y / 4};
    return c;
}

struct Box {
    double x0, y0, x1, y1;
};

Box boxOf(const host::Quad& q) {
    Box b{q[0].x, q[0].y, q[0].x, q[0].y};
    for (const auto& p : q) b = {std::min(b.x0, p.x), std::min(b.y0, p.y), std::max(b.x1, p.x), std::max(b.y1, p.y)};
    return b;
}

// Rises from 0 at u = 0 to 1 at u = 1 with no jerk at either end.
double ease(double u) { return (1 - std::cos(kPi * std::clamp(u, 0.0, 1.0))) / 2; }

std::uint8_t toGrey(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

EventSequence::EventSequence(const host::GreyImage& photo, const EventOptions& options)
    : photo_(photo), options_(options) {
    host::SplitMix random(options.seed);
    for (double& p : phase_) p = 2 * kPi * random.uniform();
    double jitter[8];
    for (double& j : jitter) j = (2 * random.uniform() - 1) * 0.06 * options.region;
    const bool sign = random.uniform() < 0.5;
    const double s = options.region;
    // Room for the events: the smooth path keeps well inside the view.
    amplitude_[0] = 0.6 * std::max(0.0, options.width / 2.0 - 0.75 * s - 8);
    amplitude_[1] = 0.6 * std::max(0.0, options.height / 2.0 - 0.75 * s - 8);
    amplitude_[2] = 0.06;
    amplitude_[3] = 0.05;
    centre_ = {std::round(options.width / 2.0 + amplitude_[0] * std::sin(phase_[0])),
               std::round(options.height / 2.0 + amplitude_[1] * std::sin(phase_[1]))};
    start_ = {host::Point{std::round(centre_.x - s / 2 + jitter[0]), std::round(centre_.y - s / 2 + jitter[1])},
              host::Point{std::round(centre_.x + s / 2 + jitter[2]), std::round(centre_.y - s / 2 + jitter[3])},
              host::Point{std::round(centre_.x + s / 2 + jitter[4]), std::round(centre_.y + s / 2 + jitter[5])},
              host::Point{std::round(centre_.x - s / 2 + jitter[6]), std::round(centre_.y + s / 2 + jitter[7])}};

    // The path's speed grows with tau almost linearly; a few rescalings reach kSpeed.
    tau_ = 0.02;
    for (int i = 0; i < 6; ++i) {
        double v = 0;
        host::Quad last = start_;
        for (int k = 1; k < 300; ++k) {
            const host::Quad q = apply(base(tau_ * k), start_);
            for (int c = 0; c < 4; ++c) v = std::max(v, host::distance(q[c], last[c]));
            last = q;
        }
        if (v <= 0) break;
        tau_ *= kSpeed / v;
    }

    const double u = std::clamp(options.spread, 0.0, 1.0);
    switch (options.event) {
        case Event::hidden: hide(static_cast<int>(std::lround(30 + 20 * u))); break;
        case Event::outAndBack: outAndBack(25 + 20 * u, sign ? 1 : -1); break;
        case Event::jump: jump(30 + 30 * u, 6 + 4 * u, sign ? 1.1 : 1 / 1.1); break;
    }
    boards_.resize(truth_.size());
}

host::Homography EventSequence::base(double t) const {
    const auto wave = [&](int i) { return std::sin(kFrequencies[i] * t + phase_[i]) - std::sin(phase_[i]); };
    return translation(amplitude_[0] * wave(0), amplitude_[1] * wave(1)) *
           about(centre_, amplitude_[2] * wave(2), 1 + amplitude_[3] * wave(3));
}

void EventSequence::lay(const std::vector<double>& times, const std::vector<host::Homography>& extra) {
    poses_.clear();
    truth_.clear();
    for (std::size_t k = 0; k < times.size(); ++k) {
        poses_.push_back(extra[k] * base(times[k]));
        truth_.push_back(apply(poses_.back(), start_));
    }
}

double EventSequence::margin(int from, int to) const {
    double m = std::numeric_limits<double>::infinity();
    for (int k = std::max(0, from); k < std::min(to, size()); ++k)
        for (const auto& p : truth(k))
            m = std::min({m, p.x, p.y, options_.width - 1 - p.x, options_.height - 1 - p.y});
    return m;
}

bool EventSequence::inView(int k) const { return margin(k, k + 1) >= 0; }

// A board crossing the frame at kBoardSpeed relative to the region hides it wholly for the given
// number of frames; it enters the view after frame 0, so that the first frame is the same for
// every event.
void EventSequence::hide(int frames) {
    const int horizon = 600;
    std::vector<double> times;
    for (int k = 0; k < horizon; ++k) times.push_back(tau_ * k);
    lay(times, std::vector<host::Homography>(horizon));
    const auto box = [&](int k) { return boxOf(truth(k)); };
    const double m = kBoardMargin;
    const Box b0 = box(0);
    int first = static_cast<int>(std::ceil((b0.x1 - b0.x0) / kBoardSpeed)) + 5;
    double speed = 0, x0 = 0, width = 0;
    for (;; ++first) {
        const int last = first + frames - 1;
        const Box a = box(first), z = box(last);
        // Crossing the way the region goes, the board outruns it for good once past.
        const double drift = ((z.x0 + z.x1) - (a.x0 + a.x1)) / 2 / (last - first);
        const int direction = drift >= 0 ? 1 : -1;
        speed = drift + direction * kBoardSpeed;
        // The leading edge passes the region's far side on `first`, the trailing edge its near
        // side on `last`.
        if (direction > 0) {
            x0 = z.x0 - speed * last;
            width = a.x1 - (x0 + speed * first);
            if (x0 + width <= 0 || first > 300) break;
        } else {
            x0 = a.x0 - speed * first;
            width = z.x1 - (x0 + speed * last);
            if (x0 >= options_.width || first > 300) break;
        }
    }
    std::vector<Board> boards(horizon);
    double y0 = options_.height, y1 = 0;
    for (int k = 0; k < horizon; ++k) {
        boards[static_cast<std::size_t>(k)] = {x0 + speed * k, x0 + speed * k + width, 0, 0};
        const Box r = box(k);
        if (r.x1 >= x0 + speed * k && r.x0 <= x0 + speed * k + width) {
            y0 = std::min(y0, r.y0 - m);
            y1 = std::max(y1, r.y1 + m);
        }
    }
    int touched = -1;
    goneFrom_ = goneTo_ = back_ = -1;
    for (int k = 0; k < horizon; ++k) {
        Board& b = boards[static_cast<std::size_t>(k)];
        b.y0 = y0;
        b.y1 = y1;
        const Box r = box(k);
        const bool overlaps = r.x1 >= b.x0 && r.x0 <= b.x1;
        const bool covers = r.x0 >= b.x0 && r.x1 <= b.x1 && r.y0 >= b.y0 && r.y1 <= b.y1;
        if (overlaps && touched < 0) touched = k;
        if (covers && goneFrom_ < 0) goneFrom_ = k;
        if (covers) goneTo_ = k + 1;
        if (goneTo_ > 0 && !overlaps && back_ < 0) back_ = k;
    }
    if (back_ < 0) back_ = horizon - kAfter;
    left_ = touched - 1;
    before_ = std::max(1, touched - 5);
    times.resize(static_cast<std::size_t>(back_ + kAfter));
    lay(times, std::vector<host::Homography>(times.size()));
    boards_ = boards;
    boards_.resize(times.size());
}

// The camera pans the region wholly out of the picture for kOutFrames frames, and back; while the
// region is out it also moves by offset across the pan, so the region comes back elsewhere. The
// smooth path stands still during the pan. Of the pan's start frames and sides, the one with the
// shortest pan that keeps the region in view after its return is taken.
void EventSequence::outAndBack(double offset, int direction) {
    struct Plan {
        std::vector<double> times;
        std::vector<host::Homography> extra;
        int from, to, back, left, start;
    };
    Plan best{};
    double bestScore = -std::numeric_limits<double>::infinity();
    for (int start = 10; start <= 60; start += 5)
        for (const int side : {1, -1}) {
            std::vector<double> warm;
            for (int k = 0; k <= start; ++k) warm.push_back(tau_ * k);
            lay(warm, std::vector<host::Homography>(warm.size()));
            const Box b = boxOf(truth(start));
            const double far = direction > 0 ? options_.width - 1 - b.x0 : b.x1;  // pan that takes it out
            const int ramp = std::max(10, static_cast<int>(std::lround(far / kPanSpeed)));
            const auto pan = [&](double depth, int j) { return depth * ease(static_cast<double>(std::min(j, 2 * ramp - j)) / ramp); };
            const auto outCount = [&](double depth) {
                int n = 0;
                for (int j = 0; j <= 2 * ramp; ++j) n += pan(depth, j) > far;
                return n;
            };
            double depth = far;
            while (outCount(depth) < kOutFrames) depth += 0.5;
            int from = -1, to = -1;
            for (int j = 0; j <= 2 * ramp; ++j)
                if (pan(depth, j) > far) {
                    if (from < 0) from = start + j;
                    to = start + j + 1;
                }
            Plan plan;
            const int end = start + 2 * ramp;
            for (int k = 0; k < end + 3 * kAfter; ++k) {
                plan.times.push_back(tau_ * (k <= start ? k : k >= end ? k - 2 * ramp : start));
                const double along = k > start && k < end ? pan(depth, k - start) : 0;
                const double across = side * offset * ease(static_cast<double>(k - from) / (to - 1 - from));
                plan.extra.push_back(translation(direction * along, k < from ? 0 : across));
            }
            lay(plan.times, plan.extra);
            plan.from = from;
            plan.to = to;
            plan.start = start;
            plan.back = to;
            while (plan.back < size() && !inView(plan.back)) ++plan.back;
            plan.left = from - 1;
            while (plan.left > 0 && !inView(plan.left)) --plan.left;
            const int settled = std::max(plan.back + 5, end);
            const double room = std::min(margin(0, start + 1), margin(settled, plan.back + kAfter));
            const double score = room >= kRoom ? 1e6 - far : room;
            if (score > bestScore) {
                bestScore = score;
                best = plan;
            }
        }
    best.times.resize(static_cast<std::size_t>(best.back + kAfter));
    best.extra.resize(best.times.size());
    lay(best.times, best.extra);
    goneFrom_ = best.from;
    goneTo_ = best.to;
    back_ = best.back;
    left_ = best.left;
    before_ = best.start;
}

// Between two frames the camera jumps by distance, turns by degrees and zooms by zoom about the
// region's centre; the direction is the one that keeps the region farthest inside the view.
void EventSequence::jump(double distance, double degrees, double zoom) {
    const int at = 40, total = at + 20 + kAfter;
    std::vector<double> times;
    for (int k = 0; k < total; ++k) times.push_back(tau_ * k);
    lay(times, std::vector<host::Homography>(times.size()));
    const host::Point c = centreOf(truth(at));
    std::vector<host::Homography> best;
    double bestRoom = -std::numeric_limits<double>::infinity();
    for (int i = 0; i < 24; ++i)
        for (const int turn : {1, -1}) {
            const double a = 2 * kPi * i / 24;
            const host::Homography g =
                translation(distance * std::cos(a), distance * std::sin(a)) * about(c, turn * degrees * kPi / 180, zoom);
            std::vector<host::Homography> extra(times.size());
            for (int k = at; k < total; ++k) extra[static_cast<std::size_t>(k)] = g;
            lay(times, extra);
            const double room = margin(at, total);
            if (room > bestRoom) {
                bestRoom = room;
                best = extra;
            }
        }
    lay(times, best);
    goneFrom_ = goneTo_ = back_ = at;
    left_ = at - 1;
    before_ = at - 5;
}

std::vector<host::Homography> smoothPath(std::size_t n, int width, int height, double speed) {
    constexpr double phase[4] = {0.4, 2.1, 3.7, 5.2};
    constexpr double amplitude[4] = {16, 12, 0.02, 0.02};  // x, y (px), angle (rad), relative zoom
    const host::Point centre{width / 2.0, height / 2.0};
    const auto pose = [&](double t) {
        const auto wave = [&](int i) { return std::sin(kFrequencies[i] * t + phase[i]) - std::sin(phase[i]); };
        return translation(amplitude[0] * wave(0), amplitude[1] * wave(1)) *
               about(centre, amplitude[2] * wave(2), 1 + amplitude[3] * wave(3));
    };
    const host::Quad view{host::Point{0, 0}, {width - 1.0, 0}, {width - 1.0, height - 1.0}, {0, height - 1.0}};
    std::vector<host::Homography> path(n);
    double tau = 0.02;
    for (int i = 0; i < 6; ++i) {
        double v = 0;
        for (std::size_t k = 1; k < n; ++k) {
            const host::Quad a = apply(pose(tau * (k - 1)), view), b = apply(pose(tau * k), view);
            for (int c = 0; c < 4; ++c) v = std::max(v, host::distance(a[c], b[c]));
        }
        if (v <= 0) break;
        tau *= speed / v;
    }
    for (std::size_t k = 0; k < n; ++k) path[k] = pose(tau * static_cast<double>(k));
    return path;
}

double EventSequence::shift() const { return host::distance(centreOf(truth(left_)), centreOf(truth(back_))); }

host::GreyImage EventSequence::frame(int k) const {
    const double z = options_.zoom;
    const host::Homography toPhoto =
        matrix(1 / z, 0, options_.anchor.x - centre_.x / z, 0, 1 / z, options_.anchor.y - centre_.y / z);
    host::GreyImage image = viewOf(photo_, toPhoto * poses_[static_cast<std::size_t>(k)].inverse(), options_.width,
                                   options_.height);
    const Board& b = boards_[static_cast<std::size_t>(k)];
    const host::GreyImage* picture = options_.board;
    for (int y = std::max(0, static_cast<int>(std::ceil(b.y0))); y <= std::min(image.height - 1, static_cast<int>(b.y1));
         ++y)
        for (int x = std::max(0, static_cast<int>(std::ceil(b.x0)));
             x <= std::min(image.width - 1, static_cast<int>(b.x1)); ++x) {
            if (picture == nullptr || picture->width < 1) {
                image.at(x, y) = 70;
                continue;
            }
            double v = 0;
            const double px = std::fmod(x - b.x0, picture->width - 1.0), py = std::fmod(y - b.y0, picture->height - 1.0);
            image.at(x, y) = host::sampleBilinear(*picture, px, py, v) ? toGrey(v) : 70;
        }
    return image;
}

}  // namespace bench
