#!/usr/bin/python3
"""Tracks a region through a video: writes the video with the region drawn and the corners as CSV.

    examples/track_video.py clip.mp4 --corners 250,130,390,128,392,270,248,272 \
        --output tracked.avi --csv corners.csv --set plans=1200

The corners outline the region on the first frame, in order around it (whole pixels). The CSV
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
    parser.add_argument("--corners", required=True, help="x1,y1,x2,y2,x3,y3,x4,y4 on the first frame")
    parser.add_argument("--method", default="jd", choices=["jd", "jdk", "rvm"])
    parser.add_argument("--set", action="append", default=[], metavar="KEY=VALUE", help="a configuration key")
    parser.add_argument("--output", default="tracked.avi", help="video with the region drawn (MJPG)")
    parser.add_argument("--csv", default="corners.csv")
    args = parser.parse_args()
    corners = np.array([int(v) for v in args.corners.split(",")]).reshape(4, 2)
    settings = dict(item.split("=", 1) for item in args.set)

    video = cv2.VideoCapture(args.video)
    ok, picture = video.read()
    if not ok:
        sys.exit(f"track_video: cannot read a frame from {args.video}")
    height, width = picture.shape[:2]
    out = cv2.VideoWriter(args.output, cv2.VideoWriter_fourcc(*"MJPG"), video.get(cv2.CAP_PROP_FPS) or 25,
                          (width, height))
    tracker = quadtrack.Tracker(cv2.cvtColor(picture, cv2.COLOR_BGR2GRAY), corners, args.method, **settings)
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
                    corners, score = tracker.track(cv2.cvtColor(picture, cv2.COLOR_BGR2GRAY))
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
