"""Looking inside a frame in the real viewer: the box's edges (key b), the slab cut (x, [ ] { }), hidden species
(1 to 9, 0), picking atoms with a click and their marks, a fitted first view (fit_view), and the same switches
in the offscreen mode."""

import glob
import os
import subprocess
import unittest

from ovalix_window import BIN, require_display, start_viewer, temp_dir, write_file
from pixel_checks import CENTRE, PIXELS_PER_UNIT, bbox_size, count, differs_from, region, to_pixel, wait_for_view


def setUpModule():
    require_display()


# Three spheres of half radius 3 on the diagonal of a box 40 wide; the mean position is the origin, so with the
# start-up camera atom k sits 200 - z units from the eye.
ATOMS = [(1, (-12, 0, -12)), (1, (0, 0, 0)), (2, (12, 0, 12))]
BOX = "ITEM: BOX BOUNDS pp pp pp\n-20 20\n-20 20\n-20 20\n"


def write_inside_scene(folder, extra=""):
    rows = "".join("%d %d %g %g %g 1 0 0 0\n" % (n, t, x, y, z) for n, (t, (x, y, z)) in enumerate(ATOMS, 1))
    write_file(folder, "inside.dump", "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n3\n" + BOX +
               "ITEM: ATOMS id type x y z quatw quati quatj quatk\n" + rows)
    write_file(folder, "inside.cfg", "dumpfile inside.dump\nspecies 2\nhalf_radii 1 3 3 3\nhalf_radii 2 3 3 3\n"
               "color 1 1 0 0\ncolor 2 0 0 1\nbond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 0 0 0\n" + extra)
    return "inside.cfg"


def atom_pixel(k):
    x, _, z = ATOMS[k][1]
    return to_pixel(x, 0, 200 - z)


def brightest(image, point, radius=3):
    """The largest channel sum near point: a thin line anywhere in the little square shows."""
    x, y = int(round(point[0])), int(round(point[1]))
    return max(sum(image.getpixel((i, j))) for i in range(x - radius, x + radius + 1)
               for j in range(y - radius, y + radius + 1))


def view(app, predicate, what):
    return wait_for_view(app, lambda image: (predicate(image), what), what)


def shows_atom(image, k):
    return sum(image.getpixel(tuple(int(round(v)) for v in atom_pixel(k)))) > 100


# The top edges of the box's front (z = 20) and back (z = -20) faces, and a point between them.
FRONT_TOP, BACK_TOP = to_pixel(0, 20, 180), to_pixel(0, 20, 220)
BETWEEN = (CENTRE[0], (FRONT_TOP[1] + BACK_TOP[1]) / 2)


