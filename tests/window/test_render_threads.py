"""ovalix --render writing each image on a thread of its own while the next frame is read and drawn: the same
images, the same console in the same order, and the same end as one thing at a time (--threads 1), when every
frame is written, when an image cannot be written and when a frame cannot be read.
"""

import os
import re
import shutil
import subprocess
import unittest

from ovalix_window import BIN, EXAMPLES, temp_dir


def setUpModule():
    if not BIN or not os.path.isfile(BIN):
        raise unittest.SkipTest("ovalix binary not found: %r" % BIN)


class ImagesWrittenAside(unittest.TestCase):
    def setUp(self):
        self.folder = temp_dir(self)
        for name in ("chain.cfg", "chain.dump", "chain.bonds"):
            shutil.copy(os.path.join(EXAMPLES, name), self.folder)

    def render(self, threads, out, config, blocked):
        """Status, standard output, standard error (without the rates of the progress line) and the images."""
        os.mkdir(os.path.join(self.folder, out))
        if blocked:  # a folder where an image should go
            os.mkdir(os.path.join(self.folder, out, blocked))
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        command = [BIN, "--render", "--frames", "0:5", "--raycast", "--colour-by-orientation", "--out", out]
        if threads:
            command += ["--threads", threads]
        result = subprocess.run(command + [config], cwd=self.folder, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        stderr = re.sub(r"frames, .*", "frames", result.stderr).replace(out + "/", "OUT/")
        # Progress comes at most once a second, so how many lines a run gives depends on its speed: the last is kept.
        progress = re.findall(r"^Rendered \d+ of \d+ frames\n", stderr, re.M)
        stderr = re.sub(r"^Rendered \d+ of \d+ frames\n", "", stderr, flags=re.M) + "".join(progress[-1:])
        images = {}
        for name in sorted(os.listdir(os.path.join(self.folder, out))):
            path = os.path.join(self.folder, out, name)
            images[name] = open(path, "rb").read() if os.path.isfile(path) else None
        return result.returncode, result.stdout, stderr, images

    def assert_same_run(self, config="chain.cfg", blocked=None):
        one = self.render("1", "one", config, blocked)
        aside = self.render(None, "aside", config, blocked)
        self.assertEqual(aside[0], one[0])
        self.assertEqual(aside[1], one[1])  # the order line of every frame read, and nothing after the end
        self.assertEqual(aside[2], one[2])
        self.assertEqual(aside[3], one[3], "the images differ")
        return one

    def test_every_frame_written(self):
        status, stdout, _, images = self.assert_same_run()
        self.assertEqual(status, 0)
        self.assertEqual(len(images), 6)
        self.assertEqual(stdout.count("order parameter"), 6)

    def test_an_image_that_cannot_be_written_ends_the_run_at_it(self):
        status, stdout, stderr, images = self.assert_same_run(blocked="chain.dump_0002.png")
        self.assertEqual(status, 1)
        self.assertIn("The image OUT/chain.dump_0002.png cannot be written", stderr)
        self.assertEqual(stdout.count("order parameter"), 3)
        self.assertEqual([name for name, data in images.items() if data], ["chain.dump_0000.png", "chain.dump_0001.png"])

    def test_a_frame_that_cannot_be_read_ends_the_run_after_the_image_before_it(self):
        with open(os.path.join(self.folder, "chain.dump")) as dump:
            frames = dump.read().split("ITEM: TIMESTEP")
        lines = frames[4].split("\n")
        at = next(k for k, line in enumerate(lines) if line.startswith("ITEM: ATOMS")) + 5
        lines[at] = re.sub(r"^(\S+) \S+", r"\1 7", lines[at])
        frames[4] = "\n".join(lines)
        with open(os.path.join(self.folder, "bad.dump"), "w") as dump:
            dump.write("ITEM: TIMESTEP".join(frames))
        with open(os.path.join(self.folder, "chain.cfg")) as config:
            text = config.read().replace("dumpfile chain.dump", "dumpfile bad.dump")
        with open(os.path.join(self.folder, "bad.cfg"), "w") as config:
            config.write(text)
        status, stdout, stderr, images = self.assert_same_run("bad.cfg")
        self.assertEqual(status, 1)
        self.assertIn("Illegal entry for atom no", stdout)
        self.assertIn("stopped by the error above", stderr)
        self.assertEqual(len(images), 3)


if __name__ == "__main__":
    unittest.main()
