#include "host/options.hpp"

#include <charconv>

namespace host {

namespace {

constexpr long kMaxSide = 1 << 15;

long parseWhole(const std::string& text, long max, const std::string& what) {
    long v = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v < 0 || v > max)
        throw UsageError(what + ": \"" + text + "\" is not a whole number from 0 to " + std::to_string(max));
    return v;
}

// Walks argv, handing "--name value" and "--name=value" alike to the caller.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string>& args) : args_(args) {}

    bool done() const { return i_ >= args_.size(); }
    const std::string& peek() const { return args_[i_]; }
    std::string take() { return args_[i_++]; }

    // If the current argument is option name, consumes it with its value.
    bool option(const std::string& name, std::string& value) {
        const std::string& a = args_[i_];
        if (a == name) {
            if (i_ + 1 >= args_.size()) throw UsageError(name + " needs a value");
            value = args_[i_ + 1];
            i_ += 2;
            return true;
        }
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
            value = a.substr(name.size() + 1);
            ++i_;
            return true;
        }
        return false;
    }

private:
    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
};

bool isOption(const std::string& a) { return a.size() > 1 && a[0] == '-'; }

}  // namespace

Quad parseCorners(const std::string& text) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() != 8)
        throw UsageError("--corners needs eight numbers x1,y1,x2,y2,x3,y3,x4,y4, got " + std::to_string(fields.size()));
    Quad q;
    for (int c = 0; c < 4; ++c)
        q[c] = {double(parseWhole(fields[2 * c], kMaxSide, "--corners")),
                double(parseWhole(fields[2 * c + 1], kMaxSide, "--corners"))};
    return q;
}

Size parseSize(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) throw UsageError("--size: \"" + text + "\" is not WIDTHxHEIGHT");
    const Size s{int(parseWhole(text.substr(0, x), kMaxSide, "--size")),
                 int(parseWhole(text.substr(x + 1), kMaxSide, "--size"))};
    if (s.width < 1 || s.height < 1) throw UsageError("--size: frames need at least one pixel");
    return s;
}

TrackOptions parseTrackOptions(const std::vector<std::string>& args) {
    TrackOptions o;
    Arguments a(args);
    bool hasCorners = false, optionsEnded = false;
    std::string value;
    while (!a.done()) {
        if (optionsEnded || !isOption(a.peek())) {
            o.frames.push_back(a.take());
        } else if (a.peek() == "--") {
            a.take();
            optionsEnded = true;
        } else if (a.peek() == "--help" || a.peek() == "-h") {
            a.take();
            o.help = true;
        } else if (a.option("--corners", value)) {
            o.corners = parseCorners(value);
            hasCorners = true;
        } else if (a.option("--config", value)) {
            o.config = value;
        } else if (a.option("--output", value)) {
            o.output = value;
        } else if (a.option("--overlay", value)) {
            o.overlay = value;
        } else if (a.option("--size", value)) {
            o.size = parseSize(value);
        } else {
            throw UsageError("unknown option " + a.peek());
        }
    }
    if (o.help) return o;
    if (!hasCorners) throw UsageError("--corners is required");
    if (o.frames.empty()) throw UsageError("no FRAME given");
    const bool stdinFrames = o.frames.size() == 1 && o.frames[0] == "-";
    if (o.size && !stdinFrames) throw UsageError("--size reads raw frames from standard input: give \"-\" as the only FRAME");
    if (!o.size && stdinFrames) throw UsageError("raw frames on standard input (\"-\") need --size WIDTHxHEIGHT");
    for (const auto& f : o.frames)
        if (f == "-" && !stdinFrames) throw UsageError("\"-\" (standard input) must be the only FRAME");
    return o;
}

DemoOptions parseDemoOptions(const std::vector<std::string>& args) {
    DemoOptions o;
    Arguments a(args);
    std::string value;
    while (!a.done()) {
        if (a.peek() == "--help" || a.peek() == "-h") {
            a.take();
            o.help = true;
        } else if (a.option("--config", value)) {
            o.config = value;
        } else if (a.option("--output", value)) {
            if (value.empty()) throw UsageError("--output needs a directory");
            o.output = value;
        } else if (a.option("--frames", value)) {
            o.frames = int(parseWhole(value, 100000, "--frames"));
            if (o.frames < 2) throw UsageError("--frames: the demo needs at least 2 frames");
        } else {
            throw UsageError("unexpected argument " + a.peek());
        }
    }
    return o;
}

std::optional<std::string> cornerProblem(const Quad& corners, Size frame) {
    for (int c = 0; c < 4; ++c)
        if (corners[c].x >= frame.width || corners[c].y >= frame.height)
            return "corner " + std::to_string(c + 1) + " (" + std::to_string(long(corners[c].x)) + "," +
                   std::to_string(long(corners[c].y)) + ") lies outside the " + std::to_string(frame.width) + "x" +
                   std::to_string(frame.height) + " frame";
    if (!isConvex(corners))
        return "the corners must go around a convex region with non-zero area, listed in order around it";
    return std::nullopt;
}

}  // namespace host
