"""ovalix --render as a batch job, with no display: its checks of the command line and the input, exit statuses,
files written only under temporary names until complete, progress on standard error, chunks run side by side with
GNU parallel, and the movie through ffmpeg.
"""

import json
import os
import re
import shutil
import stat
import subprocess
import time
import unittest

from ovalix_window import BIN, EXAMPLES, temp_dir, write_file


def setUpModule():
    if not BIN or not os.path.isfile(BIN):
        raise unittest.SkipTest("ovalix binary not found: %r" % BIN)


def headless_environment(path=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
    if path is not None:
        env["PATH"] = path
    return env


FRAMES = 31  # the bundled example


class BatchCase(unittest.TestCase):
    def setUp(self):
        self.folder = temp_dir(self)
        for name in ("chain.cfg", "chain.dump", "chain.bonds"):
            shutil.copy(os.path.join(EXAMPLES, name), self.folder)
        self.out = os.path.join(self.folder, "out")
        os.mkdir(self.out)

    def run_render(self, *args, path=None, stdin=subprocess.DEVNULL, timeout=300):
        return subprocess.run([BIN, "--render"] + list(args), cwd=self.folder, env=headless_environment(path),
                              stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout)

    def assert_refused(self, args, status, message, folder=None):
        result = self.run_render(*args)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        self.assertIn(message, result.stderr)
        left = [n for n in os.listdir(folder or self.out)]
        self.assertEqual(left, [], "a refused render left files behind")
        return result


class CommandLine(BatchCase):
    def test_bad_options_are_refused_with_status_2(self):
        cases = [
            (["--frames", "3", "chain.cfg"], "--frames takes A:B or A:B:S"),
            (["--frames", "5:2", "chain.cfg"], "--frames takes A:B or A:B:S"),
            (["--frames", "0:4:0", "chain.cfg"], "--frames takes A:B or A:B:S"),
            (["--frames", "-1:4", "chain.cfg"], "--frames takes A:B or A:B:S"),
            (["--size", "0x640", "chain.cfg"], "--size takes WIDTHxHEIGHT"),
            (["--size", "1024", "chain.cfg"], "--size takes WIDTHxHEIGHT"),
            (["--size", "99999999999x2", "chain.cfg"], "--size takes WIDTHxHEIGHT"),
            (["--format", "gif", "chain.cfg"], "--format takes png, jpg or bmp, not gif."),
            (["--movie", "film.avi", "chain.cfg"], "--movie takes the name of an .mp4 file"),
            (["--movie", "film.mp4", "--size", "101x100", "chain.cfg"], "A movie needs an even width and height"),
            (["--fps", "0", "chain.cfg"], "--fps takes a whole number"),
            (["--colour", "chain.cfg"], "Unknown option --colour."),
            (["--out"], "--out needs a value: DIR."),
            (["chain.cfg", "chain.cfg"], "Only one file can be rendered at a time"),
            ([], "No file to render"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.assert_refused(["--out", self.out] + args if args != ["--out"] else args, 2, message)
                self.assertIn("Usage: ovalix --render [options] FILE", result.stderr)

    def test_size_beyond_what_osmesa_draws(self):
        result = self.assert_refused(["--out", self.out, "--size", "100000x8", "chain.cfg"], 2, "is beyond what OSMesa")
        self.assertRegex(result.stderr, r"\d+x\d+ at most\.")

    def test_bad_input_ends_at_once_with_status_1(self):
        write_file(self.folder, "broken.cfg", "dumpfile missing.dump\nspecies 1\nhalf_radii 1 1 1 1\n"
                                              "color 1 1 0 0\nbond_vector 1 1 0 0 0\n")
        write_file(self.folder, "damaged.view", "ovalix-view 1\nmodelview 1 0 0\n")
        write_file(self.folder, "future.view", "ovalix-view 7\n")
        cases = [
            (["--frames", "10:31", "chain.cfg"], "The frames 10 to 31 lie outside the trajectory, whose frames are 0 to 30."),
            (["nothing.cfg"], "The file nothing.cfg cannot be read."),
            (["broken.cfg"], "stopped by the error above"),
            (["--view", "damaged.view", "chain.cfg"], "The view file damaged.view is damaged"),
            (["--view", "future.view", "chain.cfg"], "is of version 7; this Ovalix reads versions 1 to 2 only."),
            (["--view", "chain.dump", "chain.cfg"], "The file chain.dump is no Ovalix view file"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                # Standard input stays open and silent: the renderer must not wait on it.
                with subprocess.Popen([BIN, "--render", "--out", self.out] + args, cwd=self.folder,
                                      env=headless_environment(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True) as process:
                    out, err = process.communicate(timeout=60)
                self.assertEqual(process.returncode, 1, out + err)
                self.assertIn(message, err)
                self.assertNotIn("Press Enter", out)
                self.assertEqual(os.listdir(self.out), [])

    def test_output_folder_missing_or_unwritable(self):
        self.assert_refused(["--out", os.path.join(self.folder, "absent"), "chain.cfg"], 1, "does not exist")
        # A folder that takes no files even as root.
        self.assert_refused(["--out", "/proc/self", "chain.cfg"], 1, "The output folder /proc/self is not writable.")
        # The final name is taken by a folder: the image, written under a temporary name, is removed again.
        os.mkdir(os.path.join(self.out, "chain.dump_0001.png"))
        result = self.run_render("--out", self.out, "--frames", "0:3", "chain.cfg")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("The image %s/chain.dump_0001.png cannot be written: Is a directory." % self.out, result.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["chain.dump_0000.png", "chain.dump_0001.png"])
        self.assertTrue(os.path.isdir(os.path.join(self.out, "chain.dump_0001.png")))
        if os.geteuid() != 0:
            os.chmod(self.out, stat.S_IRUSR | stat.S_IXUSR)
            self.addCleanup(os.chmod, self.out, stat.S_IRWXU)
            self.assert_refused(["--out", self.out, "chain.cfg"], 1, "is not writable")


class Images(BatchCase):
    def test_range_step_names_format_and_progress(self):
        result = self.run_render("--out", self.out, "--frames", "2:11:3", "--format", "jpg", "--size", "320x200",
                                 "chain.cfg")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["chain.dump_%04d.jpg" % k for k in (2, 5, 8, 11)])
        from PIL import Image
        image = Image.open(os.path.join(self.out, "chain.dump_0005.jpg"))
        self.assertEqual((image.format, image.size), ("JPEG", (320, 200)))
        lines = result.stderr.splitlines()
        self.assertTrue(lines, "no progress")
        self.assertRegex(lines[-1], r"^Rendered 4 of 4 frames, [0-9.]+ frames/s, 0 s left$")
        self.assertNotIn("\r", result.stderr, "progress redrawn in place although standard error is no terminal")

    def test_progress_in_a_log_is_at_most_a_line_a_second(self):
        started = time.monotonic()
        result = self.run_render("--out", self.out, "--size", "640x400", "chain.cfg")
        elapsed = time.monotonic() - started
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = [l for l in result.stderr.splitlines() if l.startswith("Rendered ")]
        self.assertLessEqual(len(lines), int(elapsed) + 2, lines)
        done = [int(re.match(r"Rendered (\d+) of 31 frames", l).group(1)) for l in lines]
        self.assertEqual(done, sorted(done))
        self.assertEqual(done[-1], FRAMES)

    def test_default_output_is_next_to_the_trajectory(self):
        result = self.run_render("--frames", "30:30", "--format", "bmp", "--size", "64x48", "chain.cfg")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("chain.dump_0030.bmp", os.listdir(self.folder))
        self.assertFalse([n for n in os.listdir(self.folder) if n.endswith(".part")])

    def test_four_chunks_with_gnu_parallel_equal_one_serial_run(self):
        if not shutil.which("parallel"):
            self.skipTest("GNU parallel is not installed")
        serial = os.path.join(self.folder, "serial")
        os.mkdir(serial)
        size = ["--size", "320x200"]
        self.assertEqual(self.run_render("--out", serial, *size, "chain.cfg").returncode, 0)
        # Four jobs as a cluster would run them: frames 0-7, 8-15, 16-23, 24-30.
        command = ("parallel --will-cite --halt now,fail=1 -j4 '%s' --render --out '%s' --size 320x200 "
                   "--frames {1}:{2} chain.cfg ::: 0 8 16 24 :::+ 7 15 23 30" % (BIN, self.out))
        result = subprocess.run(["bash", "-c", command], cwd=self.folder, env=headless_environment(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                timeout=600)
        self.assertEqual(result.returncode, 0, result.stderr)
        names = ["chain.dump_%04d.png" % k for k in range(FRAMES)]
        self.assertEqual(sorted(os.listdir(self.out)), names, "each frame once, nothing else")
        written = result.stdout.count("Done reading. Rendering.")
        self.assertEqual(written, 4, "four jobs ran")
        for name in names:
            with open(os.path.join(serial, name), "rb") as a, open(os.path.join(self.out, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), "%s differs between the chunked and the serial run" % name)


class Movie(BatchCase):
    def test_movie_frame_count_and_size(self):
        if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
            self.skipTest("ffmpeg is not installed")
        movie = os.path.join(self.out, "chain.mp4")
        result = self.run_render("--movie", movie, "--fps", "10", "--size", "320x200", "--frames", "0:30:2",
                                 "chain.cfg")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(self.out), ["chain.mp4"], "a movie writes no image files")
        self.assertFalse([n for n in os.listdir(self.folder) if n.endswith(".png")])
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                "stream=codec_name,pix_fmt,width,height,nb_read_frames,r_frame_rate", "-of", "json",
                                movie], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True, timeout=120)
        stream = json.loads(probe.stdout)["streams"][0]
        self.assertEqual((stream["codec_name"], stream["pix_fmt"]), ("h264", "yuv420p"))
        self.assertEqual((stream["width"], stream["height"]), (320, 200))
        self.assertEqual(int(stream["nb_read_frames"]), 16)
        self.assertEqual(stream["r_frame_rate"], "10/1")

    def test_movie_without_ffmpeg_on_the_path(self):
        empty = temp_dir(self)
        result = subprocess.run([BIN, "--render", "--movie", "film.mp4", "chain.cfg"], cwd=self.folder,
                                env=headless_environment(path=empty), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("ffmpeg was not found on the PATH", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "film.mp4")))


if __name__ == "__main__":
    unittest.main()
