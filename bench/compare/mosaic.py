#!/usr/bin/python3
"""The mosaic of files against OpenCV's Stitcher (scans mode, Debian's python3-opencv) and
Hugin's tools (cpfind, cpclean, autooptimiser with camera translations: its mosaic mode) on the
tiles the tests cut from real photographs (4 x 3 serpentine, +-8 px jitter, vignetting,
exposure, noise, JPEG): how many tiles each places, how far from the truth, how long it takes.

  bench/compare/mosaic.py build        # build: the build folder with qrv-dm500 and bench/cut_tiles
"""
import os
import subprocess
import sys
import tempfile
import time

import cv2
import math
import re
import statistics

build = sys.argv[1] if len(sys.argv) > 1 else "build"
program = os.path.join(build, "qrv-dm500")
cut = os.path.join(build, "bench", "cut_tiles")


def truth_of(folder):
    rows = [line.strip().split(",") for line in open(os.path.join(folder, "truth.csv"))]
    return {name: (int(x), int(y)) for name, x, y in rows}


def ours(folder, names, truth):
    start = time.time()
    run = subprocess.run([program, "--mosaic", os.path.join(folder, "ours.png")] +
                         [os.path.join(folder, n) for n in names], capture_output=True, text=True)
    seconds = time.time() - start
    placed = {}
    for line in run.stdout.splitlines():
        words = line.split()
        if words[:1] == ["placed"]:
            placed[os.path.basename(words[1])] = (float(words[2]), float(words[3]))
    return score(placed, truth) + (seconds,)


def score(placed, truth):
    """Tiles within 1.5 px of the truth, and the largest error, with the mosaic's own origin
    matched to the truth's by the median offset (so one wrong tile does not move the rest)."""
    if not placed:
        return 0, float("nan")
    ox = statistics.median(x - truth[n][0] for n, (x, y) in placed.items())
    oy = statistics.median(y - truth[n][1] for n, (x, y) in placed.items())
    errors = [math.hypot(x - ox - truth[n][0], y - oy - truth[n][1]) for n, (x, y) in placed.items()]
    return sum(e <= 1.5 for e in errors), max(errors)


def stitcher(folder, names, truth):
    images = [cv2.imread(os.path.join(folder, n)) for n in names]  # libpng may warn about the profile
    start = time.time()
    s = cv2.Stitcher_create(cv2.Stitcher_SCANS)
    status, pano = s.stitch(images)
    seconds = time.time() - start
    if status != cv2.Stitcher_OK:
        return 0, f"failed ({status})", seconds
    used = len(s.component()) if hasattr(s, "component") else -1
    xs = [p[0] for p in truth.values()]
    ys = [p[1] for p in truth.values()]
    h, w = images[0].shape[:2]
    expected = (max(xs) - min(xs) + w, max(ys) - min(ys) + h)
    return used, f"{pano.shape[1]}x{pano.shape[0]} (truth {expected[0]}x{expected[1]})", seconds


def hugin(folder, names, truth):
    """Control points by cpfind, cleaned by cpclean, then only the cameras' shifts optimised
    (TrX, TrY: a flat subject under a moving camera). With a narrow rectilinear lens of
    10 degrees a shift of TrX is TrX * f pixels."""
    pto = os.path.join(folder, "hugin.pto")
    start = time.time()
    steps = [["pto_gen", "-o", pto, "-p", "0", "-f", "10"] + [os.path.join(folder, n) for n in names],
             ["cpfind", "--multirow", "-o", pto, pto],
             ["cpclean", "-o", pto, pto],
             ["pto_var", "--opt", "TrX,TrY,!TrX0,!TrY0", "-o", pto, pto],
             ["autooptimiser", "-n", "-o", pto, pto]]
    for step in steps:
        if subprocess.run(step, capture_output=True).returncode != 0:
            return 0, float("nan"), time.time() - start
    seconds = time.time() - start
    lines = open(pto).read().splitlines()
    images = [l for l in lines if l.startswith("i ")]
    linked = set()
    for l in lines:
        if l.startswith("c "):
            linked.update(int(re.search(r" %s(\d+)" % k, l).group(1)) for k in ("n", "N"))
    width = int(re.search(r" w(\d+)", images[0]).group(1))
    f = width / 2 / math.tan(math.radians(5))
    placed = {}
    for index, l in enumerate(images):
        if index in linked:
            name = os.path.basename(re.search(r' n"([^"]+)"', l).group(1))
            placed[name] = (float(re.search(r" TrX([-0-9.e]+)", l).group(1)) * f,
                            float(re.search(r" TrY([-0-9.e]+)", l).group(1)) * f)
    return score(placed, truth) + (seconds,)


print(f"{'photo':12} {'overlap':>7} | {'ours right/12':>13} {'worst px':>8} {'s':>5} | "
      f"{'Hugin right/12':>14} {'worst px':>8} {'s':>5} | {'Stitcher used':>13} {'size':>28} {'s':>5}")
for photo in ("board.jpg", "aloeL.jpg", "leuvenA.jpg"):
    for overlap in (0.2, 0.3, 0.55, 0.7):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([cut, photo, str(overlap), str(int(overlap * 100)), folder], check=True, stderr=subprocess.DEVNULL)
            truth = truth_of(folder)
            names = sorted(truth)
            right, worst, ours_s = ours(folder, names, truth)
            h_right, h_worst, h_s = hugin(folder, names, truth)
            used, size, st_s = stitcher(folder, names, truth)
            print(f"{photo:12} {overlap * 100:6.0f}% | {right:>13} {worst:>8.2f} {ours_s:>5.1f} | "
                  f"{h_right:>14} {h_worst:>8.2f} {h_s:>5.1f} | {used:>13} {size:>28} {st_s:>5.1f}", flush=True)
