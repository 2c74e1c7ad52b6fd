"""Follows a four-cornered planar region through video, with sub-pixel corners.

OpenCV's habits hold: frames as cv2 reads them (grey, BGR or BGRA uint8 arrays), the region as
a box (x, y, w, h) from cv2.selectROI or as corners shaped as cv2's contour functions give them,
``update(frame) -> (ok, corners)`` and ``init(frame, box=...)`` as OpenCV's trackers have them::

    import cv2, quadtrack
    video = cv2.VideoCapture(0)
    ok, frame = video.read()
    tracker = quadtrack.Tracker(frame, box=cv2.selectROI(frame))
    while ok:
        ok, frame = video.read()
        found, corners = tracker.update(frame) if ok else (False, None)
"""
from ._core import Error, Tracker, __version__, demo_sequence

__all__ = ["Error", "Tracker", "__version__", "demo_sequence"]
