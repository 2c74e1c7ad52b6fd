// The tracking object on small configurations with the extension keys set or left out, corners
// anywhere in the 32-bit range (steered to 0, 2^31 and 2^32, one-pixel and huge regions), frames
// of at most 24 x 24 pixels on which the region may be hidden or gone, and call sequences.
// Refusals are the toolkit's exception; anything else escaping, or a failed run that moved the
// corners, is a finding.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mlx/random/rand.hpp"
#include "mlx/tool/exception.hpp"
#include "tracker/interface.hpp"

namespace {

// Texts that are not numbers, beyond every limit, or read by their prefix ("3.9" is 3 for a count).
const char* const kOdd[] = {"", "-1", "0", "4294967295", "4294967296", "99999999999999999999", "1e308", "-1e308",
                            "nan", "inf", "-inf", "1e-320", "0x10", "abc", " 7 x", "\xff\xfe", "2e9", "-0", "1e-9",
                            "+3", "3.9", "#", "= ="};

struct reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint32_t word() {
        std::uint32_t w = 0;
        for (int k = 0; k < 4; ++k) w = w << 8 | byte();
        return w;
    }
};

// The text of a key from b: mostly one of `count` small values (times scale), which keeps every
// model to a few perturbations, points and levels; else an odd text, or the key's first value
// above its limit.
std::string setting(std::uint8_t b, unsigned count, double scale, const char* aboveLimit = nullptr) {
    if (b < 224) {
        std::ostringstream text;
        text << b % count * scale;
        return text.str();
    }
    if (b == 255 && aboveLimit != nullptr) return aboveLimit;
    return kOdd[(b - 224) % (sizeof kOdd / sizeof *kOdd)];
}

std::uint32_t wrapped(std::int64_t v) { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)); }

