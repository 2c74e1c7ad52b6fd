"""examples/track_many.py: short clips tracked in parallel on Dask, on a LocalCluster of its own
and on a cluster given by its scheduler's address."""
import csv
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import quadtrack
from conftest import write_clip

cv2 = pytest.importorskip("cv2")
distributed = pytest.importorskip("distributed")

ROOT = pathlib.Path(__file__).resolve().parents[2]
FRAMES, TRUTH = quadtrack.demo_sequence(20)
CLIPS = {"first": 0, "second": 4, "third": 8}  # each clip starts at this frame of the demo, 12 frames long


@pytest.fixture(scope="module")
def clips(tmp_path_factory):
    folder = tmp_path_factory.mktemp("clips")
    for name, start in CLIPS.items():
        write_clip(cv2, folder / f"{name}.avi", FRAMES[start:start + 12])
    corners = lambda k: ",".join(str(int(round(v))) for v in TRUTH[k].ravel())  # noqa: E731
    x, y = TRUTH[4].min(axis=0)
    (folder / "clips.csv").write_text(f"clip,region\nfirst.avi,{corners(0)}\nsecond.avi,{x:.0f},{y:.0f},90,90\n"
                                      f"third.avi,{corners(8)}\nmissing.avi,1,2,3,4\n")
    return folder


def run(clips, output, *options):
    return subprocess.run([sys.executable, str(ROOT / "examples/track_many.py"), str(clips / "clips.csv"),
                           "--output", str(output), "--set", "plans=200", *options],
                          capture_output=True, text=True, timeout=300)


def check(done, output):
    assert done.returncode == 1, done.stderr  # the missing clip
    assert "3 of 4 clips tracked" in done.stderr
    summary = list(csv.DictReader(open(output / "summary.csv")))
    assert [s["clip"] for s in summary] == ["first.avi", "second.avi", "third.avi", "missing.avi"]
    assert "no such file" in summary[3]["error"]
    assert all((s["frames"], s["lost"], s["error"]) == ("12", "0", "") and float(s["seconds"]) > 0 for s in summary[:3])
    for name, start in CLIPS.items():
        table = np.loadtxt(output / f"{name}.csv", delimiter=",", skiprows=1, usecols=range(10))
        assert table.shape == (12, 10) and list(table[:, 0]) == list(range(12))
        error = np.linalg.norm(table[1:, 1:9].reshape(-1, 4, 2) - TRUTH[start + 1:start + 12], axis=-1).mean()
        assert error < 0.5 or name == "second"  # the box is only near the region
    return summary


def test_a_local_cluster_of_two_workers_tracks_every_clip(clips, tmp_path):
    done = run(clips, tmp_path, "--workers", "2")
    assert "4 clips on 2 workers (LocalCluster)" in done.stderr
    assert all(s["worker"].startswith("tcp://127.0.0.1:") for s in check(done, tmp_path))
    assert "clip" in done.stdout.splitlines()[0] and "first.avi" in done.stdout


def test_a_cluster_given_by_its_scheduler_runs_the_clips(clips, tmp_path):
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None) as cluster:
        done = run(clips, tmp_path, "--scheduler", cluster.scheduler_address)
        workers = set(cluster.scheduler_info["workers"])
    assert f"4 clips on 2 workers ({cluster.scheduler_address})" in done.stderr
    assert {s["worker"] for s in check(done, tmp_path)} <= workers
