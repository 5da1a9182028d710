"""ovalix --render draws what the window draws: each frame's image equals the window's sequence image of that frame,
pixel for pixel and byte for byte, at the window's size, in the view saved with the key V, overlay on.

The window writes its sequence images while it animates with printing on (chosen in the menu); the renderer runs
with no DISPLAY at all and reads the saved view.
"""

import os
import shutil
import subprocess
import time
import unittest

try:
    from PIL import Image, ImageChops, ImageDraw
except ImportError:  # reported as skipped by setUpModule
    Image = None

from glut_menu import choose
from ovalix_window import BIN, DATA, EXAMPLES, require_display, start_viewer, temp_dir, write_file


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


def headless_environment():
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
    return env


TEXTURED_DUMP = "".join(
    "ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n-60 60\n-60 60\n-60 60\n"
    "ITEM: ATOMS id type x y z quatw quati quatj quatk\n1 1 -25 %d 0 0.9238795 0 0.3826834 0\n"
    "2 2 25 0 0 1 0 0 0\n" % (100 * k, 4 * k) for k in range(3))
TEXTURED_CONFIG = """dumpfile pair.dump
species 2
half_radii 1 14 10 10
half_radii 2 12 12 12
color 1 0.9 0.9 0.9
color 2 0.9 0.6 0.3
bond_vector 1 1 0 0 0
bond_vector 2 1 0 0 0
background 0.1 0.1 0.2
texture checks.png
"""


