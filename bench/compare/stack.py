#!/usr/bin/python3
"""--stack against enfuse (Debian's align_image_stack + enfuse --hard-mask --contrast-weight=1)
on focus stacks of the simulated relief slide as a camera gives them (noise, JPEG), whose
blur spreads a defocused component over the board as a lens does, with the truth known:

- RMS error against the truth (each point from the picture focused on its height), over the
  picture and in the halo band (the board 3 to 8 px beside a component);
- where nothing is sharp (the low left of the board, a stack focused only over the
  components): the Laplacian's standard deviation against the sharpest input's there.

  bench/compare/stack.py build [step]

step: the focus steps between pictures (10; 2 is a stack taken by hand in small steps).
"""
import glob
import os
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np

build = sys.argv[1] if len(sys.argv) > 1 else "build"
program = os.path.join(build, "qrv-dm500")
relief = os.path.join(build, "bench", "relief_stack")
step = sys.argv[2] if len(sys.argv) > 2 else "10"


def ours(folder):
    out = os.path.join(folder, "ours.png")
    frames = sorted(glob.glob(os.path.join(folder, "frame_*.png")))
    start = time.time()
    subprocess.run([program, "--stack", out] + frames, check=True, capture_output=True)
    return cv2.imread(out), time.time() - start


def enfuse(folder):
    frames = sorted(glob.glob(os.path.join(folder, "frame_*.png")))
    start = time.time()
    subprocess.run(["align_image_stack", "-m", "-a", os.path.join(folder, "aligned_")] + frames, check=True,
                   capture_output=True)
    aligned = sorted(glob.glob(os.path.join(folder, "aligned_*.tif")))
    out = os.path.join(folder, "enfuse.tif")
    subprocess.run(["enfuse", "--exposure-weight=0", "--saturation-weight=0", "--contrast-weight=1", "--hard-mask",
                    "-o", out] + aligned, check=True, capture_output=True)
    return cv2.imread(out), time.time() - start


def laplacian_std(picture, box):
    x, y, w, h = box
    grey = cv2.cvtColor(picture, cv2.COLOR_BGR2GRAY).astype(np.float32)
    return float(cv2.Laplacian(grey, cv2.CV_32F)[y:y + h, x:x + w].std())


def rms(a, b, mask):
    d = (a.astype(np.float32) - b.astype(np.float32))[mask]
    return float(np.sqrt((d ** 2).mean()))


with tempfile.TemporaryDirectory() as work:
    full, high = os.path.join(work, "full"), os.path.join(work, "high")
    subprocess.run([relief, full, "0", "100", step], check=True)
    subprocess.run([relief, high, "60", "100", step], check=True)
    truth = cv2.imread(os.path.join(full, "truth.png"))
    heights = cv2.imread(os.path.join(full, "heights.png"), cv2.IMREAD_GRAYSCALE)
    components = (heights > 60).astype(np.uint8)
    near = cv2.dilate(components, np.ones((17, 17), np.uint8))
    close = cv2.dilate(components, np.ones((7, 7), np.uint8))
    band = (near > 0) & (close == 0)
    inner = np.zeros(heights.shape, bool)
    inner[20:-20, 20:-20] = True
    box = (30, 40, 50, 430)
    frames = [cv2.imread(f) for f in sorted(glob.glob(os.path.join(high, "frame_*.png")))]
    sharpest = max(laplacian_std(f, box) for f in frames)
    print(f"{'':8} {'RMS vs truth':>12} {'halo band RMS':>13} {'nothing sharp: Laplacian sd / sharpest input':>45} {'s':>5}")
    for name, run in (("ours", ours), ("enfuse", enfuse)):
        result, seconds = run(full)
        blurred, _ = run(high)
        print(f"{name:8} {rms(result, truth, inner):12.2f} {rms(result, truth, band & inner):13.2f} "
              f"{laplacian_std(blurred, box) / sharpest:45.2f} {seconds:5.1f}")
