// The trackers the benchmark compares: variants of the plug-in's methods, driven through the
// tracker API as a host drives them, and OpenCV's ECC alignment when it is built in.
#ifndef QUADTRACK_BENCH_METHODS_HPP
#define QUADTRACK_BENCH_METHODS_HPP

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/geometry.hpp"
#include "host/image.hpp"
#include "tracker/components/session.hpp"

#ifdef QUADTRACK_WITH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace bench {

// A method and its own configuration keys: "jd", "jd:extensions=0", "jdk:noise=0.2,nbtrack=4".
struct Variant {
    std::string label;
    std::string method;
    std::map<std::string, std::string> settings;
};

// Throws std::invalid_argument on a malformed text or a method other than jd, jdk and rvm.
Variant parseVariant(const std::string& text);

// Learned trackers, one per variant, first frame and region, so that sequences starting on the
// same frame share their learning; restart() puts a tracker back before each use. Every model is
// the one a fresh host process learns from that frame and region.
class TrackerPool {
public:
    // The configuration of every variant: the method, the shared settings, then its own.
    TrackerPool(std::vector<Variant> variants, std::map<std::string, std::string> shared, std::string folder);
    ~TrackerPool();
    TrackerPool(const TrackerPool&) = delete;
    TrackerPool& operator=(const TrackerPool&) = delete;

    const std::vector<Variant>& variants() const { return variants_; }
    // The tracker of variant v for this first frame and region, restarted; learns it when new.
    track::session& get(std::size_t v, const host::GreyImage& first, const host::Quad& region);
    // Learning times in seconds of every tracker variant v learned.
    const std::vector<double>& learning(std::size_t v) const { return learning_[v]; }

private:
    std::vector<Variant> variants_;
    std::vector<std::string> files_;
    std::map<std::string, std::unique_ptr<track::session>> learned_;
    std::vector<std::vector<double>> learning_;
};

struct Tracked {
    host::Quad corners;
    bool lost = false;
};

// Tracks one frame as a host does: a frame lost, or refused (sampled outside the frame), keeps
// the previous corners and is reported lost.
Tracked trackFrame(track::session& tracker, const mlx::matrix<unsigned char>& frame, const host::Quad& previous);

mlx::matrix<unsigned char> toMatrix(const host::GreyImage& image);

#ifdef QUADTRACK_WITH_OPENCV
// ECC alignment with a homography, warm-started from the previous frame. The template is the
// region's bounding box on the first frame (OpenCV's mask applies to the input image, not to the
// template); the warp maps template pixels to frame pixels.
class EccPeer {
public:
    EccPeer(const host::GreyImage& first, const host::Quad& region);
    // The warp of the selection itself: a translation by the box's origin.
    void restart();
    // One frame from the current warp; a failed alignment keeps the warp and is reported lost.
    Tracked track(const host::GreyImage& image);

private:
    host::Point origin_;
    host::Quad local_;
    cv::Mat template_, warp_;
};

// Features tracked frame to frame (Shi-Tomasi corners in the region, pyramidal Lucas-Kanade flow
// checked forwards and backwards), and the homography from the first frame's region fitted to them
// with RANSAC. When too few features remain, new ones are found in the current region and mapped
// back to the first frame through the current homography.
class KltPeer {
public:
    KltPeer(const host::GreyImage& first, const host::Quad& region);
    void restart();
    // A frame with fewer than four features left, or no homography, keeps the corners and is
    // reported lost.
    Tracked track(const host::GreyImage& image);

private:
    // Features of image inside the region's current place, with their first-frame positions.
    void detect(const cv::Mat& image);

    host::Quad region_;
    cv::Mat first_, previous_, homography_;  // homography_: first frame to previous_
    std::vector<cv::Point2f> firstFeatures_, features_, anchors_;
    std::size_t wanted_ = 0;
};
#endif

}  // namespace bench

#endif
