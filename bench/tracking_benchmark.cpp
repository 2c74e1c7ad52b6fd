// Accuracy and speed of the three methods, and of OpenCV's ECC alignment when it is built in, on
// the same frames and corners: tracking of synthetic sequences with ground truth, and the
// convergence range (corners of the next frame displaced by Gaussian offsets, one frame tracked).
// Writes a Markdown report and the convergence table as CSV for the plot.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/geometry.hpp"
#include "host/image_io.hpp"
#include "host/sequence.hpp"
#include "mlx/geometry/homog.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/iniparser.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

#ifdef QUADTRACK_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
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

struct Options {
    std::string output = "out/bench";
    std::string image;
    std::vector<std::string> methods{"jd", "jdk", "rvm"};
    std::map<std::string, std::string> settings;
    int frames = 150;
    int trials = 300;  // a frequency near 90 % then has a standard error under 2 points (3 with 100)
    bool peer = true;
};

// The trackers print their timings on stdout; the benchmark keeps its own.
class silence {
public:
    silence() : saved(std::cout.rdbuf(sink.rdbuf())) {}
    ~silence() { std::cout.rdbuf(saved); }

private:
    std::ostringstream sink;
    std::streambuf* saved;
};

ini::INIParser configuration(const Options& o, const std::string& method) {
    const std::string path = o.output + "/tracker-" + method + ".ini";
    {
        std::ofstream file(path);
        file << "tracker = " << method << '\n';
        for (const auto& [key, value] : o.settings) file << key << " = " << value << '\n';
    }
    ini::INIParser parser;
    parser.read(path);
    return parser;
}

mlx::matrix<unsigned char> toMatrix(const host::GreyImage& image) {
    mlx::matrix<unsigned char> m;
    m.assign(image.pixels.data(), static_cast<std::size_t>(image.width), static_cast<std::size_t>(image.height));
    return m;
}

mlx::matrix<int, 12> toCorners(const host::Quad& q) {
    mlx::matrix<int, 12> c(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        c(0, j) = static_cast<int>(std::lround(q[j].x));
        c(1, j) = static_cast<int>(std::lround(q[j].y));
        c(2, j) = 1;
    }
    return c;
}

host::Quad fromCorners(const mlx::matrix<double>& c) {
    host::Quad q;
    for (std::size_t j = 0; j < 4; ++j) q[j] = {c(0, j), c(1, j)};
    return q;
}

