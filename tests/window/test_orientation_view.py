"""Orientation colours and the order parameter ('c'), fitting and resetting the view ('z', 'Z') and the help list
('h') in the real viewer.

The fit is judged against an independent projection: every sphere's outline on the screen is computed from the
view the fit must give (frame centre on the view axis at the distance where the sphere around the frame fills
the smaller window dimension less 5 % on each side), and the drawn pixels must cover exactly that box.
"""

import math
import re
import time
import unittest

from glut_menu import MAIN_ENTRIES, SUBMENUS
from ovalix_window import require_display, start_viewer, temp_dir, xdotool
from pixel_checks import (bbox_size, close_colour, colour_at, count, differs_from, lit_front, region, rgb255,
                          to_pixel, wait_for_view, wait_until_restored)
from scene_files import Atom, Species, write_scene

HALF_TURN_Z = (math.sqrt(0.5), 0, 0, math.sqrt(0.5))  # 90 degrees about z: a rod along x turns along y
VIRIDIS_LOW = (0.267004, 0.004874, 0.329415)           # matplotlib's viridis at 0 and at 1
VIRIDIS_HIGH = (0.993248, 0.906157, 0.143936)
FIT_MARGIN = 0.05
HALF_VIEW_TAN = math.tan(math.radians(22.5))


def setUpModule():
    require_display()


def order_line(frame, s, director):
    """Regex of the console line, allowing -0.0000 for a zero component; the smectic layers end it."""
    parts = [r"-?%s" % re.escape("%.4f" % abs(c)) if abs(c) < 5e-5 else re.escape("%.4f" % c) for c in director]
    return (r"Time step %d: order parameter S = %s, director \(%s, %s, %s\)" % ((frame, re.escape("%.4f" % s)) + tuple(parts)) +
            r", smectic tau [01]\.\d{4} at layer spacing [0-9.e+]+")


class OrientationColours(unittest.TestCase):
    # Three rods along x and one along y: Q has the eigenvalue 0.625 along x. Frame 1 turns the fourth rod along x.
    BACKGROUND = (0.1, 0.1, 0.1)  # dark, so the overlay's grey text (0.4) stands out
    ROD, SPHERE = (1, 0, 0), (0.1, 0.8, 0.1)
    PLACES = [(-40, 25, 0), (-40, 0, 0), (-40, -25, 0), (20, 0, 0), (50, 0, 0)]  # rods 1-4, then the sphere

    def scene(self):
        folder = temp_dir(self)
        frames = []
        for turned in (True, False):
            atoms = [Atom(1, p) for p in self.PLACES[:3]]
            atoms.append(Atom(1, self.PLACES[3], HALF_TURN_Z if turned else (1, 0, 0, 0)))
            atoms.append(Atom(2, self.PLACES[4], HALF_TURN_Z))
            frames.append(atoms)
        species = [Species((12, 4, 4), self.ROD), Species((5, 5, 5), self.SPHERE)]
        return start_viewer(self, folder, write_scene(folder, "rods", species, frames, self.BACKGROUND))

    def pixel(self, index):
        centre = [sum(p[k] for p in self.PLACES) / len(self.PLACES) for k in range(3)]
        return to_pixel(self.PLACES[index][0] - centre[0], self.PLACES[index][1] - centre[1], 200.0 - 4)

    def colours(self, app, expected, what):
        """Waits until every particle shows its expected diffuse colour, lit face-on; returns the image."""
        def judge(image):
            found = [colour_at(image, self.pixel(i)) for i in range(len(expected))]
            ok = all(close_colour(f, rgb255(lit_front(e)), 25) for f, e in zip(found, expected))
            return ok, "particles show %s" % found
        return wait_for_view(app, judge, what)

    def overlay_pixels(self, image):
        """Text pixels on the overlay's second line, 20 pixels above the time step."""
        return count(region(differs_from(image, rgb255(self.BACKGROUND)), (80, 640 - 45), 70, 9))

    def test_c_colours_along_and_across_the_director_and_prints_the_order_per_frame(self):
        app = self.scene()
        species = self.colours(app, [self.ROD] * 4 + [self.SPHERE], "the species colours")
        self.assertEqual(self.overlay_pixels(species), 0, "a second overlay line in species colours")
        app.key("c")
        app.wait_for_line(r"Colouring by orientation\.")
        app.wait_for_line(order_line(0, 0.625, (1, 0, 0)))
        # Along the director: the yellow end of viridis; across it: the dark end; the sphere keeps its colour.
        oriented = self.colours(app, [VIRIDIS_HIGH] * 3 + [VIRIDIS_LOW, self.SPHERE], "the orientation colours")
        self.assertGreater(self.overlay_pixels(oriented), 20, "no \"S = 0.6250\" line above the time step")
        app.key("n")
        app.wait_for_line(order_line(1, 1.0, (1, 0, 0)))
        self.colours(app, [VIRIDIS_HIGH] * 4 + [self.SPHERE], "every rod yellow in the aligned frame")
        # One line per frame change, not one per redraw.
        time.sleep(1.5)
        self.assertEqual(len(re.findall(r"^Time step", app.output, re.M)), 2, app.output)
        app.key("c")
        app.wait_for_line(r"Colouring by species\.")
        self.assertEqual(self.overlay_pixels(self.colours(app, [self.ROD] * 4 + [self.SPHERE], "species again")), 0)
        app.key("p")
        time.sleep(1.0)
        self.assertEqual(len(re.findall(r"^Time step", app.output, re.M)), 2, "species colours print no order")

    def test_spheres_alone_have_no_order_parameter_and_keep_their_colour(self):
        folder = temp_dir(self)
        colour = (0.2, 0.3, 0.9)
        config = write_scene(folder, "balls", [Species((6, 6, 6), colour)],
                             [[Atom(1, (-20, 0, 0)), Atom(1, (20, 0, 0), HALF_TURN_Z)]], (0, 0, 0))
        app = start_viewer(self, folder, config)
        app.key("c")
        app.wait_for_line(r"Colouring by orientation\.")
        app.wait_for_line(r"Time step 0: no order parameter, the frame has no non-spherical particle\.")

        def judge(image):
            found = colour_at(image, to_pixel(20, 0, 194))
            return close_colour(found, rgb255(lit_front(colour)), 25), "the sphere shows %s" % (found,)
        wait_for_view(app, judge, "the sphere in its species colour")


