"""Package conventions: version, repr, stubs a type checker reads, build requirements, the README's
commands and the video example as a new user runs them."""
import pathlib
import re
import subprocess
import sys
import tomllib

import numpy as np
import pytest

import quadtrack
from conftest import write_clip

ROOT = pathlib.Path(__file__).resolve().parents[2]
FRAMES, TRUTH = quadtrack.demo_sequence(12)

TYPED = """
import quadtrack
frames, truth = quadtrack.demo_sequence(3)
t = quadtrack.Tracker(frames[0], box=(60, 40, 80, 80), method="jd", plans=100)
t.init(frames[1], truth[1])
corners, score = t.track(frames[2])
ok, held = t.update(frames[2])
n: int = t.frames
try:
    quadtrack.Tracker(frames[0], truth[0], plans=0)
except quadtrack.Error as e:
    key: str | None = e.key
    version: str = quadtrack.__version__ + e.report
"""


def test_version_repr_and_build_requirements():
    project = re.search(r"project\(quadtrack VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert quadtrack.__version__ == project
    t = quadtrack.Tracker(FRAMES[0], box=(100, 70, 60, 50), plans=100)
    assert repr(t) == "<quadtrack.Tracker method=jd region=60.0x50.0 frames=0 lost=False>"
    t.track(FRAMES[1]), t.track(np.zeros_like(FRAMES[0]))
    assert repr(t) == "<quadtrack.Tracker method=jd region=60.0x50.0 frames=1 lost=True>"
    requires = tomllib.loads((ROOT / "pyproject.toml").read_text())["build-system"]["requires"]
    assert {re.split("[<>=]", r)[0] for r in requires} >= {"setuptools", "wheel", "pybind11", "numpy"}


def test_the_stubs_are_installed_and_a_type_checker_reads_them(tmp_path):
    package = pathlib.Path(quadtrack.__file__).parent
    assert (package / "py.typed").is_file() and (package / "_core.pyi").is_file()
    (tmp_path / "good.py").write_text(TYPED)
    (tmp_path / "bad.py").write_text(TYPED + "wrong: str = t.frames\nt.track(frames[0], 3)\n")
    mypy = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache")]
    good = subprocess.run(mypy + [str(tmp_path / "good.py")], capture_output=True, text=True)
    assert good.returncode == 0, good.stdout
    bad = subprocess.run(mypy + [str(tmp_path / "bad.py")], capture_output=True, text=True)
    assert bad.returncode == 1 and "Found 2 errors" in bad.stdout, bad.stdout
    assert 'variable has type "str"' in bad.stdout and 'Too many arguments for "track"' in bad.stdout


def test_the_readme_runs_debians_python_and_its_opencv_lines_track_a_file(tmp_path, monkeypatch):
    cv2 = pytest.importorskip("cv2")
    readme = (ROOT / "README.md").read_text()
    commands = [line.strip() for block in re.findall(r"```sh\n(.*?)```", readme, re.S) for line in block.splitlines()]
    assert [c for c in commands if re.search(r"(^|\s)python3? ", c)] == []
    assert any(c.startswith("/usr/bin/python3 -m venv") for c in commands)
    # The Python section's OpenCV lines, on a file in place of the webcam, the box as if selected.
    snippet = re.search(r"## Python\n.*?```python\n(.*?)```", readme, re.S).group(1)
    assert len([line for line in snippet.splitlines() if line.strip() and not line.startswith(("import", "#"))]) == 5
    write_clip(cv2, tmp_path / "clip.avi", FRAMES)
    monkeypatch.setattr(cv2, "selectROI", lambda *args: (81, 40, 95, 95))
    scope = {}
    exec(snippet.replace("cv2.VideoCapture(0)", f"cv2.VideoCapture({str(tmp_path / 'clip.avi')!r})"), scope)
    assert scope["tracker"].frames == len(FRAMES) - 1 and scope["corners"].shape == (4, 2)


def test_the_video_example_runs_from_any_python_and_refuses_a_bad_setting_in_one_line(tmp_path):
    example = ROOT / "examples/track_video.py"
    assert example.read_text().startswith("#!/usr/bin/env python3\n")
    cv2 = pytest.importorskip("cv2")
    write_clip(cv2, tmp_path / "in.avi", FRAMES[:3])
    base = [sys.executable, str(example), str(tmp_path / "in.avi"), "--box", "81,40,95,95",
            "--output", str(tmp_path / "out.avi"), "--csv", str(tmp_path / "out.csv")]
    for setting, words in (("plans=abc", 'track_video: --set plans=abc: configuration key "plans": "abc" is not an unsigned'),
                           ("plans=100.5", 'track_video: --set plans=100.5: configuration key "plans": "100.5" is not'),
                           ("plan=100", "track_video: --set: no key 'plan'")):
        done = subprocess.run(base + ["--set", setting], capture_output=True, text=True)
        assert done.returncode == 1 and done.stderr.startswith(words) and done.stderr.count("\n") == 1, done.stderr
    done = subprocess.run(base + ["--set", "plans=200"], capture_output=True, text=True, check=True)
    assert "tracked 2 frames, lost 0" in done.stderr
