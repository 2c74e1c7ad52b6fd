// The plug-in loaded by a separate host process, as applications load it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "synthetic.hpp"

namespace {

struct Driven {
    std::string output;
    int status = -1;
};

// Runs the driver in its own working directory, with tracker.ini holding config (none if null).
Driven drive(const std::string& name, const char* config, int frames, double offset = 0.0) {
    const std::string dir = testing::TempDir() + "plugin_test_" + name;
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    if (config != nullptr) std::ofstream(dir + "/tracker.ini") << config;
    std::ostringstream cmd;
    cmd << "cd '" << dir << "' && '" << PLUGIN_DRIVER_PATH << "' '" << QUADTRACK_PLUGIN_PATH << "' " << frames
        << ' ' << offset << " 2>&1";
    Driven run;
    FILE* pipe = popen(cmd.str().c_str(), "r");
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    run.status = pclose(pipe);
    return run;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

// Largest corner error of a run against the truth, in pixels (corners are truncated integers).
double worstError(const std::string& output) {
    double worst = 0.0;
    for (const auto& line : linesStartingWith(output, "corners ")) {
        std::istringstream in(line.substr(8));
        int t = 0;
        in >> t;
        const auto truth = synthetic::truth(synthetic::motion(t));
        for (int c = 0; c < 4; ++c) {
            double x = 0, y = 0;
            in >> x >> y;
            worst = std::max(worst, std::hypot(x - std::trunc(truth[2 * c]), y - std::trunc(truth[2 * c + 1])));
        }
    }
    return worst;
}

const char* const kJd = "tracker = jd\niter = 3\nnbtrack = 3\nnoise = 0.2\nplans = 800\nnbpoints = 400\n";
const char* const kJdk = "tracker = jdk\nplans = 400\nM = 100\n";
const char* const kRvm = "tracker = rvm\nplans = 300\nmax_iter = 40\n";

}  // namespace

TEST(Plugin, ExportsOnlyTheTwoEntryPoints) {
    void* lib = dlopen(QUADTRACK_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib, "CreateCompute"), nullptr);
    EXPECT_NE(dlsym(lib, "DestroyCompute"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN5track9trackviewC1Ev"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN3mlx4randEmm"), nullptr);
    dlclose(lib);
}

TEST(Plugin, TracksAMovingTexturedPlaneWithinOnePixelEveryFrame) {
    const Driven run = drive("track", kJd, 120);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(linesStartingWith(run.output, "corners ").size(), 119u);
    // Each coordinate at most one truncation step from the truth's.
    EXPECT_LE(worstError(run.output), std::sqrt(2.0) + 1e-9) << run.output;
    EXPECT_EQ(linesStartingWith(run.output, "Learning time : ").size(), 1u);
    const auto average = linesStartingWith(run.output, "Average picture tracking time : ");
    ASSERT_EQ(average.size(), 1u);
    EXPECT_NE(average[0].find(" seconds"), std::string::npos);
}

TEST(Plugin, KernelMethodTracksTheSameSequence) {
    const Driven run = drive("track_jdk", kJdk, 120);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(linesStartingWith(run.output, "corners ").size(), 119u);
    EXPECT_LE(worstError(run.output), 2.0) << run.output;
}

TEST(Plugin, RelevanceVectorMethodTracksTheSameSequence) {
    const Driven run = drive("track_rvm", kRvm, 120);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(linesStartingWith(run.output, "corners ").size(), 119u);
    EXPECT_LE(worstError(run.output), 2.0) << run.output;
}

TEST(Plugin, TwoProcessesLearnTheSameModelAndTrackTheSameCorners) {
    for (const char* config : {kJd, kJdk, kRvm}) {
        const Driven a = drive("determinism_a", config, 40);
        const Driven b = drive("determinism_b", config, 40);
        ASSERT_EQ(a.status, 0) << a.output;
        EXPECT_EQ(linesStartingWith(a.output, "corners "), linesStartingWith(b.output, "corners ")) << config;
    }
}

TEST(Plugin, MissingConfigurationIsReportedAndDefaultsTrack) {
    const Driven run = drive("defaults", nullptr, 30);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(linesStartingWith(run.output, "Fichier ini de config introuvable").size(), 1u);
    EXPECT_LE(worstError(run.output), 1.0 + 1e-9) << run.output;
}

