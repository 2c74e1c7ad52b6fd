#!/usr/bin/env python3
"""Tracks many clips in parallel on Dask: one corners CSV per clip and a summary table.

    examples/track_many.py clips.csv --output tracks/                  # a LocalCluster here
    examples/track_many.py clips.csv --output tracks/ --workers 4 --set plans=1200
    examples/track_many.py clips.csv --output tracks/ --scheduler tcp://10.0.0.5:8786

clips.csv lists one clip a line: its path (relative to the list's folder, or absolute), then its
region on the first frame, either 8 numbers (corners x1,y1,...,x4,y4 in order around it) or 4
(a box x,y,w,h as cv2.selectROI gives it). A first line starting with "clip" is a header:

    clip,x1,y1,x2,y2,x3,y3,x4,y4
    street.mp4,250,130,390,128,392,270,248,272
    poster.avi,120,80,200,150

Without --scheduler a LocalCluster of --workers processes (one thread each) runs on this machine.
With --scheduler the clips go to that cluster's workers, which need the quadtrack package and
OpenCV installed and the clips at the same paths (shared storage); the tracks come back to this
program, which writes them. Each clip's CSV, OUTPUT/<clip name>.csv, has the command-line host's
columns (frame,x1,y1,...,x4,y4,score,status); the summary (frames, lost frames, seconds, frames
per second, worker) is printed and written to OUTPUT/summary.csv. A clip that cannot be read or
tracked is reported in the summary and makes the exit status 1; the others are tracked.
"""
import argparse
import csv
import os
import pathlib
import sys
import time

HEADER = ["frame"] + [f"{a}{i}" for i in range(1, 5) for a in "xy"] + ["score", "status"]


def read_clips(listing):
    """(path, region) per line of the list: region is 8 corner or 4 box numbers."""
    clips = []
    folder = pathlib.Path(listing).resolve().parent
    with open(listing, newline="") as table:
        for number, row in enumerate(csv.reader(table), 1):
            row = [cell.strip() for cell in row]
            if not row or not row[0] or row[0].startswith("#") or (number == 1 and row[0].lower() == "clip"):
                continue
            try:
                values = [float(v) for v in row[1:] if v]
            except ValueError:
                values = []
            if len(values) not in (4, 8):
                raise SystemExit(f"track_many: {listing} line {number}: expected a clip and 8 corner or 4 box numbers")
            clips.append((str(folder / row[0]), values))
    if not clips:
        raise SystemExit(f"track_many: {listing} lists no clip")
    return clips


def track_clip(path, region, method, settings):
    """Runs on a worker: tracks one clip and returns its rows and counts (an error as text)."""
    import cv2
    import numpy as np

    import quadtrack

    try:
        from dask.distributed import get_worker
        worker = get_worker().address
    except (ImportError, ValueError):
        worker = ""
    result = {"clip": path, "frames": 0, "lost": 0, "seconds": 0.0, "rows": [], "error": "", "worker": worker}
    started = time.perf_counter()
    if not os.path.isfile(path):
        result["error"] = f"no such file: {path}"
        return result
    video = cv2.VideoCapture(path)
    ok, picture = video.read()
    if not ok:
        result["error"] = f"cannot read a frame from {path}"
        return result
    try:
        if len(region) == 8:
            tracker = quadtrack.Tracker(picture, np.reshape(region, (4, 2)), method, **settings)
        else:
            tracker = quadtrack.Tracker(picture, method=method, box=region, **settings)
        x, y, w, h = region if len(region) == 4 else (0, 0, 0, 0)
        corners = np.reshape(region, (4, 2)) if len(region) == 8 else np.array(
            [[x, y], [x + w, y], [x + w, y + h], [x, y + h]], float)
        score, frame = 1.0, 0
        while ok:
            status = "lost" if tracker.lost else "tracked"
            result["rows"].append([frame] + [round(float(v), 3) for v in np.ravel(corners)] +
                                  [round(float(score), 4), status])
            ok, picture = video.read()
            if ok:
                frame += 1
                corners, score = tracker.track(picture)
                result["lost"] += tracker.lost
        result["frames"] = frame + 1
    except (quadtrack.Error, TypeError, ValueError) as e:
        result["error"] = str(e)
    result["seconds"] = time.perf_counter() - started
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("clips", help="CSV list: clip, then 8 corner or 4 box numbers")
    parser.add_argument("--output", default="tracks", help="folder of the corners CSVs and summary.csv")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a Dask scheduler's address (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="LocalCluster's worker processes")
    parser.add_argument("--method", default="jd", choices=["jd", "jdk", "rvm"])
    parser.add_argument("--set", action="append", default=[], metavar="KEY=VALUE", help="a configuration key")
    args = parser.parse_args()
    if any("=" not in item for item in args.set):
        parser.error("--set: expected KEY=VALUE, got " + next(item for item in args.set if "=" not in item))
    if args.workers < 1:
        parser.error("--workers: expected at least 1")
    settings = dict(item.split("=", 1) for item in args.set)
    clips = read_clips(args.clips)

    from dask.distributed import Client, LocalCluster, as_completed

    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        # On this machine only: the scheduler and the workers listen on the loopback address.
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                               dashboard_address=None)
        client = Client(cluster)
    workers = len(client.scheduler_info()["workers"])
    print(f"track_many: {len(clips)} clips on {workers} workers ({args.scheduler or 'LocalCluster'})", file=sys.stderr)

    output = pathlib.Path(args.output)
    output.mkdir(parents=True, exist_ok=True)
    started = time.perf_counter()
    futures = [client.submit(track_clip, path, region, args.method, settings, pure=False) for path, region in clips]
    results = {}
    for future in as_completed(futures):
        r = future.result()
        results[r["clip"]] = r
        if r["rows"]:
            with open(output / (pathlib.Path(r["clip"]).stem + ".csv"), "w", newline="") as table:
                rows = csv.writer(table)
                rows.writerow(HEADER)
                rows.writerows(r["rows"])
    client.close()
    if cluster is not None:
        cluster.close()

    summary = [["clip", "frames", "lost", "seconds", "fps", "worker", "error"]]
    for path, _ in clips:
        r = results[path]
        fps = r["frames"] / r["seconds"] if r["seconds"] > 0 else 0.0
        summary.append([pathlib.Path(path).name, r["frames"], r["lost"], f"{r['seconds']:.2f}", f"{fps:.0f}",
                        r["worker"], r["error"]])
    with open(output / "summary.csv", "w", newline="") as table:
        csv.writer(table).writerows(summary)
    widths = [max(len(str(row[c])) for row in summary) for c in range(len(summary[0]))]
    for row in summary:
        print("  ".join(str(v).ljust(w) for v, w in zip(row, widths)).rstrip())
    failed = sum(1 for r in results.values() if r["error"])
    print(f"track_many: {len(clips) - failed} of {len(clips)} clips tracked in {time.perf_counter() - started:.1f} s: "
          f"{output}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
