"""The Python module on the demo sequence: accuracy, argument checks, threads, the video example."""
import pathlib
import re
import subprocess
import sys
import threading

import numpy as np
import pytest

import quadtrack
from conftest import write_clip

ROOT = pathlib.Path(__file__).resolve().parents[2]
FRAMES, TRUTH = quadtrack.demo_sequence(100)
# Black: a constant grey level interpolates to a pattern of rounding noise, which is learned.
BLACK = np.zeros_like(FRAMES[0])


def error(corners, truth):
    return np.linalg.norm(corners - truth, axis=-1).mean()


def ini_settings():
    """The repository's tracker.ini as keyword arguments, values as the file's text."""
    lines = (ROOT / "tracker.ini").read_text().splitlines()
    return dict(m.groups() for m in map(re.compile(r"\s*(\w+)\s*=\s*([^#\s]+)").match, lines) if m)


def test_follows_the_demo_with_sub_pixel_corners_whatever_the_frame_layout():
    settings = ini_settings()
    method = settings.pop("tracker")
    t = quadtrack.Tracker(FRAMES[0], TRUTH[0], method=method, **settings)
    assert t.method == method and t.learning_time > 0
    assert {k: t.config[k] for k in settings if k in t.config} == {k: float(v) for k, v in settings.items() if k in t.config}
    wide = np.zeros((FRAMES.shape[1], 2 * FRAMES.shape[2]), np.uint8)
    tracked, scores = [], []
    for k, frame in enumerate(FRAMES[1:], 1):
        if k == 50:
            # A uniform frame is lost: the corners are held and the next frame tracks on.
            held, score = t.track(BLACK)
            assert t.lost and score == 0 and np.array_equal(held, tracked[-1])
        wide[:, ::2] = frame
        corners, score = t.track([frame, np.asfortranarray(frame), wide[:, ::2], frame[::-1][::-1]][k % 4])
        assert corners.dtype == np.float64 and corners.shape == (4, 2)
        tracked.append(corners)
        scores.append(score)
    tracked = np.array(tracked)
    # The plug-in hands back these very estimates truncated to whole pixels.
    sub_pixel, truncated = error(tracked, TRUTH[1:]), error(np.trunc(tracked), TRUTH[1:])
    assert sub_pixel < 0.15 and sub_pixel < truncated / 4
    assert min(scores) > 0.95 and t.frames == len(FRAMES) - 1 and not t.lost


def test_update_reports_a_hidden_region_lost_and_finds_it_again_where_it_was():
    t = quadtrack.Tracker(FRAMES[0], TRUTH[0], plans=200)
    ok, before = t.update(FRAMES[1])
    assert ok and not t.lost
    for _ in range(2):
        ok, corners = t.update(BLACK)
        assert not ok and t.lost and corners.dtype == np.float64 and corners.shape == (4, 2)
        assert np.array_equal(corners, before)
    ok, corners = t.update(FRAMES[4])
    assert ok and not t.lost and error(corners, TRUTH[4]) < 0.5 and t.frames == 2


