#include "host/plugin.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#endif

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

#ifdef _WIN32
std::runtime_error windowsError(const std::string& what) {
    return std::runtime_error(what + " (Windows error " + std::to_string(GetLastError()) + ")");
}

void* openLibrary(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
std::string openError(const std::string& path) { return windowsError(path).what(); }
template <class Function>
Function entryPoint(void* library, const char* name) {
    // Through the generic function type: GetProcAddress returns a function of another signature.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(library), name)));
}
void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string makeTemporaryDirectory() {
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > MAX_PATH) throw windowsError("cannot find the temporary directory");
    for (unsigned attempt = 0;; ++attempt) {
        const std::string dir = std::string(base) + "quadtrack-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount64()) + "-" + std::to_string(attempt);
        if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
        if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100)
            throw windowsError("cannot create a temporary directory in " + std::string(base));
    }
}

// The directory the process was in, to return to.
class SavedDirectory {
public:
    SavedDirectory() {
        const DWORD n = GetCurrentDirectoryA(0, nullptr);
        path_.resize(n);
        if (n == 0 || GetCurrentDirectoryA(n, path_.data()) != n - 1) throw windowsError("cannot read the current directory");
        path_.resize(n - 1);
    }
    void restore() const {
        if (!SetCurrentDirectoryA(path_.c_str())) std::abort();  // every relative path of the host would be wrong
    }

private:
    std::string path_;
};
bool enter(const std::string& dir) { return SetCurrentDirectoryA(dir.c_str()); }
void removeDirectory(const std::string& dir) { RemoveDirectoryA(dir.c_str()); }
#else
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
std::string openError(const std::string&) { return dlerror(); }
template <class Function>
Function entryPoint(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}
void closeLibrary(void* library) { dlclose(library); }

std::string makeTemporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quadtrack-XXXXXX";
    if (!mkdtemp(dir.data())) throw systemError("cannot create a temporary directory in " + dir);
    return dir;
}

// The directory the process was in, held open: it is found again even if renamed meanwhile.
class SavedDirectory {
public:
    SavedDirectory() : fd_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) throw systemError("cannot open the current directory");
    }
    ~SavedDirectory() { close(fd_); }
    SavedDirectory(const SavedDirectory&) = delete;
    SavedDirectory& operator=(const SavedDirectory&) = delete;
    void restore() const {
        if (fchdir(fd_) != 0) std::abort();  // every relative path of the host would be wrong
    }

private:
    int fd_;
};
bool enter(const std::string& dir) { return chdir(dir.c_str()) == 0; }
void removeDirectory(const std::string& dir) { rmdir(dir.c_str()); }
#endif

// Runs make() inside a fresh directory holding config as "tracker.ini", then returns to the
// directory the process was in and removes the temporary one, whatever make() did.
template <class Make>
void withConfig(const std::string& config, Make make) {
    const std::string dir = makeTemporaryDirectory();
    const std::string file = dir + "/tracker.ini";
    struct Cleanup {
        std::string dir, file;
        std::optional<SavedDirectory> cwd;
        ~Cleanup() {
            if (cwd) cwd->restore();
            std::remove(file.c_str());
            removeDirectory(dir);
        }
    } cleanup{dir, file, std::nullopt};
    {
        std::ofstream out(file, std::ios::binary);
        out << config;
        if (!out.flush()) throw systemError("cannot write " + file);
    }
    cleanup.cwd.emplace();
    if (!enter(dir)) throw systemError("cannot enter " + dir);
    make();
}

}  // namespace

std::string defaultPluginPath() {
    if (const char* env = std::getenv("QUADTRACK_PLUGIN"); env && *env) return env;
    std::string exe(4096, '\0');
#ifdef _WIN32
    const DWORD n = GetModuleFileNameA(nullptr, exe.data(), DWORD(exe.size()));
    if (n == 0 || n >= exe.size()) throw windowsError("cannot locate the quadtrack executable");
    exe.resize(n);
    return exe.substr(0, exe.find_last_of("/\\") + 1) + kPluginFileName;
#else
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    if (n <= 0 || std::size_t(n) >= exe.size()) throw systemError("cannot locate the quadtrack executable");
    exe.resize(std::size_t(n));
    return exe.substr(0, exe.rfind('/') + 1) + kPluginFileName;
#endif
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
    library_ = openLibrary(libraryPath);
    if (!library_) throw std::runtime_error("cannot load the plug-in: " + openError(libraryPath));
    auto create = entryPoint<void (*)(Interface**)>(library_, "CreateCompute");
    destroy_ = entryPoint<void (*)(Interface*)>(library_, "DestroyCompute");
    if (!create || !destroy_) {
        closeLibrary(library_);
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
        closeLibrary(library_);
        throw;
    }
}

PluginTracker::~PluginTracker() {
    destroy_(object_);
    closeLibrary(library_);
}

void PluginTracker::init(const GreyImage& frame, const Quad& corners) {
    width_ = frame.width;
    height_ = frame.height;
    const std::uint32_t w = std::uint32_t(frame.width), h = std::uint32_t(frame.height);
    const std::uint32_t depth = 1;  // bytes per pixel; the plug-in only records it
    held_ = toSelect(corners);
    object_->init(held_, frame.pixels.data(), w, h, depth);
}

Quad PluginTracker::run(const GreyImage& frame) {
    if (frame.width != width_ || frame.height != height_)
        throw std::runtime_error("frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                                 " after a first frame of " + std::to_string(width_) + "x" + std::to_string(height_));
    try {
        object_->run(frame.pixels.data(), held_);
    } catch (const std::exception& e) {
        // The plug-in has no other channel for a lost region than its report.
        if (std::strstr(e.what(), "the region was lost")) throw RegionLost(e.what(), toQuad(held_));
        throw;
    }
    return toQuad(held_);
}

}  // namespace host