class FitAndReset(unittest.TestCase):
    # Two white spheres on black: radius 3 at x = -30 and radius 6 at x = +30 (times a scale); frame centre at 0.
    SPHERES = [((-30, 0, 0), 3), ((30, 0, 0), 6)]

    def start(self, scale=1.0, frames=1):
        folder = temp_dir(self)
        species = [Species((r * scale,) * 3, (1, 1, 1)) for _, r in self.SPHERES]
        atoms = [Atom(n + 1, tuple(c * scale for c in p)) for n, (p, _) in enumerate(self.SPHERES)]
        return start_viewer(self, folder, write_scene(folder, "pair", species, [atoms] * frames, (0, 0, 0)))

    @staticmethod
    def rotation(turns):
        """Eye-space rotation after turns (axis, degrees) about the eye's x, y or z axis, each applied after the last."""
        m = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
        for axis, degrees in turns:
            c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
            r = {"y": [[c, 0, s], [0, 1, 0], [-s, 0, c]], "x": [[1, 0, 0], [0, c, -s], [0, s, c]],
                 "z": [[c, -s, 0], [s, c, 0], [0, 0, 1]]}[axis]
            m = [[sum(r[i][k] * m[k][j] for k in range(3)) for j in range(3)] for i in range(3)]
        return m

    def expected_box(self, width, height, turns=()):
        """Pixel box (left, top, right, bottom) of the fitted spheres, projected independently of the viewer."""
        centre = [sum(p[k] for p, _ in self.SPHERES) / len(self.SPHERES) for k in range(3)]
        spheres = [([p[k] - centre[k] for k in range(3)], r) for p, r in self.SPHERES]
        radius = max(math.hypot(*p) for p, _ in spheres) + max(r for _, r in spheres)
        half_tan = HALF_VIEW_TAN * min(width, height) / height
        distance = radius / math.sin(math.atan((1 - 2 * FIT_MARGIN) * half_tan))
        focal = (height / 2) / HALF_VIEW_TAN
        m = self.rotation(turns)
        edges = [[], []]
        for p, r in spheres:
            e = [sum(m[i][k] * p[k] for k in range(3)) for i in range(3)]
            e[2] -= distance
            for axis in (0, 1):  # the two planes through the eye that touch the sphere, per screen axis
                centre_angle = math.atan2(e[axis], -e[2])
                spread = math.asin(r / math.hypot(e[axis], e[2]))
                edges[axis] += [focal * math.tan(centre_angle - spread), focal * math.tan(centre_angle + spread)]
        return (width / 2 + min(edges[0]), height / 2 - max(edges[1]),
                width / 2 + max(edges[0]), height / 2 - min(edges[1]))

    def assert_fitted(self, app, turns=(), size=(1024, 640), what="the fitted pair"):
        box = self.expected_box(*size, turns)

        def judge(image):
            found = differs_from(image, (0, 0, 0)).getbbox()
            ok = found is not None and all(abs(f - e) <= 3 for f, e in zip(found, box))
            return ok, "drawn box %s, expected %s" % (found, tuple(round(v) for v in box))
        image = wait_for_view(app, judge, what)
        left, top, right, bottom = differs_from(image, (0, 0, 0)).getbbox()
        self.assertTrue(left > 0 and top > 0 and right < size[0] and bottom < size[1], "cut off at the window edge")
        return image

    def test_z_fits_the_pair_at_several_rotations(self):
        app = self.start()
        app.key("z")
        self.assert_fitted(app)
        turns = []
        for keys, turn in ((["q"] * 45, ("z", 90)), (["d"] * 10, ("y", 40)), (["w"] * 15, ("x", -30)),
                           (["a"] * 20, ("y", -80))):
            app.key(*keys)
            turns.append(turn)
            app.key("z")
            self.assert_fitted(app, turns, what="the pair fitted after %s" % turns)

    def test_small_and_huge_systems_fit_alike(self):
        for scale in (0.002, 60.0):
            with self.subTest(scale=scale):
                app = self.start(scale)
                if scale > 1:
                    # Fitted, the huge pair lies far beyond the fog's end: the fog hides it in the background.
                    app.key("z")

                    def hidden(image):
                        n = count(differs_from(image, (0, 0, 0), limit=8))
                        return n == 0, "%d pixels off the background" % n
                    wait_for_view(app, hidden, "the fitted huge pair hidden by the fog")
                app.key("g")
                app.key("z")
                self.assert_fitted(app, what="the pair scaled by %g" % scale)
                app.finish()

    def test_one_sphere_spans_the_smaller_dimension_less_the_margins(self):
        # Its outline is the fitting sphere's own: 90 % of the height, whatever the turn. The sphere of 15 slices
        # is a polygon inside the true outline, up to 1 - cos(12 degrees) = 2.2 % smaller across.
        self.SPHERES = [((7, -3, 2), 10)]
        app = self.start()
        for keys in ([], ["d"] * 5, ["s"] * 20):
            app.key(*(keys + ["z"]))

            def judge(image):
                w, h = bbox_size(differs_from(image, (0, 0, 0)))
                ok = all(0.97 * 576 <= v <= 578 for v in (w, h))
                return ok, "the sphere spans %d x %d pixels" % (w, h)
            wait_for_view(app, judge, "the sphere spanning 90 % of the height")

    def test_fit_uses_the_smaller_window_dimension(self):
        app = self.start()
        xdotool("windowsize", "--sync", app.wid, 500, 700)
        time.sleep(0.5)
        app.settled_grab()  # a loaded machine may not have redrawn at the new size yet
        app.key("z")
        self.assert_fitted(app, size=(500, 700), what="the pair fitted across a tall window")

    def test_z_reanchors_the_lights(self):
        # Turning keys leave the lights where they were; an arrow key re-anchors them, and so must z.
        app = self.start()
        app.key(*(["d"] * 20 + ["z"]))
        first = self.assert_fitted(app, [("y", 80)])
        app.key("Left", "Right", "z")
        wait_until_restored(app, first, "the same lighting after an arrow key's re-anchoring")
        app.finish()
        app = self.start()
        app.key(*(["d"] * 20 + ["Left", "Right", "z"]))
        wait_until_restored(app, first, "the lights re-anchored by z as by an arrow key")

    def test_Z_restores_the_start_up_view_then_fits(self):
        app = self.start(frames=2)
        app.key("t")  # the overlay is not part of the judged picture
        app.key("z")
        start_up = self.assert_fitted(app, what="the start-up view fitted")
        app.key(*(["d"] * 10 + ["w"] * 10 + ["plus"] * 10 + ["Left"] * 5 + ["q"] * 7))
        app.key("Z")
        reference = self.assert_fitted(app, what="the start-up view fitted")
        # Lights included: the arrow keys anchored them to the turned scene, Z anchors them to the start-up view.
        wait_until_restored(app, start_up, "the view and lighting of the start-up fit")
        app.key(*(["a"] * 7 + ["minus"] * 4 + ["Up"] * 3))
        app.key("Z")
        self.assertEqual(reference.tobytes(), self.assert_fitted(app).tobytes(), "Z twice gives another view")


