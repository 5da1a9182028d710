"""Scene drawing in the real viewer: background, lit colour, placement, half radii and quaternions, frame centre,
fog, frames without atoms."""

import math
import unittest

from ovalix_window import require_display, start_viewer, temp_dir
from pixel_checks import (CENTRE, PIXELS_PER_UNIT, bbox_centre, bbox_size, close_colour, colour_at, count,
                          differs_from, dominant, lit_front, region, rgb255, to_pixel, wait_for_view)
from scene_files import Atom, Species, write_scene


def setUpModule():
    require_display()


def quit_cleanly(test, app):
    app.key("Q")
    app.wait_for_line(r"Bye\.")
    test.assertEqual(app.wait_for_exit(), 0)
    test.assertNotIn("runtime error", app.output)


# The middle of the window without the time-step overlay in the lower-left corner.
def scene_area(mask):
    return region(mask, CENTRE, 400, 250)


class BackgroundAndOneEllipsoid(unittest.TestCase):
    BACKGROUND = (0.2, 0.4, 0.6)
    HALF_RADII = (12, 8, 1)       # a half radius of 1 towards the viewer: the face at the centre looks straight on
    COLOUR = (0.6, 0.3, 0.1)

    def test_background_fills_the_corners_and_the_ellipsoid_sits_at_the_centre(self):
        folder = temp_dir(self)
        # Anywhere in space: the scene is centred on the frame centre, which for one atom is the atom itself.
        config = write_scene(folder, "one", [Species(self.HALF_RADII, self.COLOUR)],
                             [[Atom(1, (37.5, -12.25, 8))]], self.BACKGROUND)
        app = start_viewer(self, folder, config)
        background = rgb255(self.BACKGROUND)

        def drawn(image):
            # An ellipse of about 4500 pixels; a window not drawn yet differs from the background everywhere.
            n = count(differs_from(image, background))
            return 1000 < n < 20000, "%d pixels off the background" % n

        image = wait_for_view(app, drawn, "the ellipsoid on its background")
        width, height = image.size
        for corner in [(2, 2), (width - 3, 2), (2, height - 3), (width - 3, height - 3)]:
            found = colour_at(image, corner, 1)
            self.assertTrue(close_colour(found, background, 3),
                            "corner %s is %s, not the background %s" % (corner, found, background))

        mask = differs_from(image, background)
        cx, cy = bbox_centre(mask)
        self.assertAlmostEqual(cx, CENTRE[0] - 0.5, delta=2.5)
        self.assertAlmostEqual(cy, CENTRE[1] - 0.5, delta=2.5)
        w, h = bbox_size(mask)
        self.assertAlmostEqual(w, 2 * self.HALF_RADII[0] * PIXELS_PER_UNIT, delta=5)
        self.assertAlmostEqual(h, 2 * self.HALF_RADII[1] * PIXELS_PER_UNIT, delta=5)
        # Nothing else is drawn: the drawn pixels fill an ellipse of those half axes.
        ellipse = 3.14159 * self.HALF_RADII[0] * self.HALF_RADII[1] * PIXELS_PER_UNIT ** 2
        self.assertAlmostEqual(count(mask) / ellipse, 1.0, delta=0.08)

        centre = colour_at(image, (CENTRE[0] - 0.5, CENTRE[1] - 0.5))
        expected = rgb255(lit_front(self.COLOUR))
        self.assertTrue(close_colour(centre, expected, 14),
                        "the centre shows %s, the lit species colour is about %s" % (centre, expected))
        quit_cleanly(self, app)


