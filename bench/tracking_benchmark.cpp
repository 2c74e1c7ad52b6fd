// Accuracy and speed of variants of the plug-in's methods, and of OpenCV's ECC alignment and a KLT
// tracker when OpenCV is built in, on the same frames: sequences made from photographs (camera
// motion, light drift, sensor noise, an occluder, region sizes), a real surveillance clip, the
// convergence range (corners of the next frame displaced by Gaussian offsets, one frame tracked),
// and events that take the region away (a board hiding it, a pan out of the picture and back, a
// camera jump) with fast motion and the full-size clip, scored by what is found again. Writes
// Markdown reports, the per-sequence results and the convergence table as CSV, and pictures.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/event_sequence.hpp"
#include "bench/methods.hpp"
#include "bench/photo_sequence.hpp"
#include "host/image_io.hpp"
#include "host/overlay.hpp"
#include "host/sequence.hpp"

#ifdef QUADTRACK_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#endif

namespace {

using clock_type = std::chrono::steady_clock;

double seconds(clock_type::time_point a, clock_type::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return std::nan("");
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

std::vector<std::string> split(const std::string& s, char c) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, c);)
        if (!item.empty()) out.push_back(item);
    return out;
}

struct Options {
    std::string output = "out/bench";
    std::string data = "/usr/share/doc/opencv-doc/examples/data";
    std::set<std::string> groups, images;  // empty: all
    std::vector<std::string> variants;
    std::map<std::string, std::string> settings;
    int frames = 150;
    int trials = 300;  // a frequency near 90 % then has a standard error under 2 points
    bool peer = true;
};

// Photographs of several kinds, where the region starts (photograph pixels), the view's
// magnification, and the region's side in the groups that do not vary it.
struct Photo {
    std::string label, file;
    host::Point anchor;
    double zoom;
    int region;
};

const std::vector<Photo> kPhotos{
    {"graffiti", "graf1.png", {330, 250}, 1.0, 100},   {"building", "building.jpg", {520, 190}, 1.0, 80},
    {"face", "baboon.jpg", {256, 190}, 1.0, 120},      {"objects", "box_in_scene.png", {300, 170}, 1.0, 70},
    {"text", "imageTextN.png", {278, 128}, 1.5, 90},   {"street", "leuvenA.jpg", {380, 330}, 1.0, 60},
};
// Other photographs with texture, for fast motion away from the six above.
const std::vector<Photo> kFastPhotos{
    {"circuit", "board.jpg", {320, 240}, 1.0, 80},
    {"painting", "starry_night.jpg", {376, 300}, 1.0, 80},
    {"aerial", "aero1.jpg", {320, 240}, 1.0, 80},
    {"toys", "rubberwhale1.png", {292, 194}, 1.0, 80},
};
// The textured board that hides the region in every other "hidden" sequence.
const char* const kBoardFile = "fruits.jpg";
// The occluder: a person, cut from another photograph.
const char* const kOccluderFile = "messi5.jpg";
constexpr int kOccluderBox[4] = {190, 60, 320, 320};  // x0, y0, x1, y1

struct Group {
    std::string id, title;
};

const std::vector<Group> kGroups{
    {"v1", "motion 1 px/frame"},
    {"v3", "motion 3 px/frame"},
    {"v6", "motion 6 px/frame"},
    {"v10", "motion 10 px/frame"},
    {"light", "light drift (3 px/frame)"},
    {"noise", "sensor noise σ 8 (3 px/frame)"},
    {"light+noise", "light drift + noise (3 px/frame)"},
    {"occlusion", "occluder crossing 30-50 % (3 px/frame)"},
    {"sizes", "regions of 50, 100, 150 px (3 px/frame)"},
    {"clip", "real clip, people walking through (static camera)"},
    {"synthetic", "synthetic textures (the demo's generator)"},
};

// Groups scored by what is found again: % of frames within 2 px from a given frame on, a lost
// frame counting as a miss.
const std::vector<Group> kEventGroups{
    {"hidden", "hidden by a board for 30-50 frames"},
    {"out-and-back", "panned out of the picture for 12 frames, back 25-45 px away"},
    {"jump", "camera jump of 30-60 px, 6-10°, zoom 10 %"},
    {"fast6", "6 px/frame"},
    {"fast10", "10 px/frame"},
    {"clip-static", "static camera"},
    {"clip-moving", "moving camera"},
};
// The sequence of each event drawn in the events' picture.
const std::map<std::string, std::string> kEventExamples{
    {"hidden", "graffiti"}, {"out-and-back", "building"}, {"jump", "street"}};

// A planar patch of the real clip that people walk through, in 320x240 frame pixels.
struct ClipRegion {
    std::string label;
    host::Quad corners;
};
const char* const kClipFile = "vtest.avi";
const std::vector<ClipRegion> kClipRegions{
    {"tripod", {host::Point{150, 150}, {240, 146}, {244, 232}, {146, 234}}},
    {"building", {host::Point{120, 8}, {250, 8}, {250, 52}, {120, 52}}},
    {"lawn", {host::Point{16, 150}, {124, 152}, {122, 230}, {14, 228}}},
};

// Planar patches of the clip at its full size (768x576) that people walk through; the third holds
// a walker on the first frame.
const std::vector<ClipRegion> kFullClipRegions{
    {"road 270x90 px", {host::Point{460, 325}, {730, 325}, {730, 415}, {460, 415}}},
    {"grass 240x160 px", {host::Point{170, 365}, {410, 365}, {410, 525}, {170, 525}}},
    {"kerb with a walker 180x120 px", {host::Point{150, 200}, {330, 200}, {330, 320}, {150, 320}}},
};

struct Footage {
    Footage(std::string group, std::string name, std::vector<host::GreyImage> frames, std::vector<host::Quad> truth)
        : group(std::move(group)), name(std::move(name)), frames(std::move(frames)), truth(std::move(truth)) {}

    std::string group, name;
    std::vector<host::GreyImage> frames;
    std::vector<host::Quad> truth;
    // The groups scored by what is found again: frames scored from, frames [goneFrom, goneTo) in
    // which the region is wholly hidden or out of the picture, and the frames drawn in the
    // events' picture (none: not drawn).
    int scoredFrom = 1;
    int goneFrom = 0, goneTo = 0;
    std::vector<int> panels;
};

