// A minimal host: loads the plug-in with dlopen, tracks the synthetic sequence and prints one
// line "corners t x1 y1 ... x4 y4" per frame. Usage: plugin_driver PLUGIN FRAMES
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "synthetic.hpp"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const int frames = std::atoi(argv[2]);
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        std::printf("error: %s\n", dlerror());
        return 1;
    }
    auto create = reinterpret_cast<void (*)(Interface**)>(dlsym(lib, "CreateCompute"));
    auto destroy = reinterpret_cast<void (*)(Interface*)>(dlsym(lib, "DestroyCompute"));
    if (create == nullptr || destroy == nullptr) return 1;

    Interface* tracker = nullptr;
    create(&tracker);
    int status = 0;
    try {
        Select sel = synthetic::selection(synthetic::motion(0));
        const std::uint32_t w = 320, h = 240, depth = 8;
        tracker->init(sel, synthetic::render(synthetic::motion(0), w, h).data(), w, h, depth);
        for (int t = 1; t < frames; ++t) {
            tracker->run(synthetic::render(synthetic::motion(t), w, h).data(), sel);
            std::printf("corners %d", t);
            for (std::int32_t v : synthetic::coordinates(sel)) std::printf(" %d", int(v));
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        status = 1;
    }
    std::fflush(stdout);
    destroy(tracker);
    dlclose(lib);
    return status;
}
