// The per-frame path of every method allocates nothing once its scratch matrices have their
// sizes: counts every global operator new of the test program during tracked frames.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "fixtures.hpp"
#include "tracker/trackDhome.hpp"
#include "tracker/trackRVM.hpp"
#include "tracker/trackjdk.hpp"

namespace {
std::atomic<long> g_allocations{0};

void* counted(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void* counted_aligned(std::size_t n, std::align_val_t a) {
    ++g_allocations;
    const std::size_t al = static_cast<std::size_t>(a);
    const std::size_t size = (n + al - 1) / al * al;
    if (void* p = std::aligned_alloc(al, size == 0 ? al : size)) return p;
    throw std::bad_alloc();
}

// Allocations made by the second and third frames, after a first frame has sized the scratch.
template <class Tracker>
long allocationsOfLaterFrames(const std::string& method) {
    const auto first = fixtures::frame(0);
    const auto second = fixtures::frame(2);
    const auto third = fixtures::frame(4);
    testing::internal::CaptureStdout();
    long during = -1;
    {
        Tracker t(fixtures::corners(0),
                  fixtures::config("tracker = " + method + "\nnbtrack = 2\nplans = 120\nnbpoints = 100\nM = 30\n"
                                   "max_iter = 6\n"),
                  first);
        t.run(first);
        const long before = g_allocations.load();
        t.run(second);
        t.run(third);
        during = g_allocations.load() - before;
    }
    testing::internal::GetCapturedStdout();
    return during;
}
}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void* operator new(std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

TEST(StepAllocation, TrackingAFrameAllocatesNothingOnceTheScratchIsSizedForEveryMethod) {
    EXPECT_EQ(allocationsOfLaterFrames<track::trackDhome>("jd"), 0);
    EXPECT_EQ(allocationsOfLaterFrames<track::trackjdk>("jdk"), 0);
    EXPECT_EQ(allocationsOfLaterFrames<track::trackRVM>("rvm"), 0);
}
