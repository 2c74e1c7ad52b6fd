#include "host/progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace host {

namespace {

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

Progress::Progress(std::string label, long total, double delaySeconds)
    : label_(std::move(label)), total_(total), start_(Clock::now()), lastShown_(start_), delay_(delaySeconds),
      terminal_(isatty(STDERR_FILENO)) {}

void Progress::update(long done, long lost) {
    lost_ = lost;
    const auto now = Clock::now();
    if (seconds(now - start_) < delay_) return;
    // A terminal redraws ten times a second; a log gets a line every ten seconds.
    if ((shown_ || !terminal_) && seconds(now - lastShown_) < (terminal_ ? 0.1 : 10.0)) return;
    show(done, false);
}

void Progress::finish(long done, bool always) {
    if (shown_ || always) show(done, true);
}

void Progress::show(long done, bool last) {
    lastShown_ = Clock::now();
    shown_ = true;
    const double rate = done / std::max(seconds(lastShown_ - start_), 1e-9);
    const std::string lost = lost_ > 0 ? ", " + std::to_string(lost_) + " lost" : "";
    if (total_ > 0)
        std::fprintf(stderr, "%s%s %ld/%ld frames%s (%.0f frames/s)", terminal_ ? "\r" : "", label_.c_str(), done,
                     total_, lost.c_str(), rate);
    else
        std::fprintf(stderr, "%s%s %ld frames%s (%.0f frames/s)", terminal_ ? "\r" : "", label_.c_str(), done,
                     lost.c_str(), rate);
    if (terminal_) std::fputs("\033[K", stderr);
    if (!terminal_ || last) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace host
