"""A trajectory named where a configuration is expected: recognised by its content, shown with a made configuration."""

import math
import os
import unittest

from ovalix_window import DATA, Ovalix, require_display, temp_dir, window_title, write_file
from pixel_checks import close_colour, colour_at, lit_front, rgb255, to_pixel


def setUpModule():
    require_display()


# Two species side by side; only species 1 has shape columns that differ from the default (full diameters).
DUMP = """ITEM: TIMESTEP
0
ITEM: NUMBER OF ATOMS
3
ITEM: BOX BOUNDS pp pp pp
-20 20
-20 20
-20 20
ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez
1 1 -12 0 0 1 0 0 0 12 12 12
2 2 12 0 0 1 0 0 0 1 1 1
3 1 0 0 0 1 0 0 0 12 12 12
"""

# What the viewer prints for DUMP saved as run.txt: a configuration file that gives the same picture.
MADE_CONFIGURATION = """run.txt is a dump trajectory. It is shown with this configuration:
dumpfile run.txt
species 2
half_radii 1 6 6 6
half_radii 2 0.5 0.5 0.5
color 1 0.200 0.133 0.533
color 2 0.533 0.800 0.933
bond_vector 1 1 0 0 0
bond_vector 2 1 0 0 0
background 1 1 1
fit_view
Config file read.
Infile run.txt opened
Reading...
Number of atoms:      3
Number of time steps: 1 (0 - 0)
Done reading. Rendering.
"""

NAME_PROMPT = "Please enter name of file with configuration information: "


class DumpWithoutConfiguration(unittest.TestCase):
    def test_argument_is_recognised_by_content_and_drawn(self):
        folder = temp_dir(self)
        write_file(folder, "run.txt", DUMP)
        with Ovalix(["run.txt"], cwd=folder) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            wid = app.window("OvaLIX - run.txt")
            self.assertEqual(window_title(wid), "OvaLIX - run.txt")
            self.assertEqual(app.output, MADE_CONFIGURATION)
            image = app.settled_grab()
            # White background; species 1 indigo with radius 6 at x = -12 and at the centre, the whole fitted
            # into the window: its sphere (centres 12 from the middle, plus 6) fills 90 % of the height.
            self.assertEqual(colour_at(image, (5, 5)), (255, 255, 255))
            indigo = rgb255(lit_front((0.200, 0.133, 0.533)))
            fitted = 18 / math.sin(math.atan(0.9 * math.tan(math.radians(22.5))))
            for x in (-12, 0):
                centre = to_pixel(x, 0, depth=fitted - 6)
                self.assertTrue(close_colour(colour_at(image, centre), indigo, 40), (x, colour_at(image, centre)))
            # Species 2 is small (half radius 0.5) and cyan: its centre pixel is cyan, 3 units off it is white.
            cyan = rgb255(lit_front((0.533, 0.800, 0.933)))
            self.assertTrue(close_colour(colour_at(image, to_pixel(12, 0, fitted - 0.5), 0), cyan, 50),
                            colour_at(image, to_pixel(12, 0, fitted - 0.5), 0))
            self.assertEqual(colour_at(image, to_pixel(12, 3, fitted)), (255, 255, 255))

    def test_saved_configuration_gives_the_same_picture(self):
        folder = temp_dir(self)
        write_file(folder, "run.txt", DUMP)
        lines = MADE_CONFIGURATION.splitlines()[1:11]
        write_file(folder, "run.cfg", "\n".join(lines) + "\n")
        with Ovalix(["run.txt"], cwd=folder) as made:
            made.wait_for_line(r"Done reading\. Rendering\.")
            made.window("OvaLIX - run.txt")
            made_image = made.settled_grab()
        with Ovalix(["run.cfg"], cwd=folder) as saved:
            saved.wait_for_line(r"Done reading\. Rendering\.")
            saved.window("OvaLIX - run.cfg")
            self.assertIn("Input file run.cfg is opened.\nDump File: run.txt\n", saved.output)
            self.assertEqual(saved.settled_grab().tobytes(), made_image.tobytes())

    def test_reload_with_a_dump_name(self):
        folder = temp_dir(self)
        write_file(folder, "run.txt", DUMP)
        write_file(folder, "other.dump", DUMP.replace("-12 0 0 1", "-6 0 0 1"))
        with Ovalix(["run.txt"], cwd=folder) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - run.txt")
            app.key("L")
            app.wait_for_text(NAME_PROMPT)
            app.send("other.dump\n")
            app.wait_for_line(r"Done\. Rendering\.")
            self.assertIn(NAME_PROMPT + "other.dump is a dump trajectory. It is shown with this configuration:\n"
                          "dumpfile other.dump\nspecies 2\n", app.output)
            self.assertTrue(app.running())


class PdbWithoutConfiguration(unittest.TestCase):
    def test_name_typed_at_the_prompt(self):
        pdb = os.path.join(DATA, "pdb", "5e5z_traj5.pdb") if DATA else ""
        if not os.path.isfile(pdb):
            self.skipTest("shared test data not found")
        with Ovalix([], cwd=os.path.dirname(pdb)) as app:
            app.wait_for_text(NAME_PROMPT)
            app.send("5e5z_traj5.pdb\n")
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - 5e5z_traj5.pdb")
            self.assertTrue(app.output.startswith(
                NAME_PROMPT + "5e5z_traj5.pdb is a PDB trajectory. It is shown with this configuration:\n"
                "anisoufile 5e5z_traj5.pdb\nbackground 1 1 1\nfit_view\nConfig file read.\n"), app.output[:400])
            self.assertEqual(colour_at(app.settled_grab(), (5, 5)), (255, 255, 255))


if __name__ == "__main__":
    unittest.main()
