"""The control panels driven as a user would: clicks at widget centres, the space key,
and what the console and the picture show in answer."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, make_city, widget_centre  # noqa: E402

MAIN = {"Exit": (10, 10, 180, 35), "City Options": (10, 415, 180, 35),
        "PathLine": (10, 375, 180, 35), "Isosurface": (10, 335, 180, 35)}
CITY = {"Back": (10, 10, 380, 35), "Color By Density": (10, 375, 380, 35),
        "Show City": (10, 175, 35, 35), "Render Wireframe": (10, 100, 35, 35)}
PATH = {"Back": (10, 10, 380, 35), "Count -": (10, 410, 35, 35), "Count +": (355, 410, 35, 35),
        "Count": (45, 410, 310, 35), "Radius": (90, 370, 220, 35),
        "Radius -": (10, 370, 35, 35), "Radius +5": (310, 370, 45, 35),
        "Generate": (10, 330, 380, 35), "Show Source": (10, 200, 35, 35)}
ISO = {"Back": (10, 10, 380, 35), "Contour Energy": (10, 335, 380, 35),
       "+": (355, 415, 35, 35), "--": (45, 415, 45, 35), "Generate": (10, 100, 380, 35), "Clear": (10, 65, 380, 35)}

# Panels slide 50 pixels a frame; give them time to settle at any frame rate.
SETTLE = 1.5


def press(v, table, name):
    v.click(*widget_centre(*table[name]))


def open_panel(v, name):
    press(v, MAIN, name)
    v.frames(SETTLE)


def right_of_panels(image):
    """Pixels of the view that no panel covers (the panels are at most 400 wide)."""
    return image.pixels(420, 0, 1024, 700, step=2)


def changed(a, b):
    return [(p, q) for p, q in zip(right_of_panels(a), right_of_panels(b)) if p != q]


def is_isosurface(p):
    """The isosurface's colour (0, 0.7, 0.7) under the scene's lights: no red, green = blue."""
    r, g, b = p
    return r == 0 and g == b and g >= 150


class Panels(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_city()

    def start(self):
        v = Viewer(self.folder)
        v.wait_for("Updating window size to 1024 x 768\n")
        v.frames(SETTLE)
        return v

    def test_isosurface_generate_clear_and_generate_twice(self):
        with self.start() as v:
            blocks = len(re.findall(r"-> A block of \d+ tetrahedra", v.text()))
            open_panel(v, "Isosurface")
            press(v, ISO, "Contour Energy")  # starts in the middle of the range
            for step in ("+", "+", "--"):
                press(v, ISO, step)  # 2 % up, 5 % down: just below the middle
            v.frames(0.5)
            city = v.screenshot()
            mark = len(v.text())
            press(v, ISO, "Generate")
            v.wait_for("triangles added.\n" * 1, start=mark)
            v.frames(1.0)
            lines = re.findall(r"Block (\d+) processed\.\. (\d+) triangles added\.\n",
                               v.text()[mark:])
            self.assertEqual(len(lines), blocks)
            self.assertGreater(sum(int(n) for _, n in lines), 0)
            shown = v.screenshot()
            iso = sum(1 for p in right_of_panels(shown) if is_isosurface(p))
            self.assertGreater(iso, 500, "the isosurface does not show in its colour")
            self.assertEqual(sum(1 for p in right_of_panels(city) if is_isosurface(p)), 0)

            press(v, ISO, "Clear")
            v.frames(1.0)
            self.assertEqual(changed(city, v.screenshot()), [], "Clear left something behind")

            mark = len(v.text())
            press(v, ISO, "Generate")
            press(v, ISO, "Generate")
            v.frames(1.5)
            again = re.findall(r"Block (\d+) processed\.\. (\d+) triangles added\.\n",
                               v.text()[mark:])
            self.assertEqual(again, lines * 2)  # the per-block counts repeat
            self.assertEqual(changed(shown, v.screenshot()), [], "two surfaces, not one")

    def test_city_colouring_visibility_and_wireframe(self):
        with self.start() as v:
            open_panel(v, "City Options")
            before = v.screenshot()
            press(v, CITY, "Color By Density")
            v.frames(1.0)
            density = v.screenshot()
            self.assertGreater(len(changed(before, density)), 5000)

            press(v, CITY, "Render Wireframe")
            v.frames(1.0)
            wire = v.screenshot()
            black = sum(1 for p in right_of_panels(wire) if p == (0, 0, 0))
            self.assertGreater(black, 20000, "outlines leave the background showing")
            press(v, CITY, "Render Wireframe")
            v.frames(1.0)
            self.assertEqual(changed(density, v.screenshot()), [])

            press(v, CITY, "Show City")
            v.frames(1.0)
            self.assertGreater(len(changed(density, v.screenshot())), 2000,
                               "hiding the buildings changed nothing")
            press(v, CITY, "Show City")
            press(v, CITY, "Back")
            v.frames(SETTLE)
            self.assertTrue(v.running())

    def test_path_lines_source_and_count_below_zero(self):
        with self.start() as v:
            open_panel(v, "PathLine")
            radius_before = v.screenshot()
            press(v, PATH, "Radius +5")
            press(v, PATH, "Radius -")
            v.frames(0.5)
            label = v.screenshot()
            x, y = widget_centre(*PATH["Radius"])
            region = lambda im: list(im.pixels(x - 100, y - 15, x + 100, y + 15))  # noqa: E731
            self.assertNotEqual(region(radius_before), region(label), "radius label unchanged")

            before = v.screenshot()
            mark = len(v.text())
            press(v, PATH, "Generate")
            v.wait_for("Generating pathline 9\n", start=mark, timeout=120)
            v.wait_for("-> Pathline terminated with", start=v.text().index(
                "Generating pathline 9\n", mark))
            out = v.text()[mark:]
            for i in range(10):
                self.assertIn("Generating pathline %d\n" % i, out)
            self.assertEqual(out.count("-> Pathline terminated with"), 10)
            self.assertEqual(len(re.findall(r"-> TERMINATED: Due to [^\n]+\n", out)), 10)
            v.frames(1.0)
            lines = v.screenshot()
            white = [q for p, q in changed(before, lines) if q == (255, 255, 255)]
            self.assertGreater(len(white), 20, "no white path lines appeared")

            press(v, PATH, "Show Source")
            v.frames(1.0)
            sphere = v.screenshot()
            # The generator draws before the city, so its half-transparent red lands on the
            # cleared background and the city behind it is hidden by depth.
            red = [q for p, q in changed(lines, sphere) if q == (128, 0, 0)]
            self.assertGreater(len(red), 20, "no half-transparent red sphere")

            for _ in range(12):
                press(v, PATH, "Count -")
            mark = len(v.text())
            press(v, PATH, "Generate")
            v.frames(1.0)
            self.assertNotIn("Generating pathline", v.text()[mark:])
            cleared = v.screenshot()
            self.assertEqual([q for p, q in changed(sphere, cleared)
                              if q == (255, 255, 255)], [])
            self.assertTrue(v.running())

    def test_space_key_and_clicks_on_panels(self):
        with self.start() as v:
            shown = v.screenshot()
            # A left drag on the fully shown main menu turns nothing.
            v.drag(100, 300, 600, 300, hold=0.7)
            v.frames(0.5)
            self.assertEqual(changed(shown, v.screenshot()), [])

            v.key("space")
            v.frames(SETTLE)
            hidden = v.screenshot()
            self.assertNotEqual(hidden.pixel(100, 300), shown.pixel(100, 300))
            v.key("space")
            v.frames(SETTLE)
            self.assertEqual(v.screenshot().pixel(100, 300), shown.pixel(100, 300))

            # A press on a panel that is sliding out starts a camera turn.
            v.move(100, 300)
            v.xdotool("key", "space", "mousedown", 1)
            v.move(600, 300)
            v.frames(0.7)
            v.xdotool("mouseup", 1)
            self.assertGreater(len(changed(shown, v.screenshot())), 1000)

            # With a sub-panel open, the space key brings the main menu back over it, but
            # clicks there still go to the sub-panel: "Exit" sits under its "<< Back".
            v.key("space")
            v.frames(SETTLE)
            open_panel(v, "City Options")
            v.key("space")
            v.frames(SETTLE)
            press(v, MAIN, "Exit")
            v.frames(SETTLE)
            self.assertTrue(v.running(), "the click reached the main menu's Exit")

    def test_exit_ends_with_status_zero(self):
        with self.start() as v:
            press(v, MAIN, "Exit")
            self.assertEqual(v.proc.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
