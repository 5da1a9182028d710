"""The end of an animation: the last frame is drawn and, when printing, written once; then the viewer rests.

The images' inodes tell whether a file was written again (every image is renamed into place), and the process's
CPU time from /proc whether it keeps redrawing.
"""

import os
import time
import unittest

from glut_menu import choose
from ovalix_window import require_display, start_viewer, temp_dir
from scene_files import Atom, Species, write_scene


def setUpModule():
    require_display()
    if not os.path.isfile("/proc/self/stat"):
        raise unittest.SkipTest("no /proc to read the viewer's CPU time from")


FRAMES = 5
NAMES = ["scene.dump_%04d.jpg" % k for k in range(FRAMES)]


def cpu_seconds(pid):
    """User and system CPU time the process has used so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class AnimationEnd(unittest.TestCase):
    def inodes(self, folder):
        return {name: os.stat(os.path.join(folder, name)).st_ino for name in NAMES
                if os.path.exists(os.path.join(folder, name))}

    def wait_for_images(self, folder, changed=None, timeout=60):
        """Waits until every image exists (and, given `changed`, until those names have new inodes)."""
        deadline = time.monotonic() + timeout
        while True:
            inodes = self.inodes(folder)
            if len(inodes) == FRAMES and all(inodes[n] != changed[n] for n in (changed or {})):
                return inodes
            self.assertLess(time.monotonic(), deadline, "images after %d s: %s" % (timeout, sorted(inodes)))
            time.sleep(0.1)

    def assert_resting(self, app, folder, inodes, seconds=3.0):
        """For `seconds` the viewer uses next to no CPU time and rewrites no image."""
        time.sleep(0.5)  # the redraw under way when the last image appeared
        before = cpu_seconds(app.process.pid)
        time.sleep(seconds)
        used = cpu_seconds(app.process.pid) - before
        # A viewer redrawing without pause uses its whole share of a core, even on a busy machine far more.
        self.assertLess(used, 0.1 * seconds, "the viewer kept working after the animation ended")
        self.assertEqual(self.inodes(folder), inodes, "an image was written again")

    def test_the_last_frame_is_written_once_and_the_viewer_rests(self):
        folder = temp_dir(self)
        species = [Species((6, 6, 6), (0.9, 0.2, 0.2)), Species((6, 6, 6), (0.2, 0.9, 0.2))]
        frames = [[Atom(1, (-30, 0, 0)), Atom(2, (30, 10 * k, 0))] for k in range(FRAMES)]
        app = start_viewer(self, folder, write_scene(folder, "scene", species, frames, background=(0, 0, 0)))
        app.settled_grab()
        choose(app, "Print", "Print Images")
        app.wait_for_line(r"Printing every animated frame as scene\.dump_NNNN\.jpg\.")
        app.key("space")
        inodes = self.wait_for_images(folder)
        self.assert_resting(app, folder, inodes)

        # A turn redraws the last frame, and the overlay stays, but it is not written again; nor after space
        # twice: with no frame left to advance to, nothing moves.
        app.key("d")
        turned = app.settled_grab()
        app.key("space", "space")
        self.assertEqual(app.settled_grab().tobytes(), turned.tobytes())
        self.assert_resting(app, folder, inodes, seconds=1.0)
        self.assertEqual(sorted(os.listdir(folder)), sorted(NAMES + ["scene.cfg", "scene.dump"]))

        # A frame step ends the animation; space then runs it again to the end, writing those frames anew.
        app.key("p")
        app.key("space")
        again = self.wait_for_images(folder, changed={n: inodes[n] for n in NAMES[-2:]})
        self.assertEqual({n: again[n] for n in NAMES[:-2]}, {n: inodes[n] for n in NAMES[:-2]})
        self.assert_resting(app, folder, again)
        self.assertTrue(app.running())


if __name__ == "__main__":
    unittest.main()
