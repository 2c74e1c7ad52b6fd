#include "host/image_io.hpp"

#include <stb_image.h>
#include <stb_image_write.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>

namespace host {

namespace {

// Far above any video frame, and small enough that width*height*2 never overflows.
constexpr long kMaxSide = 1 << 15;

[[noreturn]] void fail(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + ": " + why);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path, std::strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) fail(path, "read error");
    return bytes;
}

bool isPgm(const std::string& head) { return head.size() >= 2 && head[0] == 'P' && (head[1] == '2' || head[1] == '5'); }

// Netpbm header fields are decimal numbers separated by white space and "#" comments.
class PgmParser {
public:
    PgmParser(const std::string& path, const std::string& bytes) : path_(path), bytes_(bytes), pos_(2) {}

    long number() {
        for (;;) {
            while (pos_ < bytes_.size() && std::isspace(static_cast<unsigned char>(bytes_[pos_]))) ++pos_;
            if (pos_ < bytes_.size() && bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
                continue;
            }
            break;
        }
        if (pos_ >= bytes_.size() || !std::isdigit(static_cast<unsigned char>(bytes_[pos_])))
            fail(path_, "malformed PGM header");
        long v = 0;
        while (pos_ < bytes_.size() && std::isdigit(static_cast<unsigned char>(bytes_[pos_]))) {
            v = v * 10 + (bytes_[pos_++] - '0');
            if (v > 1'000'000) fail(path_, "PGM header value too large");
        }
        return v;
    }

    struct Header {
        long width, height, maxval;
    };

    Header header() {
        Header h{number(), number(), number()};
        if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide)
            fail(path_, "unsupported PGM size " + std::to_string(h.width) + "x" + std::to_string(h.height));
        if (h.maxval < 1 || h.maxval > 65535) fail(path_, "PGM maximum grey level out of range");
        return h;
    }

    GreyImage image() {
        const Header h = header();
        const bool plain = bytes_[1] == '2';
        GreyImage out(int(h.width), int(h.height));
        if (plain) {
            for (auto& p : out.pixels) p = scale(number(), h.maxval);
            return out;
        }
        if (pos_ >= bytes_.size() || !std::isspace(static_cast<unsigned char>(bytes_[pos_])))
            fail(path_, "malformed PGM header");
        ++pos_;
        const std::size_t depth = h.maxval > 255 ? 2 : 1;
        if (bytes_.size() - pos_ < out.pixels.size() * depth) fail(path_, "PGM data truncated");
        const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
        for (std::size_t i = 0; i < out.pixels.size(); ++i) {
            const long v = depth == 2 ? (long(data[2 * i]) << 8) | data[2 * i + 1] : long(data[i]);
            out.pixels[i] = scale(v, h.maxval);
        }
        return out;
    }

private:
    std::uint8_t scale(long v, long maxval) const {
        if (v > maxval) fail(path_, "PGM grey level above the maximum");
        return std::uint8_t((v * 255 + maxval / 2) / maxval);
    }

    const std::string& path_;
    const std::string& bytes_;
    std::size_t pos_;
};

void checkSide(const std::string& path, int w, int h) {
    if (w > kMaxSide || h > kMaxSide)
        fail(path, "image too large (" + std::to_string(w) + "x" + std::to_string(h) + ")");
}

}  // namespace

GreyImage readImage(const std::string& path) {
    const std::string bytes = readFile(path);
    if (isPgm(bytes)) return PgmParser(path, bytes).image();
    int w = 0, h = 0, channels = 0;
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    if (bytes.size() > std::size_t(std::numeric_limits<int>::max())) fail(path, "file too large");
    if (!stbi_info_from_memory(data, int(bytes.size()), &w, &h, &channels))
        fail(path, std::string("not a readable image (") + stbi_failure_reason() + ")");
    checkSide(path, w, h);
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(data, int(bytes.size()), &w, &h, &channels, 1), stbi_image_free);
    if (!pixels) fail(path, std::string("cannot decode (") + stbi_failure_reason() + ")");
    GreyImage out(w, h);
    std::memcpy(out.pixels.data(), pixels.get(), out.pixels.size());
    return out;
}

Size probeImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path, std::strerror(errno));
    // Enough for any PGM header and for stb to find the size of PNG and JPEG files.
    std::string head(1 << 16, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(in.gcount()));
    if (isPgm(head)) {
        const auto h = PgmParser(path, head).header();
        return {int(h.width), int(h.height)};
    }
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(head.data()), int(head.size()), &w, &h, &channels)) {
        // Some JPEG files put their size after more metadata than the head holds.
        const GreyImage whole = readImage(path);
        return {whole.width, whole.height};
    }
    checkSide(path, w, h);
    return {w, h};
}

void writePng(const std::string& path, const RgbImage& image) {
    if (!stbi_write_png(path.c_str(), image.width, image.height, 3, image.pixels.data(), image.width * 3))
        fail(path, "cannot write PNG");
}

void writePgm(const std::string& path, const GreyImage& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << image.width << ' ' << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()), std::streamsize(image.pixels.size()));
    if (!out) fail(path, "cannot write PGM");
}

bool RawFrameReader::next(GreyImage& frame) {
    frame = GreyImage(size_.width, size_.height);
    const std::size_t got = std::fread(frame.pixels.data(), 1, frame.pixels.size(), stream_);
    if (got == frame.pixels.size()) {
        ++frames_;
        return true;
    }
    if (std::ferror(stream_)) fail(name_, std::strerror(errno));
    if (got == 0) return false;
    fail(name_, "frame " + std::to_string(frames_) + " cut short: " + std::to_string(got) + " of " +
                               std::to_string(frame.pixels.size()) + " bytes");
}

}  // namespace host
