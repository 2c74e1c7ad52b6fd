// Long lives of the loaded plug-in: memory must come back and tracking must hold.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <unistd.h>
#endif

#include <cmath>
#include <fstream>
#include <iostream>
#include <vector>

#include "loaded_plugin.hpp"
#include "synthetic.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define QUADTRACK_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUADTRACK_TEST_ASAN 1
#endif
#endif

namespace {

const char* const kSmall = "nbtrack = 2\nplans = 200\nnbpoints = 64\niter = 2\n";
constexpr std::uint32_t kSide = 128;

// Resident memory; none under AddressSanitizer, whose quarantine holds freed blocks (its leak
// checker covers the same faults at exit).
long residentBytes() {
#if defined(QUADTRACK_TEST_ASAN)
    return 0;
#elif defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return long(counters.WorkingSetSize);
#else
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
#endif
}

// An 80-pixel region circling 6 pixels around the centre of a 128 x 128 frame, period 40 frames.
synthetic::mat3 circling(int t) {
    const double a = 2.0 * M_PI * t / 40.0;
    return {1, 0, 24 + 6 * std::cos(a), 0, 1, 24 + 6 * std::sin(a), 0, 0, 1};
}

class LongRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.ready());
        loaded::enterDirectory(kSmall);
        // The plug-in's per-object console lines would be thousands of lines (gtest prints with stdio).
        console = std::cout.rdbuf(nullptr);
        for (int t = 0; t < 40; ++t) frames.push_back(synthetic::render(circling(t), kSide, kSide));
    }
    void TearDown() override {
        std::cout.rdbuf(console);
        std::cout.clear();
    }

    std::streambuf* console = nullptr;
    loaded::plugin plugin;
    std::vector<std::vector<std::uint8_t>> frames;
};

}  // namespace

TEST_F(LongRun, AThousandObjectLifetimesLeaveResidentMemoryFlat) {
    // Still 900 x 12 KiB of training matrix, should a learner leak.
    std::ofstream("tracker.ini") << "nbtrack = 1\nplans = 100\nnbpoints = 16\niter = 1\n";
    const auto cycle = [&] {
        Interface* view = plugin.make();
        Select sel = synthetic::selection(circling(0));
        view->init(sel, frames[0].data(), kSide, kSide, 8);
        view->run(frames[1].data(), sel);
        view->kill();
        plugin.destroy(view);
    };
    for (int i = 0; i < 100; ++i) cycle();  // BLAS threads and allocator pools settle first
    const long before = residentBytes();
    for (int i = 0; i < 900; ++i) cycle();
    const long after = residentBytes();
    EXPECT_LT(after - before, 4l << 20) << before / 1024 << " KiB -> " << after / 1024 << " KiB";
}

TEST_F(LongRun, TenThousandFramesKeepMemoryFlatAndStayOnTheRegion) {
    Interface* view = plugin.make();
    Select sel = synthetic::selection(circling(0));
    view->init(sel, frames[0].data(), kSide, kSide, 8);
    long early = 0;
    for (int t = 1; t <= 10000; ++t) {
        view->run(frames[t % 40].data(), sel);
        if (t == 1000) early = residentBytes();
    }
    const long late = residentBytes();
    plugin.destroy(view);

    const auto truth = synthetic::truth(circling(10000));
    EXPECT_NEAR(sel.x1, truth[0], 1.5);
    EXPECT_NEAR(sel.y3, truth[5], 1.5);
    EXPECT_LT(late - early, 1l << 20) << early / 1024 << " KiB -> " << late / 1024 << " KiB";
}
