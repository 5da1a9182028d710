"""Bonds, the time-step overlay and PDB trajectories in the real viewer's window.

The bond scene: two spheres of half radius 8 at x = -40 and x = +40, one bond between bond origin 1 of both,
which is (0, -8, 0) in the body frame. A bond end lies at centre - R(q) * origin, so with the identity
quaternion both ends sit on top of their spheres (y = +8) and the bond is horizontal. In the second frame the
right sphere is turned by 180 degrees about z: its end moves to its bottom (y = -8) and the bond runs diagonally.
"""

import importlib.util
import math
import os
import time
import unittest

from ovalix_window import DATA, Ovalix, find_windows, require_display, temp_dir, write_file


def setUpModule():
    require_display()
    if importlib.util.find_spec("PIL") is None:  # the window grabs need it
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


EYE_DISTANCE = 200.0   # the camera looks at the origin from (0, 0, 200)
FIELD_OF_VIEW = 45.0   # vertical, degrees
BLACK = (0, 0, 0)


def dump_frame(step, rows):
    lines = ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", str(len(rows)), "ITEM: BOX BOUNDS pp pp pp",
             "-50 50", "-50 50", "-50 50", "ITEM: ATOMS id type x y z quatw quati quatj quatk"]
    lines += ["%d %s" % (i + 1, row) for i, row in enumerate(rows)]
    return "\n".join(lines) + "\n"


PAIR_DUMP = (dump_frame(0, ["1 -40 0 0 1 0 0 0", "1 40 0 0 1 0 0 0"]) +
             dump_frame(1, ["1 -40 0 0 1 0 0 0", "1 40 0 0 0 0 0 1"]))
PAIR_BONDS = "Bonds\n\n1 1 1 2 1 1\n"
PAIR_CONFIG = """dumpfile pair.dump
bondfile pair.bonds
species 1
half_radii 1 8 8 8
color 1 0.9 0.3 0.2
bond_vector 1 1 0 -8 0
background 0 0 0
"""
BOND_RADIUS = 2.0


def project(image, x, y):
    """Window pixel of the scene point (x, y, 0), the scene being centred on the frame centre."""
    width, height = image.size
    scale = (height / 2) / math.tan(math.radians(FIELD_OF_VIEW / 2)) / EYE_DISTANCE
    return int(round(width / 2 + x * scale)), int(round(height / 2 - y * scale))


def differs(pixel, background, threshold=40):
    return max(abs(a - b) for a, b in zip(pixel, background)) > threshold


def drawn_near(image, point, background=BLACK, radius=3):
    """True when some pixel within `radius` of `point` is not the background."""
    x0, y0 = point
    return any(differs(image.getpixel((x, y)), background)
               for x in range(x0 - radius, x0 + radius + 1) for y in range(y0 - radius, y0 + radius + 1))


def grab_change(app, before, what, timeout=10):
    """The settled window image once it differs from `before`; fails when it stays the same."""
    try:
        return app.settled_grab(ready=lambda image: image.tobytes() != before.tobytes(), timeout=timeout)
    except AssertionError:
        raise AssertionError("the window did not change after %s" % what) from None


def along(start, end, ts):
    return [(start[0] + (end[0] - start[0]) * t, start[1] + (end[1] - start[1]) * t) for t in ts]


def drawn_pixels(image, box, background):
    """Pixels of the box (left, top, right, bottom; right and bottom excluded) that are not the background."""
    left, top, right, bottom = box
    return [(x, y) for y in range(top, bottom) for x in range(left, right)
            if differs(image.getpixel((x, y)), background)]