// Corner errors of non-finite corners count as 1000 px.
double cornerError(host::Point a, host::Point b) {
    const double e = host::distance(a, b);
    return std::isfinite(e) ? std::min(e, 1e3) : 1e3;
}
double worstError(const host::Quad& a, const host::Quad& b) {
    double e = 0.0;
    for (int c = 0; c < 4; ++c) e = std::max(e, cornerError(a[c], b[c]));
    return e;
}
double rmsError(const host::Quad& a, const host::Quad& b) {
    double e = 0.0;
    for (int c = 0; c < 4; ++c) e += cornerError(a[c], b[c]) * cornerError(a[c], b[c]);
    return std::sqrt(e / 4.0);
}

struct Scores {
    double tracked = 0;  // share of frames before the first corner error of 2 px or more, %
    double within = 0;   // share of frames within 2 px, %
};

Scores score(const std::vector<host::Quad>& found, const std::vector<host::Quad>& truth) {
    const std::size_t n = found.size();
    std::size_t first = n, within = 0;
    for (std::size_t f = 0; f < n; ++f) {
        const bool good = worstError(found[f], truth[f + 1]) < 2.0;
        within += good;
        if (!good && first == n) first = f;
    }
    return {100.0 * static_cast<double>(first) / static_cast<double>(n),
            100.0 * static_cast<double>(within) / static_cast<double>(n)};
}

struct SequenceResult {
    std::string group, name;
    std::vector<Scores> scores;  // per method: the variants, then the peers
};

// A sequence of the groups scored by what is found again, per method.
struct EventResult {
    std::string group, name;
    std::vector<double> found;   // % of the scored frames within 2 px, a lost frame a miss
    std::vector<double> claimed;  // % of the frames with the region gone reported tracked; NaN: none gone
};

// Every frame of a sequence as each method tracked it, frames 1 on.
struct Runs {
    std::vector<std::vector<host::Quad>> corners;
    std::vector<std::vector<char>> lost;
    std::vector<std::vector<double>> times;  // seconds
};

// Times per frame of one method over a family of frames, split by what the frame was reported.
struct FrameTimes {
    std::vector<double> lost, tracked;
};

// The picture's examples: sequences (group, name) and the colours of what is drawn.
const std::vector<std::pair<std::string, std::string>> kExamples{
    {"v6", "graffiti 100 px"}, {"light+noise", "building 80 px"}, {"occlusion", "face 120 px"}, {"clip", "tripod"}};
constexpr host::Colour kPeerColour{255, 170, 0};
constexpr host::Colour kKltColour{60, 200, 255};
constexpr host::Colour kLostColour{255, 40, 40};

class Benchmark {
public:
    Benchmark(const Options& o, std::vector<bench::Variant> variants)
        : o_(o), pool_(std::move(variants), o.settings, o.output) {
        times_.resize(methods());
    }

    std::size_t variants() const { return pool_.variants().size(); }
    std::size_t methods() const { return variants() + (peer() ? 2 : 0); }
    std::size_t ecc() const { return variants(); }
    std::string methodName(std::size_t m) const {
        if (m < variants()) return pool_.variants()[m].label;
        return m == ecc() ? "ECC (OpenCV)" : "KLT + RANSAC (OpenCV)";
    }
    bool peer() const {
#ifdef QUADTRACK_WITH_OPENCV
        return o_.peer;
#else
        return false;
#endif
    }

    void track(const Footage& footage) {
        const Runs runs = run(footage);
        SequenceResult result{footage.group, footage.name, {}};
        for (std::size_t m = 0; m < methods(); ++m)
            times_[m].insert(times_[m].end(), runs.times[m].begin(), runs.times[m].end());
        std::cerr << footage.group << " / " << footage.name << ":";
        for (std::size_t m = 0; m < methods(); ++m) {
            result.scores.push_back(score(runs.corners[m], footage.truth));
            std::cerr << ' ' << methodName(m) << ' ' << std::lround(result.scores.back().tracked) << " %";
        }
        std::cerr << '\n';
        results_.push_back(result);
        for (const auto& [group, name] : kExamples)
            if (group == footage.group && name == footage.name) illustrate(footage, runs.corners);
    }

    // Scores the frames from footage.scoredFrom on, and the frames with the region gone; the times
    // go to the family of frames of this size.
    void event(const Footage& footage, const std::string& family) {
        if (learnedBefore_.empty())
            for (std::size_t v = 0; v < variants(); ++v) learnedBefore_.push_back(pool_.learning(v).size());
        const Runs runs = run(footage);
        EventResult result{footage.group, footage.name, {}, {}};
        auto& times = eventTimes_[family];
        times.resize(methods());
        std::cerr << footage.group << " / " << footage.name << ":";
        for (std::size_t m = 0; m < methods(); ++m) {
            int scored = 0, found = 0, claimed = 0;
            for (std::size_t f = 0; f < runs.corners[m].size(); ++f) {
                const int k = static_cast<int>(f) + 1;
                const bool lost = runs.lost[m][f] != 0;
                (lost ? times[m].lost : times[m].tracked).push_back(runs.times[m][f]);
                if (k >= footage.scoredFrom) {
                    ++scored;
                    found += !lost && worstError(runs.corners[m][f], footage.truth[f + 1]) < 2.0;
                }
                if (k >= footage.goneFrom && k < footage.goneTo) claimed += !lost;
            }
            const int gone = footage.goneTo - footage.goneFrom;
            result.found.push_back(scored > 0 ? 100.0 * found / scored : std::nan(""));
            result.claimed.push_back(gone > 0 ? 100.0 * claimed / gone : std::nan(""));
            std::cerr << ' ' << methodName(m) << ' ' << std::lround(result.found.back()) << " %";
            if (gone > 0) std::cerr << " (" << std::lround(result.claimed.back()) << " % claimed)";
        }
        std::cerr << '\n';
        events_.push_back(result);
        if (!footage.panels.empty()) illustrateEvent(footage, runs);
    }

