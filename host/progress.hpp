// One progress line on standard error: redrawn in place on a terminal, an occasional plain line
// otherwise, so that logs stay short.
#ifndef QUADTRACK_HOST_PROGRESS_HPP
#define QUADTRACK_HOST_PROGRESS_HPP

#include <chrono>
#include <string>

namespace host {

class Progress {
public:
    // total 0 means unknown; nothing shows before delay seconds have passed.
    Progress(std::string label, long total, double delaySeconds);
    // lost: how many of the done frames were lost, shown once there is one.
    void update(long done, long lost = 0);
    // Ends the line; with always, shows the final count even if nothing was shown so far.
    void finish(long done, bool always = false);

private:
    void show(long done, bool last);

    using Clock = std::chrono::steady_clock;
    std::string label_;
    long total_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    long lost_ = 0;
    double delay_;
    bool terminal_;
    bool shown_ = false;
};

}  // namespace host

#endif
