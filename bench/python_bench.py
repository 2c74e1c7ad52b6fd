#!/usr/bin/python3
"""Times the Python module against the command-line host on the demo sequence, and two trackers
in two threads against one thread tracking both; prints a Markdown section for BENCHMARKS.md.

    PYTHONPATH=build-python/site bench/python_bench.py build/bin/quadtrack
"""
import csv
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

import quadtrack

REPEATS = 5
# Passes over the sequence per thread timing, long enough to dwarf starting the threads.
PASSES = 10


def follow(tracker, frames, times=None):
    corners = []
    for frame in frames[1:]:
        start = time.perf_counter()
        corners.append(tracker.track(frame)[0])
        if times is not None:
            times.append(time.perf_counter() - start)
    return np.array(corners)


def mean_error(corners, truth):
    return np.linalg.norm(corners - truth, axis=-1).mean()


def host_demo(host, frames):
    """Median time per frame and the corners of the plug-in through the host's demo."""
    with tempfile.TemporaryDirectory() as out:
        summary = subprocess.run([host, "demo", "--frames", str(frames), "--output", out], check=True,
                                 capture_output=True, text=True).stdout
        with open(f"{out}/corners.csv") as table:
            rows = list(csv.reader(table))[2:]
    median = float(re.search(r"median time per frame\s+([0-9.]+) ms", summary).group(1))
    return median, np.array([[float(v) for v in row[1:9]] for row in rows]).reshape(-1, 4, 2)


def wall_time(threads, frames, truth):
    """Seconds for two trackers to track the sequence PASSES times each: in one thread, or one per thread."""
    trackers = [quadtrack.Tracker(frames[0], truth[0]) for _ in range(2)]

    def passes(t):
        # Forth and back, so the motion stays continuous.
        for p in range(PASSES):
            follow(t, frames if p % 2 == 0 else frames[::-1])

    if threads == 1:
        start = time.perf_counter()
        for t in trackers:
            passes(t)
        return time.perf_counter() - start
    workers = [threading.Thread(target=passes, args=(t,)) for t in trackers]
    start = time.perf_counter()
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return time.perf_counter() - start


def main():
    host = sys.argv[1]
    frames, truth = quadtrack.demo_sequence(300)
    times, errors = [], []
    for _ in range(REPEATS):
        t = quadtrack.Tracker(frames[0], truth[0])
        errors.append(mean_error(follow(t, frames, times), truth[1:]))
    host_runs = [host_demo(host, len(frames)) for _ in range(REPEATS)]
    host_median = statistics.median(m for m, _ in host_runs)
    plugin_error = statistics.median(mean_error(c, truth[1:]) for _, c in host_runs)
    one = statistics.median(wall_time(1, frames, truth) for _ in range(REPEATS))
    two = statistics.median(wall_time(2, frames, truth) for _ in range(REPEATS))
    per_frame = 1e3 * statistics.median(times)
    steps = 2 * PASSES * (len(frames) - 1)
    print("### Python (demo sequence, 299 frames, jd, default configuration)\n")
    print(f"`{' '.join(['PYTHONPATH=build-python/site', 'bench/python_bench.py', host])}`, medians of {REPEATS} runs.\n")
    print("| measure | Python module | C++ host with the plug-in |")
    print("|---|---:|---:|")
    print(f"| mean corner error (px) | {statistics.median(errors):.3f} | {plugin_error:.3f} |")
    print(f"| median time per frame (ms) | {per_frame:.3f} (with the score) | {host_median:.2f} (without) |")
    print(f"\nTwo trackers over the sequence: one thread tracking both {1e3 * one / steps:.3f} ms per frame, "
          f"one thread each {1e3 * two / steps:.3f} ms per frame ({one / two:.2f} times the throughput; "
          f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f} at the end, "
          f"OPENBLAS_NUM_THREADS={os.environ.get('OPENBLAS_NUM_THREADS', 'unset')}).")


if __name__ == "__main__":
    main()