class LookInside(unittest.TestCase):
    def test_box_slab_species_and_picks(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_inside_scene(folder))

        app.key("b")
        app.wait_for_line(r"Simulation box shown\.")
        boxed = view(app, lambda image: brightest(image, FRONT_TOP) > 500 and brightest(image, BACK_TOP) > 500,
                              "light box edges on the black background")
        self.assertLess(brightest(boxed, BETWEEN, 1), 60, "the box edges are lines, not a filled face")
        app.key("b")
        app.wait_for_line(r"Simulation box hidden\.")
        view(app, lambda image: brightest(image, FRONT_TOP) < 60, "the box gone again")

        # The slab across the view axis, a fifth of the 24 units the centres spread along it: only the middle atom.
        app.key("x")
        app.wait_for_line(r"Slab cut on: normal \(0, 0, 1\), centre offset 0, width 4\.8\.")
        view(app, lambda image: shows_atom(image, 1) and not shows_atom(image, 0) and not shows_atom(image, 2),
                      "only the middle atom inside the slab")
        for key, line in (("braceright", r"centre offset 0, width 9\.6\."), ("braceright", r"centre offset 0, width 19\.2\."),
                          ("braceright", r"centre offset 0, width 38\.4\."),
                          ("bracketleft", r"centre offset -3\.84, width 38\.4\.")):
            app.key(key)
            app.wait_for_line(r"Slab cut on: normal \(0, 0, 1\), " + line)
        view(app, lambda image: all(shows_atom(image, k) for k in range(3)), "all atoms inside the wider slab")
        app.key("braceleft")  # z from -13.44 to 5.76
        app.wait_for_line(r"Slab cut on: normal \(0, 0, 1\), centre offset -3\.84, width 19\.2\.")
        view(app, lambda image: shows_atom(image, 0) and shows_atom(image, 1) and not shows_atom(image, 2),
             "the slab moved back past the front atom")
        app.key("x")
        app.wait_for_line(r"Slab cut off\.")
        app.key("bracketright")
        app.wait_for_line(r"Slab cut is off: x switches it on\.")

        app.key("2")
        app.wait_for_line(r"Species 2 hidden\.")
        view(app, lambda image: not shows_atom(image, 2) and shows_atom(image, 0), "species 2 hidden")
        app.click(*map(int, atom_pixel(2)))  # a hidden atom cannot be picked: nothing there to pick
        app.key("7")
        app.wait_for_line(r"There is no species 7\.")
        app.key("0")
        app.wait_for_line(r"All species shown\.")
        view(app, lambda image: shows_atom(image, 2), "species 2 back")
        self.assertNotIn("Atom 3", app.output)

        # Picks: the middle atom, then the back one (distance), then the front one (angle), then empty space.
        ring = (CENTRE[0] - 1.25 * 3 * PIXELS_PER_UNIT, CENTRE[1])  # a quarter wider than the atom
        self.assertLess(brightest(app.grab(), ring, 1), 60)
        app.click(int(CENTRE[0]), int(CENTRE[1]))
        app.wait_for_line(r"Atom 2 \(label 2, species 1\): position \(0\.000, 0\.000, 0\.000\), orientation "
                          r"\(1, 0, 0, 0\), half radii \(3, 3, 3\)")
        view(app, lambda image: brightest(image, ring, 2) > 700, "a white ring round the picked atom")
        app.click(*map(int, atom_pixel(0)))
        app.wait_for_line(r"Atom 1 \(label 1, species 1\): position \(-12\.000, 0\.000, -12\.000\), .*")
        app.wait_for_line(r"Distance between atoms 2 and 1: 16\.9706, minimum image 16\.9706\.")
        app.click(*map(int, atom_pixel(2)))
        app.wait_for_line(r"Angle 2-1-3: 0\.00 degrees\.")
        app.click(60, 60)
        app.wait_for_line(r"Picks cleared\.")
        view(app, lambda image: brightest(image, ring, 2) < 60, "the ring gone with the picks")

        # A drag from an atom turns the scene as before and picks nothing.
        app.drag((int(CENTRE[0]), int(CENTRE[1])), (int(CENTRE[0]) + 40, int(CENTRE[1])))
        app.key("t")
        app.key("b")
        app.wait_for_line(r"Simulation box shown\.")
        self.assertEqual(app.output.count("Atom "), 3, app.output)

    def test_fit_view_fills_the_window_with_a_small_system(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_inside_scene(folder, "fit_view\n"))
        # The three atoms span 30 units across: about 116 pixels unfitted, over 300 fitted.
        image = view(app, lambda image: bbox_size(region(differs_from(image, (0, 0, 0)), CENTRE, 400, 250))[0] > 300,
                     "the fitted frame spanning most of the window")
        self.assertGreater(count(region(differs_from(image, (0, 0, 0)), CENTRE, 400, 250)), 10000)  # unfitted: about 1300

    def test_offscreen_box_slab_and_hidden_species(self):
        folder = temp_dir(self)
        config = write_inside_scene(folder)
        out = os.path.join(folder, "out")
        os.mkdir(out)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BIN, "--render", "--box", "--slab", "0,0,1,-6,14", "--hide-species", "2",
                                 "--out", out, config], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        from PIL import Image
        images = glob.glob(os.path.join(out, "*.png"))
        self.assertEqual(len(images), 1, images)
        with Image.open(images[0]) as opened:
            image = opened.convert("RGB")
        # The slab from z = -13 to 1 holds atoms 1 and 2; atom 3 is of the hidden species.
        self.assertTrue(shows_atom(image, 0) and shows_atom(image, 1))
        self.assertFalse(shows_atom(image, 2))
        self.assertGreater(brightest(image, FRONT_TOP), 500)


if __name__ == "__main__":
    unittest.main()
