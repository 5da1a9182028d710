"""Compressed trajectories in the real viewer: a gzip dump, whatever its name, steps through the frames the
plain one has; a cut one says where its text stops and shows the frames before it."""

import gzip
import os
import re
import unittest

from ovalix_window import require_display, start_viewer, temp_dir
from test_keys_mouse import FRAMES, LAST, after_loading, quit_cleanly, wait_for_frame, write_counting_scene


def setUpModule():
    require_display()


def compress_scene(folder, config, name, cut=None):
    """Replaces the scene's dump by its text in two gzip members under another name, cut to `cut` bytes."""
    path = os.path.join(folder, "frames.dump")
    with open(path, "rb") as f:
        text = f.read()
    os.remove(path)
    half = len(text) // 2
    data = gzip.compress(text[:half], mtime=0) + gzip.compress(text[half:], mtime=0)
    if cut is not None:
        data = data[:int(len(data) * cut)]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
    config_path = os.path.join(folder, config)
    with open(config_path) as f:
        lines = f.read().replace("dumpfile frames.dump", "dumpfile " + name)
    with open(config_path, "w") as f:
        f.write(lines)


class Gzip(unittest.TestCase):
    def test_frames_of_a_compressed_dump_under_any_name(self):
        folder = temp_dir(self)
        config = write_counting_scene(folder)
        compress_scene(folder, config, "frames.trj")
        app = start_viewer(self, folder, config)
        self.assertIn("Infile frames.trj opened\nReading...\nNumber of atoms:      5\n"
                      "Number of time steps: %d (0 - %d)\n" % (FRAMES, LAST), app.output)
        wait_for_frame(app, 0)
        for keys, expected in [(["f"], LAST), (["p"], LAST - 1), (["r"], 0), (["N"], 2), (["n"], 3)]:
            app.key(*keys)
            wait_for_frame(app, expected)
        self.assertEqual(after_loading(app), "", "frame keys print nothing")
        quit_cleanly(self, app)

    def test_cut_compressed_dump_shows_the_frames_before_the_cut(self):
        folder = temp_dir(self)
        config = write_counting_scene(folder)
        compress_scene(folder, config, "frames.dump.gz", cut=0.6)
        app = start_viewer(self, folder, config)
        stop = re.search(r"Reading\.\.\.\nThe compressed file frames\.dump\.gz is cut off: its text stops after byte "
                         r"(\d+); the time steps before that byte are read\.\n", app.output)
        self.assertIsNotNone(stop, app.output)
        shown = re.search(r"Number of time steps: (\d+) \(0 - (\d+)\)", app.output)
        self.assertIsNotNone(shown, app.output)
        frames = int(shown.group(1))
        self.assertTrue(1 <= frames < FRAMES, app.output)
        wait_for_frame(app, 0)
        app.key("f")
        wait_for_frame(app, frames - 1)
        quit_cleanly(self, app)


if __name__ == "__main__":
    unittest.main()