class Help(unittest.TestCase):
    def test_h_lists_every_key_mouse_action_and_menu_entry(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_scene(folder, "one", [Species((2, 2, 2), (1, 0, 0))],
                                                     [[Atom(1, (0, 0, 0))]], (0, 0, 0)))
        app.key("h")
        app.wait_for_line(r"Keys:")
        app.wait_for_line(r"  Quit  +quit, as Q")
        text = app.output[app.output.index("Keys:"):]
        keys = ["Q or Esc", "+ or =", "- or _", "d / a", "w / s", "q / e", "space", "p / n", "P / N", "G", "r / f",
                "L", "g", "t", "Enter", "c", "C", "z", "Z", "l", "i", "V", "b", "x", "[ / ]", "{ / }", "1 ... 9", "0", "o", "O", "h"]
        for key in keys:
            self.assertRegex(text, r"(?m)^  %s  +\S" % re.escape(key), "key %s missing" % key)
        for action in ("left click", "left drag", "Shift + left drag", "Ctrl + left drag", "wheel", "arrow keys", "right button"):
            self.assertRegex(text, r"(?m)^  %s  +\S" % re.escape(action))
        for entries in (MAIN_ENTRIES,) + tuple(SUBMENUS.values()):
            for entry in entries:
                self.assertIn(entry.split(" (")[0], text, "menu entry %s missing" % entry)
        self.assertEqual(len([line for line in text.splitlines() if line.startswith("  ")]), 50)


if __name__ == "__main__":
    unittest.main()