// Corner errors of a lost frame (non-finite corners) count as 1000 px.
double cornerError(host::Point a, host::Point b) {
    const double e = host::distance(a, b);
    return std::isfinite(e) ? std::min(e, 1e3) : 1e3;
}
double meanError(const host::Quad& a, const host::Quad& b) {
    double e = 0.0;
    for (int c = 0; c < 4; ++c) e += cornerError(a[c], b[c]);
    return e / 4.0;
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

// A tracker of one method, learned on one frame; step() tracks a frame from a given estimate.
class Method {
public:
    Method(const std::string& name, const ini::INIParser& ini, const host::GreyImage& first, const host::Quad& region)
        : name_(name) {
        const silence quiet;
        const auto start = clock_type::now();
        const auto corners = toCorners(region);
        const mlx::matrix<unsigned char> image = toMatrix(first);
        if (name == "jdk")
            tracker_ = std::make_unique<track::trackjdk>(corners, ini, image);
        else if (name == "rvm")
            tracker_ = std::make_unique<track::trackRVM>(corners, ini, image);
        else
            tracker_ = std::make_unique<track::trackDhome>(corners, ini, image);
        learning_ = seconds(start, clock_type::now());
        const mlx::matrix<double, 12> square{{0, 1, 1, 0}, {0, 0, 1, 1}, {1, 1, 1, 1}};
        H_ = mlx::geometry::homog(square, mlx::matrix<double, 12>(corners), true);
        levels_ = ini::readUnsigned(ini, "nbtrack", 3);
        iter_ = ini::readUnsigned(ini, "iter", 3);
    }
    ~Method() {
        const silence quiet;
        tracker_.reset();
    }
    Method(const Method&) = delete;
    Method& operator=(const Method&) = delete;

    const std::string& name() const { return name_; }
    double learning() const { return learning_; }

    // One frame with the steps of tracker::run, from the current estimate. A region sampled
    // outside the image is refused by the step: the frame counts as lost (non-finite corners).
    host::Quad track(const mlx::matrix<unsigned char>& frame) {
        try {
            for (unsigned k = 0; k < levels_; ++k)
                for (unsigned i = 0; i < iter_; ++i) tracker_->trackstep(k, corners_, H_, frame);
        } catch (const mlx::tool::generalException&) {
            host::Quad lost;
            for (auto& p : lost) p = {NAN, NAN};
            return lost;
        }
        return fromCorners(corners_);
    }
    // Back to the region selected at learning.
    void restart(const mlx::geometry::homog& H0) { H_ = H0; }
    const mlx::geometry::homog& current() const { return H_; }

private:
    std::string name_;
    std::unique_ptr<track::tracker> tracker_;
    double learning_ = 0.0;
    mlx::geometry::homog H_;
    mlx::matrix<double> corners_;
    unsigned levels_ = 3;
    unsigned iter_ = 3;
};

#ifdef QUADTRACK_WITH_OPENCV
// ECC alignment with a homography. The template is the region's bounding box on the first frame
// (OpenCV's mask applies to the input image, not to the template); the warp maps template pixels
// to frame pixels.
class Peer {
public:
    Peer(const host::GreyImage& first, const host::Quad& region) {
        double x0 = first.width, y0 = first.height, x1 = 0, y1 = 0;
        for (const auto& p : region) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
        origin_ = {std::floor(x0), std::floor(y0)};
        const cv::Rect box(static_cast<int>(origin_.x), static_cast<int>(origin_.y),
                           static_cast<int>(std::ceil(x1) - origin_.x) + 1,
                           static_cast<int>(std::ceil(y1) - origin_.y) + 1);
        const cv::Mat frame(first.height, first.width, CV_8U, const_cast<std::uint8_t*>(first.pixels.data()));
        frame(box).copyTo(template_);  // ECC needs both images of one type
        for (int c = 0; c < 4; ++c) local_[c] = {region[c].x - origin_.x, region[c].y - origin_.y};
        restart();
    }
    // The warp of the selection itself: a translation by the box's origin.
    void restart() {
        warp_ = (cv::Mat_<float>(3, 3) << 1, 0, static_cast<float>(origin_.x), 0, 1, static_cast<float>(origin_.y), 0,
                 0, 1);
    }
    // One frame from the current warp; a failed alignment keeps the warp.
    host::Quad track(const host::GreyImage& image) {
        const cv::Mat frame(image.height, image.width, CV_8U, const_cast<std::uint8_t*>(image.pixels.data()));
        cv::Mat warp = warp_.clone();
        try {
            cv::findTransformECC(template_, frame, warp, cv::MOTION_HOMOGRAPHY,
                                 cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 50, 1e-4), cv::noArray(), 5);
            warp_ = warp;
        } catch (const cv::Exception&) {
        }
        host::Homography h;
        for (int i = 0; i < 9; ++i) h.h[static_cast<std::size_t>(i)] = warp_.at<float>(i / 3, i % 3);
        host::Quad q;
        for (int c = 0; c < 4; ++c) q[c] = h.apply(local_[c]);
        return q;
    }

private:
    host::Point origin_;
    host::Quad local_;
    cv::Mat template_, warp_;
};
#endif

struct SequenceCase {
    std::string name;
    host::SequenceOptions options;
};

std::vector<SequenceCase> sequenceCases(const Options& o) {
    std::vector<SequenceCase> cases;
    const auto add = [&](const std::string& name, auto change) {
        host::SequenceOptions s;
        s.frames = o.frames;
        change(s);
        cases.push_back({name, s});
    };
    add("slow (speed 0.5)", [](host::SequenceOptions& s) { s.speed = 0.5; });
    add("demo (speed 1)", [](host::SequenceOptions&) {});
    add("fine texture (detail 2, seed 2)", [](host::SequenceOptions& s) {
        s.detail = 2;
        s.seed = 2;
    });
    add("coarse texture, 70 px (detail 0.6, seed 3)", [](host::SequenceOptions& s) {
        s.detail = 0.6;
        s.seed = 3;
        s.region = 70;
    });
    add("fast (speed 2)", [](host::SequenceOptions& s) { s.speed = 2; });
    add("very fast (speed 4)", [](host::SequenceOptions& s) { s.speed = 4; });
    add("illumination change", [](host::SequenceOptions& s) { s.illumination = 1; });
    add("sensor noise (sigma 8)", [](host::SequenceOptions& s) { s.noise = 8; });
    return cases;
}

struct TrackRow {
    std::string sequence, method;
    double within2 = 0, meanErr = 0, learning = 0, perFrame = 0;
};

