"""Colouring by a per-particle quantity ('C', colour_by, --colour-by): the particles take viridis over the range of
the frame, and a colour bar at the right edge shows the map, its name and its two end values, in the window and in
offscreen images alike.
"""

import os
import subprocess
import unittest

try:
    from PIL import Image
except ImportError:  # reported as skipped by setUpModule
    Image = None

from ovalix_window import BIN, require_display, start_viewer, temp_dir, write_file
from pixel_checks import close_colour, colour_at, count, differs_from, lit_front, region, rgb255, to_pixel, wait_for_view
from scene_files import config_text, Species

VIRIDIS_LOW = (0.267004, 0.004874, 0.329415)  # matplotlib's viridis at 0 and at 1
VIRIDIS_HIGH = (0.993248, 0.906157, 0.143936)
BACKGROUND = (0.1, 0.1, 0.1)
PLACES = [(-40, 0, 0), (0, 0, 0), (40, 0, 0)]
# c_pe: the low end, the high end, and a value outside the frame-0 range in frame 1.
VALUES = [(-4.12, 0.87, -1.0), (-9.0, 9.0, -1.0)]


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


def quantity_dump():
    out = []
    for step, values in enumerate(VALUES):
        out.append("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n3\n" % step)
        out.append("ITEM: BOX BOUNDS pp pp pp\n-500 500\n-500 500\n-500 500\n")
        out.append("ITEM: ATOMS id type x y z quatw quati quatj quatk c_pe\n")
        for label, (place, value) in enumerate(zip(PLACES, values), 1):
            out.append("%d 1 %g %g %g 1 0 0 0 %g\n" % ((label,) + place + (value,)))
    return "".join(out)


def bar_point(width, height, top):
    """A point inside the colour bar, 3 pixels from its top or bottom end (window pixels, origin top left)."""
    bottom = min(height - 36, 36 + 320)
    return (width - 12 - 8, 36 + 3 if top else bottom - 3)


def bar_ok(image, width, height):
    top = colour_at(image, bar_point(width, height, True), radius=1)
    bottom = colour_at(image, bar_point(width, height, False), radius=1)
    ok = close_colour(top, rgb255(VIRIDIS_HIGH), 20) and close_colour(bottom, rgb255(VIRIDIS_LOW), 20)
    return ok, "the bar shows %s at its top and %s at its bottom" % (top, bottom)


def end_marks(image, width, height):
    """Pixels of the high end's colour just above the bar and of the low end's colour just below it."""
    x, top = bar_point(width, height, True)
    bottom = bar_point(width, height, False)[1] + 3
    top -= 3

    def near(colour, rows):
        return sum(1 for i in range(x - 12, x + 13) for j in rows
                   if close_colour(image.getpixel((i, j)), rgb255(colour), 30))
    return near(VIRIDIS_HIGH, range(top - 9, top)), near(VIRIDIS_LOW, range(bottom + 1, bottom + 10))


def label_pixels(image, width):
    """Text pixels of the name above the bar and of the end values beside it."""
    drawn = differs_from(image, rgb255(BACKGROUND))
    return (count(region(drawn, (width - 24, 24), 14, 7)), count(region(drawn, (width - 60, 45), 28, 8)))


