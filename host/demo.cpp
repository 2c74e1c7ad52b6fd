#include "host/commands.hpp"
#include "host/csv.hpp"
#include "host/image_io.hpp"
#include "host/overlay.hpp"
#include "host/plugin.hpp"
#include "host/progress.hpp"
#include "host/score.hpp"
#include "host/sequence.hpp"

#include <algorithm>
#include <optional>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace host {

const char* const kDemoHelp =
    R"(usage: quadtrack demo [--config FILE] [--output DIR] [--frames N]

Tracks a built-in synthetic sequence whose true corners are known: a textured
plane moving over a textured background with translation, rotation, scale and
perspective, 320x240, generated in memory and the same on every run. Prints a
summary (share of frames within 2 px of the truth, mean and worst corner error,
learning time, median time per frame, lowest score) and writes to DIR:
  corners.csv   the host's table plus the true corners and the worst corner
                error of each frame
  frames/       every frame with the tracked region (green) and the truth
                (magenta)
  summary.png   first, middle and last frame side by side above the error plot

Options:
  --config FILE  tracker configuration (default: tracker.ini of the current
                 directory, else the plug-in's built-in defaults); its key
                 "tracker" picks the method: jd, jdk or rvm
  --output DIR   where to write (default: out/demo)
  --frames N     length of the sequence (default: 300)
  -h, --help     this text

Example:
  quadtrack demo --config tracker.ini --output out/demo
)";

namespace {

// A frame counts as tracked when its worst corner is this close to the truth.
constexpr double kThreshold = 2.0;

double worstCornerError(const Quad& tracked, const Quad& truth) {
    double worst = 0;
    for (int c = 0; c < 4; ++c) worst = std::max(worst, distance(tracked[c], truth[c]));
    return worst;
}

std::string truthColumns(const Quad& q) {
    std::string out;
    char text[32];
    for (const Point& p : q) {
        std::snprintf(text, sizeof text, ",%.2f,%.2f", p.x, p.y);
        out += text;
    }
    return out;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int runDemo(const DemoOptions& o) {
    std::optional<std::string> config;
    std::string source = "built-in defaults", text;
    if (o.config) {
        config = text = readConfigFile(*o.config);
        source = *o.config;
    } else if (std::filesystem::exists("tracker.ini")) {
        text = readConfigFile("tracker.ini");
        source = "tracker.ini";
    }
    const std::string method = configuredMethod(text);

    SequenceOptions sequenceOptions;
    sequenceOptions.frames = o.frames;
    const Sequence sequence(sequenceOptions);
    const std::string framesDir = o.output + "/frames";
    std::filesystem::create_directories(framesDir);
    std::ofstream table(o.output + "/corners.csv");
    if (!table) throw std::runtime_error("cannot write " + o.output + "/corners.csv");

    std::cout << "quadtrack demo: " << sequence.size() << " frames of " << sequenceOptions.width << "x"
              << sequenceOptions.height << ", a " << int(sequenceOptions.region) << " px region, method " << method
              << " (" << source << ")" << std::endl;

    const GreyImage first = sequence.frame(0);
    const Quad start = sequence.truth(0);
    // Ended before the summary, so the plug-in's closing line comes first.
    std::optional<PluginTracker> tracker;
    tracker.emplace(defaultPluginPath(), config);
    auto clock = std::chrono::steady_clock::now();
    try {
        tracker->init(first, start);
    } catch (const std::exception& e) {
        std::cerr << "quadtrack: the plug-in refused the configuration:\n" << e.what() << std::endl;
        return kExitFailure;
    }
    const double learning = since(clock);

    const RegionScore score(first, start);
    table << kCsvHeader << ",tx1,ty1,tx2,ty2,tx3,ty3,tx4,ty4,error\n"
          << csvRow(0, start, 1.0) << truthColumns(start) << ",0.00\n";
    const std::vector<int> panelFrames = {0, sequence.size() / 2, sequence.size() - 1};
    std::vector<SummaryPanel> panels;
    std::vector<double> errors = {0}, times, scores;
    double errorSum = 0;
    int within = 0, worstFrame = 0;
    std::string failure;

    Progress progress("tracking", sequence.size() - 1, 0);
    for (int k = 0; k < sequence.size(); ++k) {
        const GreyImage frame = k == 0 ? first : sequence.frame(k);
        const Quad truth = sequence.truth(k);
        Quad corners = start;
        if (k > 0) {
            clock = std::chrono::steady_clock::now();
            try {
                corners = tracker->run(frame);
            } catch (const std::exception& e) {
                failure = "the plug-in failed on frame " + std::to_string(k) + ":\n" + e.what();
                break;
            }
            times.push_back(since(clock));
            const double error = worstCornerError(corners, truth);
            const double s = score(frame, corners);
            for (int c = 0; c < 4; ++c) errorSum += distance(corners[c], truth[c]);
            if (error > errors[std::size_t(worstFrame)]) worstFrame = k;
            if (error <= kThreshold) ++within;
            errors.push_back(error);
            scores.push_back(s);
            table << csvRow(k, corners, s) << truthColumns(truth) << format(",%.2f", error) << '\n';
            progress.update(k);
        }
        RgbImage picture(frame);
        drawQuad(picture, truth, kTruthColour);
        drawQuad(picture, corners, kTrackedColour);
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%05d.png", k);
        writePng(framesDir + name, picture);
        if (std::find(panelFrames.begin(), panelFrames.end(), k) == panelFrames.end()) continue;
        std::string caption = "frame " + std::to_string(k);
        caption += k == 0 ? "  (the selection)"
                          : format("  worst corner %.1f px", errors.back()) + format("  score %.3f", scores.back());
        panels.push_back({picture, caption});
    }
    const long tracked = long(times.size());
    progress.finish(tracked, true);
    tracker.reset();
    table.close();
    if (!table) throw std::runtime_error("cannot write " + o.output + "/corners.csv");

    const std::string title = "quadtrack demo, " + method + ": " + format("%.0f", 100.0 * within / std::max(tracked, 1L)) +
                              "% of " + std::to_string(tracked) + " frames within 2 px";
    writePng(o.output + "/summary.png", summaryPicture(panels, errors, kThreshold, title));

    const double worst = errors[std::size_t(worstFrame)];
    std::printf("frames tracked          %ld of %d\n", tracked, sequence.size() - 1);
    std::printf("within %.0f px             %.1f %%\n", kThreshold, 100.0 * within / std::max(tracked, 1L));
    std::printf("mean corner error       %.2f px\n", errorSum / std::max(4 * tracked, 1L));
    std::printf("worst corner error      %.2f px (frame %d)\n", worst, worstFrame);
    std::printf("lowest score            %.3f\n", scores.empty() ? 1.0 : *std::min_element(scores.begin(), scores.end()));
    std::printf("learning time           %.2f s\n", learning);
    std::printf("median time per frame   %.2f ms\n", 1e3 * median(times));
    std::printf("wrote %s/corners.csv, %s/ (%ld pictures), %s/summary.png\n", o.output.c_str(), framesDir.c_str(),
                tracked + 1, o.output.c_str());
    std::fflush(stdout);
    if (!failure.empty()) {
        std::cerr << "quadtrack: " << failure << std::endl;
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace host