    // Convergence over the given first frames and regions, trials spread over them in turn.
    void convergence(const std::vector<bench::PhotoSequence>& sources) {
        host::SplitMix random(2024);
        hits_.assign(methods(), std::vector<int>(kSigmas.size(), 0));
        runTimes_.assign(methods(), {});
        std::vector<host::GreyImage> firsts;
        for (const auto& s : sources) firsts.push_back(s.frame(0));
#ifdef QUADTRACK_WITH_OPENCV
        std::vector<bench::EccPeer> eccs;
        std::vector<bench::KltPeer> klts;
        if (o_.peer)
            for (std::size_t i = 0; i < sources.size(); ++i) {
                eccs.emplace_back(firsts[i], sources[i].truth(0));
                klts.emplace_back(firsts[i], sources[i].truth(0));
            }
#endif
        for (std::size_t s = 0; s < kSigmas.size(); ++s)
            for (int t = 0; t < o_.trials; ++t) {
                const std::size_t i = static_cast<std::size_t>(t) % sources.size();
                const host::Quad& region = sources[i].truth(0);
                host::Quad moved = region;
                for (auto& p : moved) {
                    p.x += kSigmas[s] * random.gaussian();
                    p.y += kSigmas[s] * random.gaussian();
                }
                const host::GreyImage frame = sources[i].moved(moved);
                const auto matrix = bench::toMatrix(frame);
                for (std::size_t v = 0; v < variants(); ++v) {
                    track::session& tracker = pool_.get(v, firsts[i], region);
                    const auto start = clock_type::now();
                    const host::Quad q = bench::trackFrame(tracker, matrix, region).corners;
                    runTimes_[v].push_back(seconds(start, clock_type::now()));
                    hits_[v][s] += rmsError(q, moved) <= 1.0;
                }
#ifdef QUADTRACK_WITH_OPENCV
                if (o_.peer) {
                    const auto once = [&](std::size_t m, auto& peer) {
                        peer.restart();
                        const auto start = clock_type::now();
                        const host::Quad q = peer.track(frame).corners;
                        runTimes_[m].push_back(seconds(start, clock_type::now()));
                        hits_[m][s] += rmsError(q, moved) <= 1.0;
                    };
                    once(ecc(), eccs[i]);
                    once(ecc() + 1, klts[i]);
                }
#endif
            }
        convergenceSources_ = sources.size();
    }

    void report(const std::string& command) const;

private:
    Runs run(const Footage& footage) {
        Runs runs;
        runs.corners.resize(methods());
        runs.lost.resize(methods());
        runs.times.resize(methods());
        const std::size_t n = footage.frames.size();
        std::vector<mlx::matrix<unsigned char>> matrices;
        for (const auto& f : footage.frames) matrices.push_back(bench::toMatrix(f));
        const auto keep = [&](std::size_t m, const bench::Tracked& t, clock_type::time_point start) {
            runs.times[m].push_back(seconds(start, clock_type::now()));
            runs.corners[m].push_back(t.corners);
            runs.lost[m].push_back(t.lost);
        };
        for (std::size_t v = 0; v < variants(); ++v) {
            track::session& t = pool_.get(v, footage.frames[0], footage.truth[0]);
            host::Quad last = footage.truth[0];
            for (std::size_t k = 1; k < n; ++k) {
                const auto start = clock_type::now();
                const bench::Tracked tracked = bench::trackFrame(t, matrices[k], last);
                last = tracked.corners;
                keep(v, tracked, start);
            }
        }
#ifdef QUADTRACK_WITH_OPENCV
        if (o_.peer) {
            bench::EccPeer eccPeer(footage.frames[0], footage.truth[0]);
            for (std::size_t k = 1; k < n; ++k) {
                const auto start = clock_type::now();
                keep(ecc(), eccPeer.track(footage.frames[k]), start);
            }
            bench::KltPeer kltPeer(footage.frames[0], footage.truth[0]);
            for (std::size_t k = 1; k < n; ++k) {
                const auto start = clock_type::now();
                keep(ecc() + 1, kltPeer.track(footage.frames[k]), start);
            }
        }
#endif
        return runs;
    }

    void illustrate(const Footage& footage, const std::vector<std::vector<host::Quad>>& found);
    void illustrateEvent(const Footage& footage, const Runs& runs);
    void reportEvents() const;

    static inline const std::vector<double> kSigmas{1, 2, 4, 6, 8, 10, 12};

    const Options& o_;
    bench::TrackerPool pool_;
    std::vector<std::vector<double>> times_;  // per method, seconds per frame
    std::vector<SequenceResult> results_;
    std::vector<std::vector<int>> hits_;
    std::vector<std::vector<double>> runTimes_;
    std::size_t convergenceSources_ = 0;
    std::vector<host::RgbImage> examples_, eventExamples_;
    std::vector<EventResult> events_;
    std::map<std::string, std::vector<FrameTimes>> eventTimes_;  // per family of frames, per method
    // Models learned per variant before the first event, whose learning times the speed table shows.
    std::vector<std::size_t> learnedBefore_;
};

// Copies panel into row at column (panels of equal size, gap pixels apart).
void paste(host::RgbImage& row, const host::RgbImage& panel, int column, int gap) {
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x) {
            const std::size_t from = (static_cast<std::size_t>(y) * panel.width + x) * 3;
            row.set(column * (panel.width + gap) + x, y, {panel.pixels[from], panel.pixels[from + 1], panel.pixels[from + 2]});
        }
}

void caption(host::RgbImage& panel, int y, const std::string& text) {
    host::drawText(panel, 5, y + 1, text, {0, 0, 0});
    host::drawText(panel, 4, y, text, {255, 255, 255});
}

// Three frames of the sequence with the truth, the first variant and ECC drawn, in one row.
void Benchmark::illustrate(const Footage& footage, const std::vector<std::vector<host::Quad>>& found) {
    const std::size_t n = footage.frames.size();
    const int w = footage.frames[0].width, h = footage.frames[0].height, gap = 6;
    host::RgbImage row(3 * w + 2 * gap, h, {30, 30, 34});
    int column = 0;
    for (const double at : {0.35, 0.5, 0.65}) {
        const std::size_t k = std::max<std::size_t>(1, static_cast<std::size_t>(at * static_cast<double>(n - 1)));
        host::RgbImage panel(footage.frames[k]);
        host::drawQuad(panel, footage.truth[k], host::kTruthColour);
        if (peer()) host::drawQuad(panel, found[ecc()][k - 1], kPeerColour);
        if (variants() > 0) host::drawQuad(panel, found.front()[k - 1], host::kTrackedColour);
        caption(panel, 4, footage.group + " / " + footage.name + ", frame " + std::to_string(k));
        paste(row, panel, column++, gap);
    }
    examples_.push_back(row);
}