TrackRow score(const std::string& sequence, const std::string& method, const std::vector<host::Quad>& found,
               const std::vector<host::Quad>& truth, double learning, const std::vector<double>& times) {
    TrackRow r;
    r.sequence = sequence;
    r.method = method;
    std::size_t within = 0;
    double sum = 0;
    for (std::size_t f = 0; f < found.size(); ++f) {
        within += worstError(found[f], truth[f]) <= 2.0;
        sum += meanError(found[f], truth[f]);
    }
    r.within2 = 100.0 * static_cast<double>(within) / static_cast<double>(found.size());
    r.meanErr = sum / static_cast<double>(found.size());
    r.learning = learning;
    r.perFrame = median(times);
    return r;
}

std::vector<TrackRow> trackSequence(const Options& o, const std::string& name,
                                    const std::vector<host::GreyImage>& frames, const std::vector<host::Quad>& truth) {
    std::vector<TrackRow> rows;
    for (const auto& m : o.methods) {
        Method method(m, configuration(o, m), frames[0], truth[0]);
        std::vector<host::Quad> found;
        std::vector<double> times;
        for (std::size_t f = 1; f < frames.size(); ++f) {
            const auto image = toMatrix(frames[f]);
            const auto start = clock_type::now();
            found.push_back(method.track(image));
            times.push_back(seconds(start, clock_type::now()));
        }
        rows.push_back(score(name, m, found, {truth.begin() + 1, truth.end()}, method.learning(), times));
        std::cerr << name << " " << m << ": " << rows.back().within2 << " % within 2 px\n";
    }
#ifdef QUADTRACK_WITH_OPENCV
    if (o.peer) {
        Peer peer(frames[0], truth[0]);
        std::vector<host::Quad> found;
        std::vector<double> times;
        for (std::size_t f = 1; f < frames.size(); ++f) {
            const auto start = clock_type::now();
            found.push_back(peer.track(frames[f]));
            times.push_back(seconds(start, clock_type::now()));
        }
        rows.push_back(score(name, "ECC (OpenCV)", found, {truth.begin() + 1, truth.end()}, 0.0, times));
    }
#endif
    return rows;
}

// image warped by the homography that takes region onto moved: pixel x of the result is the
// bilinear value of image at G^-1 x (0 outside).
host::GreyImage displaced(const host::GreyImage& image, const host::Quad& region, const host::Quad& moved) {
    const host::Homography G = host::squareToQuad(moved) * host::squareToQuad(region).inverse();
    const host::Homography back = G.inverse();
    host::GreyImage out(image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const host::Point p = back.apply({static_cast<double>(x), static_cast<double>(y)});
            double v = 0.0;
            if (host::sampleBilinear(image, p.x, p.y, v)) out.at(x, y) = static_cast<std::uint8_t>(std::lround(v));
        }
    return out;
}

struct ConvergenceRow {
    std::string method;
    std::vector<double> frequency;  // per sigma, percent
    double perRun = 0;              // median seconds per run
};

const std::vector<double> kSigmas{1, 2, 4, 6, 8, 10, 12};

std::vector<ConvergenceRow> convergence(const Options& o, const host::GreyImage& image, const host::Quad& region) {
    // The displaced frames, drawn once and shared by every method.
    host::SplitMix random(2024);
    std::vector<std::vector<host::GreyImage>> frames(kSigmas.size());
    std::vector<std::vector<host::Quad>> truths(kSigmas.size());
    for (std::size_t s = 0; s < kSigmas.size(); ++s)
        for (int t = 0; t < o.trials; ++t) {
            host::Quad moved = region;
            for (auto& p : moved) {
                p.x += kSigmas[s] * random.gaussian();
                p.y += kSigmas[s] * random.gaussian();
            }
            truths[s].push_back(moved);
            frames[s].push_back(displaced(image, region, moved));
        }

    std::vector<ConvergenceRow> rows;
    const auto tally = [&](const std::string& name, auto&& runOnce) {
        ConvergenceRow row;
        row.method = name;
        std::vector<double> times;
        for (std::size_t s = 0; s < kSigmas.size(); ++s) {
            int hits = 0;
            for (int t = 0; t < o.trials; ++t) {
                const auto start = clock_type::now();
                const host::Quad found = runOnce(frames[s][static_cast<std::size_t>(t)]);
                times.push_back(seconds(start, clock_type::now()));
                hits += rmsError(found, truths[s][static_cast<std::size_t>(t)]) <= 1.0;
            }
            row.frequency.push_back(100.0 * hits / o.trials);
        }
        row.perRun = median(times);
        rows.push_back(row);
        std::cerr << "convergence " << name << " done\n";
    };
    for (const auto& m : o.methods) {
        Method method(m, configuration(o, m), image, region);
        const mlx::geometry::homog H0 = method.current();
        tally(m, [&](const host::GreyImage& frame) {
            const auto matrix = toMatrix(frame);
            method.restart(H0);
            return method.track(matrix);
        });
    }
#ifdef QUADTRACK_WITH_OPENCV
    if (o.peer) {
        Peer peer(image, region);
        tally("ECC (OpenCV)", [&](const host::GreyImage& frame) {
            peer.restart();
            return peer.track(frame);
        });
    }
#endif
    return rows;
}

