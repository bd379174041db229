"""Long work never freezes the window: frames keep coming while a queue of extractions over
the large demo city runs on one thread, Esc cancels the work and keeps a surface shown, and a
held "+" extracts again as the value moves. One extraction of the large city takes a few tens
of milliseconds, so the long work is many requests queued by quick clicks on "Generate"."""

import os
import re
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, make_city, read_png, shared_city, widget_centre  # noqa: E402

OPEN_CITY = (10, 415, 180, 35)
OPEN_ISO = (10, 335, 180, 35)
CITY = {"Show Ceiling": (10, 255, 35, 35), "Show Walls": (10, 215, 35, 35),
        "Show City": (10, 175, 35, 35), "Back": (10, 10, 380, 35)}
ISO = {"Contour Energy": (10, 335, 380, 35), "Contour Momentum": (10, 295, 380, 35),
       "+": (355, 415, 35, 35), "Generate": (10, 100, 380, 35)}
VIEW = (420, 0, 780, 700)  # right of the panels, left of the legend, above the bottom strip
ONE_THREAD = {"VELMORA_THREADS": "1"}  # the extraction is as long as it gets
QUEUED = 40  # requests clicked in a row: about a second of work on one thread
MANY = 200  # requests clicked in a row faster than the worker can follow
MOVE = re.compile(r"xdir = .*\nydir = .*\nzdir = .*\ndir = ([-\d.]+), ([-\d.]+), ([-\d.]+)\n")


def block_count(text):
    return len(re.findall(r"-> A block of \d+ tetrahedra", text))


def extraction(blocks):
    """The lines of one whole extraction, in order."""
    return "".join(r"Block %d processed\.\. \d+ triangles added\.\n" % (b + 1)
                   for b in range(blocks))


def is_isosurface(p):
    """The isosurface's colour (0, 0.7, 0.7) under the scene's lights: no red, green = blue."""
    r, g, b = p
    return r == 0 and g == b and g >= 150


def differing(a, b, box):
    x0, y0, x1, y1 = box
    return sum(1 for p, q in zip(a.pixels(x0, y0, x1, y1, 2), b.pixels(x0, y0, x1, y1, 2))
               if p != q)


