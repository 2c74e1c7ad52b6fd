#ifndef TESTS_TRACKER_LOADED_PLUGIN_HPP
#define TESTS_TRACKER_LOADED_PLUGIN_HPP

// The plug-in loaded into the test process with dlopen (LoadLibrary on Windows), as a host loads
// it, and a working directory of its own holding the tracker.ini the test wants.

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tracker/quadtrack.h"

namespace loaded {

struct plugin {
#ifdef _WIN32
    plugin() : lib(LoadLibraryA(QUADTRACK_PLUGIN_PATH)) {
        if (lib == nullptr) return;
        create = reinterpret_cast<void (*)(Interface**)>(reinterpret_cast<void (*)()>(GetProcAddress(lib, "CreateCompute")));
        destroy = reinterpret_cast<void (*)(Interface*)>(reinterpret_cast<void (*)()>(GetProcAddress(lib, "DestroyCompute")));
    }
    ~plugin() {
        if (lib != nullptr) FreeLibrary(lib);
    }
    HMODULE lib;
#else
    plugin() : lib(dlopen(QUADTRACK_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (lib == nullptr) return;
        create = reinterpret_cast<void (*)(Interface**)>(dlsym(lib, "CreateCompute"));
        destroy = reinterpret_cast<void (*)(Interface*)>(dlsym(lib, "DestroyCompute"));
    }
    ~plugin() {
        if (lib != nullptr) dlclose(lib);
    }
    void* lib;
#endif
    plugin(const plugin&) = delete;
    plugin& operator=(const plugin&) = delete;

    bool ready() const { return create != nullptr && destroy != nullptr; }
    Interface* make() const {
        Interface* p = nullptr;
        create(&p);
        return p;
    }

    void (*create)(Interface**) = nullptr;
    void (*destroy)(Interface*) = nullptr;
};

// Enters a fresh directory named after the running test; config (unless null) becomes its tracker.ini.
inline void enterDirectory(const char* config) {
    const std::string dir =
        testing::TempDir() + "loaded_" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(std::filesystem::create_directories(dir));
    std::filesystem::current_path(dir);
    if (config != nullptr) std::ofstream("tracker.ini", std::ios::binary) << config;
}

}  // namespace loaded

#endif