class QuantityColours(unittest.TestCase):
    def scene(self, extra=""):
        folder = temp_dir(self)
        write_file(folder, "pe.dump", quantity_dump())
        write_file(folder, "pe.cfg", config_text("pe.dump", [Species((8, 8, 8), (1, 0, 0))], BACKGROUND) + extra)
        return folder

    def wait_for_colours(self, app, expected, with_bar, what):
        """Waits until the first two particles show their expected colours, lit face-on, and the bar is drawn or not."""
        def judge(image):
            found = [colour_at(image, to_pixel(p[0], p[1], 200.0 - 8)) for p in PLACES[:2]]
            ok = all(close_colour(f, rgb255(lit_front(e)), 25) for f, e in zip(found, expected))
            bar, said = bar_ok(image, 1024, 640)
            return ok and bar == with_bar, "particles show %s; %s" % (found, said)
        return wait_for_view(app, judge, what)

    def test_C_cycles_quantities_draws_the_bar_and_keeps_the_range(self):
        app = start_viewer(self, self.scene(), "pe.cfg")
        species = self.wait_for_colours(app, [(1, 0, 0)] * 2, False, "the species colours")
        self.assertEqual(label_pixels(species, 1024), (0, 0), "bar labels in species colours")
        app.key("C")
        app.wait_for_line(r"Colouring by c_pe \(-4\.12 to 0\.87\)\.")
        coloured = self.wait_for_colours(app, [VIRIDIS_LOW, VIRIDIS_HIGH], True, "the quantity colours and the bar")
        name, values = label_pixels(coloured, 1024)
        self.assertGreater(name, 8, "no name above the bar")
        self.assertGreater(values, 15, "no end value beside the bar")
        # Frame 1 lies beyond both ends of the range chosen in frame 0: the end colours, the same bar.
        app.key("n")
        self.wait_for_colours(app, [VIRIDIS_LOW, VIRIDIS_HIGH], True, "frame 1 in the range of frame 0")
        # Orientation colours take over, and C takes it back: one line each.
        app.key("c")
        app.wait_for_line(r"Colouring by orientation\.")
        self.wait_for_colours(app, [(1, 0, 0)] * 2, False, "spheres keep their species colour in orientation colours")
        app.key("C")
        app.wait_for_line(r"Colouring by c_pe \(-9 to 9\)\.")  # the range of the frame shown when chosen
        self.wait_for_colours(app, [VIRIDIS_LOW, VIRIDIS_HIGH], True, "the quantity colours again")
        app.key("C")
        app.wait_for_line(r"Colouring by species\.")
        self.wait_for_colours(app, [(1, 0, 0)] * 2, False, "species colours without the bar")

    def test_offscreen_image_has_the_bar_with_a_fixed_range(self):
        folder = self.scene()
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BIN, "--render", "--frames", "0:0", "--size", "480x360", "--colour-by", "c_pe:-10:10",
                                 "pe.cfg"], cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=120)
        output = result.stdout.decode()
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("Colouring by c_pe (-10 to 10).\n", output)
        image = Image.open(os.path.join(folder, "pe.dump_0000.png")).convert("RGB")
        ok, said = bar_ok(image, 480, 360)
        self.assertTrue(ok, said)
        name, values = label_pixels(image, 480)
        self.assertGreater(name, 8, "no name above the bar")
        self.assertGreater(values, 15, "no end value beside the bar")
        result = subprocess.run([BIN, "--render", "--colour-by", "c_pe:1", "pe.cfg"], cwd=folder, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--colour-by takes the name of a quantity, or NAME:MIN:MAX", result.stdout.decode())

    def test_offscreen_overlay_grows_with_the_picture_height(self):
        """3840 x 2160 holds the window's 640 rows three times: bar, labels, time step and margins are three times
        as large; 1024 x 640 keeps the window's sizes."""
        folder = self.scene()
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        measures = []
        for width, height in ((1024, 640), (3840, 2160)):
            out = temp_dir(self)
            result = subprocess.run([BIN, "--render", "--frames", "0:0", "--size", "%dx%d" % (width, height),
                                     "--colour-by", "c_pe:-10:10", "--out", out, "pe.cfg"], cwd=folder, env=env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    timeout=300)
            self.assertEqual(result.returncode, 0, result.stdout.decode())
            image = Image.open(os.path.join(out, "pe.dump_0000.png")).convert("RGB")
            if width == 1024:
                self.assertTrue(*bar_ok(image, width, height))
            drawn = differs_from(image, rgb255(BACKGROUND))
            # The bar with its name and labels at the right edge, the time step in the lower left corner: each as
            # its distances from the nearest two edges and its size.
            left, top, right, bottom = drawn.crop((width * 3 // 4, 0, width, height)).getbbox()
            bar = (width // 4 - right, top, right - left, bottom - top)
            left, top, right, bottom = drawn.crop((0, height * 3 // 4, width // 4, height)).getbbox()
            text = (left, height // 4 - bottom, right - left, bottom - top)
            measures.append(bar + text)
        self.assertEqual([3 * m for m in measures[0]], list(measures[1]), "1024x640 and 3840x2160: %s" % measures)

    def render(self, folder, *args):
        """Offscreen images at 480x360; the end marks of each frame rendered, or the status and output."""
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BIN, "--render", "--size", "480x360"] + list(args) + ["pe.cfg"], cwd=folder, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout.decode())
        images = [os.path.join(folder, "pe.dump_%04d.png" % f) for f in (0, 1)]
        return result.stdout.decode(), [end_marks(Image.open(i).convert("RGB"), 480, 360) for i in images]

    def test_offscreen_range_over_the_run_and_the_marks_beyond_the_bar(self):
        folder = self.scene()
        # The range of frame 0: frame 1 lies beyond both ends, and only its bar is marked there.
        output, marks = self.render(folder, "--colour-by", "c_pe")
        self.assertIn("Colouring by c_pe (-4.12 to 0.87).\n", output)
        self.assertEqual(marks[0], (0, 0))
        self.assertTrue(min(marks[1]) > 20, "no marks beyond the bar's ends in frame 1: %s" % (marks[1],))
        # The range over every frame: no frame goes beyond it.
        output, marks = self.render(folder, "--color-by", "c_pe:all")
        self.assertIn("Reading c_pe in all 2 frames for its range.\nColouring by c_pe (-9 to 9).\n", output)
        self.assertEqual(marks, [(0, 0), (0, 0)])
        # A name the trajectory lacks is a failed job, not pictures in species colours.
        result = subprocess.run([BIN, "--render", "--colour-by", "vx", "pe.cfg"], cwd=folder, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertIn("No quantity vx in pe.dump (it gives c_pe).\n", result.stdout.decode())

if __name__ == "__main__":
    unittest.main()
