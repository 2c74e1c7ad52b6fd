#!/usr/bin/python3
"""Plots convergence frequency against corner offset sigma, one line per method, from the CSV
written by quadtrack_benchmark. Usage: plot_convergence.py convergence.csv picture.png"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt


def main(source, picture):
    with open(source, newline="") as f:
        rows = list(csv.reader(f))
    sigmas = [float(s) for s in rows[0][1:]]
    fig, ax = plt.subplots(figsize=(6.4, 4.0), dpi=120)
    for row in rows[1:]:
        style = "--" if "OpenCV" in row[0] else "-"
        ax.plot(sigmas, [float(v) for v in row[1:]], style, marker="o", label=row[0])
    ax.set_xlabel("corner offset sigma (px)")
    ax.set_ylabel("converged within 1 px RMS (%)")
    ax.set_ylim(0, 102)
    ax.set_xticks(sigmas)
    ax.grid(True, alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(picture)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
