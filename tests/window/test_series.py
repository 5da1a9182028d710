"""A series of dump files shown as one trajectory: ovalix --render of a pattern or of several names draws the frames in
step order, and a pattern opens in the window with the configuration made for it."""

import gzip
import os
import subprocess
import unittest

from ovalix_window import BIN, Ovalix, require_display, temp_dir, write_file

ATOMS = ("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n-20 20\n-20 20\n-20 20\n"
         "ITEM: ATOMS id type x y z quatw quati quatj quatk\n1 1 %g 0 0 1 0 0 0\n2 2 8 0 0 1 0 0 0\n")
PARTS = {"dump.0.gz": [0, 200], "dump.500.gz": [500], "dump.1000.gz": [1000, 1200]}  # 1000 sorts before 500 by name


def write_series(folder):
    for name, steps in PARTS.items():
        with gzip.open(os.path.join(folder, name), "wt") as part:
            part.write("".join(ATOMS % (s, s / 100.0 - 8) for s in steps))
    write_file(folder, "whole.dump", "".join(ATOMS % (s, s / 100.0 - 8) for s in (0, 200, 500, 1000, 1200)))


class Series(unittest.TestCase):
    def test_render_in_step_order_as_one_file_and_a_configuration_alone(self):
        folder = temp_dir(self)
        write_series(folder)
        write_file(folder, "x.cfg", "dumpfile whole.dump\n")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY")}
        pictures = {}
        for out, names in (("whole", ["whole.dump"]), ("pattern", ["dump.*.gz"]),
                           ("listed", ["dump.1000.gz", "dump.0.gz", "dump.500.gz"]), ("mixed", ["dump.0.gz", "x.cfg"])):
            os.mkdir(os.path.join(folder, out))
            result = subprocess.run([BIN, "--render", "--size", "160x100", "--out", out] + names, cwd=folder, env=env,
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
            files = sorted(os.listdir(os.path.join(folder, out)))
            pictures[out] = [open(os.path.join(folder, out, n), "rb").read() for n in files]
            if out != "mixed":
                self.assertEqual(files, ["%s_%04d.png" % (names[0].replace("*", "series"), k) for k in range(5)])
        self.assertEqual(len(set(pictures["whole"])), 5, "every frame draws its own picture")
        self.assertEqual(pictures["pattern"], pictures["whole"])
        self.assertEqual(pictures["listed"], pictures["whole"])
        self.assertEqual((result.returncode, result.stderr), (1, "ovalix --render: x.cfg is no trajectory file: several "
                                                              "files are rendered as one series, a configuration alone.\n"))

    def test_pattern_in_the_window_and_reloaded(self):
        require_display()
        folder = temp_dir(self)
        write_series(folder)
        with Ovalix(["dump.*.gz"], cwd=folder) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - dump.*.gz")
            self.assertTrue(app.output.startswith("dump.*.gz is a dump trajectory. It is shown with this configuration:\n"
                                                  "dumpfile dump.*.gz\nspecies 2\n"), app.output)
            app.key("G")
            app.wait_for_text("Go to frame: ")
            app.send("4\n")
            app.wait_for_line(r"Going to frame 4")
            app.key("L")
            app.wait_for_text("Please enter name of file with configuration information: ")
            app.send("dump.*.gz\n")
            app.wait_for_line(r"Done\. Rendering\.")
            self.assertEqual(app.output.count("Number of files:      3 (dump.0.gz to dump.1000.gz)\n"), 2, app.output)


if __name__ == "__main__":
    unittest.main()
