"""OpenCV's habits: boxes, contour-shaped and sub-pixel corners, colour frames, init, one stream per
tracker, errors a program can read (the refusals are in test_quadtrack.py's table)."""
import subprocess
import sys

import numpy as np
import pytest

import quadtrack

FRAMES, TRUTH = quadtrack.demo_sequence(40)
KEYS = {"plans": 200, "nbpoints": 225}


def follow(tracker, frames):
    return np.array([tracker.track(f)[0] for f in frames])


def test_a_box_is_the_rectangle_of_its_corners_and_opencv_shapes_are_taken():
    x, y, w, h = 100, 70, 60, 50
    expected = follow(quadtrack.Tracker(FRAMES[0], box=(x, y, w, h), **KEYS), FRAMES[1:4])
    rectangle = [[x, y], [x + w, y], [x + w, y + h], [x, y + h]]
    for corners in (rectangle, np.array(rectangle, np.int32).reshape(4, 1, 2), np.reshape(rectangle, (1, 4, 2)) + 0.0):
        assert np.array_equal(follow(quadtrack.Tracker(FRAMES[0], corners, **KEYS), FRAMES[1:4]), expected)
    assert np.array_equal(follow(quadtrack.Tracker(FRAMES[0], box=np.array([x, y, w, h]), **KEYS), FRAMES[1:4]), expected)


def test_colour_frames_are_made_grey_as_opencv_makes_them():
    cv2 = pytest.importorskip("cv2")
    colour = lambda f: np.dstack([f, np.roll(f, 7, axis=1), 255 - f])  # noqa: E731
    bgr = [colour(f) for f in FRAMES[:4]]
    for code, frames in ((cv2.COLOR_BGR2GRAY, bgr), (cv2.COLOR_BGRA2GRAY, [cv2.cvtColor(f, cv2.COLOR_BGR2BGRA) for f in bgr])):
        grey = [cv2.cvtColor(f, code) for f in frames]
        assert np.array_equal(follow(quadtrack.Tracker(frames[0], TRUTH[0], **KEYS), frames[1:]),
                              follow(quadtrack.Tracker(grey[0], TRUTH[0], **KEYS), grey[1:]))
    wide = np.repeat(bgr[1], 2, axis=1)[:, ::2]  # any strides
    assert np.array_equal(*(quadtrack.Tracker(bgr[0], TRUTH[0], **KEYS).track(f)[0] for f in (wide, bgr[1])))


def test_sub_pixel_corners_from_track_start_a_new_tracker_that_follows_on():
    corners = follow(quadtrack.Tracker(FRAMES[0], TRUTH[0], **KEYS), FRAMES[1:6])[-1]
    again = quadtrack.Tracker(FRAMES[5], corners, **KEYS)
    assert np.linalg.norm(follow(again, FRAMES[6:12]) - TRUTH[6:12], axis=-1).mean() < 0.3
    # Learned as such, not rounded: the truth of frame 5 (sub-pixel) tracks apart from its rounding.
    exact = follow(quadtrack.Tracker(FRAMES[5], TRUTH[5], **KEYS), FRAMES[6:12])
    rounded = follow(quadtrack.Tracker(FRAMES[5], np.round(TRUTH[5]), **KEYS), FRAMES[6:12])
    assert not np.array_equal(exact, rounded)
    assert np.linalg.norm(exact - TRUTH[6:12], axis=-1).mean() < 0.15


def test_init_starts_again_on_the_same_object_as_a_new_tracker_would():
    t = quadtrack.Tracker(FRAMES[0], TRUTH[0], **KEYS)
    follow(t, FRAMES[1:5])
    t.track(np.zeros_like(FRAMES[0]))
    assert t.lost and t.frames == 4
    t.init(FRAMES[10], TRUTH[10])
    new = quadtrack.Tracker(FRAMES[10], TRUTH[10], **KEYS)
    assert not t.lost and t.frames == 0 and np.array_equal(follow(t, FRAMES[11:14]), follow(new, FRAMES[11:14]))
    t.init(FRAMES[20][:200], box=(60, 40, 80, 80))  # another size, a box
    assert t.track(FRAMES[21][:200])[0].shape == (4, 2) and t.frames == 1
    with pytest.raises(quadtrack.Error, match="uniform"):
        t.init(np.zeros_like(FRAMES[0]), TRUTH[0])
    assert t.frames == 1 and t.track(FRAMES[22][:200])[0].shape == (4, 2)  # the region learned before stays


FRESH = """
import numpy as np, quadtrack
frames, truth = quadtrack.demo_sequence(4)
t = quadtrack.Tracker(frames[0], truth[0], plans=200, nbpoints=225)
print(repr(np.array([t.track(f)[0] for f in frames[1:]]).tolist()))
"""


def test_each_tracker_draws_from_its_own_stream_in_any_process_and_order():
    first, second = (quadtrack.Tracker(FRAMES[0], TRUTH[0], **KEYS) for _ in range(2))
    alone = subprocess.run([sys.executable, "-c", FRESH], check=True, capture_output=True, text=True).stdout
    tracked = follow(first, FRAMES[1:4])
    assert np.array_equal(tracked, follow(second, FRAMES[1:4])) and np.array_equal(tracked, eval(alone))
    a, b, b2, a2 = (quadtrack.Tracker(FRAMES[0], TRUTH[0], seed=seed, **KEYS) for seed in (1, 2, 2, 1))
    assert np.array_equal(follow(a, FRAMES[1:4]), follow(a2, FRAMES[1:4])) and a.config["seed"] == 1
    assert np.array_equal(follow(b, FRAMES[1:4]), follow(b2, FRAMES[1:4]))
    assert not np.array_equal(follow(a, FRAMES[4:6]), follow(b, FRAMES[4:6]))
    # extensions = 0: the design's one stream, which trackers share.
    plain = [quadtrack.Tracker(FRAMES[0], TRUTH[0], extensions=0, **KEYS) for _ in range(2)]
    assert not np.array_equal(*(follow(t, FRAMES[1:4]) for t in plain)) and "seed" not in plain[0].config


def test_errors_carry_the_plain_message_the_key_and_the_report_and_integer_keys_whole_numbers():
    with pytest.raises(quadtrack.Error) as raised:
        quadtrack.Tracker(FRAMES[0], TRUTH[0], plans=0)
    e = raised.value
    assert e.key == "plans" and str(e) == 'configuration key "plans": 0 leaves no training perturbation'
    assert e.report.startswith("<MLX Error>\nIn file ") and e.report.endswith(str(e))
    with pytest.raises(quadtrack.Error) as raised:
        quadtrack.Tracker(np.zeros_like(FRAMES[0]), TRUTH[0])
    assert raised.value.key is None and str(raised.value).startswith("the sampled region is uniform")
    assert "<MLX Error>" not in str(raised.value) and "line #" in raised.value.report
    # Integer keys take whole numbers only (a float of whole value is one).
    with pytest.raises(quadtrack.Error, match='configuration key "plans": "100.5" is not an unsigned integer') as e:
        quadtrack.Tracker(FRAMES[0], TRUTH[0], plans=100.5)
    assert e.value.key == "plans"
    assert quadtrack.Tracker(FRAMES[0], TRUTH[0], plans=100.0, nbpoints="225").config["plans"] == 100
