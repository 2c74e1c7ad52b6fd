#include "host/plugin.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace host {

namespace {

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Runs make() inside a fresh directory holding config as "tracker.ini", then returns to the
// directory the process was in and removes the temporary one, whatever make() did.
template <class Make>
void withConfig(const std::string& config, Make make) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quadtrack-XXXXXX";
    if (!mkdtemp(dir.data())) throw systemError("cannot create a temporary directory in " + dir);
    const std::string file = dir + "/tracker.ini";
    struct Cleanup {
        std::string dir, file;
        int cwd = -1;
        ~Cleanup() {
            if (cwd >= 0) {
                if (fchdir(cwd) != 0) std::abort();  // every relative path of the host would be wrong
                close(cwd);
            }
            std::remove(file.c_str());
            rmdir(dir.c_str());
        }
    } cleanup{dir, file};
    {
        std::ofstream out(file, std::ios::binary);
        out << config;
        if (!out.flush()) throw systemError("cannot write " + file);
    }
    cleanup.cwd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (cleanup.cwd < 0) throw systemError("cannot open the current directory");
    if (chdir(dir.c_str()) != 0) throw systemError("cannot enter " + dir);
    make();
}

}  // namespace

std::string defaultPluginPath() {
    if (const char* env = std::getenv("QUADTRACK_PLUGIN"); env && *env) return env;
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    if (n <= 0 || std::size_t(n) >= exe.size()) throw systemError("cannot locate the quadtrack executable");
    exe.resize(std::size_t(n));
    return exe.substr(0, exe.rfind('/') + 1) + "libquadtrack.so";
}

std::string readConfigFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw systemError("cannot read the configuration " + path);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) throw systemError("cannot read the configuration " + path);
    return text;
}

std::string configuredMethod(const std::string& config) {
    std::string method = "jd";
    std::istringstream lines(config);
    std::string line;
    auto trim = [](std::string s) {
        const char* blanks = " \t\r\n\v\f";
        const auto first = s.find_first_not_of(blanks);
        if (first == std::string::npos) return std::string();
        return s.substr(first, s.find_last_not_of(blanks) - first + 1);
    };
    while (std::getline(lines, line)) {
        const std::string text = line.substr(0, line.find('#'));
        const auto eq = text.find('=');
        if (eq == std::string::npos || trim(text.substr(0, eq)) != "tracker") continue;
        std::string value = trim(text.substr(eq + 1, text.find('=', eq + 1) - eq - 1));
        for (char& c : value) c = char(std::tolower(static_cast<unsigned char>(c)));
        method = value == "jdk" || value == "rvm" ? value : "jd";
    }
    return method;
}

Select toSelect(const Quad& q) {
    auto field = [](double v) { return std::uint32_t(v); };
    return {field(q[0].x), field(q[0].y), field(q[1].x), field(q[1].y),
            field(q[2].x), field(q[2].y), field(q[3].x), field(q[3].y)};
}

Quad toQuad(const Select& s) {
    auto coordinate = [](std::uint32_t v) { return double(v < 0x80000000u ? std::int64_t(v) : std::int64_t(v) - (std::int64_t(1) << 32)); };
    return {Point{coordinate(s.x1), coordinate(s.y1)}, Point{coordinate(s.x2), coordinate(s.y2)},
            Point{coordinate(s.x3), coordinate(s.y3)}, Point{coordinate(s.x4), coordinate(s.y4)}};
}

PluginTracker::PluginTracker(const std::string& libraryPath, const std::optional<std::string>& config) {
    library_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
    using Create = void (*)(Interface**);
    auto create = reinterpret_cast<Create>(dlsym(library_, "CreateCompute"));
    destroy_ = reinterpret_cast<void (*)(Interface*)>(dlsym(library_, "DestroyCompute"));
    if (!create || !destroy_) {
        dlclose(library_);
        throw std::runtime_error(libraryPath + " is not a quadtrack plug-in (CreateCompute or DestroyCompute missing)");
    }
    try {
        if (config)
            withConfig(*config, [&] { create(&object_); });
        else
            create(&object_);
        if (!object_) throw std::runtime_error("the plug-in created no tracking object");
    } catch (...) {
        if (object_) destroy_(object_);
        dlclose(library_);
        throw;
    }
}

PluginTracker::~PluginTracker() {
    destroy_(object_);
    dlclose(library_);
}

void PluginTracker::init(const GreyImage& frame, const Quad& corners) {
    width_ = frame.width;
    height_ = frame.height;
    const std::uint32_t w = std::uint32_t(frame.width), h = std::uint32_t(frame.height);
    const std::uint32_t depth = 1;  // bytes per pixel; the plug-in only records it
    object_->init(toSelect(corners), frame.pixels.data(), w, h, depth);
}

Quad PluginTracker::run(const GreyImage& frame) {
    if (frame.width != width_ || frame.height != height_)
        throw std::runtime_error("frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                                 " after a first frame of " + std::to_string(width_) + "x" + std::to_string(height_));
    Select s{};
    object_->run(frame.pixels.data(), s);
    return toQuad(s);
}

}  // namespace host
