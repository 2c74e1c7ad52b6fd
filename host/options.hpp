// Command lines of the host's subcommands.
#ifndef QUADTRACK_HOST_OPTIONS_HPP
#define QUADTRACK_HOST_OPTIONS_HPP

#include "host/geometry.hpp"
#include "host/image_io.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// A command line that cannot be understood, as opposed to a failure while running.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TrackOptions {
    bool help = false;
    Quad corners{};
    std::optional<std::string> config;
    std::optional<std::string> output;
    std::optional<std::string> overlay;
    // Set for raw frames on standard input, whose only FRAME is "-".
    std::optional<Size> size;
    std::vector<std::string> frames;
};

struct DemoOptions {
    bool help = false;
    std::optional<std::string> config;
    std::string output = "out/demo";
    int frames = 300;
};

// Options take their value as the next argument or after "="; "--" ends the options.
// Throw UsageError naming the offending argument.
TrackOptions parseTrackOptions(const std::vector<std::string>& args);
DemoOptions parseDemoOptions(const std::vector<std::string>& args);

// "x1,y1,x2,y2,x3,y3,x4,y4": exactly eight whole, non-negative pixel coordinates.
Quad parseCorners(const std::string& text);
// "WxH", both from 1 to 32768.
Size parseSize(const std::string& text);

// Why the corners cannot start tracking on a frame of this size, or nothing when they can:
// every corner must lie on the frame and the four must go around a convex region.
std::optional<std::string> cornerProblem(const Quad& corners, Size frame);

}  // namespace host

#endif
