#ifndef MLX_TOOL_TIMER_HPP
#define MLX_TOOL_TIMER_HPP

namespace mlx::tool {

// Nested stopwatch on a monotonic clock: each toc() pairs with the most recent tic() of the same
// thread (every thread has its own stack of start times).
struct timer {
    // Pushes the current time on the stack of start times.
    static void tic();
    // Pops the last start time and returns the seconds elapsed since; a TimeException report
    // when no tic() is pending.
    static double toc();
    // True while a tic() is pending.
    static bool notEmpty();
};

}  // namespace mlx::tool

#endif