std::string fixed(double v, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
    return buffer;
}

void usage() {
    std::cerr << "usage: quadtrack_benchmark [--output DIR] [--image FILE --corners x1,y1,...,x4,y4] [--frames N]\n"
                 "                           [--trials N] [--methods jd,jdk,rvm] [--set key=value]... [--no-peer]\n";
}

std::vector<std::string> split(const std::string& s, char c) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, c);) out.push_back(item);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string cornersText;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--output")
            o.output = value();
        else if (a == "--image")
            o.image = value();
        else if (a == "--corners")
            cornersText = value();
        else if (a == "--frames")
            o.frames = std::stoi(value());
        else if (a == "--trials")
            o.trials = std::stoi(value());
        else if (a == "--methods")
            o.methods = split(value(), ',');
        else if (a == "--no-peer")
            o.peer = false;
        else if (a == "--set") {
            const std::string kv = value();
            const auto eq = kv.find('=');
            if (eq == std::string::npos) {
                usage();
                return 2;
            }
            o.settings[kv.substr(0, eq)] = kv.substr(eq + 1);
        } else {
            usage();
            return 2;
        }
    }
    if (o.frames < 2 || o.trials < 1) {
        usage();
        return 2;
    }
    std::filesystem::create_directories(o.output);

    std::vector<TrackRow> tracking;
    for (const auto& c : sequenceCases(o)) {
        const host::Sequence sequence(c.options);
        std::vector<host::GreyImage> frames;
        std::vector<host::Quad> truth;
        for (int f = 0; f < sequence.size(); ++f) {
            frames.push_back(sequence.frame(f));
            truth.push_back(sequence.truth(f));
        }
        const auto rows = trackSequence(o, c.name, frames, truth);
        tracking.insert(tracking.end(), rows.begin(), rows.end());
    }

    host::GreyImage image;
    host::Quad region;
    std::string source;
    if (!o.image.empty()) {
        image = host::readImage(o.image);
        const auto v = split(cornersText, ',');
        if (v.size() != 8) {
            std::cerr << "--image needs --corners x1,y1,x2,y2,x3,y3,x4,y4\n";
            return 2;
        }
        for (int c = 0; c < 4; ++c) region[c] = {std::stod(v[2 * c]), std::stod(v[2 * c + 1])};
        source = o.image;
    } else {
        const host::Sequence sequence(host::SequenceOptions{});
        image = sequence.frame(0);
        region = sequence.truth(0);
        source = "frame 0 of the demo sequence";
    }
    const auto ranges = convergence(o, image, region);

    std::ostringstream md;
    md << "### Tracking (" << o.frames - 1 << " frames per sequence, 320x240)\n\n"
       << "| sequence | method | frames within 2 px | mean corner error (px) | learning (s) | median time per frame "
          "(ms) |\n"
       << "|---|---|---:|---:|---:|---:|\n";
    for (const auto& r : tracking)
        md << "| " << r.sequence << " | " << r.method << " | " << fixed(r.within2, 1) << " % | " << fixed(r.meanErr, 2)
           << " | " << (r.learning > 0 ? fixed(r.learning, 3) : "–") << " | " << fixed(1e3 * r.perFrame, 3) << " |\n";
    md << "\n### Convergence range (" << source << ", " << o.trials
       << " trials per sigma; frequency of corners within 1 px RMS after one frame)\n\n| method |";
    for (double s : kSigmas) md << " σ " << s << " px |";
    md << " median time per run (ms) |\n|---|";
    for (std::size_t s = 0; s <= kSigmas.size(); ++s) md << "---:|";
    md << '\n';
    for (const auto& r : ranges) {
        md << "| " << r.method << " |";
        for (double f : r.frequency) md << ' ' << fixed(f, 0) << " |";
        md << ' ' << fixed(1e3 * r.perRun, 3) << " |\n";
    }
    std::ofstream(o.output + "/results.md") << md.str();
    std::ofstream csv(o.output + "/convergence.csv");
    csv << "method";
    for (double s : kSigmas) csv << ',' << s;
    csv << '\n';
    for (const auto& r : ranges) {
        csv << r.method;
        for (double f : r.frequency) csv << ',' << f;
        csv << '\n';
    }
    std::cout << md.str();
    return 0;
}
