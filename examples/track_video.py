#!/usr/bin/env python3
"""Tracks a region through a video: writes the video with the region drawn and the corners as CSV.

    examples/track_video.py clip.mp4 --corners 250,130,390,128,392,270,248,272 \
        --output tracked.avi --csv corners.csv --set plans=1200
    examples/track_video.py clip.mp4 --box 250,130,140,140
    examples/track_video.py clip.mp4 --select

The corners outline the region on the first frame, in order around it (sub-pixel or whole); a box
is x,y,w,h as cv2.selectROI gives it, and --select opens cv2.selectROI on the first frame. The CSV
has the command-line host's columns: frame,x1,y1,...,x4,y4,score,status, frame 0 being the
selection. On a frame where the region is lost (status "lost") the corners held from the last
tracked frame are written and drawn in orange, labelled "lost", and tracking goes on.
"""
import argparse
import csv
import sys

import cv2
import numpy as np

import quadtrack


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("video")
    region = parser.add_mutually_exclusive_group(required=True)
    region.add_argument("--corners", help="x1,y1,x2,y2,x3,y3,x4,y4 on the first frame")
    region.add_argument("--box", help="x,y,w,h on the first frame, as cv2.selectROI gives it")
    region.add_argument("--select", action="store_true", help="select the box with cv2.selectROI")
    parser.add_argument("--method", default="jd", choices=["jd", "jdk", "rvm"])
    parser.add_argument("--set", action="append", default=[], metavar="KEY=VALUE", help="a configuration key")
    parser.add_argument("--output", default="tracked.avi", help="video with the region drawn (MJPG)")
    parser.add_argument("--csv", default="corners.csv")
    args = parser.parse_args()
    try:
        corners = np.array([float(v) for v in args.corners.split(",")]).reshape(4, 2) if args.corners else None
        box = [float(v) for v in args.box.split(",")] if args.box else None
    except ValueError:
        parser.error(f"--{'corners' if args.corners else 'box'}: expected {8 if args.corners else 4} numbers "
                     "separated by commas")
    if any("=" not in item for item in args.set):
        parser.error("--set: expected KEY=VALUE, got " + next(item for item in args.set if "=" not in item))
    settings = dict(item.split("=", 1) for item in args.set)

    video = cv2.VideoCapture(args.video)
    ok, picture = video.read()
    if not ok:
        sys.exit(f"track_video: cannot read a frame from {args.video}")
    height, width = picture.shape[:2]
    out = cv2.VideoWriter(args.output, cv2.VideoWriter_fourcc(*"MJPG"), video.get(cv2.CAP_PROP_FPS) or 25,
                          (width, height))
    if args.select:
        box = cv2.selectROI("quadtrack: select the region, then Enter", picture)
        cv2.destroyAllWindows()
    try:
        # Frames as OpenCV reads them (BGR): the tracker makes them grey as cv2.cvtColor does.
        tracker = quadtrack.Tracker(picture, corners, args.method, box=box, **settings)
    except quadtrack.Error as e:
        given = f"--set {e.key}={settings[e.key]}: " if e.key in settings else ""
        sys.exit(f"track_video: {given}{e}")
    except (TypeError, ValueError) as e:
        sys.exit(f"track_video: {e}".replace("Tracker() got an unexpected keyword argument", "--set: no key"))
    corners = np.array([[box[0], box[1]], [box[0] + box[2], box[1]], [box[0] + box[2], box[1] + box[3]],
                        [box[0], box[1] + box[3]]], float) if corners is None else corners
    print(f"learned in {tracker.learning_time:.2f} s with {tracker.config}", file=sys.stderr)

    with open(args.csv, "w", newline="") as table:
        rows = csv.writer(table)
        rows.writerow(["frame"] + [f"{a}{i}" for i in range(1, 5) for a in "xy"] + ["score", "status"])
        score, frame, failure, lost, reacquired = 1.0, 0, None, 0, 0
        while ok:
            status = "lost" if tracker.lost else "tracked"
            rows.writerow([frame] + [f"{v:.3f}" for v in np.ravel(corners)] + [f"{score:.4f}", status])
            colour = (0, 150, 255) if tracker.lost else (0, 255, 0)
            # Sub-pixel corners drawn at 1/16 pixel.
            cv2.polylines(picture, [np.round(corners * 16).astype(np.int32)], True, colour, 2, cv2.LINE_AA, 4)
            if tracker.lost:
                cv2.putText(picture, status, (8, 24), cv2.FONT_HERSHEY_SIMPLEX, 0.8, colour, 2, cv2.LINE_AA)
            out.write(picture)
            ok, picture = video.read()
            if ok:
                frame += 1
                was_lost = tracker.lost
                try:
                    corners, score = tracker.track(picture)
                except quadtrack.Error as e:
                    failure = f"track_video: frame {frame}: {e}"
                    break
                lost += tracker.lost
                reacquired += was_lost and not tracker.lost
    out.release()
    print(f"tracked {tracker.frames} frames, lost {lost}, re-acquired {reacquired} times: {args.output}, {args.csv}",
          file=sys.stderr)
    if failure:
        sys.exit(failure)


if __name__ == "__main__":
    main()
