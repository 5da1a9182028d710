"""ovalix --render as a batch job, with no display: its checks of the command line and the input, exit statuses,
files written only under temporary names until complete, progress on standard error, chunks run side by side with
GNU parallel, and the movie through ffmpeg.
"""

import json
import os
import re
import shutil
import signal
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
            (["--supersample", "0", "chain.cfg"], "--supersample takes a whole number from 1 to 4, not 0."),
            (["--supersample", "9", "chain.cfg"], "--supersample takes a whole number from 1 to 4, not 9."),
            (["--gpu", "--cpu", "chain.cfg"], "--gpu and --cpu exclude each other."),
            (["--size", "64x48", "--size", "64x48", "chain.cfg"], "--size is given twice."),
            (["--fit", "--fit", "chain.cfg"], "--fit is given twice."),
            (["--fps", "30", "chain.cfg"], "--fps sets the frame rate of a movie: it needs --movie."),
            (["--fps", "0", "chain.cfg"], "--fps takes a whole number"),
            (["--colour", "chain.cfg"], "Unknown option --colour."),
            (["--out"], "--out needs a value: DIR."),
            ([], "No file to render"),
        ]
        # --out does nothing for a movie: those cases go without it.
        movies = [
            (["--movie", "film.mp4", "--size", "101x100", "chain.cfg"], "A movie needs an even width and height"),
            (["--movie", "film.mp4", "--format", "jpg", "chain.cfg"], "--format is for image files"),
            (["--movie", "film.mp4", "--out", self.out, "chain.cfg"], "--out is the folder of image files"),
        ]
        runs = [(["--out", self.out] + a if a != ["--out"] else a, m) for a, m in cases] + movies
        for args, message in runs:
            with self.subTest(args=args):
                result = self.assert_refused(args, 2, message)
                self.assertIn("Usage: ovalix --render [options] FILE", result.stderr)
                self.assertEqual(result.stdout, "", "a refused command line reads nothing")

    def test_size_beyond_what_the_gl_draws(self):
        result = self.assert_refused(["--out", self.out, "--size", "100000x8", "chain.cfg"], 2,
                                     "The size 100000x8 is beyond what this GL draws")
        limit = int(re.search(r"(\d+)x\d+ at most\.", result.stderr).group(1))
        # Within the limit alone, but not when supersampled: the refusal names the size drawn.
        wide = "%dx8" % (limit // 2 + 2)
        self.assert_refused(["--out", self.out, "--size", wide, "--supersample", "2", "chain.cfg"], 2,
                            "The size %s supersampled 2 times" % wide)

    def test_window_program_answers_help_and_version_without_a_display(self):
        for option, pattern in (("--help", r"^Usage: ovalix \[CONFIGURATION\]\n"), ("--version", r"^ovalix \d+\.\d+\.\d+\n$")):
            with self.subTest(option=option):
                result = subprocess.run([BIN, option], cwd=self.folder, env=headless_environment(),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertRegex(result.stdout, pattern)
                self.assertNotIn("configuration information", result.stdout, "taken for a configuration name")
        version = self.run_render("--version")
        self.assertEqual(version.stdout, result.stdout, "the window and the offscreen mode differ in version")

    def test_short_h_answers_as_help_does(self):
        def window(option):
            return subprocess.run([BIN, option], cwd=self.folder, env=headless_environment(), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
        for answer, usage in ((window, "Usage: ovalix [CONFIGURATION]"), (self.run_render, "Usage: ovalix --render")):
            short, long = answer("-h"), answer("--help")
            self.assertEqual((short.returncode, short.stdout, short.stderr), (0, long.stdout, ""))
            self.assertTrue(short.stdout.startswith(usage), short.stdout)

    def test_hiding_a_species_the_run_does_not_have(self):
        result = self.assert_refused(["--out", self.out, "--hide-species", "2,5", "chain.cfg"], 2,
                                     "ovalix --render: --hide-species asks for species 5, but the run has only 2 species.\n")
        self.assertIn("The number of species is 2", result.stdout, "refused before the species were known")
        # The configuration's hide_species of such a species draws on, and says so.
        with open(os.path.join(self.folder, "chain.cfg")) as f:
            write_file(self.folder, "hiding.cfg", f.read() + "hide_species 2 5\n")
        result = self.run_render("--out", self.out, "--frames", "0:0", "--size", "64x40", "hiding.cfg")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("\nhide_species 5: the run has only 2 species, so it hides nothing.\n", result.stdout)

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
            (["--view", "future.view", "chain.cfg"], "is of version 7; this Ovalix reads versions 1 to 3 only."),
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


def load_rgb(path):
    from PIL import Image
    return Image.open(path).convert("RGB")


def plain_image(size, colour):
    from PIL import Image
    return Image.new("RGB", size, colour)


def part_files(*folders):
    return [n for f in folders for n in os.listdir(f) if n.endswith(".part")]


def children_of(pid):
    """The processes whose parent is pid, from /proc."""
    found = []
    for name in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % name) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == pid:
            found.append(int(name))
    return found


def mounted_tmpfs(test, options):
    """A tmpfs mounted for the test (we may be root in a container), or a skip saying why not."""
    folder = temp_dir(test)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        test.skipTest("cannot mount a tmpfs here: %s" % result.stdout.strip())
    test.addCleanup(subprocess.run, ["umount", "-l", folder], stdin=subprocess.DEVNULL)
    return folder


class Drawing(BatchCase):
    """What the new drawing options change in the picture, and what they leave alone."""

    def render_frame(self, name, *options, frames="3:3"):
        out = os.path.join(self.folder, name)
        os.mkdir(out)
        result = self.run_render("--out", out, "--size", "320x200", "--frames", frames, *options, "chain.cfg")
        self.assertEqual(result.returncode, 0, result.stderr)
        return result, os.path.join(out, "chain.dump_0003.png")

    def test_supersampling_smooths_edges_only_and_1_changes_nothing(self):
        from PIL import ImageChops, ImageFilter
        _, plain = self.render_frame("plain")
        _, one = self.render_frame("one", "--supersample", "1")
        _, two = self.render_frame("two", "--supersample", "2")
        with open(plain, "rb") as a, open(one, "rb") as b:
            self.assertEqual(a.read(), b.read(), "--supersample 1 is not the default picture")
        a, b = load_rgb(plain), load_rgb(two)
        changed = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v > 0 else 0)
        self.assertIsNotNone(changed.getbbox(), "supersampling changed nothing")
        # An edge: a pixel whose 3x3 neighbourhood in the plain picture holds more than one colour.
        spread = ImageChops.difference(a.filter(ImageFilter.MaxFilter(3)), a.filter(ImageFilter.MinFilter(3)))
        edges = spread.convert("L").point(lambda v: 255 if v > 0 else 0).filter(ImageFilter.MaxFilter(3))
        off_edge = ImageChops.subtract(changed, edges)
        self.assertIsNone(off_edge.getbbox(), "supersampling changed flat areas")
        # The overlay is drawn at the size asked for after the average: the text's rows are the same.
        self.assertEqual(a.crop((0, 170, 160, 200)).tobytes(), b.crop((0, 170, 160, 200)).tobytes())

    def foreground_box(self, path):
        from PIL import ImageChops
        image = load_rgb(path).crop((0, 0, 320, 160))  # above the overlay
        background = image.getpixel((0, 0))
        return ImageChops.difference(image, plain_image(image.size, background)).getbbox()

    def test_fit_fills_the_picture_and_every_chunk_fits_alike(self):
        # The example opens fitted (fit_view): without it the start-up view shows the chains small.
        config = os.path.join(self.folder, "chain.cfg")
        with open(config) as f:
            lines = [line for line in f if line.strip() != "fit_view"]
        with open(config, "w") as f:
            f.writelines(lines)
        _, plain = self.render_frame("plain")
        result, fitted = self.render_frame("fitted", "--fit")
        _, chunk = self.render_frame("chunk", "--fit", frames="0:3")
        small, large = self.foreground_box(plain), self.foreground_box(fitted)
        self.assertGreater(large[3] - large[1], 2 * (small[3] - small[1]), "--fit: %s against %s" % (large, small))
        self.assertGreater(large[1], 0, "--fit cut the frame at the top")
        with open(fitted, "rb") as a, open(chunk, "rb") as b:
            self.assertEqual(a.read(), b.read(), "a chunk from another first frame fitted otherwise")

    def test_cpu_and_the_default_name_what_draws(self):
        cpu, cpu_image = self.render_frame("cpu", "--cpu")
        self.assertRegex(cpu.stderr, r"ovalix --render: drawing in software: \S")
        default, default_image = self.render_frame("default")
        self.assertRegex(default.stderr, r"ovalix --render: drawing (in software|on the GPU): \S")
        if "in software" in default.stderr:
            with open(cpu_image, "rb") as a, open(default_image, "rb") as b:
                self.assertEqual(a.read(), b.read(), "--cpu differs from the software default")
        gpu = self.run_render("--out", self.out, "--gpu", "--frames", "0:0", "chain.cfg")
        if "in software" in default.stderr:  # no GPU device: --gpu must fail, not fall back
            self.assertEqual(gpu.returncode, 1, gpu.stderr)
            self.assertIn("--gpu: no GPU here offers an EGL device", gpu.stderr)
        else:
            self.assertEqual(gpu.returncode, 0, gpu.stderr)
            self.assertIn("drawing on the GPU", gpu.stderr)

    def test_messages_name_no_window_keys(self):
        os.remove(os.path.join(self.folder, "chain.bonds"))
        result, _ = self.render_frame("nobonds")
        self.assertIn("No bonds will be drawn. Put the bond file in place and render again.", result.stdout)
        self.assertNotIn("Shift-L", result.stdout)
        write_file(self.folder, "old.view", "ovalix-view 7\n")
        view = self.run_render("--out", self.out, "--view", "old.view", "chain.cfg")
        self.assertEqual(view.returncode, 1, view.stderr)
        self.assertIn("Save the view again in the Ovalix window.", view.stderr)
        self.assertNotIn("key V", view.stderr)


class LargeTrajectory(BatchCase):
    """Above 20,000 particles in a frame the ray-cast drawing is chosen for a trajectory opened alone, and offered
    beside a configuration."""

    def dump(self, name, atoms):
        lines = ["ITEM: TIMESTEP", "0", "ITEM: NUMBER OF ATOMS", str(atoms), "ITEM: BOX BOUNDS pp pp pp",
                 "0 60", "0 60", "0 60", "ITEM: ATOMS id type x y z quatw quati quatj quatk"]
        lines += ["%d 1 %d %d %d 1 0 0 0" % (k + 1, k % 30 * 2, k // 30 % 30 * 2, k // 900 * 2) for k in range(atoms)]
        write_file(self.folder, name, "\n".join(lines) + "\n")

    def render(self, *args):
        result = self.run_render("--out", self.out, "--frames", "0:0", "--size", "64x40", *args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def test_more_than_20000_particles_are_ray_cast(self):
        self.dump("big.dump", 20001)
        self.dump("small.dump", 20000)
        made = self.render("big.dump")
        self.assertRegex(made, r"\nfit_view\n(.*\n)*Config file read\.\n(.*\n)*With up to 20001 particles in a frame, "
                               r"its configuration also has:\nraycast\n")
        self.assertNotIn("raycast", self.render("--adaptive-detail", "small.dump"))
        write_file(self.folder, "big.cfg", "dumpfile big.dump\nspecies 1\nhalf_radii 1 0.5 0.5 0.5\n"
                                           "color 1 1 0 0\nbond_vector 1 1 0 0 0\nbackground 1 1 1\n")
        hint = "With up to 20001 particles in a frame, the ray-cast drawing (--raycast) draws about 5 times faster.\n"
        configured = self.render("--adaptive-detail", "big.cfg")
        self.assertIn(hint, configured)
        self.assertNotIn("\nraycast\n", configured)
        self.assertNotIn(hint, self.render("--raycast", "big.cfg"))


class Failures(BatchCase):
    """Nothing unfinished is left by a failure or a stop: no .part file, no movie, no ffmpeg."""

    def start(self, *args):
        return subprocess.Popen([BIN, "--render"] + list(args), cwd=self.folder, env=headless_environment(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)

    def wait_until(self, process, condition, what):
        deadline = time.monotonic() + 120
        while not condition():
            if process.poll() is not None:
                self.fail("the render ended before %s: %s" % (what, process.stderr.read()))
            self.assertLess(time.monotonic(), deadline, "no %s" % what)
            time.sleep(0.05)

    def test_sigterm_in_a_frame_sequence_leaves_whole_images_only(self):
        process = self.start("--out", self.out, "--size", "1024x640", "--supersample", "4", "chain.cfg")
        self.wait_until(process, lambda: any(n.endswith(".png") for n in os.listdir(self.out)), "first image")
        process.send_signal(signal.SIGTERM)
        process.communicate(timeout=60)
        self.assertEqual(process.returncode, -signal.SIGTERM, "the exit status does not say it was stopped")
        self.assertEqual(part_files(self.out), [])
        names = os.listdir(self.out)
        self.assertLess(len(names), FRAMES, "the render ended before the signal")
        for name in names:
            load_rgb(os.path.join(self.out, name)).load()  # a cut image would not decode

    def test_sigterm_and_sigint_in_a_movie_stop_ffmpeg_and_remove_the_movie(self):
        if not shutil.which("ffmpeg"):
            self.skipTest("ffmpeg is not installed")
        for stop in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=stop):
                movie = os.path.join(self.out, "film.mp4")
                process = self.start("--movie", movie, "--size", "1024x640", "--supersample", "4", "chain.cfg")
                encoder = []
                def encoding():
                    encoder[:] = children_of(process.pid)
                    return encoder and part_files(self.out)
                self.wait_until(process, encoding, "ffmpeg and its temporary movie")
                time.sleep(0.5)  # some frames on their way
                process.send_signal(stop)
                process.communicate(timeout=60)
                self.assertEqual(process.returncode, -stop)
                self.assertEqual(os.listdir(self.out), [], "the unfinished movie was left behind")
                for pid in encoder:
                    self.assertFalse(os.path.exists("/proc/%d" % pid), "ffmpeg %d still runs" % pid)

    def test_reader_error_during_a_movie_removes_it(self):
        if not shutil.which("ffmpeg"):
            self.skipTest("ffmpeg is not installed")
        with open(os.path.join(self.folder, "chain.dump")) as f:
            lines = f.read().split("\n")
        starts = [i for i, line in enumerate(lines) if line.startswith("ITEM: TIMESTEP")]
        fields = lines[starts[20] + 10].split()
        fields[1] = "9"  # a species the configuration does not define, in frame 20
        lines[starts[20] + 10] = " ".join(fields)
        write_file(self.folder, "bad.dump", "\n".join(lines))
        with open(os.path.join(self.folder, "chain.cfg")) as f:
            write_file(self.folder, "bad.cfg", f.read().replace("chain.dump", "bad.dump"))
        result = self.run_render("--movie", os.path.join(self.out, "film.mp4"), "--size", "320x200", "bad.cfg")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("Only 2 specified in input.", result.stdout)
        self.assertIn("stopped by the error above", result.stderr)
        self.assertEqual(os.listdir(self.out), [])

    def test_movie_whose_end_does_not_fit_is_removed(self):
        if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
            self.skipTest("ffmpeg is not installed")
        from test_full_disk import fill
        args = ["--size", "320x200", "chain.cfg"]
        whole = self.run_render("--movie", os.path.join(self.out, "film.mp4"), *args)
        self.assertEqual(whole.returncode, 0, whole.stderr)
        size = os.path.getsize(os.path.join(self.out, "film.mp4"))
        # Room for all but the last page: the frames fit, the index ffmpeg writes at the end does not.
        full = mounted_tmpfs(self, "size=%d" % (size + (1 << 20)))
        fill(full, room=(size - 1) // 4096 * 4096)
        result = self.run_render("--movie", os.path.join(full, "film.mp4"), *args)
        self.assertEqual(result.returncode, 1, result.stderr)
        ours = [line for line in result.stderr.splitlines() if line.startswith("ovalix --render: ")]
        self.assertEqual(len(ours), 2, result.stderr)  # the device line and one line about the movie
        self.assertIn("movie %s/film.mp4 " % full, ours[1])
        self.assertEqual(sorted(os.listdir(full)), ["filler"], "a cut movie or its temporary was left")

    def test_read_only_file_system(self):
        read_only = mounted_tmpfs(self, "ro,size=1m")
        self.assert_refused(["--out", read_only, "chain.cfg"], 1,
                            "The output folder %s is not writable." % read_only, folder=read_only)

    def test_full_disk(self):
        full = mounted_tmpfs(self, "size=200k")
        result = self.run_render("--out", full, "--size", "1024x640", "chain.cfg")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertRegex(result.stderr, r"The image %s/chain\.dump_\d{4}\.png cannot be written: "
                                        r"No space left on device\." % re.escape(full))
        self.assertEqual(part_files(full), [])
        names = sorted(os.listdir(full))
        self.assertLess(len(names), FRAMES)
        for name in names:
            load_rgb(os.path.join(full, name)).load()


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
