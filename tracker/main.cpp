// The plug-in's two exported entry points; everything else stays hidden.
#include <exception>
#include <iostream>

#include "tracker/interface.hpp"

namespace {

#ifdef _WIN32
// A host built with another compiler cannot catch this library's C++ exceptions, and on 32-bit
// Windows no other module can (each carries its own unwinder), so the report is written to
// standard error before the exception leaves: whatever becomes of it, the reason is shown.
class ReportingView final : public track::trackview {
public:
    void init(const Select& sel, const unsigned char* image, const std::uint32_t& width, const std::uint32_t& height,
              const std::uint32_t& depth) override {
        reported([&] { trackview::init(sel, image, width, height, depth); });
    }
    void run(const unsigned char* image, Select& sel) override {
        reported([&] { trackview::run(image, sel); });
    }

private:
    template <class Call>
    static void reported(Call call) {
        try {
            call();
        } catch (const std::exception& e) {
            std::cerr << e.what() << std::endl;
            throw;
        }
    }
};
using View = ReportingView;
#else
using View = track::trackview;
#endif

}  // namespace

extern "C" {

// A C entry point lets no exception out: a host of any language can call it.
QUADTRACK_API void CreateCompute(Interface** out) {
    if (out == nullptr) return;
    *out = nullptr;
    try {
        *out = new View();
    } catch (const std::exception& e) {
        std::cerr << "CreateCompute: " << e.what() << std::endl;
    }
}

QUADTRACK_API void DestroyCompute(Interface* p) {
    if (p == nullptr) return;
    p->kill();
    delete p;
}
}
