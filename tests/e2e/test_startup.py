"""The viewer started as a user meets it: transcript, first picture, camera drag, bad data."""

import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, XServer, make_city, run_velmora  # noqa: E402

MOVE_LINES = r"xdir = [^\n]*\nydir = [^\n]*\nzdir = [^\n]*\ndir = [^\n]*\n"


def is_map_colour(rgb):
    """A lit pixel of the blue-to-red map: saturated, not grey and not black."""
    return max(rgb) >= 40 and max(rgb) - min(rgb) >= 30


class DemoCity(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_city()

    def test_transcript_picture_and_drag(self):
        with Viewer(self.folder) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            text = v.text()
            surfaces = "".join(
                r'Loading "surface-%d\.kav"\.\.\.\nFile contains \d+ points and \d+ '
                r"triangles\.\.\.\nLoading complete\.\.\n" % i for i in range(1, 5))
            volume = (r'Reading tetrahedral volume file "volume\.kav"\.\.\.\nVolume spans:\n'
                      r"\tX:\t-500\.000000\t500\.000000\n\tY:\t0\.000000\t250\.000000\n"
                      r"\tZ:\t-500\.000000\t500\.000000\n-> \d+ vertices\.\n"
                      r"-> Reading Tetrahedral Blocks\.\.\.\n"
                      r"(\r-> A block of \d+ tetrahedra\.          )+")
            self.assertRegex(text, "^" + surfaces + volume + MOVE_LINES +
                             r"Updating window size to 1024 x 768\n")
            # The camera starts lifted by half the scene's height, along its own up axis.
            lift = re.search(r"\ndir = ([-\d.]+), ([-\d.]+), ([-\d.]+)\n", text)
            self.assertAlmostEqual(sum(float(c) ** 2 for c in lift.groups()) ** 0.5, 125, 3)

            v.frames(1.5)
            before = v.screenshot()
            coloured = [p for p in before.pixels(step=8) if is_map_colour(p)]
            self.assertGreater(len(coloured), 2000, "the city is not coloured")
            bluish = sum(1 for r, g, b in coloured if b > r and b > g)
            warm = sum(1 for r, g, b in coloured if r > b or g > b)
            self.assertGreater(bluish, 50, "no low values (blue) in the picture")
            self.assertGreater(warm, 50, "no higher values (cyan to red) in the picture")

            v.drag(700, 400, 760, 420, hold=0.7)
            v.frames(0.5)
            after = v.screenshot()
            self.assertGreater(after.differs(before), 1000, "a left drag did not turn the view")
            self.assertTrue(v.running())


class BadData(unittest.TestCase):
    def test_empty_folder_reports_and_keeps_running(self):
        folder = tempfile.mkdtemp(prefix="velmora-e2e-empty-")
        with Viewer(folder) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            v.frames(1.0)
            self.assertEqual(v.text().count("ERROR:: No such file or directory"), 5)
            self.assertRegex(v.text(), "dir = 0.000000, 0.000000, 0.000000\n")
            self.assertTrue(v.running())
            picture = v.screenshot()
            self.assertEqual(picture.pixel(512, 384), (0, 0, 0))

    def test_truncated_volume_is_refused_and_the_city_still_shows(self):
        folder = make_city()
        with open(os.path.join(folder, "volume.kav"), "r+b") as f:
            f.truncate(os.path.getsize(f.name) - 7)
        with Viewer(folder) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            self.assertRegex(v.text(), r'ERROR: "volume\.kav": [^\n]*nothing loaded from it\.\n')
            v.frames(1.0)
            self.assertTrue(v.running())

    def test_wrong_magic_ends_with_status_minus_one(self):
        folder = make_city()
        with open(os.path.join(folder, "surface-3.kav"), "r+b") as f:
            f.write(b"KAVS")
        with XServer() as x:
            status, out, _ = run_velmora([], cwd=folder, display=x.display, timeout=60)
        self.assertEqual(status, 255)
        self.assertTrue(out.endswith('Loading "surface-3.kav"...\nFile is not in valid SKAV'
                                     ' format!\n'), out[-500:])


if __name__ == "__main__":
    unittest.main()
