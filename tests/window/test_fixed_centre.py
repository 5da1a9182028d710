"""A centre fixed on the box (key o, fixed_centre, --fixed-centre): a particle that stays put keeps its pixel
while the others leave, where the default centre on each frame's mean moves it."""

import os
import subprocess
import unittest

try:
    from PIL import Image
except ImportError:  # reported as skipped by setUpModule
    Image = None

from ovalix_window import BIN, require_display, start_viewer, temp_dir
from pixel_checks import close_colour, colour_at, lit_front, rgb255, to_pixel, wait_for_view
from scene_files import Atom, Species, write_scene

RED, BLUE = (1, 0, 0), (0, 0, 1)
RADIUS = 4
# Frame 0: the mean is (10, 0, 0), the box centre the origin. Frame 1: the blue particle has left.
FRAMES = [[Atom(1, (-20, 0, 0)), Atom(2, (40, 0, 0))], [Atom(1, (-20, 0, 0))]]


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


def red_at(image, x):
    """Whether the red particle's lit front is drawn at scene x (relative to the picture's centre), y 0."""
    found = colour_at(image, to_pixel(x, 0, 200.0 - RADIUS))
    return close_colour(found, rgb255(lit_front(RED)), 25), "found %s at x %g" % (found, x)


class FixedCentre(unittest.TestCase):
    def scene(self, extra=""):
        folder = temp_dir(self)
        config = write_scene(folder, "evap", [Species((RADIUS,) * 3, RED), Species((RADIUS,) * 3, BLUE)], FRAMES,
                             (0, 0, 0))
        with open(os.path.join(folder, config), "a") as f:
            f.write("varying_atoms\n" + extra)
        return folder

    def render(self, folder, *args):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BIN, "--render", "--frames", "0:1"] + list(args) + ["evap.cfg"], cwd=folder, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout.decode())
        return [Image.open(os.path.join(folder, "evap.dump_%04d.png" % f)).convert("RGB") for f in (0, 1)]

    def test_offscreen_the_still_particle_keeps_its_pixel_only_with_the_fixed_centre(self):
        folder = self.scene()
        first, second = self.render(folder)
        self.assertTrue(*red_at(first, -30))   # on the mean of frame 0
        self.assertTrue(*red_at(second, 0))    # alone, on its own mean
        self.assertFalse(red_at(second, -20)[0])
        for images in (self.render(folder, "--fixed-centre"), self.render(self.scene("fixed_centre\n"))):
            for image in images:
                self.assertTrue(*red_at(image, -20))

    def test_key_o_switches_the_centre_on_the_frame_shown(self):
        app = start_viewer(self, self.scene(), "evap.cfg")
        app.key("n")
        wait_for_view(app, lambda image: red_at(image, 0), "frame 1 centred on its own mean")
        app.key("o")
        app.wait_for_line(r"Fixed centre on: every frame is centred on the box centre of frame 0\.")
        wait_for_view(app, lambda image: red_at(image, -20), "frame 1 centred on the box")
        app.key("p")
        wait_for_view(app, lambda image: red_at(image, -20), "frame 0 centred on the box")
        app.key("o")
        app.wait_for_line(r"Fixed centre off: each frame is centred on its mean position\.")
        wait_for_view(app, lambda image: red_at(image, -30), "frame 0 centred on its mean")


if __name__ == "__main__":
    unittest.main()
