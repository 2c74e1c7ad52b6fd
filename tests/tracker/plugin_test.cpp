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
Driven drive(const std::string& name, const char* config, int frames) {
    const std::string dir = testing::TempDir() + "plugin_test_" + name;
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    if (config != nullptr) std::ofstream(dir + "/tracker.ini") << config;
    std::ostringstream cmd;
    cmd << "cd '" << dir << "' && '" << PLUGIN_DRIVER_PATH << "' '" << QUADTRACK_PLUGIN_PATH << "' " << frames << " 2>&1";
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

// Without tracker.ini the plug-in says so and tracks with its defaults. A second process tracks the
// first frames alike.
TEST(Plugin, EveryMethodTracksAMovingTexturedPlaneAndTwoProcessesTrackItAlike) {
    const struct {
        const char* name;
        const char* config;
        int frames;
        double tolerance;
    } methods[] = {
        // Each coordinate at most one truncation step from the truth's.
        {"jd", kJd, 120, std::sqrt(2.0) + 1e-9},
        {"jdk", kJdk, 120, 2.0},
        {"rvm", kRvm, 120, 2.0},
        {"defaults", nullptr, 30, 1.0 + 1e-9},
    };
    for (const auto& m : methods) {
        const Driven run = drive(m.name, m.config, m.frames);
        ASSERT_EQ(run.status, 0) << run.output;
        const auto corners = linesStartingWith(run.output, "corners ");
        EXPECT_EQ(corners.size(), std::size_t(m.frames - 1)) << m.name;
        EXPECT_LE(worstError(run.output), m.tolerance) << run.output;
        EXPECT_EQ(linesStartingWith(run.output, "Learning time : ").size(), 1u) << m.name;
        const auto average = linesStartingWith(run.output, "Average picture tracking time : ");
        ASSERT_EQ(average.size(), 1u) << m.name;
        EXPECT_NE(average[0].find(" seconds"), std::string::npos);
        const auto missing = linesStartingWith(run.output, "Fichier ini de config introuvable").size();
        EXPECT_EQ(missing, m.config == nullptr ? 1u : 0u) << m.name;

        const Driven again = drive(std::string(m.name) + "_again", m.config, 30);
        EXPECT_EQ(std::vector<std::string>(corners.begin(), corners.begin() + 29),
                  linesStartingWith(again.output, "corners ")) << m.name;
    }
}
