// The plug-in as a third-party host sees it: a shared library found at run time and driven
// through the public header alone.
#ifndef QUADTRACK_HOST_PLUGIN_HPP
#define QUADTRACK_HOST_PLUGIN_HPP

#include "host/geometry.hpp"
#include "host/image.hpp"
#include "tracker/quadtrack.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace host {

#ifdef _WIN32
inline constexpr const char* kPluginFileName = "quadtrack.dll";
#else
inline constexpr const char* kPluginFileName = "libquadtrack.so";
#endif

// $QUADTRACK_PLUGIN when set, else the plug-in beside the running executable.
std::string defaultPluginPath();

// The whole text of a configuration file; throws std::runtime_error when it cannot be read.
std::string readConfigFile(const std::string& path);
// The method a configuration selects, for display: the last "tracker" line's value, lower-cased;
// "jd" when absent or unknown, as the plug-in decides.
std::string configuredMethod(const std::string& config);

// Whole-pixel corners for the plug-in; the corners must be non-negative integers.
Select toSelect(const Quad& q);
// The plug-in truncates estimates into unsigned fields, so a corner just past the left or top
// border comes back as 2^32 minus a little: the fields are read as two's complement.
Quad toQuad(const Select& s);

// The plug-in's report that it lost the region on a frame: the frame is not tracked, and the
// corners held are those of the last tracked frame (or the selection).
class RegionLost : public std::runtime_error {
public:
    RegionLost(const std::string& report, const Quad& corners) : std::runtime_error(report), held(corners) {}
    Quad held;
};

// One tracking object of a loaded plug-in. Errors of the plug-in propagate as thrown; failures
// to load throw std::runtime_error.
class PluginTracker {
public:
    // With a configuration text, the object reads that text as its "tracker.ini" (it is written
    // to a private temporary directory for the moment of construction); without, the object
    // reads "tracker.ini" of the current directory as usual.
    PluginTracker(const std::string& libraryPath, const std::optional<std::string>& config);
    ~PluginTracker();
    PluginTracker(const PluginTracker&) = delete;
    PluginTracker& operator=(const PluginTracker&) = delete;

    void init(const GreyImage& frame, const Quad& corners);
    // Frames must have the size of the first; checked here since the plug-in does not. A lost
    // region throws RegionLost.
    Quad run(const GreyImage& frame);

private:
    void* library_ = nullptr;
    Interface* object_ = nullptr;
    void (*destroy_)(Interface*) = nullptr;
    // The plug-in writes here only on a tracked frame, so it holds the last tracked corners.
    Select held_{};
    int width_ = 0;
    int height_ = 0;
};

}  // namespace host

#endif
