#!/usr/bin/env python3
"""Measures how many frames the viewer draws while it extracts isosurfaces, against the
frames it draws at rest, on a city of your choice (for example `citygen DIR --large`).

Usage: VELMORA=build/velmora tests/e2e/framerate_during_work.py DIR [SECONDS]

Frames are counted from the console: while a right drag is held still, every idle turn
between two frames prints the camera's four Move lines, and the harness notes when each
piece of the transcript arrived. Measured, on the isosurface panel with "Contour Momentum":
at rest; during the first extraction of the variable (every tetrahedron is visited); and
while "+" is held for SECONDS (default 6), which extracts again five times a second. The
extraction runs on one thread (VELMORA_THREADS=1).
"""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Viewer, widget_centre  # noqa: E402

OPEN_ISO = (10, 335, 180, 35)
MOMENTUM = (10, 295, 380, 35)
GENERATE = (10, 100, 380, 35)
PLUS = (355, 415, 35, 35)


def frame_times(v, start, end=None):
    """Arrival times of the Move lines' `dir` rows in the transcript from `start`."""
    text = v.text()[start:end]
    return [v.arrival(start + m.start() + 1) for m in re.finditer(r"\ndir = ", text)]


def rate(times):
    return (len(times) - 1) / (times[-1] - times[0]) if len(times) > 1 else 0.0


def main():
    folder = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 6.0
    with Viewer(folder, env={"VELMORA_THREADS": "1"}) as v:
        v.wait_for("Updating window size to 1024 x 768\n", timeout=600)
        v.wait_for_panel(200)
        blocks = len(re.findall(r"-> A block of", v.text()))
        v.click(*widget_centre(*OPEN_ISO))
        v.wait_for_panel(400)
        v.click(*widget_centre(*MOMENTUM))
        v.frames(0.5)

        v.move(*widget_centre(*GENERATE))
        mark = len(v.text())
        v.xdotool("mousedown", 3, "sleep", 3, "mouseup", 3)
        print("at rest: %.1f frames/s" % rate(frame_times(v, mark)))

        mark = len(v.text())
        clicked = time.time()
        v.xdotool("click", 1, "mousedown", 3)
        done = v.wait_for("Block %d processed" % blocks, start=mark, timeout=600)
        time.sleep(2)
        v.xdotool("mouseup", 3)
        text = v.text()
        first = text.index("Block 1 processed", mark)
        during = frame_times(v, mark, first)
        triangles = sum(int(n) for n in re.findall(r"processed\.\. (\d+) triangles",
                                                   text[first:text.index("\n", done)]))
        after = frame_times(v, first)
        gaps = [b - a for a, b in zip(after, after[1:])]
        print("first extraction (%d blocks, %d triangles): %.2f s from the click to its output;"
              " %d frames meanwhile, %.1f frames/s" % (blocks, triangles, v.arrival(done) - clicked,
                                                       len(during), rate(during)))
        print("  the frame that compiled the result: %.2f s; then %.1f frames/s"
              % (max(gaps), rate(after)))

        v.move(*widget_centre(*PLUS))
        mark = len(v.text())
        v.xdotool("mousedown", 1, "mousedown", 3)
        start = time.time()
        time.sleep(seconds)
        v.xdotool("mouseup", 3)
        end = time.time()
        v.xdotool("mouseup", 1)
        v.frames(2)
        held = [t for t in frame_times(v, mark) if start <= t <= end]
        gaps = [b - a for a, b in zip(held, held[1:])]
        count = len(re.findall("Block %d processed" % blocks, v.text()[mark:]))
        print("\"+\" held %.1f s: %d extractions shown, %d frames, %.1f frames/s, longest %.2f s"
              % (end - start, count, len(held), rate(held), max(gaps)))


if __name__ == "__main__":
    main()