class LongWork(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.large = shared_city("--large")
        cls.small = make_city()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.small, ignore_errors=True)

    def start(self, folder, env=None):
        v = Viewer(folder, env=env)
        v.wait_for("Updating window size to 1024 x 768\n", timeout=300)
        v.wait_for_panel(200)
        return v

    @staticmethod
    def wait_for_queue(v, mark, blocks):
        """Waits until the last block of every queued extraction started after `mark` is
        reported."""
        last = "Block %d processed" % blocks
        deadline = time.time() + 300
        while v.text()[mark:].count(last) < QUEUED:
            if time.time() > deadline or not v.running():
                raise AssertionError("the queue did not end:\n" + v.text()[-3000:])
            time.sleep(0.05)

    def press(self, v, name, wait=0.3):
        v.click(*widget_centre(*ISO[name]))
        v.frames(wait)

    def test_frames_keep_coming_and_the_camera_moves_during_an_extraction(self):
        with self.start(self.large, ONE_THREAD) as v:
            blocks = block_count(v.text())
            # Only the floor stays in view, so that frames are quick to draw even on a busy
            # machine: what is measured is whether they are drawn at all.
            v.click(*widget_centre(*OPEN_CITY))
            v.wait_for_panel(400)
            for box in ("Show Ceiling", "Show Walls", "Show City", "Back"):
                v.click(*widget_centre(*CITY[box]))
            v.wait_for_panel(200)
            v.click(*widget_centre(*OPEN_ISO))
            v.wait_for_panel(400)
            self.press(v, "Contour Momentum")
            before = v.screenshot()
            mark = len(v.text())
            # Requests queued by quick clicks on "Generate", and at once a right drag that
            # flies the camera forwards.
            v.move(*widget_centre(*ISO["Generate"]))
            v.xdotool("click", "--repeat", QUEUED, "--delay", 5, 1, "mousemove", 600, 400,
                      "mousedown", 3, "mousemove", 600, 380)
            self.wait_for_queue(v, mark, blocks)
            v.xdotool("mouseup", 3)
            v.frames(1.0)
            text = v.text()[mark:]

            # The idle turns between frames moved the camera while the queue was worked
            # through: Move lines come before the last extraction's output (a window that
            # froze would take the drag only after the work)...
            last = text.rindex("Block 1 processed")
            moves = MOVE.findall(text[:last])
            self.assertGreaterEqual(len(moves), 3, "no frames were drawn during the work")
            self.assertTrue(any(float(c) != 0 for m in moves for c in m))
            # ... and every extraction's output is whole, undisturbed by them.
            self.assertRegex(MOVE.sub("", text), "^(%s){%d}$" % (extraction(blocks), QUEUED))
            self.assertGreater(differing(before, v.screenshot(), VIEW), 1000)

    @staticmethod
    def progress_bar(image):
        """The bar along the bottom, right of the frame-rate box, as the pixels of its row
        that are filled, or None: blocks done filled dark blue from the left, the rest a
        see-through white."""
        row = [image.pixel(x, 752) for x in range(112, 1012)]
        filled = [p == (0, 0, 128) for p in row]
        return filled if all(f or min(p) >= 178 for p, f in zip(row, filled)) else None

    def picture_with_progress_bar(self, v, mark, blocks):
        """Takes pictures (p) until one shows the progress bar or the queue of extractions
        started after `mark` has ended (the worker may start a little after the click, a
        frame after it); returns the bar's filled pixels, or None."""
        saved = mark
        for _ in range(100):
            v.key("p")
            saved = v.wait_for('Saved "', start=saved) + len('Saved "')
            v.wait_for('"\n', start=saved)
            shot = os.path.join(self.large, v.text()[saved:v.text().index('"', saved)])
            bar = self.progress_bar(read_png(shot))
            os.remove(shot)
            done = v.text()[mark:].count("Block %d processed" % blocks)
            if bar is not None or done == QUEUED:
                return bar
            v.frames(0.05)
        return None

    def test_esc_cancels_the_running_extraction_and_keeps_the_surface_shown(self):
        with self.start(self.large, ONE_THREAD) as v:
            blocks = block_count(v.text())
            # Only the floor stays in view, so that a frame is drawn well within an
            # extraction even on a busy machine.
            v.click(*widget_centre(*OPEN_CITY))
            v.wait_for_panel(400)
            for box in ("Show Ceiling", "Show Walls", "Show City", "Back"):
                v.click(*widget_centre(*CITY[box]))
            v.wait_for_panel(200)
            v.click(*widget_centre(*OPEN_ISO))
            v.wait_for_panel(400)
            self.press(v, "Contour Energy")
            mark = len(v.text())
            # A picture taken (p) while the queued extractions run shows the progress bar.
            v.move(*widget_centre(*ISO["Generate"]))
            v.xdotool("click", "--repeat", QUEUED, "--delay", 5, 1)
            filled = self.picture_with_progress_bar(v, mark, blocks)
            self.assertIsNotNone(filled, "no progress bar")
            self.assertNotIn(True, filled[filled.index(False):] if False in filled else [])
            self.wait_for_queue(v, mark, blocks)
            v.wait_until(lambda shot: sum(1 for p in shot.pixels(*VIEW, step=4)
                                          if is_isosurface(p)) > 100)

            # Esc right behind the clicks: it stops the running request and drops the
            # waiting ones; what finished before it stays shown.
            self.press(v, "Contour Momentum")
            mark = len(v.text())
            v.move(*widget_centre(*ISO["Generate"]))
            v.xdotool("click", "--repeat", MANY, "--delay", 1, 1, "key", "Escape")
            v.wait_for("Cancelled.\n", start=mark)
            v.frames(1.5)
            out = v.text()[mark:]
            self.assertRegex(out, "^(%s)*Cancelled\\.\n$" % extraction(blocks))
            self.assertLess(out.count("Block 1 processed"), MANY)
            shown = v.screenshot()
            self.assertGreater(sum(1 for p in shown.pixels(*VIEW, step=4) if is_isosurface(p)),
                               100, "no surface is shown after the cancel")
            v.frames(1.0)
            self.assertEqual(differing(shown, v.screenshot(), VIEW), 0,
                             "the picture changed after the cancel")

            # Esc with nothing running prints nothing; the next request runs as usual.
            mark = len(v.text())
            v.key("Escape")
            self.press(v, "Generate")
            v.wait_for("Block %d processed" % blocks, start=mark, timeout=120)
            self.assertRegex(v.text()[mark:], "^" + extraction(blocks))
            self.assertTrue(v.running())

    def test_holding_plus_extracts_again_as_the_value_moves(self):
        with self.start(self.small) as v:
            blocks = block_count(v.text())
            v.click(*widget_centre(*OPEN_ISO))
            v.wait_for_panel(400)
            self.press(v, "Contour Energy")
            plus = widget_centre(*ISO["+"])
            mark = len(v.text())
            self.press(v, "+", 1.0)  # a click steps once and extracts nothing
            self.assertEqual(v.text()[mark:], "")

            before = v.screenshot()
            v.hold(*plus, seconds=1.8)
            v.frames(1.0)
            out = v.text()[mark:]
            whole = re.findall(extraction(blocks), out)
            self.assertGreaterEqual(len(whole), 3, out[-2000:])
            self.assertEqual(out, "".join(whole))
            # The value label moved on, and the surface shows.
            self.assertGreater(differing(before, v.screenshot(), VIEW), 500)
            after = v.text()
            v.frames(1.0)
            self.assertEqual(v.text(), after, "extractions went on after the button was let go")


if __name__ == "__main__":
    unittest.main()