@pytest.mark.parametrize("change, raised, words", [
    ({"frame0": FRAMES[0].tolist()}, TypeError, "frame0: expected a numpy array"),
    ({"frame0": FRAMES[0].astype(np.float32)}, TypeError, "frame0: expected dtype uint8"),
    ({"frame0": FRAMES[:2]}, ValueError, r"frame0: expected a 2-D grey array .* or a 3-D colour one .*, got shape \(2, 240, 320\)"),
    ({"frame0": FRAMES[0][:0]}, ValueError, "frame0: a frame of 0 x 320"),
    ({"corners": "abcd"}, TypeError, "corners"),
    ({"corners": TRUTH[0][:3]}, ValueError, r"corners: expected shape \(4, 2\), \(4, 1, 2\) or \(1, 4, 2\), got \(3, 2\)"),
    ({"corners": TRUTH[0] + 2.0**31}, ValueError, "corners: expected finite pixel coordinates within 32-bit range"),
    ({"corners": TRUTH[0] * np.nan}, ValueError, "corners: expected finite"),
    ({"corners": None}, TypeError, r"expected the region as corners=\.\.\. or box=\(x, y, w, h\)"),
    ({"box": (100, 70, 60, 50)}, TypeError, "expected the region as corners or as box, not both"),
    ({"corners": None, "box": (100, 70, 0, 50)}, ValueError, "box: expected a positive width and height"),
    ({"corners": None, "box": (100, 70, 60)}, ValueError, r"box: expected \(x, y, w, h\), got shape \(3,\)"),
    ({"corners": TRUTH[0][[0, 2, 1, 3]]}, ValueError, "corners: the corners must go around a convex region"),  # bow tie
    ({"corners": [[81, 40], [168, 37], [120, 60], [79, 138]]}, ValueError, "corners: the corners must go around"),  # dart
    ({"frame": np.zeros((240, 320, 2), np.uint8)}, ValueError, r"frame: expected .* BGR or BGRA order, got shape"),
    ({"plans": "100.5"}, quadtrack.Error, 'configuration key "plans": "100.5" is not an unsigned integer'),
    ({"seed": 2**32}, quadtrack.Error, 'configuration key "seed": "4294967296" is not an unsigned integer'),
    ({"method": 1}, TypeError, "method: expected a str"),
    ({"method": "kalman"}, ValueError, "method"),
    ({"plan": 800}, TypeError, "unexpected keyword argument 'plan'"),
    ({"plans": [800]}, TypeError, "plans: expected a number or a str, got list"),
    ({"plans": True}, TypeError, "plans"),
    ({"plans": -1}, quadtrack.Error, 'configuration key "plans": "-1" is not an unsigned integer'),
    ({"noise": float("inf")}, quadtrack.Error, 'configuration key "noise": "inf" is not a finite number'),
    ({"plans": 1, "method": "JDK"}, quadtrack.Error, "plans"),
    ({"corners": [[10, 10], [20, 20], [30, 30], [5, 40]]}, ValueError, "corners: the corners must go around a convex"),
    ({"frame0": BLACK}, quadtrack.Error, "uniform"),
    ({"frame": FRAMES[1][:, :100]}, ValueError, r"frame: expected shape \(240, 320\) as frame0, got \(240, 100\)"),
    ({"frame": FRAMES[1].astype(np.int16)}, TypeError, "frame: expected dtype uint8"),
    ({"frame": BLACK, "lost": 0}, quadtrack.Error, "^the sampled region is uniform"),
])
def test_refuses_each_bad_argument_naming_it(change, raised, words):
    args = {"frame0": FRAMES[0], "corners": TRUTH[0], "plans": 100, **change}
    frame = args.pop("frame", None)
    with pytest.raises(raised, match=words):
        quadtrack.Tracker(**args).track(frame if frame is not None else FRAMES[1])
    assert issubclass(quadtrack.Error, RuntimeError)


def test_two_trackers_in_two_threads_and_one_tracker_shared():
    errors = {}
    shared = quadtrack.Tracker(FRAMES[0], TRUTH[0], plans=200)

    def follow(name):
        t = quadtrack.Tracker(FRAMES[0], TRUTH[0])
        errors[name] = error(np.array([t.track(f)[0] for f in FRAMES[1:]]), TRUTH[1:])
        for _ in range(50):
            shared.track(FRAMES[1])

    threads = [threading.Thread(target=follow, args=(n,)) for n in "ab"]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert sorted(errors) == ["a", "b"] and max(errors.values()) < 0.15
    assert shared.frames == 100 and error(shared.track(FRAMES[1])[0], TRUTH[1]) < 0.5


def test_the_video_example_writes_the_track_and_the_drawn_video_through_lost_frames(tmp_path):
    cv2 = pytest.importorskip("cv2")
    hidden = [8, 9]
    write_clip(cv2, tmp_path / "in.avi", np.array([BLACK if k in hidden else f for k, f in enumerate(FRAMES[:20])]))
    corners = ",".join(str(int(v)) for v in TRUTH[0].ravel())
    done = subprocess.run([sys.executable, str(ROOT / "examples/track_video.py"), str(tmp_path / "in.avi"),
                           "--corners", corners, "--output", str(tmp_path / "out.avi"),
                           "--csv", str(tmp_path / "out.csv"), "--set", "iter=3"],
                          check=True, capture_output=True, text=True)
    assert "tracked 17 frames, lost 2, re-acquired 1 times" in done.stderr
    table = np.loadtxt(tmp_path / "out.csv", delimiter=",", skiprows=1, usecols=range(10))
    tracked = np.loadtxt(tmp_path / "out.csv", delimiter=",", skiprows=1, usecols=10, dtype=str) == "tracked"
    corners = table[:, 1:9].reshape(-1, 4, 2)
    assert table.shape == (20, 10) and list(np.flatnonzero(~tracked)) == hidden
    assert error(corners[tracked], TRUTH[:20][tracked]) < 0.5 and (corners[hidden] == corners[7]).all()
    assert cv2.VideoCapture(str(tmp_path / "out.avi")).get(cv2.CAP_PROP_FRAME_COUNT) == 20
