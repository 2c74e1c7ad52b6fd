#include "host/commands.hpp"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    R"(usage: quadtrack COMMAND [OPTIONS]

Follows a four-cornered planar region through grey-level video with the
quadtrack plug-in (the library beside this program, or $QUADTRACK_PLUGIN).

Commands:
  demo    track a built-in synthetic sequence with known truth and summarise
  track   track a region through image files or raw frames on standard input

Run "quadtrack COMMAND --help" for a command's options and examples.
)";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "track") {
            const auto options = host::parseTrackOptions(args);
            if (options.help) {
                std::cout << host::kTrackHelp;
                return host::kExitOk;
            }
            return host::runTrack(options);
        }
        if (command == "demo") {
            const auto options = host::parseDemoOptions(args);
            if (options.help) {
                std::cout << host::kDemoHelp;
                return host::kExitOk;
            }
            return host::runDemo(options);
        }
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kUsage;
            return host::kExitOk;
        }
        std::cerr << (command.empty() ? std::string() : "quadtrack: unknown command " + command + "\n") << kUsage;
        return host::kExitUsage;
    } catch (const host::UsageError& e) {
        std::cerr << "quadtrack " << command << ": " << e.what() << "\n(see quadtrack " << command << " --help)"
                  << std::endl;
        return host::kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quadtrack: " << e.what() << std::endl;
        return host::kExitFailure;
    }
}
