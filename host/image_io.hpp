// Frames from files and streams, pictures to PNG. Every failure throws std::runtime_error whose
// message names the file and the reason.
#ifndef QUADTRACK_HOST_IMAGE_IO_HPP
#define QUADTRACK_HOST_IMAGE_IO_HPP

#include "host/image.hpp"

#include <cstdio>
#include <string>
#include <utility>

namespace host {

// Reads a PGM (binary or plain, up to 16 bits) or any picture stb reads (PNG, JPEG, ...) as grey
// levels; colour becomes grey with stb's luma weights, deeper PGM levels are rescaled to 0..255.
GreyImage readImage(const std::string& path);

struct Size {
    int width = 0;
    int height = 0;
};

// Width and height from the file's header alone.
Size probeImage(const std::string& path);

void writePng(const std::string& path, const RgbImage& image);
void writePgm(const std::string& path, const GreyImage& image);

// Frames of width*height bytes one after the other, such as a decoder's raw grey output.
class RawFrameReader {
public:
    RawFrameReader(std::FILE* stream, std::string name, Size size)
        : stream_(stream), name_(std::move(name)), size_(size) {}
    // The next frame; false at the end of the stream. A frame cut short throws.
    bool next(GreyImage& frame);

private:
    std::FILE* stream_;
    std::string name_;
    Size size_;
    long frames_ = 0;
};

}  // namespace host

#endif
