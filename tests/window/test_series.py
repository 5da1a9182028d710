"""A series of dump files (one per part of a run, some gzip-compressed) shown as one trajectory: ovalix --render
of a pattern or of several names draws the frames in step order, and a pattern opens in the window."""

import gzip
import os
import subprocess
import unittest

from ovalix_window import BIN, Ovalix, require_display, temp_dir, write_file


def frames(steps):
    """Dump frames of three atoms; atom 1 moves with the step, so frames out of order draw other pictures."""
    text = ""
    for step in steps:
        text += ("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n3\nITEM: BOX BOUNDS pp pp pp\n-20 20\n-20 20\n-20 20\n"
                 "ITEM: ATOMS id type x y z quatw quati quatj quatk\n1 1 %g 0 0 1 0 0 0\n2 2 8 0 0 1 0 0 0\n"
                 "3 2 -8 4 0 1 0 0 0\n" % (step, -8 + step / 100.0))
    return text


# dump.1000.gz comes before dump.500.gz by name, after it by step.
PARTS = {"dump.0.gz": [0, 200], "dump.500.gz": [500], "dump.1000.gz": [1000, 1200]}
STEPS = [0, 200, 500, 1000, 1200]


def write_series(folder):
    for name, steps in PARTS.items():
        with gzip.open(os.path.join(folder, name), "wt") as part:
            part.write(frames(steps))
    write_file(folder, "whole.dump", frames(STEPS))


def headless_environment():
    return {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}


class RenderedSeries(unittest.TestCase):
    def setUp(self):
        if not BIN or not os.path.isfile(BIN):
            self.skipTest("ovalix binary not found")
        self.folder = temp_dir(self)
        write_series(self.folder)

    def render(self, *args):
        return subprocess.run([BIN, "--render", "--size", "160x100"] + list(args), cwd=self.folder,
                              env=headless_environment(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=300)

    def images(self, out, stem):
        names = sorted(os.listdir(os.path.join(self.folder, out)))
        self.assertEqual(names, ["%s_%04d.png" % (stem, k) for k in range(len(STEPS))])
        return [open(os.path.join(self.folder, out, n), "rb").read() for n in names]

    def test_pattern_and_listed_files_draw_the_frames_in_step_order(self):
        for out in ("whole", "pattern", "listed"):
            os.mkdir(os.path.join(self.folder, out))
        whole = self.render("--out", "whole", "whole.dump")
        self.assertEqual(whole.returncode, 0, whole.stderr)
        pattern = self.render("--out", "pattern", "dump.*.gz")
        self.assertEqual(pattern.returncode, 0, pattern.stderr)
        self.assertIn("Number of time steps: 5 (0 - 4)\nNumber of files:      3 (dump.0.gz to dump.1000.gz)\n",
                      pattern.stdout)
        listed = self.render("--out", "listed", "dump.1000.gz", "dump.0.gz", "dump.500.gz")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        expected = self.images("whole", "whole.dump")
        self.assertEqual(len(set(expected)), len(STEPS), "every frame draws its own picture")
        self.assertEqual(self.images("pattern", "dump.series.gz"), expected)
        self.assertEqual(self.images("listed", "dump.1000.gz"), expected)

    def test_configuration_among_several_names_and_pattern_without_match(self):
        write_file(self.folder, "run.cfg", "dumpfile whole.dump\n")
        for args, message in ((["dump.0.gz", "run.cfg"], "run.cfg is no trajectory file"),
                              (["nothing.*.gz"], "No file matches nothing.*.gz.")):
            result = self.render(*args)
            self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
            self.assertEqual(result.stderr, "ovalix --render: " + message + (
                ": several files are rendered as one series, a configuration alone.\n" if "cfg" in message else "\n"))


class PatternInTheWindow(unittest.TestCase):
    def test_pattern_opens_with_a_made_configuration_naming_it(self):
        require_display()
        folder = temp_dir(self)
        write_series(folder)
        with Ovalix(["dump.*.gz"], cwd=folder) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - dump.*.gz")
            self.assertTrue(app.output.startswith(
                "dump.*.gz is a dump trajectory. It is shown with this configuration:\ndumpfile dump.*.gz\nspecies 2\n"),
                app.output)
            self.assertIn("Number of files:      3 (dump.0.gz to dump.1000.gz)\n", app.output)
            app.key("V")
            app.wait_for_line(r"View written to dump\.series\.gz\.view\.")
            self.assertTrue(os.path.isfile(os.path.join(folder, "dump.series.gz.view")))
            # Reloaded from a configuration that names the pattern, after the last frame was shown.
            write_file(folder, "series.cfg", "dumpfile dump.*.gz\nspecies 2\nhalf_radii 1 1 1 1\nhalf_radii 2 1 1 1\n"
                       "color 1 1 0 0\ncolor 2 0 0 1\nbond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 0 0 0\n")
            app.key("G")
            app.wait_for_text("Go to frame: ")
            app.send("4\n")
            app.wait_for_line(r"Going to frame 4")
            app.key("L")
            app.wait_for_text("Please enter name of file with configuration information: ")
            app.send("series.cfg\n")
            app.wait_for_line(r"Done\. Rendering\.")
            self.assertEqual(app.output.count("Number of files:      3 (dump.0.gz to dump.1000.gz)\n"), 2, app.output)
            self.assertTrue(app.running())


if __name__ == "__main__":
    unittest.main()