class HalfRadiiAndQuaternions(unittest.TestCase):
    # Six copies of one species with half radii (4, 1, 1) in a row, each turned by its quaternion.
    ROW = [(-75, (1, 0, 0, 0), "identity"),
           (-45, (0.70710678, 0, 0, 0.70710678), "90 degrees about z"),
           (-15, (0, 0, 0, 0), "point particle 0 0 0 0"),
           (15, (1.000001, 0, 0, 0.001), "w slightly above 1"),
           (45, (-1.000001, 0, 0, 0.001), "w slightly below -1"),
           (75, (0.92387953, 0, 0, 0.38268343), "45 degrees about z")]

    def test_wider_than_tall_unless_turned_about_z(self):
        folder = temp_dir(self)
        atoms = [Atom(1, (x, 0, 0), q) for x, q, _ in self.ROW]
        config = write_scene(folder, "row", [Species((4, 1, 1), (1, 1, 0.5))], [atoms], (0, 0, 0))
        app = start_viewer(self, folder, config)

        def all_drawn(image):
            mask = differs_from(image, (0, 0, 0))
            sizes = [bbox_size(region(mask, to_pixel(x, 0), 50, 50)) for x, _, _ in self.ROW]
            return all(w * h > 0 for w, h in sizes), "sizes %s" % sizes

        image = wait_for_view(app, all_drawn, "six ellipsoids")
        mask = differs_from(image, (0, 0, 0))
        long_side = 2 * 4 * PIXELS_PER_UNIT
        for x, _, name in self.ROW:
            w, h = bbox_size(region(mask, to_pixel(x, 0), 50, 50))
            if name == "90 degrees about z":
                self.assertGreater(h, 2.5 * w, "%s: %d wide, %d tall" % (name, w, h))
                self.assertAlmostEqual(h, long_side, delta=4)
            elif name == "45 degrees about z":
                # Counter-clockwise on the screen: the long axis rises to the right.
                self.assertAlmostEqual(w, h, delta=3)
                self.assertAlmostEqual(w, long_side / math.sqrt(2), delta=6)
                box = region(mask, to_pixel(x, 0), 50, 50).getbbox()
                cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
                upper_right = count(region(mask, (cx + w / 4, cy - h / 4), w / 4, h / 4))
                upper_left = count(region(mask, (cx - w / 4, cy - h / 4), w / 4, h / 4))
                self.assertGreater(upper_right, 2 * upper_left + 10, "%s: the long axis does not rise to the right"
                                   % name)
            else:
                self.assertGreater(w, 2.5 * h, "%s: %d wide, %d tall" % (name, w, h))
                self.assertAlmostEqual(w, long_side, delta=4)
        quit_cleanly(self, app)


class FrameCentre(unittest.TestCase):
    def test_the_mean_position_is_drawn_at_the_window_centre(self):
        folder = temp_dir(self)
        frames = [[Atom(1, (10, 10, 10)), Atom(1, (10, 10, 10)), Atom(1, (10, 10, 10))],
                  [Atom(1, (60, -30, 5)), Atom(1, (100, -30, 5)), Atom(1, (80, -30, 5))]]
        config = write_scene(folder, "centre", [Species((5, 5, 5), (0.2, 0.8, 0.2))], frames, (0, 0, 0))
        app = start_viewer(self, folder, config)
        sphere = 2 * 5 * PIXELS_PER_UNIT
        row = (40 + 2 * 5) * PIXELS_PER_UNIT

        def centred(width):
            def judge(image):
                mask = scene_area(differs_from(image, (0, 0, 0)))
                w, h = bbox_size(mask)
                centre = bbox_centre(mask)
                ok = (centre is not None and abs(w - width) <= 5 and abs(h - sphere) <= 5
                      and abs(centre[0] - (CENTRE[0] - 0.5)) <= 2.5 and abs(centre[1] - (CENTRE[1] - 0.5)) <= 2.5)
                return ok, "drawn %d x %d around %s" % (w, h, centre)
            return judge

        wait_for_view(app, centred(sphere), "three atoms at (10, 10, 10) as one sphere at the centre")
        app.key("n")
        image = wait_for_view(app, centred(row), "the row (60..100, -30, 5) centred")
        # Three separate spheres, the middle one on the centre.
        mask = scene_area(differs_from(image, (0, 0, 0)))
        for x in (-20, 0, 20):
            self.assertGreater(count(region(mask, to_pixel(x, 0), 5, 5)), 100, "no sphere at x = %d" % x)
        for x in (-10, 10):
            self.assertEqual(count(region(mask, to_pixel(x, 0), 3, 3)), 0, "spheres run together at x = %d" % x)
        quit_cleanly(self, app)