// The event's frames with the truth, the first variant (red when it reports the frame lost) and
// both peers drawn, and what each method reported.
void Benchmark::illustrateEvent(const Footage& footage, const Runs& runs) {
    const int w = footage.frames[0].width, h = footage.frames[0].height, gap = 6;
    const int columns = static_cast<int>(footage.panels.size());
    host::RgbImage row(columns * w + (columns - 1) * gap, h, {30, 30, 34});
    int column = 0;
    for (const int k : footage.panels) {
        const std::size_t f = static_cast<std::size_t>(k - 1);
        host::RgbImage panel(footage.frames[static_cast<std::size_t>(k)]);
        host::drawQuad(panel, footage.truth[static_cast<std::size_t>(k)], host::kTruthColour);
        if (peer()) {
            host::drawQuad(panel, runs.corners[ecc()][f], kPeerColour);
            host::drawQuad(panel, runs.corners[ecc() + 1][f], kKltColour);
        }
        std::string status;
        for (std::size_t m = 0; m < methods(); ++m) {
            if (m > 0 && m < variants()) continue;
            const std::string name = methodName(m).substr(0, methodName(m).find(' '));
            status += (status.empty() ? "" : ", ") + name + (runs.lost[m][f] ? " lost" : " tracked");
        }
        if (variants() > 0)
            host::drawQuad(panel, runs.corners[0][f], runs.lost[0][f] ? kLostColour : host::kTrackedColour);
        caption(panel, 4, footage.group + " / " + footage.name.substr(0, footage.name.find(',')) + ", frame " +
                              std::to_string(k));
        caption(panel, h - 14, status);
        paste(row, panel, column++, gap);
    }
    eventExamples_.push_back(row);
}

std::string fixed(double v, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
    return buffer;
}

void Benchmark::report(const std::string& command) const {
    const std::size_t nm = methods();
    std::ostringstream md;
    const auto header = [&](const std::string& first) {
        md << "| " << first << " |";
        for (std::size_t m = 0; m < nm; ++m) md << ' ' << methodName(m) << " |";
        md << "\n|---|---:|";
        for (std::size_t m = 0; m < nm; ++m) md << "---:|";
        md << '\n';
    };
    const auto table = [&](auto value) {
        header("group | sequences");
        std::vector<double> total(nm, 0.0);
        int groups = 0;
        for (const auto& g : kGroups) {
            std::vector<const SequenceResult*> rows;
            for (const auto& r : results_)
                if (r.group == g.id) rows.push_back(&r);
            if (rows.empty()) continue;
            ++groups;
            md << "| " << g.title << " | " << rows.size() << " |";
            for (std::size_t m = 0; m < nm; ++m) {
                double sum = 0;
                for (const auto* r : rows) sum += value(r->scores[m]);
                const double mean = sum / static_cast<double>(rows.size());
                total[m] += mean;
                md << ' ' << fixed(mean, 0) << " |";
            }
            md << '\n';
        }
        if (groups > 1) {
            md << "| **mean of the groups** | |";
            for (std::size_t m = 0; m < nm; ++m) md << " **" << fixed(total[m] / groups, 0) << "** |";
            md << '\n';
        }
    };
    if (!results_.empty()) {
        md << "### Tracking: % of frames tracked before the first corner error of 2 px or more\n\n"
           << "Photo sequences: " << o_.frames << " frames of 320x240; the clip: all its frames. Mean over each "
           << "group's sequences.\n\n";
        table([](const Scores& s) { return s.tracked; });
        md << "\n### Tracking: % of frames within 2 px\n\n";
        table([](const Scores& s) { return s.within; });
        md << "\n### Speed (the tracking frames above)\n\n"
           << "| method | learning (s, median) | learning / ECC time per frame | median time per frame (ms) | "
              "ECC time / its time |\n"
           << "|---|---:|---:|---:|---:|\n";
        const double peerTime = peer() ? median(times_[ecc()]) : std::nan("");
        for (std::size_t m = 0; m < nm; ++m) {
            const bool variant = m < variants();
            const double t = median(times_[m]);
            std::vector<double> learning = variant ? pool_.learning(m) : std::vector<double>();
            if (variant && !learnedBefore_.empty()) learning.resize(learnedBefore_[m]);
            md << "| " << methodName(m) << " | " << (variant ? fixed(median(learning), 3) : "–") << " | "
               << (variant && peer() ? fixed(median(learning) / peerTime, 0) : "–") << " | " << fixed(1e3 * t, 3) << " | " << (peer() ? fixed(peerTime / t, 1) : "–") << " |\n";
        }
    }
    if (!hits_.empty()) {
        md << "\n### Convergence: % of trials within 1 px RMS after one frame\n\n"
           << o_.trials << " trials per sigma spread over " << convergenceSources_
           << " first frames (the photographs with regions of 50, 100 and 150 px); every corner offset by "
              "Gaussian noise of the given sigma.\n\n| method |";
        for (double s : kSigmas) md << " σ " << s << " px |";
        md << " median time per run (ms) |\n|---|";
        for (std::size_t s = 0; s <= kSigmas.size(); ++s) md << "---:|";
        md << '\n';
        for (std::size_t m = 0; m < nm; ++m) {
            md << "| " << methodName(m) << " |";
            for (int h : hits_[m]) md << ' ' << fixed(100.0 * h / o_.trials, 0) << " |";
            md << ' ' << fixed(1e3 * median(runTimes_[m]), 3) << " |\n";
        }
    }
    md << "\nCommand: `" << command << "`\n";
    std::ofstream(o_.output + "/results.md") << md.str();

    std::ofstream csv(o_.output + "/sequences.csv");
    csv << "group,sequence,method,tracked,within2\n";
    for (const auto& r : results_)
        for (std::size_t m = 0; m < nm; ++m)
            csv << r.group << ',' << r.name << ",\"" << methodName(m) << "\"," << fixed(r.scores[m].tracked, 1) << ','
                << fixed(r.scores[m].within, 1) << '\n';
    if (!hits_.empty()) {
        std::ofstream conv(o_.output + "/convergence.csv");
        conv << "method";
        for (double s : kSigmas) conv << ',' << s;
        conv << '\n';
        for (std::size_t m = 0; m < nm; ++m) {
            conv << '"' << methodName(m) << '"';
            for (int h : hits_[m]) conv << ',' << 100.0 * h / o_.trials;
            conv << '\n';
        }
    }
    if (!examples_.empty()) {
        const int legend = 22;
        host::RgbImage sheet(examples_[0].width, legend + static_cast<int>(examples_.size()) * (examples_[0].height + 6),
                             {30, 30, 34});
        host::drawText(sheet, 6, 6, "magenta: truth", host::kTruthColour, 1);
        if (!pool_.variants().empty())
            host::drawText(sheet, 140, 6, "green: " + pool_.variants()[0].label, host::kTrackedColour, 1);
        if (peer()) host::drawText(sheet, 330, 6, "orange: ECC (OpenCV)", kPeerColour, 1);
        int y0 = legend;
        for (const auto& row : examples_) {
            for (int y = 0; y < row.height; ++y)
                for (int x = 0; x < row.width; ++x) {
                    const std::size_t from = (static_cast<std::size_t>(y) * row.width + x) * 3;
                    sheet.set(x, y0 + y, {row.pixels[from], row.pixels[from + 1], row.pixels[from + 2]});
                }
            y0 += row.height + 6;
        }
        host::writePng(o_.output + "/sequences.png", sheet);
    }
    std::cout << md.str();
    reportEvents();
}

