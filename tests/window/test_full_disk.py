"""Writing on a full disk: a small tmpfs is mounted as the viewer's folder and filled by the viewer itself.

Every image that is reported written (or that a sequence left behind) must decode whole; an image that did not
fit ends the viewer through the write-failure path and leaves nothing under its name, nor a hidden temporary.
Mounting needs root; where it is not allowed the tests are skipped with the reason.
"""

import errno
import os
import re
import subprocess
import unittest

try:
    from PIL import Image
except ImportError:  # reported as skipped by setUpModule
    Image = None

from glut_menu import choose
from ovalix_window import require_display, start_viewer, temp_dir
from scene_files import Atom, Species, write_scene


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


WINDOW = (1024, 640)
FAIL_LINES = ["I don't know why. Do you have write permissions?"]
EXIT_PROMPT = "Press Enter / Return to exit."
ANSWER = r"(?:Success! File (\S+) has been written\.|Fail! No file of name (\S+) can be written\.)"


def small_disk(test, size):
    """A fresh tmpfs of `size` (mount's syntax, e.g. "64k") on a temporary folder; unmounted when the test ends."""
    folder = temp_dir(test)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs", folder],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise unittest.SkipTest("a small tmpfs cannot be mounted here (%s)" % result.stdout.strip())
    test.addCleanup(subprocess.run, ["umount", "-l", folder], stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return folder


def fill(folder, room=0):
    """Fills the file system of `folder` with one file until only about `room` bytes are free."""
    status = os.statvfs(folder)
    left = status.f_bavail * status.f_frsize - room
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as f:
        try:
            while room == 0 or left > 0:
                f.write(b"\xa5" * 4096)
                left -= 4096
        except OSError as error:
            if error.errno != errno.ENOSPC:
                raise


def probe_size(app, folder, name):
    """Takes a snapshot that must fit, expected as `name`; returns its size and removes it."""
    app.key("Return")
    app.wait_for_line(re.escape("Success! File %s has been written." % name))
    path = os.path.join(folder, name)
    size = os.path.getsize(path)
    os.remove(path)
    return size


def colourful_scene(folder, frames=1):
    """Spheres of many colours, so that no image of the window is trivially small."""
    species = [Species((6, 6, 6), ((k * 37 % 100) / 100.0, (k * 61 % 100) / 100.0, (k * 83 % 100) / 100.0))
               for k in range(1, 9)]
    atoms = lambda shift: [Atom(1 + k % 8, ((k % 12) * 14 - 77 + shift, (k // 12) * 14 - 42, 0)) for k in range(84)]
    return write_scene(folder, "scene", species, [atoms(step) for step in range(frames)], background=(0.1, 0.1, 0.2))


class FullDisk(unittest.TestCase):
    def assert_no_cut_file(self, folder, failed, images):
        """`failed` is absent, no hidden temporary is left, and every image in `images` decodes whole."""
        names = os.listdir(folder)
        self.assertNotIn(failed, names, "a cut file was left under the name that failed")
        self.assertEqual([n for n in names if n.endswith(".part")], [], "a temporary was left behind")
        for name in images:
            with Image.open(os.path.join(folder, name)) as image:
                image.load()  # raises on a truncated file
                self.assertEqual(image.size, WINDOW, name)

    def assert_failure_path(self, app, name):
        """The two failure lines, the request for Enter, and the end (status 0) once Enter is given."""
        for line in FAIL_LINES:
            app.wait_for_line(re.escape(line))
        app.wait_for_text(EXIT_PROMPT)
        self.assertTrue(app.running(), "the viewer must wait for Enter")
        app.send("\n")
        self.assertEqual(app.wait_for_exit(), 0)
        self.assertNotIn("Success! File %s" % name, app.output)

    def snapshots_until_full(self, extension, presses=12):
        folder = small_disk(self, "16m")
        config = colourful_scene(folder)
        app = start_viewer(self, folder, config)
        app.settled_grab()
        if extension != "JPG":
            choose(app, "File format", extension)
        # Room for two and a half images: the third is cut by the full disk.
        fill(folder, room=int(2.5 * probe_size(app, folder, "Screen_0000_0000." + extension.lower())))
        written = []
        for _ in range(presses):
            app.key("Return")
            match = app.wait_for_line(ANSWER)
            if match.group(2):
                self.assert_failure_path(app, match.group(2))
                self.assertGreater(len(written), 0, "the disk was full before the first snapshot")
                self.assert_no_cut_file(folder, match.group(2), written)
                return
            written.append(match.group(1))
        self.fail("%d snapshots fitted in the room left: %s" % (presses, written))

    def test_snapshots_on_a_disk_that_fills_up(self):
        for extension in ("JPG", "PNG", "BMP"):
            with self.subTest(extension):
                self.snapshots_until_full(extension)

    def test_a_full_disk_refuses_the_view_and_a_snapshot_cleanly(self):
        folder = small_disk(self, "64k")
        app = start_viewer(self, folder, colourful_scene(folder))
        app.settled_grab()
        fill(folder)
        app.key("V")
        app.wait_for_line(re.escape("No view file of name scene.dump.view can be written."))
        app.wait_for_line(r"The file scene\.dump\.view cannot be written: No space left on device\.")
        self.assertEqual(sorted(os.listdir(folder)), ["filler", "scene.cfg", "scene.dump"])
        # With room again the same key writes the view whole.
        os.remove(os.path.join(folder, "filler"))
        app.key("V")
        app.wait_for_line(re.escape("View written to scene.dump.view."))
        with open(os.path.join(folder, "scene.dump.view")) as f:
            self.assertTrue(f.read().startswith("ovalix-view "))
        fill(folder)
        app.key("Return")
        match = app.wait_for_line(ANSWER)
        self.assertEqual(match.group(2), "Screen_0000_0000.jpg")
        self.assert_failure_path(app, match.group(2))
        self.assert_no_cut_file(folder, match.group(2), [])

    def test_an_image_sequence_stops_at_the_first_image_that_does_not_fit(self):
        frames = 30
        folder = small_disk(self, "16m")
        app = start_viewer(self, folder, colourful_scene(folder, frames))
        app.settled_grab()
        fill(folder, room=int(3.5 * probe_size(app, folder, "Screen_0000_0000.jpg")))
        choose(app, "Print", "Print Images")
        app.wait_for_line(r"Printing every animated frame as scene\.dump_NNNN\.jpg\.")
        app.key("space")
        match = app.wait_for_line(r"Fail! No file of name (scene\.dump_(\d{4})\.jpg) can be written\.", timeout=120)
        failed, number = match.group(1), int(match.group(2))
        self.assertGreater(number, 0, "not one image fitted")
        self.assertLess(number, 6, "images of about one size: the fourth cannot fit")
        self.assert_failure_path(app, failed)
        self.assert_no_cut_file(folder, failed, ["scene.dump_%04d.jpg" % k for k in range(number)])
        later = [n for n in os.listdir(folder) if n.startswith("scene.dump_") and n > failed]
        self.assertEqual(later, [], "the sequence went on after the failure")


if __name__ == "__main__":
    unittest.main()
