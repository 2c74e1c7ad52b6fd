// The tracking object on arbitrary configurations, corners, frames of at most 24 x 24 pixels and
// call sequences. Refusals are the toolkit's exception; anything else escaping is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "mlx/tool/exception.hpp"
#include "tracker/interface.hpp"

namespace {

// Texts beyond the limits or not numbers at all; values the limits accept stay small so that
// every input runs in milliseconds.
const char* const kExtremes[] = {"",      "-1",         "0",     "4294967295", "4294967296", "99999999999999999999",
                                 "1e308", "-1e308",     "nan",   "inf",        "-inf",       "1e-320",
                                 "0x10",  "abc",        " 7 x",  "100001",     "1000001",    "11586",
                                 "10001", "1001",       "33",    "\xff\xfe",   "2e9",        "-0",
                                 "1e-9",  "4000000000", "200000", "+3",         "3.9",        "1e5",
                                 "#",     "= ="};

struct reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
};

// A small value of the key from b, or one of the extremes.
std::string setting(std::uint8_t b, unsigned modulus, double scale) {
    if (b >= 224) return kExtremes[(b - 224) % (sizeof kExtremes / sizeof *kExtremes)];
    return std::to_string(static_cast<double>(b % modulus) * scale);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/plugin_fuzz_XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reader in{data, size};
    static const char* const methods[] = {"jd", "jdk", "rvm", "JDK "};
    {
        std::ofstream ini("tracker.ini", std::ios::binary | std::ios::trunc);
        ini << "tracker = " << methods[in.byte() % 4] << '\n';
        ini << "iter = " << setting(in.byte(), 4, 1) << '\n';
        ini << "nbtrack = " << setting(in.byte(), 4, 1) << '\n';
        ini << "noise = " << setting(in.byte(), 16, 0.05) << '\n';
        ini << "plans = " << setting(in.byte(), 40, 1) << '\n';
        ini << "nbpoints = " << setting(in.byte(), 50, 1) << '\n';
        ini << "width0 = " << setting(in.byte(), 64, 0.125) << '\n';
        ini << "M = " << setting(in.byte(), 20, 1) << '\n';
        ini << "max_iter = " << setting(in.byte(), 10, 1) << '\n';
    }

    Select sel{};
    std::uint32_t* fields[8] = {&sel.x1, &sel.y1, &sel.x2, &sel.y2, &sel.x3, &sel.y3, &sel.x4, &sel.y4};
    const std::uint8_t far = in.byte();
    for (int k = 0; k < 8; ++k) {
        const auto v = static_cast<std::int16_t>(in.byte() | in.byte() << 8);
        const std::int64_t scaled = (far >> (k % 8) & 1) ? static_cast<std::int64_t>(v) * 65536 : v;
        *fields[k] = static_cast<std::uint32_t>(scaled);
    }
    const std::uint32_t width = in.byte() % 24 + 1, height = in.byte() % 24 + 1, depth = 8;
    std::uint8_t ops[6];
    for (auto& op : ops) op = in.byte();

    // Frame f: the remaining bytes from offset f, cycled; a gradient when there are none.
    const std::size_t pixels = width * height;
    const auto frame = [&](std::size_t f) {
        std::vector<std::uint8_t> image(pixels);
        for (std::size_t p = 0; p < pixels; ++p)
            image[p] = in.at < size ? data[in.at + (p + f) % (size - in.at)] : static_cast<std::uint8_t>(p * 7 + f);
        return image;
    };

    track::trackview view;
    for (std::size_t k = 0; k < sizeof ops; ++k) {
        try {
            switch (ops[k] % 4) {
            case 0:
                view.init(sel, frame(k).data(), width, height, depth);
                break;
            case 1:
            case 2:
                view.run(frame(k).data(), sel);
                break;
            case 3:
                view.kill();
                break;
            }
        } catch (const mlx::tool::generalException&) {
        }
    }
    return 0;
}
