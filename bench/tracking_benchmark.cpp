// Accuracy and speed of variants of the plug-in's methods, and of OpenCV's ECC alignment when it
// is built in, on the same frames: sequences made from photographs (camera motion, light drift,
// sensor noise, an occluder, region sizes), a real surveillance clip, and the convergence range
// (corners of the next frame displaced by Gaussian offsets, one frame tracked). Writes a Markdown
// report, the per-sequence results and the convergence table as CSV, and a picture of examples.

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

struct Footage {
    std::string group, name;
    std::vector<host::GreyImage> frames;
    std::vector<host::Quad> truth;
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
    std::vector<Scores> scores;  // per method: the variants, then ECC
};

// The picture's examples: sequences (group, name) and the colours of what is drawn.
const std::vector<std::pair<std::string, std::string>> kExamples{
    {"v6", "graffiti 100 px"}, {"light+noise", "building 80 px"}, {"occlusion", "face 120 px"}, {"clip", "tripod"}};
constexpr host::Colour kPeerColour{255, 170, 0};

class Benchmark {
public:
    Benchmark(const Options& o, std::vector<bench::Variant> variants)
        : o_(o), pool_(std::move(variants), o.settings, o.output), times_(pool_.variants().size() + 1) {}

    std::size_t methods() const { return pool_.variants().size() + (peer() ? 1 : 0); }
    std::string methodName(std::size_t m) const {
        return m < pool_.variants().size() ? pool_.variants()[m].label : "ECC (OpenCV)";
    }
    bool peer() const {
#ifdef QUADTRACK_WITH_OPENCV
        return o_.peer;
#else
        return false;
#endif
    }

    void track(const Footage& footage) {
        SequenceResult result{footage.group, footage.name, {}};
        const std::size_t n = footage.frames.size();
        std::vector<mlx::matrix<unsigned char>> matrices;
        for (const auto& f : footage.frames) matrices.push_back(bench::toMatrix(f));
        std::vector<std::vector<host::Quad>> found(methods());
        for (std::size_t v = 0; v < pool_.variants().size(); ++v) {
            track::session& t = pool_.get(v, footage.frames[0], footage.truth[0]);
            host::Quad last = footage.truth[0];
            for (std::size_t k = 1; k < n; ++k) {
                const auto start = clock_type::now();
                last = bench::trackFrame(t, matrices[k], last);
                times_[v].push_back(seconds(start, clock_type::now()));
                found[v].push_back(last);
            }
        }
#ifdef QUADTRACK_WITH_OPENCV
        if (o_.peer) {
            bench::Peer peer(footage.frames[0], footage.truth[0]);
            for (std::size_t k = 1; k < n; ++k) {
                const auto start = clock_type::now();
                found.back().push_back(peer.track(footage.frames[k]));
                times_.back().push_back(seconds(start, clock_type::now()));
            }
        }
#endif
        std::cerr << footage.group << " / " << footage.name << ":";
        for (std::size_t m = 0; m < methods(); ++m) {
            result.scores.push_back(score(found[m], footage.truth));
            std::cerr << ' ' << methodName(m) << ' ' << std::lround(result.scores.back().tracked) << " %";
        }
        std::cerr << '\n';
        results_.push_back(result);
        for (const auto& [group, name] : kExamples)
            if (group == footage.group && name == footage.name) illustrate(footage, found);
    }

