"""The viewer connected to velmora-server (N = 1, 2, 3 processes) against the viewer with the
volume at hand, on the small and the default city: the same transcript, from the loading
lines through an isosurface and a set of path lines, and the same picture."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from harness import Viewer, shared_city, widget_centre  # noqa: E402
from test_server import Server  # noqa: E402

MAIN = {"PathLine": (10, 375, 180, 35), "Isosurface": (10, 335, 180, 35)}
PATH = {"Back": (10, 10, 380, 35), "Generate": (10, 330, 380, 35)}
ISO = {"Contour Energy": (10, 335, 380, 35), "Generate": (10, 100, 380, 35),
       "Back": (10, 10, 380, 35)}
SETTLE = 1.5
FPS_BOX = (0, 730, 110, 768)


def press(v, table, name):
    v.click(*widget_centre(*table[name]))


def session(folder, args=()):
    """Runs the same session in a viewer; returns its transcript and its last picture."""
    with Viewer(folder, args=list(args)) as v:
        v.wait_for("Updating window size to 1024 x 768\n")
        v.frames(SETTLE)
        press(v, MAIN, "Isosurface")
        v.frames(SETTLE)
        press(v, ISO, "Contour Energy")
        mark = len(v.text())
        press(v, ISO, "Generate")
        blocks = v.text().count("-> A block of")
        v.wait_for("Block %d processed.." % blocks, start=mark, timeout=120)
        press(v, ISO, "Back")
        v.frames(SETTLE)
        press(v, MAIN, "PathLine")
        v.frames(SETTLE)
        mark = len(v.text())
        press(v, PATH, "Generate")
        last = v.wait_for("Generating pathline 9\n", start=mark, timeout=120)
        v.wait_for("-> Pathline terminated with", start=last, timeout=120)
        v.frames(1.0)
        picture = v.screenshot()
        return v.text(), picture


class ViewerConnected(unittest.TestCase):
    def check_city(self, folder, blocks):
        local_text, local_picture = session(folder)
        self.assertIn("Block %d processed.." % blocks, local_text)
        for n in (1, 2, 3):
            with Server(folder, n) as server:
                text, picture = session(folder, ["--connect", server.connect_arg()])
                # The work was the server's.
                self.assertIn("iso field=energy", server.output())
                self.assertIn("pathlines lines=10 ", server.output())
            self.assertEqual(text, local_text, "N=%d" % n)
            x0, y0, x1, y1 = FPS_BOX
            differing = [(x, y) for y in range(0, 768, 2) for x in range(0, 1024, 2)
                         if not (x0 <= x < x1 and y0 <= y < y1)
                         and picture.pixel(x, y) != local_picture.pixel(x, y)]
            self.assertEqual(differing[:10], [], "N=%d: the pictures differ" % n)

    def test_small_city(self):
        self.check_city(shared_city("--small"), 1)

    def test_default_city(self):
        self.check_city(shared_city(""), 75)


if __name__ == "__main__":
    unittest.main()
