// Public interface of the quadtrack plug-in. A host compiles against this header alone and
// loads the shared library at run time (dlopen/LoadLibrary), looking up the two entry points.
#ifndef QUADTRACK_H
#define QUADTRACK_H

#include <cstdint>

#if defined(_WIN32)
#  if defined(QUADTRACK_BUILDING_PLUGIN)
#    define QUADTRACK_API __declspec(dllexport)
#  else
#    define QUADTRACK_API __declspec(dllimport)
#  endif
#else
#  define QUADTRACK_API __attribute__((visibility("default")))
#endif

// Four corners of the tracked region in pixels, 0-based: x along an image line, y the line
// number. Corners 1 to 4 go around the region; run() writes the tracked corners back in place.
struct Select {
    std::uint32_t x1, y1;
    std::uint32_t x2, y2;
    std::uint32_t x3, y3;
    std::uint32_t x4, y4;
};

// A tracking object. Images are width x height bytes, one grey level per byte, lines stored one
// after the other (byte x + width*y is pixel (x, y)); they are only read during the call.
// Errors are thrown as std::exception whose what() is the multi-line report of the library.
class Interface {
public:
    // Learns the region of sel on the first frame. A second init replaces the previous tracker.
    virtual void init(const Select& sel, const unsigned char* image, const std::uint32_t& width,
                      const std::uint32_t& height, const std::uint32_t& depth) = 0;
    // Tracks one frame of the size given to init and overwrites sel with the new corners.
    virtual void run(const unsigned char* image, Select& sel) = 0;
    // Ends tracking; prints the average time per frame. Safe to call more than once.
    virtual void kill() = 0;
    virtual ~Interface() {}
};

extern "C" {
// Stores a new tracking object in *out. It reads "tracker.ini" from the current directory.
QUADTRACK_API void CreateCompute(Interface** out);
// Calls kill() on p, then destroys it.
QUADTRACK_API void DestroyCompute(Interface* p);
}

#endif