def checkerboard(path, size=64, cell=8):
    image = Image.new("RGB", (size, size), (255, 255, 255))
    draw = ImageDraw.Draw(image)
    for y in range(0, size, cell):
        for x in range(0, size, cell):
            if (x // cell + y // cell) % 2:
                draw.rectangle((x, y, x + cell - 1, y + cell - 1), fill=(0, 60, 0))
    image.save(path)

# Rods in a 3 x 3 x 3 block, close enough to occlude each other, over two frames.
BLOCK_DUMP = "".join(
    "ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n27\nITEM: BOX BOUNDS pp pp pp\n-20 20\n-20 20\n-20 20\n"
    "ITEM: ATOMS id type x y z quatw quati quatj quatk\n" % (100 * k) +
    "".join("%d %d %g %g %g 0.9238795 0 0.3826834 0\n" % (9 * x + 3 * y + z + 1, 1 + (x + y + z) % 2, 1.3 * x + 0.1 * k,
                                                           1.3 * y, 3.2 * z)
            for x in range(3) for y in range(3) for z in range(3)) for k in range(2))
BLOCK_CONFIG = """dumpfile block.dump
species 2
half_radii 1 0.6 0.6 1.5
half_radii 2 0.6 0.6 1.5
color 1 0.9 0.6 0.3
color 2 0.3 0.6 0.9
bond_vector 1 1 0 0 0
bond_vector 2 1 0 0 0
background 0.1 0.1 0.2
"""


class RenderEqualsWindow(unittest.TestCase):
    def window_sequence(self, folder, config, trajectory, frames, keys):
        """Turns the view with keys, saves it with V, and lets the window write a PNG sequence image per frame."""
        app = start_viewer(self, folder, config)
        if keys:
            app.key(*keys)
        app.settled_grab()
        app.key("V")
        app.wait_for_line(r"View written to %s\.view\." % trajectory.replace(".", r"\."))
        choose(app, "File format", "PNG")
        choose(app, "Print", "Print Images")
        app.key("space")
        names = ["%s_%04d.png" % (trajectory, k) for k in range(frames)]
        deadline = time.monotonic() + 120
        while not all(os.path.isfile(os.path.join(folder, n)) for n in names):
            self.assertLess(time.monotonic(), deadline, "sequence images missing: %s" % os.listdir(folder))
            time.sleep(0.2)
        app.key("space")
        choose(app, "Print", "Do Not Print Images")
        app.settled_grab()  # the last image may have been rewritten meanwhile; now nothing writes any more
        return names

    def render(self, folder, config, trajectory, out, switches=()):
        result = subprocess.run([BIN, "--render", *switches, "--view", trajectory + ".view", "--out", out, config],
                                cwd=folder,
                                env=headless_environment(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def assert_same_images(self, folder, out, names):
        self.assertEqual(sorted(os.listdir(out)), sorted(names), "the renderer wrote other files")
        for name in names:
            window = Image.open(os.path.join(folder, name))
            rendered = Image.open(os.path.join(out, name))
            self.assertEqual((rendered.format, rendered.size), (window.format, window.size), name)
            self.assertIsNone(window.convert("RGB").getcolors(2), "%s shows nothing" % name)  # more than two colours
            box = ImageChops.difference(window.convert("RGB"), rendered.convert("RGB")).getbbox()
            self.assertIsNone(box, "%s: the rendered image differs from the window's within %s" % (name, box))
            with open(os.path.join(folder, name), "rb") as a, open(os.path.join(out, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), "%s: same pixels but other bytes" % name)

    def compare(self, folder, config, trajectory, frames, keys=(), switches=()):
        names = self.window_sequence(folder, config, trajectory, frames, keys)
        out = os.path.join(folder, "rendered")
        os.mkdir(out)
        self.render(folder, config, trajectory, out, switches)
        self.assert_same_images(folder, out, names)

    def test_dump_with_solid_bonds_in_a_turned_view(self):
        folder = temp_dir(self)
        for name in ("chain.cfg", "chain.dump", "chain.bonds"):
            shutil.copy(os.path.join(EXAMPLES, name), folder)
        # Turned, spun and moved closer: the saved matrix must carry every kind of movement.
        self.compare(folder, "chain.cfg", "chain.dump", 31, ["d", "d", "w", "q", "plus", "plus", "plus", "g"])

    def test_fitted_view_with_adaptive_detail_and_orientation_colours(self):
        folder = temp_dir(self)
        for name in ("chain.cfg", "chain.dump", "chain.bonds"):
            shutil.copy(os.path.join(EXAMPLES, name), folder)
        # The fit moves the clip planes, which the view file carries; the switches stand for the keys l and c.
        self.compare(folder, "chain.cfg", "chain.dump", 31, ["w", "z", "l", "c"],
                     ["--adaptive-detail", "--colour-by-orientation"])

    def test_pdb_trajectory_with_bonds(self):
        source = os.path.join(DATA, "pdb")
        if not os.path.isfile(os.path.join(source, "5e5z_traj5.pdb")):
            self.skipTest("shared test data not found: %s" % source)
        folder = temp_dir(self)
        for name in ("5e5z_traj5_bonds.cfg", "5e5z_traj5.pdb", "5e5z.bonds"):
            shutil.copy(os.path.join(source, name), folder)
        self.compare(folder, "5e5z_traj5_bonds.cfg", "5e5z_traj5.pdb", 5, ["plus"] * 30 + ["s", "a"])

    def test_textured_configuration(self):
        folder = temp_dir(self)
        write_file(folder, "pair.dump", TEXTURED_DUMP)
        write_file(folder, "pair.cfg", TEXTURED_CONFIG)
        checkerboard(os.path.join(folder, "checks.png"))
        self.compare(folder, "pair.cfg", "pair.dump", 3, ["e", "e"])

    def test_raycast_ellipsoids_textured(self):
        folder = temp_dir(self)
        write_file(folder, "pair.dump", TEXTURED_DUMP)
        write_file(folder, "pair.cfg", TEXTURED_CONFIG + "transparency 2 0.5\n")
        checkerboard(os.path.join(folder, "checks.png"))
        # The key i in the window, the switch --raycast offscreen: the same shaders, the same pixels. Species 2 is
        # blended at half opacity; T twice leaves it on, and the view file carries the switch.
        self.compare(folder, "pair.cfg", "pair.dump", 3, ["e", "e", "i", "T", "T"], ["--raycast"])

    def test_ambient_occlusion_in_both_drawings(self):
        folder = temp_dir(self)
        write_file(folder, "block.dump", BLOCK_DUMP)
        write_file(folder, "block.cfg", BLOCK_CONFIG)
        # The key o in the window (the view file carries it too), the switch offscreen; ray-cast there.
        self.compare(folder, "block.cfg", "block.dump", 2, ["o", "w", "z", "i"], ["--ambient-occlusion=0.6", "--raycast"])


if __name__ == "__main__":
    unittest.main()
