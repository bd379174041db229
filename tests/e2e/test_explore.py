"""Exploring the data as a user does: the colour legend, framing the data with f and going
back with r, screenshots with p, and the help panel."""

import math
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, make_city, read_png, widget_centre  # noqa: E402
from kav import scaled_city  # noqa: E402

TEXT_BLUE = (0, 0, 128)
MOVE_LINES = r"xdir = [^\n]*\nydir = [^\n]*\nzdir = [^\n]*\ndir = [^\n]*\n"
FPS_BOX = (0, 730, 110, 768)  # x0, y0, x1, y1 in window pixels, y downward

# Where the legend lies in a 1024 x 768 window (window pixels, y downward): the colour bar
# spans columns 801..820 and rows 229..573, its foot (the minimum) at row 573, and the five
# values stand right of it from column 831, beside ticks at rows 573, 487, 401, 315 and 228.
BAR_X0, BAR_X1, BAR_FOOT, BAR_PIXELS = 801, 821, 574, 345
LABEL_X0, LABEL_X1 = 831, 1010
TICK_ROWS = [767 - (194 + 345 * i // 4) for i in range(5)]
NAME_ROWS = (768 - 563 - 20, 768 - 563 + 2)
CITY_PANEL = {"No Color": (10, 415, 380, 35), "Color By Density": (10, 375, 380, 35)}
OPEN_CITY = (10, 415, 180, 35)


def map_entry(i):
    """Entry i of the viewer's 4096-entry blue-to-red colour map."""
    ramp, j = divmod(i, 1024)
    up = int(j * (1 / 1024) * 255)
    down = int((1 - j * (1 / 1024)) * 255)
    return [(0, up, 255), (0, 255, down), (up, 255, 0), (255, down, 0)][ramp]


def close(p, q, tolerance=2):
    return all(abs(a - b) <= tolerance for a, b in zip(p, q))


def differing(a, b, box=(0, 0, 1024, 768), skip=FPS_BOX):
    x0, y0, x1, y1 = box
    sx0, sy0, sx1, sy1 = skip
    return sum(1 for y in range(y0, y1, 2) for x in range(x0, x1, 2)
               if not (sx0 <= x < sx1 and sy0 <= y < sy1) and a.pixel(x, y) != b.pixel(x, y))


def lit_share(image, box):
    """Share of the pixels in box that show anything but the black background."""
    x0, y0, x1, y1 = box
    pixels = list(image.pixels(x0, y0, x1, y1, step=4))
    return sum(1 for p in pixels if max(p) > 20) / len(pixels)


def move_lengths(text):
    """Lengths of the `dir` vectors of the Move lines in text."""
    return [math.sqrt(sum(float(c) ** 2 for c in m.groups()))
            for m in re.finditer(r"\ndir = ([-\d.]+), ([-\d.]+), ([-\d.]+)\n", "\n" + text)]


class Explore(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_city()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def start(self, folder=None):
        v = Viewer(folder or self.folder)
        v.wait_for("Updating window size to 1024 x 768\n")
        v.wait_for_panel(200)
        return v

    def check_bar(self, image):
        """The bar shows the colour map from its first entry at the foot to its last at the
        top, row by row as a surface value there would be coloured."""
        for row in range(0, BAR_PIXELS, 3):
            y = BAR_FOOT - 1 - row
            entry = int((row + 0.5) / BAR_PIXELS * 4096)
            for x in (BAR_X0 + 2, BAR_X1 - 3):
                p = image.pixel(x, y)
                self.assertTrue(any(close(p, map_entry(min(max(e, 0), 4095)))
                                    for e in range(entry - 6, entry + 7)),
                                "bar at (%d, %d) is %s, map entry %d is %s"
                                % (x, y, p, entry, map_entry(entry)))
        self.assertTrue(close(image.pixel(BAR_X0 + 5, BAR_FOOT - 1), (0, 0, 255)))
        self.assertTrue(close(image.pixel(BAR_X0 + 5, BAR_FOOT - BAR_PIXELS), (255, 0, 0), 4))

    def label_text(self, image):
        """Dark blue text pixels of the name and of each value label."""
        rows = [(r - 14, r + 10) for r in TICK_ROWS] + [NAME_ROWS]
        return [sum(1 for p in image.pixels(LABEL_X0 if i < 5 else BAR_X0, y0, LABEL_X1, y1)
                    if p == TEXT_BLUE) for i, (y0, y1) in enumerate(rows)]

    def test_legend_shows_the_colour_map_and_the_values_and_follows_the_colouring(self):
        with self.start() as v:
            energy = v.screenshot()
            self.check_bar(energy)
            text = self.label_text(energy)
            self.assertTrue(all(n > 20 for n in text), "missing name or value text: %s" % text)

            v.click(*widget_centre(*OPEN_CITY))
            v.wait_for_panel(400)
            v.click(*widget_centre(*CITY_PANEL["Color By Density"]))
            label_area = (LABEL_X0, 150, LABEL_X1, 600)
            density = v.wait_until(lambda shot: differing(energy, shot, label_area) > 0)
            self.check_bar(density)
            self.assertTrue(all(n > 20 for n in self.label_text(density)))
            # Other values and another name: the text beside the bar changes.
            self.assertGreater(differing(energy, density, label_area), 20)

            v.click(*widget_centre(*CITY_PANEL["No Color"]))
            plain = v.wait_until(lambda shot: sum(self.label_text(shot)) == 0)
            self.assertEqual(self.label_text(plain), [0] * 6)
            self.assertFalse(any(close(plain.pixel(BAR_X0 + 5, y), (0, 0, 255), 0)
                                 for y in range(BAR_FOOT - 10, BAR_FOOT)))

    def frame_and_reset(self, folder, scale):
        """f on a city `scale` times the demo city's size: the data fill the view, drags go
        with the distance, and r brings back the start view. Returns the share of the view
        the data filled at the start and the drag's speed per unit of scale."""
        with self.start(folder) as v:
            start_moves = re.search(MOVE_LINES, v.text()).group(0)
            start = v.screenshot()
            view = (420, 0, 780, 730)  # right of the panels, left of the legend

            mark = len(v.text())
            v.key("f")
            framed = v.wait_until(lambda shot: differing(start, shot, view) > 1000)
            self.assertEqual(v.text()[mark:], "")  # f calls no Move
            self.assertGreater(lit_share(framed, view), 0.4, "the data do not fill the view")
            # The whole box fits: the rows above and below it show the background.
            for rows in ((0, 12), (745, 768)):
                self.assertLess(lit_share(framed, (420, rows[0], 780, rows[1])), 0.02)

            # A right drag moves along the view at a speed that follows the distance.
            mark = len(v.text())
            v.drag(600, 300, 600, 340, button=3, hold=0.3)
            v.frames(0.3)
            # 40 pixels from the press point: 1 unit per frame at the usual distance, times
            # the framing's distance over the usual one.
            lengths = [n for n in move_lengths(v.text()[mark:]) if n > 0]
            self.assertTrue(lengths, "the drag moved nothing")
            self.assertAlmostEqual(min(lengths), max(lengths), delta=1e-6 * max(lengths))

            mark = len(v.text())
            v.key("r")
            v.wait_until(lambda shot: differing(start, shot) == 0)  # the start view again
            self.assertEqual(v.text()[mark:], start_moves)  # with the start-up Move lines
            return lit_share(start, view), max(lengths) / scale

    def test_f_frames_a_table_top_model_and_a_region_kilometres_wide(self):
        base = tempfile.mkdtemp(prefix="velmora-e2e-scaled-")
        try:
            # The demo city is 1000 units wide: a 0.3 m model and a 10 km region, both far
            # from the origin.
            tiny = scaled_city(self.folder, os.path.join(base, "tiny"), 3e-4, (250, 3, -900))
            huge = scaled_city(self.folder, os.path.join(base, "huge"), 10, (2e5, 50, -3e5))
            tiny_start, tiny_speed = self.frame_and_reset(tiny, 3e-4)
            self.assertLess(tiny_start, 0.01, "a 0.3 m model is a speck from the usual distance")
            _, huge_speed = self.frame_and_reset(huge, 10)
            # Framed, both handle alike: a drag crosses the same share of the data, which
            # for a box 1000 units wide is a few units per frame.
            self.assertAlmostEqual(tiny_speed / huge_speed, 1, delta=0.01)
            self.assertGreater(huge_speed, 1)
            self.assertLess(huge_speed, 20)
        finally:
            shutil.rmtree(base, ignore_errors=True)

    def test_p_saves_what_the_window_shows_and_reports_a_failed_write(self):
        folder = tempfile.mkdtemp(prefix="velmora-e2e-shots-")
        try:
            for name in os.listdir(self.folder):
                shutil.copy(os.path.join(self.folder, name), folder)
            with self.start(folder) as v:
                v.key("h")  # the help panel is part of what is shown
                v.wait_until(self.help_shown)
                mark = len(v.text())
                v.key("p")
                v.wait_for('Saved "velmora-0001.png"\n', start=mark)
                screen = v.screenshot()
                saved = read_png(os.path.join(folder, "velmora-0001.png"))
                self.assertEqual((saved.width, saved.height), (1024, 768))
                self.assertEqual(differing(saved, screen), 0)
                self.assertTrue(self.help_shown(saved), "the help panel is not in the picture")

                v.key("p")
                v.wait_for('Saved "velmora-0002.png"\n', start=mark)

                # The data folder vanishes: the next picture cannot be written.
                shutil.rmtree(folder)
                mark = len(v.text())
                v.key("p")
                v.wait_for("ERROR: ", start=mark)
                v.frames(0.5)
                out = v.text()[mark:]
                self.assertRegex(out, r'^ERROR: cannot write "velmora-0001\.png[^\n]*\n$')
                self.assertTrue(v.running())
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    @staticmethod
    def help_shown(image):
        """Lines of dark blue text over the middle of the view, between the panels and the
        legend."""
        return sum(1 for p in image.pixels(440, 200, 780, 560) if p == TEXT_BLUE) > 500

    def test_h_and_f1_toggle_the_help_panel(self):
        with self.start() as v:
            before = v.screenshot()
            self.assertFalse(self.help_shown(before))
            v.key("h")
            shown = v.wait_until(self.help_shown)
            self.assertGreater(differing(before, shown, (440, 200, 780, 560)), 2000)
            v.key("F1")
            v.wait_until(lambda shot: differing(before, shot) == 0)
            v.key("F1")
            v.wait_until(lambda shot: differing(shown, shot) == 0)
            v.key("h")
            v.wait_until(lambda shot: differing(before, shot) == 0)


if __name__ == "__main__":
    unittest.main()
