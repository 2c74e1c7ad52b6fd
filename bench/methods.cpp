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
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
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

Tracked trackFrame(track::session& tracker, const mlx::matrix<unsigned char>& frame, const host::Quad& previous) {
    try {
        const track::frameResult& r = tracker.run(frame);
        if (r.lost()) return {previous, true};
        const auto& c = r.corners;
        host::Quad q;
        for (std::size_t j = 0; j < 4; ++j) q[j] = {c(0, j), c(1, j)};
        return {q, false};
    } catch (const mlx::tool::generalException&) {
        return {previous, true};
    }
}

mlx::matrix<unsigned char> toMatrix(const host::GreyImage& image) {
    mlx::matrix<unsigned char> m;
    m.assign(image.pixels.data(), static_cast<std::size_t>(image.width), static_cast<std::size_t>(image.height));
    return m;
}

#ifdef QUADTRACK_WITH_OPENCV
EccPeer::EccPeer(const host::GreyImage& first, const host::Quad& region) {
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

void EccPeer::restart() {
    warp_ = (cv::Mat_<float>(3, 3) << 1, 0, static_cast<float>(origin_.x), 0, 1, static_cast<float>(origin_.y), 0, 0, 1);
}

Tracked EccPeer::track(const host::GreyImage& image) {
    const cv::Mat frame(image.height, image.width, CV_8U, const_cast<std::uint8_t*>(image.pixels.data()));
    cv::Mat warp = warp_.clone();
    bool failed = false;
    try {
        cv::findTransformECC(template_, frame, warp, cv::MOTION_HOMOGRAPHY,
                             cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 50, 1e-4), cv::noArray(), 5);
        warp_ = warp;
    } catch (const cv::Exception&) {
        failed = true;
    }
    host::Homography h;
    for (int i = 0; i < 9; ++i) h.h[static_cast<std::size_t>(i)] = warp_.at<float>(i / 3, i % 3);
    host::Quad q;
    for (int c = 0; c < 4; ++c) q[c] = h.apply(local_[c]);
    return {q, failed};
}

namespace {

constexpr int kFeatures = 200;
// Fewer features than this share of those first found (or than 10) are topped up.
constexpr double kTopUp = 0.5;

cv::Mat view(const host::GreyImage& image) {
    return cv::Mat(image.height, image.width, CV_8U, const_cast<std::uint8_t*>(image.pixels.data()));
}

std::vector<cv::Point2f> transform(const std::vector<cv::Point2f>& points, const cv::Mat& h) {
    std::vector<cv::Point2f> out;
    if (!points.empty()) cv::perspectiveTransform(points, out, h);
    return out;
}

}  // namespace

KltPeer::KltPeer(const host::GreyImage& first, const host::Quad& region) : region_(region) {
    first_ = view(first).clone();
    homography_ = cv::Mat::eye(3, 3, CV_64F);
    detect(first_);
    firstFeatures_ = features_;
    wanted_ = std::max<std::size_t>(10, static_cast<std::size_t>(kTopUp * static_cast<double>(firstFeatures_.size())));
    restart();
}

void KltPeer::restart() {
    previous_ = first_;
    homography_ = cv::Mat::eye(3, 3, CV_64F);
    features_ = anchors_ = firstFeatures_;
}

void KltPeer::detect(const cv::Mat& image) {
    std::vector<cv::Point2f> corners(4);
    for (int c = 0; c < 4; ++c) corners[static_cast<std::size_t>(c)] = {static_cast<float>(region_[c].x), static_cast<float>(region_[c].y)};
    corners = transform(corners, homography_);
    std::vector<cv::Point> polygon;
    for (const auto& p : corners) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        polygon.emplace_back(cvRound(p.x), cvRound(p.y));
    }
    const int room = kFeatures - static_cast<int>(features_.size());
    if (room <= 0) return;
    cv::Mat mask = cv::Mat::zeros(image.size(), CV_8U);
    cv::fillConvexPoly(mask, polygon, cv::Scalar(255));
    // New features keep the distance that detection keeps between features.
    for (const auto& p : features_) cv::circle(mask, p, 5, cv::Scalar(0), -1);
    if (cv::countNonZero(mask) == 0) return;
    std::vector<cv::Point2f> found;
    cv::goodFeaturesToTrack(image, found, room, 0.01, 5, mask, 7);
    const auto back = transform(found, homography_.inv());
    features_.insert(features_.end(), found.begin(), found.end());
    anchors_.insert(anchors_.end(), back.begin(), back.end());
}

Tracked KltPeer::track(const host::GreyImage& image) {
    const cv::Mat frame = view(image).clone();
    bool lost = true;
    if (!features_.empty()) {
        std::vector<cv::Point2f> next, again;
        std::vector<unsigned char> status, statusBack;
        std::vector<float> error;
        const cv::Size window(21, 21);
        const cv::TermCriteria stop(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, 30, 0.01);
        cv::calcOpticalFlowPyrLK(previous_, frame, features_, next, status, error, window, 3, stop);
        cv::calcOpticalFlowPyrLK(frame, previous_, next, again, statusBack, error, window, 3, stop);
        // A feature that does not flow back to within 1 px of where it was has slid along an edge or
        // been covered.
        std::vector<cv::Point2f> kept, keptAnchors;
        for (std::size_t i = 0; i < features_.size(); ++i)
            if (status[i] && statusBack[i] && cv::norm(again[i] - features_[i]) < 1.0) {
                kept.push_back(next[i]);
                keptAnchors.push_back(anchors_[i]);
            }
        features_.clear();
        anchors_.clear();
        if (kept.size() >= 4) {
            std::vector<unsigned char> inliers;
            const cv::Mat h = cv::findHomography(keptAnchors, kept, cv::RANSAC, 3.0, inliers);
            if (!h.empty()) {
                homography_ = h;
                lost = false;
                for (std::size_t i = 0; i < kept.size(); ++i)
                    if (inliers[i]) {
                        features_.push_back(kept[i]);
                        anchors_.push_back(keptAnchors[i]);
                    }
            }
        }
    }
    if (features_.size() < wanted_) detect(frame);
    previous_ = frame;
    host::Homography h;
    for (int i = 0; i < 9; ++i) h.h[static_cast<std::size_t>(i)] = homography_.at<double>(i / 3, i % 3);
    host::Quad q;
    for (int c = 0; c < 4; ++c) q[c] = h.apply(region_[c]);
    return {q, lost};
}
#endif

}  // namespace bench
