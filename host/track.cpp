#include "host/commands.hpp"
#include "host/csv.hpp"
#include "host/image_io.hpp"
#include "host/overlay.hpp"
#include "host/plugin.hpp"
#include "host/progress.hpp"
#include "host/score.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

namespace host {

const char* const kTrackHelp =
    R"(usage: quadtrack track --corners x1,y1,x2,y2,x3,y3,x4,y4 [OPTIONS] FRAME...
       quadtrack track --corners x1,y1,x2,y2,x3,y3,x4,y4 --size WxH [OPTIONS] -

Follows the region whose four corners are given on the first frame through the
following frames, in the order given, and writes one line of corners per frame.

Frames are image files (PGM, PNG, JPEG; colour is converted to grey), all of the
size of the first; or, with --size and the single FRAME "-", raw 8-bit grey
frames of W*H bytes one after the other on standard input.

Options:
  --corners LIST   the region on the first frame: 8 whole pixel coordinates,
                   corners in order around the region (x along a line, y down)
  --config FILE    tracker configuration (default: tracker.ini of the current
                   directory, else the plug-in's built-in defaults)
  --output FILE    write the table to FILE instead of standard output
  --overlay DIR    write each frame with the tracked region drawn, as
                   DIR/frame_00000.png, DIR/frame_00001.png, ...; on a lost
                   frame the corners held are dashed and labelled "lost"
  --size WxH       size of the raw frames read from standard input
  -h, --help       this text

Output: CSV with the header frame,x1,y1,x2,y2,x3,y3,x4,y4,score,status; frame 0
is the selection itself. status is "tracked", or "lost" when the plug-in lost
the region on that frame: the line then holds the corners of the last tracked
frame, from which the next frames are tracked. score is the zero-mean
normalised correlation between the region on frame 0 and the region of the
line on this frame: near 1 while the track holds, near 0 once it is lost. When
the table goes to standard output, the plug-in's own messages go to standard
error. At the end, standard error gets the number of frames tracked and lost
and of re-acquisitions (tracked frames right after a lost one).

Exit status: 0 on success, lost frames included; 1 when tracking fails (the
lines of the frames already tracked are kept); 2 for a command line that cannot
be understood.

Examples:
  quadtrack track --corners 120,80,200,82,198,160,118,158 frames/*.png > corners.csv
  ffmpeg -i clip.mp4 -f rawvideo -pix_fmt gray - |
    quadtrack track --size 640x480 --corners 120,80,200,82,198,160,118,158 -
)";

namespace {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // The next frame; false after the last.
    virtual bool next(GreyImage& frame) = 0;
    // Number of frames, 0 when unknown in advance.
    virtual long total() const = 0;
};

class FileFrames : public FrameSource {
public:
    // Checks every file's header first, so a missing file or a size change is reported before
    // the learning step rather than minutes into a long sequence.
    explicit FileFrames(const std::vector<std::string>& paths) : paths_(paths) {
        const Size first = probeImage(paths_[0]);
        for (std::size_t k = 1; k < paths_.size(); ++k) {
            const Size s = probeImage(paths_[k]);
            if (s.width != first.width || s.height != first.height)
                throw std::runtime_error(paths_[k] + ": frame " + std::to_string(k) + " is " + std::to_string(s.width) +
                                         "x" + std::to_string(s.height) + ", the first frame " +
                                         std::to_string(first.width) + "x" + std::to_string(first.height));
        }
    }
    bool next(GreyImage& frame) override {
        if (index_ >= paths_.size()) return false;
        frame = readImage(paths_[index_]);
        if (index_ > 0 && (frame.width != width_ || frame.height != height_))
            throw std::runtime_error(paths_[index_] + ": size differs from the first frame");
        width_ = frame.width;
        height_ = frame.height;
        ++index_;
        return true;
    }
    long total() const override { return long(paths_.size()); }

private:
    std::vector<std::string> paths_;
    std::size_t index_ = 0;
    int width_ = 0, height_ = 0;
};

// Windows opens standard input in text mode, which would drop bytes 13 and stop at byte 26.
std::FILE* binaryStandardInput() {
#ifdef _WIN32
    if (_setmode(_fileno(stdin), _O_BINARY) < 0) throw std::runtime_error("cannot read standard input as bytes");
#endif
    return stdin;
}

class RawFrames : public FrameSource {
public:
    explicit RawFrames(Size size) : reader_(binaryStandardInput(), "standard input", size) {}
    bool next(GreyImage& frame) override { return reader_.next(frame); }
    long total() const override { return 0; }

private:
    RawFrameReader reader_;
};

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The plug-in writes its timing lines to the process's standard output. When the table goes
// there, the table keeps the original stream and file descriptor 1 is pointed at standard
// error for the rest of the run, so no line of the plug-in can land in the table.
File openTable(const std::optional<std::string>& output) {
    if (output) {
        File f(std::fopen(output->c_str(), "w"), std::fclose);
        if (!f) throw std::runtime_error("cannot write " + *output + ": " + std::strerror(errno));
        return f;
    }
    std::cout.flush();
    std::fflush(stdout);
    const int table = dup(STDOUT_FILENO);
    if (table < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        throw std::runtime_error(std::string("cannot set up standard output: ") + std::strerror(errno));
    File f(fdopen(table, "w"), std::fclose);
    if (!f) throw std::runtime_error(std::string("cannot set up standard output: ") + std::strerror(errno));
    return f;
}

void writeLine(std::FILE* table, const std::string& line) {
    // Flushed line by line so that the frames already tracked survive a failure later on.
    if (std::fputs(line.c_str(), table) < 0 || std::fputc('\n', table) < 0 || std::fflush(table) != 0)
        throw std::runtime_error(std::string("cannot write the table: ") + std::strerror(errno));
}

std::string overlayPath(const std::string& dir, long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05ld.png", frame);
    return dir + name;
}

void writeOverlay(const std::optional<std::string>& dir, long frame, const GreyImage& image, const Quad& q,
                  bool lost) {
    if (!dir) return;
    RgbImage picture(image);
    if (lost)
        drawLostQuad(picture, q);
    else
        drawQuad(picture, q, kTrackedColour);
    writePng(overlayPath(*dir, frame), picture);
}

void report(const std::string& what) { std::cerr << "quadtrack: " << what << std::endl; }

std::string status(bool lost) { return lost ? ",lost" : ",tracked"; }

}  // namespace

int runTrack(const TrackOptions& o) {
    std::optional<std::string> config;
    if (o.config) config = readConfigFile(*o.config);

    std::unique_ptr<FrameSource> frames;
    if (o.size)
        frames = std::make_unique<RawFrames>(*o.size);
    else
        frames = std::make_unique<FileFrames>(o.frames);
    GreyImage first;
    if (!frames->next(first)) throw std::runtime_error("no frame on standard input");
    if (const auto problem = cornerProblem(o.corners, {first.width, first.height})) throw std::runtime_error(*problem);
    if (o.overlay) std::filesystem::create_directories(*o.overlay);

    File table = openTable(o.output);
    // Ended before the summary, so the plug-in's closing line comes first.
    std::optional<PluginTracker> tracker;
    tracker.emplace(defaultPluginPath(), config);
    try {
        tracker->init(first, o.corners);
    } catch (const std::exception& e) {
        report("the plug-in refused the first frame or the configuration:\n" + std::string(e.what()));
        return kExitFailure;
    }
    const RegionScore score(first, o.corners);
    writeLine(table.get(), kCsvHeader + ",status");
    writeLine(table.get(), csvRow(0, o.corners, 1.0) + status(false));
    writeOverlay(o.overlay, 0, first, o.corners, false);

    Progress progress("tracking", frames->total(), 1.0);
    long k = 1, lostFrames = 0, reacquired = 0;
    bool lost = false;
    for (GreyImage frame;; ++k) {
        try {
            if (!frames->next(frame)) break;
        } catch (const std::exception& e) {
            progress.finish(k - 1);
            report(std::string(e.what()) + "; the table holds frames 0 to " + std::to_string(k - 1));
            return kExitFailure;
        }
        Quad corners;
        const bool lostBefore = lost;
        lost = false;
        try {
            corners = tracker->run(frame);
        } catch (const RegionLost& e) {
            corners = e.held;
            lost = true;
        } catch (const std::exception& e) {
            progress.finish(k - 1);
            report("the plug-in failed on frame " + std::to_string(k) + "; the table holds frames 0 to " +
                   std::to_string(k - 1) + ":\n" + e.what());
            return kExitFailure;
        }
        if (lost)
            ++lostFrames;
        else if (lostBefore)
            ++reacquired;
        writeLine(table.get(), csvRow(k, corners, score(frame, corners)) + status(lost));
        writeOverlay(o.overlay, k, frame, corners, lost);
        progress.update(k, lostFrames);
    }
    progress.finish(k - 1);
    tracker.reset();
    if (std::fclose(table.release()) != 0)
        throw std::runtime_error(std::string("cannot write the table: ") + std::strerror(errno));
    std::fprintf(stderr, "frames tracked          %ld of %ld\n", k - 1 - lostFrames, k - 1);
    std::fprintf(stderr, "frames lost             %ld\n", lostFrames);
    std::fprintf(stderr, "re-acquisitions         %ld\n", reacquired);
    return kExitOk;
}

}  // namespace host