    // Convergence over the given first frames and regions, trials spread over them in turn.
    void convergence(const std::vector<bench::PhotoSequence>& sources) {
        host::SplitMix random(2024);
        hits_.assign(methods(), std::vector<int>(kSigmas.size(), 0));
        runTimes_.assign(methods(), {});
        std::vector<host::GreyImage> firsts;
        for (const auto& s : sources) firsts.push_back(s.frame(0));
#ifdef QUADTRACK_WITH_OPENCV
        std::vector<bench::Peer> peers;
        if (o_.peer)
            for (std::size_t i = 0; i < sources.size(); ++i) peers.emplace_back(firsts[i], sources[i].truth(0));
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
                for (std::size_t v = 0; v < pool_.variants().size(); ++v) {
                    track::session& tracker = pool_.get(v, firsts[i], region);
                    const auto start = clock_type::now();
                    const host::Quad q = bench::trackFrame(tracker, matrix, region);
                    runTimes_[v].push_back(seconds(start, clock_type::now()));
                    hits_[v][s] += rmsError(q, moved) <= 1.0;
                }
#ifdef QUADTRACK_WITH_OPENCV
                if (o_.peer) {
                    peers[i].restart();
                    const auto start = clock_type::now();
                    const host::Quad q = peers[i].track(frame);
                    runTimes_.back().push_back(seconds(start, clock_type::now()));
                    hits_.back()[s] += rmsError(q, moved) <= 1.0;
                }
#endif
            }
        convergenceSources_ = sources.size();
    }

    void report(const std::string& command) const;

private:
    void illustrate(const Footage& footage, const std::vector<std::vector<host::Quad>>& found);

    static inline const std::vector<double> kSigmas{1, 2, 4, 6, 8, 10, 12};

    const Options& o_;
    bench::TrackerPool pool_;
    std::vector<std::vector<double>> times_;  // per method, seconds per frame
    std::vector<SequenceResult> results_;
    std::vector<std::vector<int>> hits_;
    std::vector<std::vector<double>> runTimes_;
    std::size_t convergenceSources_ = 0;
    std::vector<host::RgbImage> examples_;
};

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
        if (peer()) host::drawQuad(panel, found.back()[k - 1], kPeerColour);
        if (!pool_.variants().empty()) host::drawQuad(panel, found.front()[k - 1], host::kTrackedColour);
        const std::string caption = footage.group + " / " + footage.name + ", frame " + std::to_string(k);
        host::drawText(panel, 5, 5, caption, {0, 0, 0});
        host::drawText(panel, 4, 4, caption, {255, 255, 255});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t from = (static_cast<std::size_t>(y) * w + x) * 3;
                row.set(column * (w + gap) + x, y, {panel.pixels[from], panel.pixels[from + 1], panel.pixels[from + 2]});
            }
        ++column;
    }
    examples_.push_back(row);
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
           << "| method | learning (s, median) | median time per frame (ms) | ECC time / its time |\n"
           << "|---|---:|---:|---:|\n";
        const double peerTime = peer() ? median(times_.back()) : std::nan("");
        for (std::size_t m = 0; m < nm; ++m) {
            const bool variant = m < pool_.variants().size();
            const double t = median(times_[variant ? m : times_.size() - 1]);
            md << "| " << methodName(m) << " | " << (variant ? fixed(median(pool_.learning(m)), 3) : "–") << " | "
               << fixed(1e3 * t, 3) << " | " << (peer() ? fixed(peerTime / t, 1) : "–") << " |\n";
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
// Every frame of the clip, grey, at 320x240.
std::vector<host::GreyImage> readClip(const std::string& path) {
    cv::VideoCapture capture(path);
    if (!capture.isOpened()) throw std::runtime_error(path + ": cannot open the clip");
    std::vector<host::GreyImage> frames;
    cv::Mat colour, grey, small;
    while (capture.read(colour)) {
        cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
        cv::resize(grey, small, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
        host::GreyImage f(320, 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) f.at(x, y) = small.at<std::uint8_t>(y, x);
        frames.push_back(std::move(f));
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
    std::cerr << " convergence\nimages:";
    for (const auto& p : kPhotos) std::cerr << ' ' << p.label;
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
        if (g != "convergence" && std::none_of(kGroups.begin(), kGroups.end(), [&](const Group& k) { return k.id == g; })) {
            std::cerr << "quadtrack_benchmark: unknown group \"" << g << "\"\n";
            usage();
            return 2;
        }
    std::vector<Photo> photos;
    for (const auto& p : kPhotos)
        if (o.images.empty() || o.images.count(p.label) > 0) photos.push_back(p);
    if (photos.empty()) {
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
            const auto frames = readClip(o.data + "/" + kClipFile);
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
        if (wanted("convergence") && o.trials > 0) {
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
