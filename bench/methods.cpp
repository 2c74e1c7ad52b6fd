#include "bench/methods.hpp"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/iniparser.hpp"

#ifdef QUADTRACK_WITH_OPENCV
#include <opencv2/video/tracking.hpp>
#endif

namespace bench {

namespace {

// The trackers print their timings on stdout; the benchmark keeps its own.
class silence {
public:
    silence() : saved(std::cout.rdbuf(sink.rdbuf())) {}
    ~silence() { std::cout.rdbuf(saved); }
    silence(const silence&) = delete;
    silence& operator=(const silence&) = delete;

private:
    std::ostringstream sink;
    std::streambuf* saved;
};

mlx::matrix<int, 12> toCorners(const host::Quad& q) {
    mlx::matrix<int, 12> c(3, 4);
    for (std::size_t j = 0; j < 4; ++j) {
        c(0, j) = static_cast<int>(std::lround(q[j].x));
        c(1, j) = static_cast<int>(std::lround(q[j].y));
        c(2, j) = 1;
    }
    return c;
}

// FNV-1a over the pixels: tells first frames apart without keeping them.
std::uint64_t fingerprint(const host::GreyImage& image) {
    std::uint64_t h = 1469598103934665603ULL;
    for (std::uint8_t p : image.pixels) h = (h ^ p) * 1099511628211ULL;
    return h;
}

}  // namespace

Variant parseVariant(const std::string& text) {
    Variant v;
    v.label = text;
    const auto colon = text.find(':');
    v.method = text.substr(0, colon);
    if (v.method != "jd" && v.method != "jdk" && v.method != "rvm")
        throw std::invalid_argument("variant \"" + text + "\": the method is jd, jdk or rvm");
    if (colon == std::string::npos) return v;
    std::stringstream in(text.substr(colon + 1));
    for (std::string item; std::getline(in, item, ',');) {
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0)
            throw std::invalid_argument("variant \"" + text + "\": settings are key=value, separated by commas");
        v.settings[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return v;
}

TrackerPool::TrackerPool(std::vector<Variant> variants, std::map<std::string, std::string> shared,
                         std::string folder)
    : variants_(std::move(variants)), learning_(variants_.size()) {
    for (std::size_t v = 0; v < variants_.size(); ++v) {
        std::map<std::string, std::string> keys = shared;
        for (const auto& [key, value] : variants_[v].settings) keys[key] = value;
        keys["tracker"] = variants_[v].method;
        files_.push_back(folder + "/tracker-" + std::to_string(v) + ".ini");
        std::ofstream file(files_.back());
        file << "# " << variants_[v].label << '\n';
        for (const auto& [key, value] : keys) file << key << " = " << value << '\n';
    }
}

TrackerPool::~TrackerPool() {
    const silence quiet;
    learned_.clear();
}

track::session& TrackerPool::get(std::size_t v, const host::GreyImage& first, const host::Quad& region) {
    std::ostringstream key;
    key << v << ' ' << first.width << 'x' << first.height << ' ' << fingerprint(first);
    for (const auto& p : region) key << ' ' << std::lround(p.x) << ',' << std::lround(p.y);
    auto found = learned_.find(key.str());
    if (found == learned_.end()) {
        ini::INIParser ini;
        ini.read(files_[v]);
        const auto corners = toCorners(region);
        const auto image = toMatrix(first);
        const silence quiet;
        // Learning draws from the process's one random stream; starting it afresh gives the model a
        // host process learns, whatever was learned before in this run.
        mlx::atom::Randomizer::LocalRndDevice().seed();
        const auto start = std::chrono::steady_clock::now();
        auto t = std::make_unique<track::session>(corners, ini, image);
        learning_[v].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        found = learned_.emplace(key.str(), std::move(t)).first;
    }
    found->second->restart();
    return *found->second;
}

host::Quad trackFrame(track::session& tracker, const mlx::matrix<unsigned char>& frame, const host::Quad& previous) {
    try {
        const track::frameResult& r = tracker.run(frame);
        if (r.lost()) return previous;
        const auto& c = r.corners;
        host::Quad q;
        for (std::size_t j = 0; j < 4; ++j) q[j] = {c(0, j), c(1, j)};
        return q;
    } catch (const mlx::tool::generalException&) {
        return previous;
    }
}

mlx::matrix<unsigned char> toMatrix(const host::GreyImage& image) {
    mlx::matrix<unsigned char> m;
    m.assign(image.pixels.data(), static_cast<std::size_t>(image.width), static_cast<std::size_t>(image.height));
    return m;
}

#ifdef QUADTRACK_WITH_OPENCV
Peer::Peer(const host::GreyImage& first, const host::Quad& region) {
    double x0 = first.width, y0 = first.height, x1 = 0, y1 = 0;
    for (const auto& p : region) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    origin_ = {std::floor(x0), std::floor(y0)};
    const cv::Rect box(static_cast<int>(origin_.x), static_cast<int>(origin_.y),
                       static_cast<int>(std::ceil(x1) - origin_.x) + 1, static_cast<int>(std::ceil(y1) - origin_.y) + 1);
    const cv::Mat frame(first.height, first.width, CV_8U, const_cast<std::uint8_t*>(first.pixels.data()));
    frame(box).copyTo(template_);  // ECC needs both images of one type
    for (int c = 0; c < 4; ++c) local_[c] = {region[c].x - origin_.x, region[c].y - origin_.y};
    restart();
}

void Peer::restart() {
    warp_ = (cv::Mat_<float>(3, 3) << 1, 0, static_cast<float>(origin_.x), 0, 1, static_cast<float>(origin_.y), 0, 0, 1);
}

host::Quad Peer::track(const host::GreyImage& image) {
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
#endif

}  // namespace bench
