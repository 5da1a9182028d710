"""A GSD file (HOOMD-blue) named alone: shown with a made configuration in the window and by ovalix --render,
each frame with its own number of particles."""

import os
import shutil
import subprocess
import unittest

try:
    from PIL import Image
except ImportError:  # reported as skipped by setUpModule
    Image = None

from ovalix_window import BIN, Ovalix, require_display, temp_dir
from pixel_checks import count, differs_from, wait_until_changed

# Written by tests/unit/gsd_view/make_view_files.py: 4, 7 and 2 particles of types Rod, Ball (and Odd, unused).
GROWING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "unit", "gsd_view", "growing.gsd")
SUMMARY = ("Number of atoms:      2 to 7 (changes between frames)\nNumber of time steps: 3 (0 - 2)\n"
           "Species:              1 = Rod, 2 = Ball, 3 = Odd\n")
WHITE = (255, 255, 255)
# Written by tests/unit/gsd/make_gsd_files.py: four frames, the last at step 4000.
FRAMES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "unit", "gsd", "frames.gsd")


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


def drawn(image):
    """Pixels of particles: not background, and above the overlay's line at the bottom."""
    width, height = image.size
    return count(differs_from(image.crop((0, 0, width, height - 40)), WHITE))


def render_offscreen(test, folder, name, size):
    """ovalix --render of folder/name into folder/out, without a display; the folder and the console text."""
    out = os.path.join(folder, "out")
    os.mkdir(out)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
    result = subprocess.run([BIN, "--render", "--size", size, "--out", out, name], cwd=folder, env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    text = result.stdout.decode("utf-8", "replace")
    test.assertEqual(result.returncode, 0, text)
    return out, text


class GsdWithoutConfiguration(unittest.TestCase):
    def test_window_follows_the_count_of_each_frame(self):
        folder = temp_dir(self)
        shutil.copy(GROWING, os.path.join(folder, "run.gsd"))
        with Ovalix(["run.gsd"], cwd=folder) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - run.gsd")
            self.assertIn("run.gsd is a GSD trajectory. It is shown with this configuration:\ngsdfile run.gsd\n"
                          "species 3\n# species 1: type Rod\n", app.output)
            self.assertIn("Infile run.gsd opened\n" + SUMMARY + "Done reading. Rendering.\n", app.output)
            first = app.settled_grab()
            app.key("n")
            seven = wait_until_changed(app, first, "frame 1 drawn")
            app.key("n")
            two = wait_until_changed(app, seven, "frame 2 drawn")
            self.assertGreater(drawn(seven), drawn(first))
            self.assertGreater(drawn(first), drawn(two))
            self.assertGreater(drawn(two), 0)

    def test_render_writes_every_frame(self):
        folder = temp_dir(self)
        shutil.copy(GROWING, os.path.join(folder, "run.gsd"))
        out, text = render_offscreen(self, folder, "run.gsd", "320x200")
        self.assertIn(SUMMARY, text)
        names = sorted(os.listdir(out))
        self.assertEqual(len(names), 3, names)
        pixels = [drawn(Image.open(os.path.join(out, name)).convert("RGB")) for name in names]
        self.assertGreater(pixels[1], pixels[0])
        self.assertGreater(pixels[0], pixels[2])


class CutGsdFile(unittest.TestCase):
    def test_render_writes_the_whole_frames_before_the_cut(self):
        """frames.gsd without its last byte: the last frame is cut, the three before it are whole."""
        folder = temp_dir(self)
        with open(FRAMES, "rb") as f:
            data = f.read()
        with open(os.path.join(folder, "cut.gsd"), "wb") as f:
            f.write(data[:-1])
        out, text = render_offscreen(self, folder, "cut.gsd", "160x100")
        self.assertIn("Frame 3 (step 4000) and later are cut off (the file ends inside it, at byte %d) and are left "
                      "out.\nNumber of atoms:      3 to 5 (changes between frames)\nNumber of time steps: 3 (0 - 2)\n"
                      % (len(data) - 1), text)
        self.assertEqual(len(os.listdir(out)), 3, text)


if __name__ == "__main__":
    unittest.main()