// Eight coordinates, drawn in one of four ways.
Select selection(reader& in) {
    std::uint32_t v[8];
    const std::uint8_t shape = in.byte();
    switch (shape % 4) {
    case 0:  // around the frame, negatives as their wrap near 2^32
        for (auto& x : v) x = wrapped(static_cast<std::int8_t>(in.byte()));
        break;
    case 1:  // near 0, 2^31 and 2^32
        for (auto& x : v) {
            const std::uint8_t b = in.byte();
            x = wrapped((b & 0x80 ? std::int64_t{1} << 31 : 0) + (b & 0x7f) - 64);
        }
        break;
    case 2: {  // a rectangle of 1 to 2^31 pixels a side, its corners in any order
        const std::int64_t x = static_cast<std::int8_t>(in.byte()), y = static_cast<std::int8_t>(in.byte());
        const std::int64_t w = std::int64_t{1} << in.byte() % 32, h = std::int64_t{1} << in.byte() % 32;
        const std::int64_t corners[4][2] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
        int order[4] = {0, 1, 2, 3};
        for (int k = in.byte() % 24; k > 0; --k) std::next_permutation(order, order + 4);
        for (int j = 0; j < 4; ++j) {
            v[2 * j] = wrapped(corners[order[j]][0]);
            v[2 * j + 1] = wrapped(corners[order[j]][1]);
        }
        break;
    }
    default:  // anywhere
        for (auto& x : v) x = in.word();
        break;
    }
    return Select{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

// The extension keys: a few sane values each, and an extreme or out-of-limit text.
struct extensionKey {
    const char* name;
    unsigned count;
    double scale;
    const char* extreme;
};
const extensionKey kExtensions[] = {
    {"extensions", 2, 1, nullptr}, {"predict", 5, 0.25, "1.5"}, {"lost", 6, 0.2, "1.01"},
    {"robust", 5, 1, nullptr},     {"sensor", 4, 8, "1e308"},   {"clipping", 2, 1, nullptr},
    {"occlusion", 5, 1, "1e308"},  {"binning", 5, 1, "1e308"},  {"settle", 12, 1, "1001"},
};

// What a frame shows, from two bytes: the texture, or the region hidden (a constant level, noise)
// or gone (the texture shifted by up to 22 pixels each way, black where nothing is shifted in).
void stage(std::vector<std::uint8_t>& image, std::uint32_t width, std::uint8_t scene, std::uint8_t param) {
    switch (scene % 5) {
    case 2:
        std::fill(image.begin(), image.end(), param);
        break;
    case 3: {
        std::uint32_t state = param * 2654435761u + 1;
        for (auto& p : image) {
            state = state * 1664525u + 1013904223u;
            p = static_cast<std::uint8_t>(state >> 24);
        }
        break;
    }
    case 4: {
        const long dx = (param & 15) * 3 - 22, dy = (param >> 4) * 3 - 22;
        const long w = width, h = long(image.size() / width);
        std::vector<std::uint8_t> shifted(image.size(), 0);
        for (long y = std::max(0L, dy); y < std::min(h, h + dy); ++y)
            for (long x = std::max(0L, dx); x < std::min(w, w + dx); ++x)
                shifted[std::size_t(y * w + x)] = image[std::size_t((y - dy) * w + x - dx)];
        image.swap(shifted);
        break;
    }
    default:
        break;
    }
}

// A run that fails must leave the host's corners as they were: that is how a host holds them.
void run(track::trackview& view, const std::vector<std::uint8_t>& image, Select& sel) {
    const Select before = sel;
    try {
        view.run(image.data(), sel);
    } catch (const mlx::tool::generalException&) {
        if (std::memcmp(&before, &sel, sizeof sel) != 0) std::abort();
        throw;
    }
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
    // Each input learns as in a fresh process, so a finding replays on its own.
    mlx::atom::Randomizer::LocalRndDevice().seed();
    reader in{data, size};
    static const char* const methods[] = {"jd", "jdk", "rvm", "JDK "};
    const std::uint8_t method = in.byte() % 4;
    // Each basis function of the relevance vector machine costs a polynomial root search per
    // iteration and level, so its models are smaller still.
    const bool rvm = method == 2;
    std::ostringstream ini;
    ini << "tracker = " << methods[method] << '\n';
    ini << "iter = " << setting(in.byte(), 4, 1, "1001") << '\n';
    ini << "nbtrack = " << setting(in.byte(), rvm ? 2 : 3, 1, "33") << '\n';
    ini << "noise = " << setting(in.byte(), 16, 0.05) << '\n';
    ini << "plans = " << setting(in.byte(), rvm ? 4 : 8, 1, "100001") << '\n';
    ini << "nbpoints = " << setting(in.byte(), 26, 1, "1000001") << '\n';
    ini << "width0 = " << setting(in.byte(), 64, 0.125) << '\n';
    ini << "M = " << setting(in.byte(), 5, 1) << '\n';
    ini << "max_iter = " << setting(in.byte(), 3, 1, "10001") << '\n';

    Select sel = selection(in);
    const std::uint32_t width = in.byte() % 24 + 1, height = in.byte() % 24 + 1, depth = 8;
    std::uint8_t ops[6], scenes[6][2];
    for (auto& op : ops) op = in.byte();
    // After the bytes above, which keep their meaning for the inputs found before these keys.
    for (const extensionKey& k : kExtensions) {
        const std::uint8_t b = in.byte();
        if (b >= 32) ini << k.name << " = " << setting(b, k.count, k.scale, k.extreme) << '\n';
    }
    for (auto& scene : scenes)
        for (auto& b : scene) b = in.byte();
    std::ofstream("tracker.ini", std::ios::binary | std::ios::trunc) << ini.str();

    // Frame f: the remaining bytes from offset f, cycled (a gradient when there are none), staged.
    const std::size_t pixels = width * height;
    const auto frame = [&](std::size_t f) {
        std::vector<std::uint8_t> image(pixels);
        for (std::size_t p = 0; p < pixels; ++p)
            image[p] = in.at < size ? data[in.at + (p + f) % (size - in.at)] : static_cast<std::uint8_t>(p * 7 + f);
        stage(image, width, scenes[f][0], scenes[f][1]);
        return image;
    };

    // Learning is most of the cost: two init calls show a second one replacing the first, the
    // other methods show it for the relevance vector machine.
    track::trackview view;
    int inits = 0;
    for (std::size_t k = 0; k < sizeof ops; ++k) {
        try {
            if (ops[k] % 4 == 3)
                view.kill();
            else if (ops[k] % 4 != 0)
                run(view, frame(k), sel);
            else if (inits++ < (rvm ? 1 : 2))
                view.init(sel, frame(k).data(), width, height, depth);
        } catch (const mlx::tool::generalException&) {
        }
    }
    return 0;
}