class BondDrawing(unittest.TestCase):
    def start(self, solid):
        folder = temp_dir(self)
        write_file(folder, "pair.dump", PAIR_DUMP)
        write_file(folder, "pair.bonds", PAIR_BONDS)
        write_file(folder, "pair.cfg", PAIR_CONFIG + ("solid_bonds %g\n" % BOND_RADIUS if solid else ""))
        app = Ovalix(["pair.cfg"], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_line(r"Number of bonds:      1")
        app.wait_for_line(r"Done reading\. Rendering\.")
        app.window("OvaLIX - pair.cfg")
        return app

    def assert_bond(self, image, start, end, absent, frame):
        """The bond is drawn from start to end (scene units) and nothing is drawn at the points of `absent`:
        (start, end, fractions) of segments where a wrong bond would lie, sampled where they are apart from it."""
        for point in along(start, end, [0.15 + 0.05 * k for k in range(15)]):
            self.assertTrue(drawn_near(image, project(image, *point)),
                            "frame %d: no bond at %s (pixel %s)" % (frame, point, project(image, *point)))
        for other_start, other_end, fractions in absent:
            for point in along(other_start, other_end, fractions):
                self.assertFalse(drawn_near(image, project(image, *point)),
                                 "frame %d: something drawn at %s, off the bond" % (frame, point))

    def bond_width(self, image):
        """Drawn pixels in the window's middle column between the two spheres, near the horizontal bond."""
        x, y = project(image, 0, 8)
        return sum(1 for row in range(y - 20, y + 21) if differs(image.getpixel((x, row)), BLACK))

    def follow_rotation(self, solid):
        app = self.start(solid)
        first = app.settled_grab()
        top = ((-40, 8), (40, 8))
        diagonal = ((-40, 8), (40, -8))
        # The sign of the rotated origin matters: ends at centre + R * origin would give these bonds.
        bottom = ((-40, -8), (40, -8))
        crossed = ((-40, -8), (40, 8))
        apart = [0.4 + 0.05 * k for k in range(10)]  # from the shared end A on, the segments part
        ends_only = [0.15, 0.2, 0.25, 0.75, 0.8, 0.85]  # the crossed segment meets the diagonal in the middle
        self.assert_bond(first, *top, absent=[diagonal + (apart,), bottom + (apart + [0.15, 0.25],)], frame=0)
        for centre in (-40, 40):
            self.assertTrue(drawn_near(first, project(first, centre, 0)), "sphere at x = %d missing" % centre)
        app.key("n")
        second = grab_change(app, first, "'n' (next frame)")
        self.assert_bond(second, *diagonal, absent=[top + (apart,), crossed + (ends_only,)], frame=1)
        return first

    def test_line_bond_follows_the_rotated_origin(self):
        image = self.follow_rotation(solid=False)
        self.assertLessEqual(self.bond_width(image), 4, "a line bond is a thin line")

    def test_cylinder_bond_follows_the_rotated_origin(self):
        image = self.follow_rotation(solid=True)
        scale = project(image, 1, 0)[0] - project(image, 0, 0)[0]
        self.assertGreaterEqual(self.bond_width(image), 2 * BOND_RADIUS * scale - 4,
                                "a solid bond is a cylinder of the configured radius")
        self.assertLessEqual(self.bond_width(image), 2 * BOND_RADIUS * scale + 4)


OVERLAY_FONT = (8, 13)  # the bitmap font's character cell


def overlay_box(image, text):
    """Where the overlay text must lie: from 20 pixels from the left, baseline 20 pixels above the bottom."""
    width, height = image.size
    return 18, height - 20 - OVERLAY_FONT[1] - 2, 20 + OVERLAY_FONT[0] * len(text) + 2, height - 20 + 4


class TimeStepOverlay(unittest.TestCase):
    def start(self, frames):
        folder = temp_dir(self)
        dump = "".join(dump_frame(k, ["1 -40 0 0 1 0 0 0", "1 40 0 0 1 0 0 0"]) for k in range(frames))
        write_file(folder, "pair.dump", dump)
        write_file(folder, "pair.cfg", PAIR_CONFIG.replace("bondfile pair.bonds\n", ""))
        app = Ovalix(["pair.cfg"], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_line(r"Number of time steps: %d \(0 - %d\)" % (frames, frames - 1))
        app.wait_for_line(r"Done reading\. Rendering\.")
        app.window("OvaLIX - pair.cfg")
        return app

    def overlay_pixels(self, image, text):
        return drawn_pixels(image, overlay_box(image, text), BLACK)

    def assert_shown(self, image, text):
        pixels = self.overlay_pixels(image, text)
        self.assertGreater(len(pixels), 8 * len(text), "no overlay text %r in the lower-left corner" % text)
        # The whole text lies in its box: nothing of it outside, in a wider strip along the bottom.
        width, height = image.size
        strip = drawn_pixels(image, (0, height - 60, width // 3, height), BLACK)
        self.assertEqual(len(strip), len(pixels), "overlay text outside its box")
        # Lit only by the scene ambient: a neutral grey of about 0.4.
        for x, y in pixels:
            r, g, b = image.getpixel((x, y))
            self.assertLess(max(r, g, b) - min(r, g, b), 16, "overlay pixel (%d, %d) is not grey" % (x, y))
            self.assertTrue(60 <= r <= 150, "overlay pixel (%d, %d) is %s, not a grey of 0.4" % (x, y, (r, g, b)))

    def assert_hidden(self, image, text):
        self.assertEqual(len(self.overlay_pixels(image, text)), 0, "overlay drawn in the lower-left corner")

    def scene_drawn(self, image):
        return image.getcolors(1) is None and drawn_near(image, project(image, 40, 0))

    def test_shown_at_start_and_switched_by_t(self):
        text = "Timestep 0 of 2"
        app = self.start(3)
        shown = app.settled_grab(ready=self.scene_drawn)
        self.assert_shown(shown, text)
        app.key("t")
        hidden = grab_change(app, shown, "'t'")
        self.assert_hidden(hidden, text)
        app.key("t")
        self.assert_shown(grab_change(app, hidden, "the second 't'"), text)

    def test_one_frame_starts_without_overlay(self):
        text = "Timestep 0 of 0"
        app = self.start(1)
        hidden = app.settled_grab(ready=self.scene_drawn)
        self.assert_hidden(hidden, text)
        app.key("t")
        self.assert_shown(grab_change(app, hidden, "'t'"), text)


@unittest.skipUnless(DATA and os.path.isdir(os.path.join(DATA, "pdb")), "shared PDB test data not found")
class PdbTrajectory(unittest.TestCase):
    def test_trajectory_with_bonds_starts_and_draws(self):
        folder = os.path.join(DATA, "pdb")
        with Ovalix(["5e5z_traj5_bonds.cfg"], cwd=folder) as app:
            app.wait_for_line(r"ANISOU File: 5e5z_traj5\.pdb")
            app.wait_for_line(r"Infile open")
            app.wait_for_line(r"Number of atoms:      47")
            app.wait_for_line(r"Number of time steps: 5 \(0 - 4\)")
            app.wait_for_line(r"Bond information file 5e5z\.bonds is opened\.")
            app.wait_for_line(r"Number of bonds:      46")
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - 5e5z_traj5_bonds.cfg")
            white = (255, 255, 255)
            image = app.settled_grab()
            width, height = image.size
            # The molecule, centred on its mean position, spans a few tens of pixels at this distance.
            middle = drawn_pixels(image, (width // 2 - 100, height // 2 - 100, width // 2 + 100, height // 2 + 100),
                                  white)
            self.assertGreater(len(middle), 20, "nothing drawn around the centre")
            self.assertGreater(len(drawn_pixels(image, overlay_box(image, "Timestep 0 of 4"), white)), 40,
                               "five time steps: the overlay is on")
            app.key("f")
            last = app.settled_grab()
            self.assertGreater(len(drawn_pixels(last, (width // 2 - 100, height // 2 - 100, width // 2 + 100,
                                                       height // 2 + 100), white)), 20,
                               "nothing drawn in the last frame")
            self.assertTrue(app.running())
            app.key("Escape")
            app.wait_for_line(r"Bye\.")
            self.assertEqual(app.wait_for_exit(), 0)

    def test_missing_anisou_record_stops_with_the_line(self):
        folder = os.path.join(DATA, "pdb")
        with open(os.path.join(folder, "1ejg.pdb"), "rb") as f:
            line_319 = f.read().decode("ascii").split("\n")[318]
        self.assertTrue(line_319.startswith("ATOM      3"), "unexpected test data: %r" % line_319)
        with Ovalix(["1ejg.cfg"], cwd=folder) as app:
            app.wait_for_text("Press Enter to exit.")
            self.assertTrue(app.output.endswith(
                "Infile open\n"
                "Number of atoms:      831\n"
                "Number of time steps: 1 (0 - 0)\n" +
                line_319 + "\n"
                "Something's not right. This should be a ANIOSU line.\n"
                "But it's not.\n"
                "Press Enter to exit."), app.output)
            time.sleep(1.0)
            self.assertTrue(app.running(), "ended before a character was typed")
            self.assertEqual(find_windows("OvaLIX - 1ejg.cfg"), [])
            app.send("x")
            self.assertEqual(app.wait_for_exit(), 0)


class OverlayOverParticles(unittest.TestCase):
    """The overlay stays whole over particles at every depth, also after a fit and a reload of another system."""

    GREY = 102  # 0.4 of 255: the overlay's colour

    def text_pixels(self, image, text):
        left, top, right, bottom = overlay_box(image, text)
        return {(x, y) for x in range(left, right) for y in range(top, bottom)
                if all(abs(c - self.GREY) <= 6 for c in image.getpixel((x, y)))}

    def test_a_fit_and_a_reload_leave_the_overlay_whole(self):
        folder = temp_dir(self)
        # A compact block of rods (the fit brings the eye close), then a cloud of yellow spheres that reaches
        # from far behind the frame centre to close before the eye and covers the corner of the overlay.
        rods = ["%d %g %g %g 0.92388 0 0 0.382683" % (1, 3 * i - 6, 2 * j - 4, 2 * k - 4)
                for i in range(5) for j in range(5) for k in range(5)]
        write_file(folder, "rods.dump", dump_frame(0, rods) + dump_frame(1, rods))
        write_file(folder, "rods.cfg", "dumpfile rods.dump\nspecies 1\nhalf_radii 1 1.5 0.5 0.5\n"
                   "color 1 0.85 0.25 0.2\nbond_vector 1 1 0 0 0\nbackground 0 0 0\n")
        cloud = ["1 %g %g %g 1 0 0 0" % (x, y, z) for x in range(-45, 46, 9) for y in range(-30, 31, 6)
                 for z in (-60, -20, 10, 30)]
        write_file(folder, "cloud.dump", dump_frame(0, cloud) + dump_frame(1, cloud))
        write_file(folder, "cloud.cfg", "dumpfile cloud.dump\nspecies 1\nhalf_radii 1 3 3 3\n"
                   "color 1 0.9 0.9 0.2\nbond_vector 1 1 0 0 0\nbackground 0 0 0.3\n")
        app = Ovalix(["rods.cfg"], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_line(r"Done reading\. Rendering\.")
        app.window("OvaLIX - rods.cfg")
        text = "Timestep 0 of 1"
        start = app.settled_grab()
        glyphs = self.text_pixels(start, text)
        self.assertGreater(len(glyphs), 8 * len(text), "no overlay text at the start")
        app.key("z")
        fitted = grab_change(app, start, "'z'")
        self.assertEqual(self.text_pixels(fitted, text), glyphs)
        app.key("L")
        app.wait_for_text("Please enter name of file with configuration information: ")
        app.send("cloud.cfg\n")
        app.wait_for_line(r"Done\. Rendering\.")
        reloaded = app.settled_grab(ready=lambda image: image.getpixel((5, 5)) != fitted.getpixel((5, 5)))
        left, top, right, bottom = overlay_box(reloaded, text)
        covered = [(x, y) for x in range(left, right) for y in range(top, bottom)
                   if (x, y) not in glyphs and reloaded.getpixel((x, y))[0] > 120]
        self.assertGreater(len(covered), (right - left) * (bottom - top) // 4, "no particle behind the overlay")
        self.assertEqual(self.text_pixels(reloaded, text), glyphs, "the overlay is not whole over the particles")


if __name__ == "__main__":
    unittest.main()