// Rows of panels one under the other, a legend above.
host::RgbImage stack(const std::vector<host::RgbImage>& rows, const std::vector<std::pair<std::string, host::Colour>>& legend) {
    const int top = 22, gap = 6;
    int height = top;
    for (const auto& r : rows) height += r.height + gap;
    host::RgbImage sheet(rows[0].width, height, {30, 30, 34});
    int x = 6;
    for (const auto& [text, colour] : legend) {
        host::drawText(sheet, x, 6, text, colour, 1);
        x += 6 * static_cast<int>(text.size()) + 24;
    }
    int y0 = top;
    for (const auto& row : rows) {
        for (int y = 0; y < row.height; ++y)
            for (int x1 = 0; x1 < row.width; ++x1) {
                const std::size_t from = (static_cast<std::size_t>(y) * row.width + x1) * 3;
                sheet.set(x1, y0 + y, {row.pixels[from], row.pixels[from + 1], row.pixels[from + 2]});
            }
        y0 += row.height + gap;
    }
    return sheet;
}

void Benchmark::reportEvents() const {
    if (events_.empty()) return;
    const std::size_t nm = methods();
    std::ostringstream md;
    const auto header = [&](const std::string& first) {
        md << "| " << first << " | sequences |";
        for (std::size_t m = 0; m < nm; ++m) md << ' ' << methodName(m) << " |";
        md << "\n|---|---:|";
        for (std::size_t m = 0; m < nm; ++m) md << "---:|";
        md << '\n';
    };
    // One row of means over the sequences of the given groups.
    const auto row = [&](const std::string& title, const std::vector<std::string>& groups, bool claimed) {
        std::vector<const EventResult*> rows;
        for (const auto& r : events_)
            if (std::find(groups.begin(), groups.end(), r.group) != groups.end()) rows.push_back(&r);
        if (rows.empty()) return;
        md << "| " << title << " | " << rows.size() << " |";
        for (std::size_t m = 0; m < nm; ++m) {
            double sum = 0;
            for (const auto* r : rows) sum += (claimed ? r->claimed : r->found)[m];
            md << ' ' << fixed(sum / static_cast<double>(rows.size()), 0) << " |";
        }
        md << '\n';
    };
    const auto title = [](const std::string& id) {
        return std::find_if(kEventGroups.begin(), kEventGroups.end(), [&](const Group& g) { return g.id == id; })->title;
    };
    const auto any = [&](std::initializer_list<const char*> groups) {
        return std::any_of(events_.begin(), events_.end(), [&](const EventResult& r) {
            return std::find(groups.begin(), groups.end(), r.group) != groups.end();
        });
    };
    if (any({"hidden", "out-and-back", "jump"})) {
        md << "### Events: % of frames within 2 px from five frames after the region is back in full view\n\n"
           << "Each sequence one event, on the six photographs (regions of 60-100 px, 320x240 frames) seen "
              "through a camera moving smoothly at up to 2 px/frame (Lissajous translation, rotation and zoom of "
              "a few degrees and per cent). Hidden: a board (the photograph `" << kBoardFile << "` on every "
              "other sequence, flat grey on the others) crosses the frame and hides the whole region while the "
              "camera moves on. Out and back: the camera stops, pans the region wholly out of the picture "
              "(about 3.5 px/frame) and back, moving across by 25-45 px while it is out. Jump: between two "
              "frames the camera moves by 30-60 px, turns by 6-10° and zooms by 10 %. A frame reported lost "
              "counts as a miss; ECC and KLT report none but a failed alignment or too few features. "
              "The claimed rows (lower is better): % of the frames with the region wholly hidden, or wholly "
              "out of the picture, that the method reports tracked.\n\n";
        header("event");
        for (const char* g : {"hidden", "out-and-back", "jump"}) row(title(g), {g}, false);
        row("**mean of the events**", {"hidden", "out-and-back", "jump"}, false);
        row("hidden: wholly hidden frames claimed tracked", {"hidden"}, true);
        row("out and back: frames wholly out claimed tracked", {"out-and-back"}, true);
        md << '\n';
    }
    if (any({"fast6", "fast10"})) {
        md << "### Fast motion on other photographs: % of frames within 2 px\n\n"
           << o_.frames << " frames of 320x240 made as the motion groups' are, from OpenCV's `board.jpg`, "
              "`starry_night.jpg`, `aero1.jpg` and `rubberwhale1.png`, regions of 80 px. A frame reported lost "
              "counts as a miss.\n\n";
        header("largest corner speed");
        for (const char* g : {"fast6", "fast10"}) row(title(g), {g}, false);
        md << '\n';
    }
    if (any({"clip-static", "clip-moving"})) {
        md << "### The clip at full size (768x576): % of all frames within 2 px\n\n"
           << "`vtest.avi`, all 795 frames, planar regions that people walk through: a stretch of road that "
              "walkers enter, a lawn that two people cross, a kerb with a walker standing on it on the first "
              "frame. Static camera: the true corners are constant. Moving camera: every frame warped along "
              "a smooth path (translation, rotation and zoom, up to 2 px/frame at the frame's corners), the "
              "truth warped with it. A frame reported lost counts as a miss.\n\n";
        md << "| camera: region |";
        for (std::size_t m = 0; m < nm; ++m) md << ' ' << methodName(m) << " |";
        md << "\n|---|";
        for (std::size_t m = 0; m < nm; ++m) md << "---:|";
        md << '\n';
        std::vector<double> total(nm, 0.0);
        int count = 0;
        for (const auto& r : events_) {
            if (r.group != "clip-static" && r.group != "clip-moving") continue;
            md << "| " << title(r.group) << ": " << r.name << " |";
            for (std::size_t m = 0; m < nm; ++m) {
                md << ' ' << fixed(r.found[m], 0) << " |";
                total[m] += r.found[m];
            }
            md << '\n';
            ++count;
        }
        md << "| **mean** |";
        for (std::size_t m = 0; m < nm; ++m) md << " **" << fixed(total[m] / count, 0) << "** |";
        md << "\n\n";
    }
    md << "### Speed on lost frames (the groups above)\n\n"
       << "What a frame the method reports lost costs (for ECC and KLT: a failed frame) beside a tracked one, "
          "and ECC's median time per frame on the same frames over the time of a lost frame.\n\n"
       << "| frames | method | lost frames | median time on a lost frame (ms) | median time on a tracked frame (ms) "
          "| ECC median time per frame (ms) | ECC time / lost-frame time |\n"
       << "|---|---|---:|---:|---:|---:|---:|\n";
    for (const auto& [family, times] : eventTimes_) {
        std::vector<double> all;
        if (peer()) {
            all = times[ecc()].lost;
            all.insert(all.end(), times[ecc()].tracked.begin(), times[ecc()].tracked.end());
        }
        const double eccTime = median(all);
        for (std::size_t m = 0; m < nm; ++m) {
            const double lost = median(times[m].lost);
            md << "| " << family << " | " << methodName(m) << " | " << times[m].lost.size() << " | "
               << (times[m].lost.empty() ? "–" : fixed(1e3 * lost, 3)) << " | " << fixed(1e3 * median(times[m].tracked), 3)
               << " | " << (peer() ? fixed(1e3 * eccTime, 3) : "–") << " | "
               << (m < variants() && peer() && !times[m].lost.empty() ? fixed(eccTime / lost, 1) : "–") << " |\n";
        }
    }
    if (!eventExamples_.empty()) {
        std::vector<std::pair<std::string, host::Colour>> legend{{"magenta: truth", host::kTruthColour}};
        if (variants() > 0) {
            legend.push_back({"green: " + pool_.variants()[0].label, host::kTrackedColour});
            legend.push_back({"red: " + pool_.variants()[0].label + " lost", kLostColour});
        }
        if (peer()) {
            legend.push_back({"orange: ECC", kPeerColour});
            legend.push_back({"blue: KLT", kKltColour});
        }
        host::writePng(o_.output + "/events.png", stack(eventExamples_, legend));
        md << "\n![Events: before, during and after, with the true and tracked regions](docs/benchmark-events.png)\n";
    }
    std::ofstream(o_.output + "/events.md") << md.str();
    std::ofstream csv(o_.output + "/events.csv");
    csv << "group,sequence,method,found,claimed\n";
    for (const auto& r : events_)
        for (std::size_t m = 0; m < nm; ++m)
            csv << r.group << ",\"" << r.name << "\",\"" << methodName(m) << "\"," << fixed(r.found[m], 1) << ','
                << (std::isnan(r.claimed[m]) ? "" : fixed(r.claimed[m], 1)) << '\n';
    std::cout << md.str();
}

