// The host's subcommands; each returns the process exit status.
#ifndef QUADTRACK_HOST_COMMANDS_HPP
#define QUADTRACK_HOST_COMMANDS_HPP

#include "host/options.hpp"

namespace host {

// Exit statuses: success, a failure while running, a command line that cannot be understood.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

extern const char* const kTrackHelp;
extern const char* const kDemoHelp;

int runTrack(const TrackOptions& options);
int runDemo(const DemoOptions& options);

}  // namespace host

#endif