class Fog(unittest.TestCase):
    # Four blue discs near the eye around one red disc far behind them; the mean is 200 units in front of the eye.
    # Depth of the far disc: 4 near atoms at z = 0 and one at z = -FAR put the centre at -FAR / 5, so the far disc
    # is drawn 200 + 4 FAR / 5 = 375 units from the eye (inside the fog ramp 350..400), the near ones at 156.
    FAR = 218.75

    def test_g_switches_the_fog_off_and_on_for_the_far_disc_only(self):
        folder = temp_dir(self)
        near = [(30, 0), (-30, 0), (0, 30), (0, -30)]
        atoms = [Atom(1, (x, y, 0)) for x, y in near] + [Atom(2, (0, 0, -self.FAR))]
        species = [Species((6, 6, 1), (0, 0, 1)), Species((12, 12, 1), (1, 0, 0))]
        config = write_scene(folder, "fog", species, [atoms], (0, 0, 0))
        app = start_viewer(self, folder, config)
        near_depth = 200 - self.FAR / 5
        near_points = [to_pixel(x, y, near_depth) for x, y in near]
        far_point = (CENTRE[0] - 0.5, CENTRE[1] - 0.5)

        def far_red(low, high):
            def judge(image):
                colour = colour_at(image, far_point)
                blues = [colour_at(image, p)[2] for p in near_points]
                ok = low <= colour[0] <= high and colour[0] > colour[1] + 50 and all(b > 200 for b in blues)
                return ok, "far disc %s, near discs' blue %s" % (colour, blues)
            return judge

        # Fog on from the start: the far disc is dimmed towards the black fog colour, about half way.
        fogged = wait_for_view(app, far_red(60, 200), "the far disc dimmed by fog")
        app.key("g")
        clear = wait_for_view(app, far_red(235, 255), "the far disc at full colour without fog")
        for p in near_points:
            self.assertTrue(close_colour(colour_at(fogged, p), colour_at(clear, p), 6),
                            "a near disc changed with the fog: %s / %s" % (colour_at(fogged, p), colour_at(clear, p)))
        app.key("g")
        again = wait_for_view(app, far_red(60, 200), "the fog back on")
        self.assertTrue(close_colour(colour_at(again, far_point), colour_at(fogged, far_point), 6))
        # The dimmed disc is still the same disc: its red area keeps its size.
        self.assertGreater(count(dominant(again, "r", 30)), 1000)
        quit_cleanly(self, app)


class EmptyFrames(unittest.TestCase):
    def test_frames_without_atoms_draw_only_the_background(self):
        folder = temp_dir(self)
        background = (0.3, 0.3, 0.3)
        config = write_scene(folder, "empty", [Species((1, 1, 1), (1, 0, 0))], [[], [], []], background)
        app = start_viewer(self, folder, config)
        self.assertIn("Number of atoms:      0\nNumber of time steps: 3 (0 - 2)\n", app.output)

        def only_background(image):
            n = count(scene_area(differs_from(image, rgb255(background), 8)))
            return n == 0 and image.getpixel((512, 320)) != (0, 0, 0), "%d pixels off the background" % n

        wait_for_view(app, only_background, "the empty frame")
        # Every frame command works on frames without atoms.
        app.key("n", "f", "p", "r", "N", "P", "space", "space")
        app.key("G")
        app.wait_for_text("Go to frame: ")
        app.send("1\n")
        app.wait_for_line(r"Going to frame 1")
        wait_for_view(app, only_background, "the empty frame after the frame commands")
        self.assertTrue(app.running())
        quit_cleanly(self, app)


if __name__ == "__main__":
    unittest.main()


class LightingIndependentOfSize(unittest.TestCase):
    COLOUR = (1.0, 0.0, 0.0)

    def test_large_and_small_spheres_are_lit_alike(self):
        # The lit colour of a surface facing the viewer must not depend on the half radii: scaled normals would
        # wash out the large sphere and saturate the small one.
        folder = temp_dir(self)
        config = write_scene(folder, "sizes", [Species((10, 10, 10), self.COLOUR), Species((1.5, 1.5, 1.5), self.COLOUR)],
                             [[Atom(1, (-15, 0, 0)), Atom(2, (15, 0, 0))]], (1, 1, 1))
        app = start_viewer(self, folder, config)
        expected = rgb255(lit_front(self.COLOUR))

        def both_drawn(image):
            # About 4,900 pixels of spheres on white; a window not drawn yet differs from white everywhere.
            n = count(differs_from(image, (255, 255, 255)))
            return 1000 < n < 20000, "%d pixels off the white background" % n

        image = wait_for_view(app, both_drawn, "a large and a small sphere")
        for x_units in (-15, 15):
            found = colour_at(image, to_pixel(x_units, 0))
            self.assertTrue(close_colour(found, expected, 14),
                            "the sphere at x = %d shows %s, the lit colour is about %s" % (x_units, found, expected))
        quit_cleanly(self, app)