host::GreyImage crop(const host::GreyImage& image, int x0, int y0, int x1, int y1) {
    host::GreyImage out(x1 - x0, y1 - y0);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) out.at(x - x0, y - y0) = image.at(x, y);
    return out;
}

Footage render(const bench::PhotoSequence& sequence, const std::string& group, const std::string& name) {
    Footage f{group, name, {}, {}};
    for (int k = 0; k < sequence.size(); ++k) {
        f.frames.push_back(sequence.frame(k));
        f.truth.push_back(sequence.truth(k));
    }
    return f;
}

#ifdef QUADTRACK_WITH_OPENCV
host::GreyImage fromMat(const cv::Mat& grey) {
    host::GreyImage f(grey.cols, grey.rows);
    for (int y = 0; y < grey.rows; ++y)
        for (int x = 0; x < grey.cols; ++x) f.at(x, y) = grey.at<std::uint8_t>(y, x);
    return f;
}

// Every frame of the clip, grey, at 320x240 or at its own size.
std::vector<host::GreyImage> readClip(const std::string& path, bool fullSize) {
    cv::VideoCapture capture(path);
    if (!capture.isOpened()) throw std::runtime_error(path + ": cannot open the clip");
    std::vector<host::GreyImage> frames;
    cv::Mat colour, grey, small;
    while (capture.read(colour)) {
        cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
        if (fullSize) {
            frames.push_back(fromMat(grey));
            continue;
        }
        cv::resize(grey, small, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
        frames.push_back(fromMat(small));
    }
    if (frames.size() < 2) throw std::runtime_error(path + ": fewer than two frames");
    return frames;
}
#endif

void usage() {
    std::cerr << "usage: quadtrack_benchmark [--output DIR] [--data DIR] [--groups G,...] [--images I,...]\n"
                 "                           [--frames N] [--trials N] [--variant METHOD[:key=value,...]]...\n"
                 "                           [--set key=value]... [--no-peer]\n"
                 "groups:";
    for (const auto& g : kGroups) std::cerr << ' ' << g.id;
    std::cerr << " convergence\n       ";
    for (const auto& g : kEventGroups) std::cerr << ' ' << g.id;
    std::cerr << "\nimages:";
    for (const auto& p : kPhotos) std::cerr << ' ' << p.label;
    std::cerr << " (fast motion:";
    for (const auto& p : kFastPhotos) std::cerr << ' ' << p.label;
    std::cerr << ')';
    std::cerr << "\nvariants default to jd, jd:extensions=0, jdk, rvm; --set applies to every variant, whose own\n"
                 "settings win; --trials 0 skips the convergence.\n";
}

bool keyValue(const std::string& text, std::map<std::string, std::string>& into) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    into[text.substr(0, eq)] = text.substr(eq + 1);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string command = "quadtrack_benchmark";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--output")
            ++i;  // a folder of this run, not part of what was measured
        else
            command += " " + a;
        if (a == "--output") {
            if (i >= argc) {
                usage();
                return 2;
            }
            o.output = argv[i];
            continue;
        }
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            const std::string v = argv[++i];
            command += v.find_first_of(" :=,") == std::string::npos ? " " + v : " \"" + v + "\"";
            return v;
        };
        try {
            if (a == "--data") {
                o.data = value();
            } else if (a == "--groups") {
                for (const auto& g : split(value(), ',')) o.groups.insert(g);
            } else if (a == "--images") {
                for (const auto& g : split(value(), ',')) o.images.insert(g);
            } else if (a == "--frames") {
                o.frames = std::stoi(value());
            } else if (a == "--trials") {
                o.trials = std::stoi(value());
            } else if (a == "--variant") {
                o.variants.push_back(value());
            } else if (a == "--no-peer") {
                o.peer = false;
            } else if (a == "--set") {
                if (!keyValue(value(), o.settings)) throw std::invalid_argument("--set takes key=value");
            } else {
                usage();
                return a == "--help" ? 0 : 2;
            }
        } catch (const std::exception& e) {
            std::cerr << "quadtrack_benchmark: " << a << ": " << e.what() << '\n';
            return 2;
        }
    }
    if (o.frames < 2 || o.trials < 0) {
        usage();
        return 2;
    }
    if (o.variants.empty()) o.variants = {"jd", "jd:extensions=0", "jdk", "rvm"};
    std::vector<bench::Variant> variants;
    try {
        for (const auto& v : o.variants) variants.push_back(bench::parseVariant(v));
    } catch (const std::invalid_argument& e) {
        std::cerr << "quadtrack_benchmark: " << e.what() << '\n';
        return 2;
    }
    const auto wanted = [&](const std::string& g) { return o.groups.empty() || o.groups.count(g) > 0; };
    for (const auto& g : o.groups)
        if (g != "convergence" && std::none_of(kGroups.begin(), kGroups.end(), [&](const Group& k) { return k.id == g; }) &&
            std::none_of(kEventGroups.begin(), kEventGroups.end(), [&](const Group& k) { return k.id == g; })) {
            std::cerr << "quadtrack_benchmark: unknown group \"" << g << "\"\n";
            usage();
            return 2;
        }
    std::vector<Photo> photos, fastPhotos;
    for (const auto& p : kPhotos)
        if (o.images.empty() || o.images.count(p.label) > 0) photos.push_back(p);
    for (const auto& p : kFastPhotos)
        if (o.images.empty() || o.images.count(p.label) > 0) fastPhotos.push_back(p);
    if (photos.empty() && fastPhotos.empty()) {
        std::cerr << "quadtrack_benchmark: no known image among --images\n";
        usage();
        return 2;
    }
    std::filesystem::create_directories(o.output);

    try {
        std::vector<host::GreyImage> pictures;
        for (const auto& p : photos) pictures.push_back(host::readImage(o.data + "/" + p.file));
        const host::GreyImage person = crop(host::readImage(o.data + "/" + kOccluderFile), kOccluderBox[0],
                                            kOccluderBox[1], kOccluderBox[2], kOccluderBox[3]);
        Benchmark benchmark(o, variants);

        const auto photoOptions = [&](std::size_t i, int region) {
            bench::PhotoSequenceOptions s;
            s.frames = o.frames;
            s.region = region;
            s.anchor = photos[i].anchor;
            s.zoom = photos[i].zoom;
            // Seeded by the photograph's place in the catalogue, so that --images keeps every sequence.
            s.seed = 1000 + static_cast<std::uint64_t>(std::find_if(kPhotos.begin(), kPhotos.end(), [&](const Photo& k) {
                                                           return k.label == photos[i].label;
                                                       }) - kPhotos.begin());
            return s;
        };
        const auto photoGroup = [&](const std::string& id, auto change) {
            if (!wanted(id)) return;
            for (std::size_t i = 0; i < photos.size(); ++i) {
                bench::PhotoSequenceOptions s = photoOptions(i, photos[i].region);
                s.speed = 3;
                const std::string name = change(s, i);
                const bench::PhotoSequence sequence(pictures[i], s);
                benchmark.track(render(sequence, id, name.empty() ? photos[i].label + " " + std::to_string(photos[i].region) + " px" : name));
            }
        };
        for (const int speed : {1, 3, 6, 10})
            photoGroup("v" + std::to_string(speed), [&](bench::PhotoSequenceOptions& s, std::size_t) {
                s.speed = speed;
                return std::string();
            });
        photoGroup("light", [](bench::PhotoSequenceOptions& s, std::size_t) {
            s.light = true;
            return std::string();
        });
        photoGroup("noise", [](bench::PhotoSequenceOptions& s, std::size_t) {
            s.noise = 8;
            return std::string();
        });
        photoGroup("light+noise", [](bench::PhotoSequenceOptions& s, std::size_t) {
            s.light = true;
            s.noise = 8;
            return std::string();
        });
        photoGroup("occlusion", [&](bench::PhotoSequenceOptions& s, std::size_t i) {
            s.occluder = &person;
            s.occluded = photos.size() > 1 ? 0.3 + 0.2 * static_cast<double>(i) / static_cast<double>(photos.size() - 1) : 0.4;
            return std::string();
        });
        if (wanted("sizes"))
            for (std::size_t i = 0; i < photos.size(); ++i)
                for (const int size : {50, 100, 150}) {
                    bench::PhotoSequenceOptions s = photoOptions(i, size);
                    s.speed = 3;
                    benchmark.track(render(bench::PhotoSequence(pictures[i], s), "sizes",
                                           photos[i].label + " " + std::to_string(size) + " px"));
                }
#ifdef QUADTRACK_WITH_OPENCV
        if (wanted("clip")) {
            const auto frames = readClip(o.data + "/" + kClipFile, false);
            for (const auto& r : kClipRegions)
                benchmark.track(Footage{"clip", r.label, frames, std::vector<host::Quad>(frames.size(), r.corners)});
        }
#endif
        if (wanted("synthetic")) {
            const auto synthetic = [&](const std::string& name, auto change) {
                host::SequenceOptions s;
                s.frames = o.frames;
                change(s);
                const host::Sequence sequence(s);
                Footage f{"synthetic", name, {}, {}};
                for (int k = 0; k < sequence.size(); ++k) {
                    f.frames.push_back(sequence.frame(k));
                    f.truth.push_back(sequence.truth(k));
                }
                benchmark.track(f);
            };
            synthetic("demo", [](host::SequenceOptions&) {});
            synthetic("speed 4", [](host::SequenceOptions& s) { s.speed = 4; });
            synthetic("illumination", [](host::SequenceOptions& s) { s.illumination = 1; });
            synthetic("noise 8", [](host::SequenceOptions& s) { s.noise = 8; });
        }
        const std::string photoFrames = "photographs 320x240";
        for (const int speed : {6, 10}) {
            const std::string id = "fast" + std::to_string(speed);
            if (!wanted(id)) continue;
            for (const auto& p : fastPhotos) {
                bench::PhotoSequenceOptions s;
                s.frames = o.frames;
                s.region = p.region;
                s.anchor = p.anchor;
                s.zoom = p.zoom;
                s.speed = speed;
                s.seed = 3000 + static_cast<std::uint64_t>(std::find_if(kFastPhotos.begin(), kFastPhotos.end(), [&](const Photo& k) {
                                                                return k.label == p.label;
                                                            }) - kFastPhotos.begin());
                const host::GreyImage picture = host::readImage(o.data + "/" + p.file);
                benchmark.event(render(bench::PhotoSequence(picture, s), id, p.label + " " + std::to_string(p.region) + " px"),
                                photoFrames);
            }
        }
        const std::vector<std::pair<std::string, bench::Event>> events{
            {"hidden", bench::Event::hidden}, {"out-and-back", bench::Event::outAndBack}, {"jump", bench::Event::jump}};
        const host::GreyImage board = wanted("hidden") ? host::readImage(o.data + "/" + kBoardFile) : host::GreyImage();
        for (const auto& [id, kind] : events) {
            if (!wanted(id)) continue;
            for (std::size_t i = 0; i < photos.size(); ++i) {
                const auto index = static_cast<std::size_t>(
                    std::find_if(kPhotos.begin(), kPhotos.end(), [&](const Photo& k) { return k.label == photos[i].label; }) -
                    kPhotos.begin());
                bench::EventOptions e;
                e.event = kind;
                e.region = std::clamp(photos[i].region, 60, 100);
                e.anchor = photos[i].anchor;
                e.zoom = photos[i].zoom;
                e.spread = static_cast<double>(index) / static_cast<double>(kPhotos.size() - 1);
                e.board = index % 2 == 0 ? &board : nullptr;
                e.seed = 2000 + index;
                const bench::EventSequence sequence(pictures[i], e);
                std::ostringstream name;
                name << photos[i].label << ' ' << e.region << " px, ";
                if (kind == bench::Event::hidden)
                    name << "hidden " << sequence.goneTo() - sequence.goneFrom() << " frames by a "
                         << (e.board != nullptr ? "textured" : "flat") << " board";
                else
                    name << (kind == bench::Event::jump ? "jumps " : "back ") << std::lround(sequence.shift()) << " px away";
                Footage f{id, name.str(), {}, {}};
                for (int k = 0; k < sequence.size(); ++k) {
                    f.frames.push_back(sequence.frame(k));
                    f.truth.push_back(sequence.truth(k));
                }
                f.scoredFrom = sequence.back() + 5;
                if (kind != bench::Event::jump) {
                    f.goneFrom = sequence.goneFrom();
                    f.goneTo = sequence.goneTo();
                }
                if (kEventExamples.at(id) == photos[i].label)
                    f.panels = {sequence.before(), (sequence.goneFrom() + sequence.goneTo()) / 2,
                                std::min(sequence.size() - 1, sequence.back() + 10)};
                benchmark.event(f, photoFrames);
            }
        }
#ifdef QUADTRACK_WITH_OPENCV
        if (wanted("clip-static") || wanted("clip-moving")) {
            const auto frames = readClip(o.data + "/" + kClipFile, true);
            const int w = frames[0].width, h = frames[0].height;
            const std::string family = "clip " + std::to_string(w) + "x" + std::to_string(h);
            if (wanted("clip-static"))
                for (const auto& r : kFullClipRegions)
                    benchmark.event(Footage{"clip-static", r.label, frames, std::vector<host::Quad>(frames.size(), r.corners)},
                                    family);
            if (wanted("clip-moving")) {
                const auto path = bench::smoothPath(frames.size(), w, h, 2);
                std::vector<host::GreyImage> moving;
                for (std::size_t k = 0; k < frames.size(); ++k) {
                    const cv::Mat m(3, 3, CV_64F, const_cast<double*>(path[k].h.data()));
                    const cv::Mat frame(h, w, CV_8U, const_cast<std::uint8_t*>(frames[k].pixels.data()));
                    cv::Mat warped;
                    cv::warpPerspective(frame, warped, m, frame.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT);
                    moving.push_back(fromMat(warped));
                }
                for (const auto& r : kFullClipRegions) {
                    std::vector<host::Quad> truth;
                    for (const auto& p : path) {
                        host::Quad q;
                        for (int c = 0; c < 4; ++c) q[c] = p.apply(r.corners[c]);
                        truth.push_back(q);
                    }
                    benchmark.event(Footage{"clip-moving", r.label, moving, truth}, family);
                }
            }
        }
#endif
        if (wanted("convergence") && o.trials > 0 && !photos.empty()) {
            std::vector<bench::PhotoSequence> sources;
            for (std::size_t i = 0; i < photos.size(); ++i)
                for (const int size : {50, 100, 150}) {
                    bench::PhotoSequenceOptions s = photoOptions(i, size);
                    s.speed = 3;
                    sources.emplace_back(pictures[i], s);
                }
            benchmark.convergence(sources);
        }
        benchmark.report(command);
    } catch (const std::exception& e) {
        std::cerr << "quadtrack_benchmark: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
