"""Periodic images and wrapping: the window with the keys I and W draws what `ovalix --render` draws from the view
file the key V saved, pixel for pixel."""

import os
import subprocess
import unittest

try:
    from PIL import Image, ImageChops
except ImportError:  # reported as skipped by setUpModule
    Image = None

from glut_menu import choose
from ovalix_window import BIN, require_display, start_viewer, temp_dir, write_file


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


# A tilted box (xy = 5); atoms 1 and 2 sit at the two x faces and are bonded across the box, atoms 3 to 5 lie
# outside it along a, b and c.
ATOMS = ("1 1 1 10 10 1 0 0 0\n2 1 19 10 10 0.92388 0 0 0.38268\n3 2 24 5 3 1 0 0 0\n"
         "4 2 10 -4 10 0.92388 0.38268 0 0\n5 1 10 10 25 1 0 0 0\n")
HEADER = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n5\n"
BOX = "ITEM: BOX BOUNDS xy xz yz pp pp pp\n0 25 5\n0 20 0\n0 20 0\n"
COLUMNS = "ITEM: ATOMS id type x y z quatw quati quatj quatk\n"
CONFIG = """dumpfile periodic.dump
bondfile periodic.bonds
species 2
half_radii 1 2.5 1 1
half_radii 2 1.5 1.5 1.5
color 1 0.9 0.3 0.2
color 2 0.2 0.5 0.9
bond_vector 1 1 0 0 0
bond_vector 2 1 0 0 0
background 0.1 0.1 0.2
solid_bonds 0.4
fit_view
"""


class PeriodicBox(unittest.TestCase):
    def test_window_keys_and_view_file_draw_as_the_renderer(self):
        folder = temp_dir(self)
        for name, text in [("periodic.dump", HEADER + BOX + COLUMNS + ATOMS), ("periodic.bonds", "Bonds\n\n1 1 1 2 1 1\n"),
                           ("periodic.cfg", CONFIG)]:
            write_file(folder, name, text)
        app = start_viewer(self, folder, "periodic.cfg")
        app.key("I")
        app.wait_for_line(r"Periodic images on: 3x3x3\.")
        app.key("W")
        app.wait_for_line(r"Positions wrapped into the box\.")
        app.key("z", "V")
        app.wait_for_line(r"View written to periodic\.dump\.view\.")
        choose(app, "File format", "PNG")
        app.key("Return")
        app.wait_for_line(r"Success! File Screen_0000_0000\.png has been written\.")
        with open(os.path.join(folder, "periodic.dump.view")) as saved:
            self.assertIn("\nimages 3 3 3\nwrap 1\n", saved.read())
        os.mkdir(os.path.join(folder, "out"))
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BIN, "--render", "--frames", "0:0", "--out", "out", "--view", "periodic.dump.view",
                                 "periodic.cfg"], cwd=folder, env=environment, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        window, rendered = (Image.open(os.path.join(folder, *name)).convert("RGB")
                            for name in (["Screen_0000_0000.png"], ["out", "periodic.dump_0000.png"]))
        self.assertIsNone(ImageChops.difference(window, rendered).getbbox(), "the renderer draws otherwise")


if __name__ == "__main__":
    unittest.main()
