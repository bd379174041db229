"""The frame-rate box in the running viewer: where it sits, what it shows, and that a
left press on it starts no camera turn."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from harness import Viewer, make_city  # noqa: E402

TEXT_BLUE = (0, 0, 128)
BOX_TOP = 768 - 30  # the box spans rows 738..767 and columns 0..100 (y downward)


def outside_box(image):
    """Every pixel of the window except the frame-rate box and a margin around it."""
    for y in range(0, image.height, 2):
        for x in range(0, image.width, 2):
            if not (x <= 160 and y >= BOX_TOP - 10):
                yield image.pixel(x, y)


def changed_outside_box(a, b):
    return sum(1 for p, q in zip(outside_box(a), outside_box(b)) if p != q)


class FramerateBox(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_city()

    def test_box_in_the_lower_left_shows_text_and_swallows_clicks(self):
        with Viewer(self.folder) as v:
            v.wait_for("Updating window size to 1024 x 768\n")
            v.frames(2.0)
            self.assertEqual(v.text().count("Generating font...\n"), 1)
            before = v.screenshot(os.path.join(self.folder, "framerate.ppm"))

            # White at 0.7 over anything is at least 178 on every channel.
            for x, y in [(2, 766), (98, 766), (98, 740), (2, 740)]:
                self.assertGreaterEqual(min(before.pixel(x, y)), 178, (x, y, before.pixel(x, y)))
            text = sum(1 for p in before.pixels(0, BOX_TOP, 101, 768) if p == TEXT_BLUE)
            self.assertGreater(text, 40, "no dark blue count in the box")
            # The same blue appears nowhere else but in the main menu's title (top left) and
            # in the colour legend at the right edge (columns 793 to 1014).
            self.assertEqual(sum(1 for p in before.pixels(220, 0, 790, BOX_TOP - 2)
                                 if p == TEXT_BLUE), 0)

            # A left drag that starts on the box moves nothing.
            v.drag(50, 753, 400, 500, hold=0.7)
            v.frames(0.5)
            after = v.screenshot()
            self.assertEqual(changed_outside_box(before, after), 0,
                             "a press on the frame-rate box turned the camera")

            # The same drag started beside the box does turn it.
            v.drag(150, 753, 500, 500, hold=0.7)
            v.frames(0.5)
            turned = v.screenshot()
            self.assertGreater(changed_outside_box(after, turned), 1000)
            self.assertTrue(v.running())


if __name__ == "__main__":
    unittest.main()
