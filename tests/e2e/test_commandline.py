"""The command line as a user meets it: a data folder given from elsewhere, --help, wrong
options, and --screenshot, whose picture must be the window's own start view."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, XServer, make_city, read_png, run_velmora  # noqa: E402

FPS_BOX = (0, 730, 110, 768)  # the frame-rate box's corner (x0, y0, x1, y1), y downward


def differing(a, b, skip=FPS_BOX):
    """Pixels that differ between two pictures of the window, outside `skip`."""
    x0, y0, x1, y1 = skip
    return sum(1 for y in range(0, a.height, 2) for x in range(0, a.width, 2)
               if not (x0 <= x < x1 and y0 <= y < y1) and a.pixel(x, y) != b.pixel(x, y))


class CommandLine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_city()
        cls.elsewhere = tempfile.mkdtemp(prefix="velmora-e2e-cwd-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)
        shutil.rmtree(cls.elsewhere, ignore_errors=True)

    def test_help_and_wrong_input_need_no_display(self):
        status, out, err = run_velmora(["--help"])
        self.assertEqual(status, 0)
        self.assertEqual(err, "")
        for needed in ("Usage: velmora [DATADIR]", "--screenshot FILE", "Left drag", "Esc",
                       "h or F1"):
            self.assertIn(needed, out)

        status, out, err = run_velmora(["--frobnicate", self.folder])
        self.assertEqual(status, 2)
        self.assertEqual(out, "")
        self.assertTrue(err.startswith('velmora: unknown option "--frobnicate"\n'), err)
        self.assertIn("Usage: velmora [DATADIR]", err)

        missing = os.path.join(self.elsewhere, "no-such-folder")
        status, out, err = run_velmora([missing])
        self.assertEqual(status, 2)
        self.assertEqual(out, "")
        self.assertEqual(err, 'ERROR: data folder "%s" does not exist\n' % missing)

    def test_data_folder_given_from_another_folder(self):
        with Viewer(self.folder, args=[self.folder], cwd=self.elsewhere) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            text = v.text()
            # The files are read from the folder and named as always.
            for i in range(1, 5):
                self.assertRegex(text, r'Loading "surface-%d\.kav"\.\.\.\nFile contains \d+ '
                                 r"points and \d+ triangles\.\.\.\nLoading complete\.\.\n" % i)
            self.assertIn('Reading tetrahedral volume file "volume.kav"...\n', text)
            self.assertNotIn("ERROR", text)
            v.frames(1.5)
            lit = [p for p in v.screenshot().pixels(420, 0, 780, 700, step=8) if max(p) > 40]
            self.assertGreater(len(lit), 1000, "the city does not show")
            # Screenshots go to the data folder too.
            mark = len(v.text())
            v.key("p")
            v.wait_for('Saved "velmora-0001.png"\n', start=mark)
            self.assertTrue(os.path.exists(os.path.join(self.folder, "velmora-0001.png")))
            self.assertEqual(os.listdir(self.elsewhere), [])
            os.remove(os.path.join(self.folder, "velmora-0001.png"))

    def test_screenshot_option_saves_the_start_view_and_exits(self):
        with XServer() as x:
            status, out, err = run_velmora(["--screenshot", "start.png", self.folder],
                                           cwd=self.elsewhere, display=x.display)
        self.assertEqual(status, 0, err)
        self.assertIn("Updating window size to 1024 x 768\n", out)
        shot = os.path.join(self.elsewhere, "start.png")  # relative to where it was started
        picture = read_png(shot)
        os.remove(shot)
        self.assertEqual((picture.width, picture.height), (1024, 768))

        # The same start view in a running viewer, as `import` reads it off the screen.
        with Viewer(self.folder) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            v.wait_for_panel(200)
            screen = v.screenshot()
        self.assertEqual(differing(picture, screen), 0)
        self.assertGreater(sum(1 for p in picture.pixels(step=8) if max(p) > 40), 5000)

        with XServer() as x:
            status, out, err = run_velmora(
                ["--screenshot", os.path.join(self.elsewhere, "gone", "start.png"), self.folder],
                display=x.display)
        self.assertEqual(status, 1)
        self.assertRegex(err, r'^ERROR: cannot write "[^\n]*gone/start\.png[^\n]*\n$')
        self.assertEqual(os.listdir(self.elsewhere), [])


if __name__ == "__main__":
    unittest.main()
