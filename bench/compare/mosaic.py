#!/usr/bin/python3
"""The mosaic of files against OpenCV's Stitcher (scans mode, Debian's python3-opencv) on the
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
    if not placed:
        return 0, float("nan"), seconds
    ref = next(iter(placed))
    errors = []
    for name, (x, y) in placed.items():
        tx, ty = truth[name][0] - truth[ref][0], truth[name][1] - truth[ref][1]
        px, py = x - placed[ref][0], y - placed[ref][1]
        errors.append(((px - tx) ** 2 + (py - ty) ** 2) ** 0.5)
    right = sum(e <= 1.5 for e in errors)
    return right, max(errors), seconds


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


print(f"{'photo':12} {'overlap':>7}  {'ours: right/12':>14} {'largest err':>11} {'s':>5}   {'Stitcher: used':>14} {'size':>28} {'s':>5}")
for photo in ("board.jpg", "aloeL.jpg", "leuvenA.jpg"):
    for overlap in (0.2, 0.3, 0.55, 0.7):
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run([cut, photo, str(overlap), str(int(overlap * 100)), folder], check=True, stderr=subprocess.DEVNULL)
            truth = truth_of(folder)
            names = sorted(truth)
            right, largest, ours_s = ours(folder, names, truth)
            used, size, st_s = stitcher(folder, names, truth)
            print(f"{photo:12} {overlap * 100:6.0f}%  {right:>14} {largest:>11.2f} {ours_s:>5.1f}   {used:>14} {size:>28} {st_s:>5.1f}")
