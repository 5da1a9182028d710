"""A centre fixed on the box (key O, fixed_centre, --fixed-centre): a particle that stays put keeps its pixel
while another leaves, where the default centre on each frame's mean moves it."""

import os
import subprocess
import unittest

from PIL import Image

from ovalix_window import BIN, require_display, start_viewer, temp_dir
from pixel_checks import close_colour, colour_at, lit_front, rgb255, to_pixel, wait_for_view
from scene_files import Atom, Species, write_scene

# Frame 0: the mean is (10, 0, 0), the box centre the origin. Frame 1: the blue particle has left.
FRAMES = [[Atom(1, (-20, 0, 0)), Atom(2, (40, 0, 0))], [Atom(1, (-20, 0, 0))]]


def setUpModule():
    require_display()


def red_at(image, x):
    """Whether the red particle is drawn at scene x (from the picture's centre), y 0."""
    found = colour_at(image, to_pixel(x, 0, 200.0 - 4))
    return close_colour(found, rgb255(lit_front((1, 0, 0))), 25), "found %s at x %g" % (found, x)


class FixedCentre(unittest.TestCase):
    def scene(self):
        folder = temp_dir(self)
        write_scene(folder, "evap", [Species((4, 4, 4), (1, 0, 0)), Species((4, 4, 4), (0, 0, 1))], FRAMES, (0, 0, 0))
        with open(os.path.join(folder, "evap.cfg"), "a") as f:
            f.write("varying_atoms\n")
        return folder

    def test_offscreen_the_still_particle_keeps_its_pixel_only_with_the_fixed_centre(self):
        folder = self.scene()
        for option, places in (([], (-30, 0)), (["--fixed-centre"], (-20, -20))):
            subprocess.run([BIN, "--render"] + option + ["evap.cfg"], cwd=folder, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, check=True, timeout=120)
            for frame, x in enumerate(places):
                self.assertTrue(*red_at(Image.open(os.path.join(folder, "evap.dump_%04d.png" % frame)).convert("RGB"), x))

    def test_key_o_switches_the_centre_on_the_frame_shown(self):
        app = start_viewer(self, self.scene(), "evap.cfg")
        app.key("n")
        wait_for_view(app, lambda image: red_at(image, 0), "frame 1 centred on its own mean")
        app.key("O")
        app.wait_for_line(r"Fixed centre on: every frame is centred on the box centre of frame 0\.")
        wait_for_view(app, lambda image: red_at(image, -20), "frame 1 centred on the box")
        app.key("O")
        app.wait_for_line(r"Fixed centre off: each frame is centred on its mean position\.")
        wait_for_view(app, lambda image: red_at(image, 0), "frame 1 centred on its mean again")


if __name__ == "__main__":
    unittest.main()
