"""Snapshots, image sequences, textures and the right-button menu of the real viewer.

Images written by the viewer are judged against an independent grab of its window and by what must hold in
them (size, file type, where a sphere is), with tolerances; the menu is driven with the pointer (glut_menu).
"""

import math
import os
import shutil
import time
import unittest

try:
    from PIL import Image, ImageChops, ImageDraw, ImageStat
except ImportError:  # reported as skipped by setUpModule
    Image = None

from glut_menu import choose
from ovalix_window import Ovalix, require_display, temp_dir, write_file


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


EYE_DISTANCE = 200.0   # the camera looks at the origin from (0, 0, 200)
FIELD_OF_VIEW = 45.0   # vertical, degrees


def dump_frame(step, rows):
    lines = ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", str(len(rows)), "ITEM: BOX BOUNDS pp pp pp",
             "-60 60", "-60 60", "-60 60", "ITEM: ATOMS id type x y z quatw quati quatj quatk"]
    lines += ["%d %s" % (i + 1, row) for i, row in enumerate(rows)]
    return "\n".join(lines) + "\n"


# Two spheres: a red one fixed at (-30, 0) and a green one at (30, 16) that rises by 24 units a frame.
FRAMES = 3
LIFT, RISE = 16.0, 24.0
SCENE_DUMP = "".join(dump_frame(k, ["1 -30 0 0 1 0 0 0", "2 30 %g 0 1 0 0 0" % (LIFT + RISE * k)])
                     for k in range(FRAMES))
SCENE_BONDS = "Bonds\n\n1 1 1 2\n"
SCENE_CONFIG = """dumpfile {dump}
bondfile {bonds}
species 2
half_radii 1 8 8 8
half_radii 2 8 8 8
color 1 0.9 0.1 0.1
color 2 0.1 0.9 0.1
bond_vector 1 1 0 0 0
bond_vector 2 1 0 0 0
background 0.2 0.2 0.4
solid_bonds 1
"""


def project(image, x, y):
    """Window pixel of the scene point (x, y, 0), the scene being centred on the frame centre."""
    width, height = image.size
    scale = (height / 2) / math.tan(math.radians(FIELD_OF_VIEW / 2)) / EYE_DISTANCE
    return int(round(width / 2 + x * scale)), int(round(height / 2 - y * scale))


def green_sphere_centre(frame):
    """The green sphere relative to the frame centre, the mean of both sphere positions."""
    return 30.0, (LIFT + RISE * frame) / 2


def is_green(pixel):
    r, g, b = pixel
    return g > max(r, b) + 10


def difference(a, b):
    """(mean absolute difference over all channels, fraction of pixels off by more than 48 in some channel)."""
    diff = ImageChops.difference(a.convert("RGB"), b.convert("RGB"))
    mean = sum(ImageStat.Stat(diff).mean) / 3
    worst = diff.split()
    off = ImageChops.lighter(ImageChops.lighter(worst[0], worst[1]), worst[2]).point(lambda v: 255 if v > 48 else 0)
    return mean, off.histogram()[255] / (a.size[0] * a.size[1])


def region_difference(a, b, box):
    return difference(a.crop(box), b.crop(box))[0]


class ExportCase(unittest.TestCase):
    """Writes the two-sphere scene into a fresh folder and starts the viewer there."""

    def scene(self, dump="scene.dump", bonds="scene.bonds"):
        """A fresh folder with scene.cfg, which names the dump and bond files as given (relative to the folder)."""
        folder = temp_dir(self)
        for name in (dump, bonds):
            if os.path.dirname(name):
                os.makedirs(os.path.join(folder, os.path.dirname(name)), exist_ok=True)
        write_file(folder, dump, SCENE_DUMP)
        write_file(folder, bonds, SCENE_BONDS)
        write_file(folder, "scene.cfg", SCENE_CONFIG.format(dump=dump, bonds=bonds))
        return folder

    def start(self, folder, config="scene.cfg"):
        app = Ovalix([config], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_line(r"Done reading\. Rendering\.")
        app.window("OvaLIX - " + config)
        return app

    def snapshot(self, app, folder, name, key=True):
        """Takes a snapshot (Enter, or the menu entry) and returns the image read back from the file `name`."""
        if key:
            app.key("Return")
        else:
            choose(app, "Print", "Print This Screen (Enter)")
        app.wait_for_line(r"Success! File %s has been written\." % name.replace(".", r"\."))
        path = os.path.join(folder, name)
        self.assertTrue(os.path.isfile(path), "%s not written into the working directory" % name)
        image = Image.open(path)
        image.load()
        return image

    def assert_matches_window(self, snapshot, grab, file_type, loss):
        self.assertEqual(snapshot.format, file_type)
        self.assertEqual(snapshot.size, grab.size, "the snapshot is not the window's size")
        mean, off = difference(snapshot, grab)
        self.assertLess(mean, loss, "the snapshot differs from the window (mean difference %.2f)" % mean)
        self.assertLess(off, 0.005, "%.2f %% of the snapshot's pixels differ from the window" % (100 * off))
        # The scene is not symmetric top to bottom, so the same tolerance rejects an upside-down picture.
        flipped_off = difference(snapshot, grab.transpose(Image.FLIP_TOP_BOTTOM))[1]
        self.assertGreater(flipped_off, 10 * max(off, 0.0002), "the test scene cannot reveal a flipped image")


class Snapshots(ExportCase):
    def test_enter_writes_numbered_jpgs_that_show_the_window(self):
        folder = self.scene()
        # Files an earlier run wrote are never overwritten: the number goes on to the first free name.
        earlier = ["Screen_0000_0000.jpg", "Screen_0003_0002.jpg"]
        for name in earlier:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(b"not an image")
        app = self.start(folder)
        window = app.settled_grab()
        first = self.snapshot(app, folder, "Screen_0001_0000.jpg")
        self.assert_matches_window(first, window, "JPEG", loss=3.0)
        self.assert_matches_window(self.snapshot(app, folder, "Screen_0002_0000.jpg"), app.settled_grab(),
                                   "JPEG", loss=3.0)
        app.key("n", "n")
        moved = app.settled_grab(ready=lambda im: is_green(im.getpixel(project(im, *green_sphere_centre(2)))))
        third = self.snapshot(app, folder, "Screen_0004_0002.jpg")
        self.assert_matches_window(third, moved, "JPEG", loss=3.0)
        self.assertTrue(is_green(third.convert("RGB").getpixel(project(third, *green_sphere_centre(2)))))
        self.assertFalse(is_green(third.convert("RGB").getpixel(project(third, *green_sphere_centre(0)))))
        names = sorted(n for n in os.listdir(folder) if n.startswith("Screen_"))
        self.assertEqual(names, sorted(earlier + ["Screen_0001_0000.jpg", "Screen_0002_0000.jpg",
                                                  "Screen_0004_0002.jpg"]))
        for name in earlier:
            with open(os.path.join(folder, name), "rb") as f:
                self.assertEqual(f.read(), b"not an image", "%s was overwritten" % name)

    def test_formats_chosen_in_the_menu(self):
        folder = self.scene()
        app = self.start(folder)
        window = app.settled_grab()
        choose(app, "File format", "PNG")
        self.assert_matches_window(self.snapshot(app, folder, "Screen_0000_0000.png"), window, "PNG", loss=1.0)
        choose(app, "File format", "BMP")
        self.assert_matches_window(self.snapshot(app, folder, "Screen_0001_0000.bmp"), window, "BMP", loss=1.0)
        choose(app, "File format", "JPG")
        self.assert_matches_window(self.snapshot(app, folder, "Screen_0002_0000.jpg"), window, "JPEG", loss=3.0)
        # The menu's own snapshot entry numbers on and uses the chosen format.
        self.assert_matches_window(self.snapshot(app, folder, "Screen_0003_0000.jpg", key=False), window,
                                   "JPEG", loss=3.0)
        self.assertTrue(app.running())


class Sequence(ExportCase):
    def test_printing_writes_one_image_per_frame_next_to_the_trajectory(self):
        folder = self.scene(dump="run/scene.dump")
        app = self.start(folder)
        app.settled_grab()
        choose(app, "Print", "Print Images")
        app.wait_for_line(r"Printing every animated frame as run/scene\.dump_NNNN\.jpg\.")
        # Printing is on but the animation is not: redraws write nothing.
        app.settled_grab()
        self.assertEqual(sorted(os.listdir(os.path.join(folder, "run"))), ["scene.dump"])
        app.key("space")
        names = ["scene.dump_%04d.jpg" % k for k in range(FRAMES)]
        deadline = time.monotonic() + 30
        while not all(os.path.isfile(os.path.join(folder, "run", n)) for n in names):
            self.assertLess(time.monotonic(), deadline, "sequence images missing: %s" % os.listdir(folder))
            time.sleep(0.1)
        app.key("space")
        choose(app, "Print", "Do Not Print Images")
        app.wait_for_line(r"Stopped printing frames\.")
        self.assertEqual(sorted(os.listdir(os.path.join(folder, "run"))), ["scene.dump"] + names)
        self.assertEqual(sorted(n for n in os.listdir(folder) if n.endswith(".jpg")), [],
                         "sequence images belong next to the trajectory")
        for k, name in enumerate(names):
            image = Image.open(os.path.join(folder, "run", name))
            self.assertEqual(image.format, "JPEG")
            self.assertEqual(image.size, (1024, 640))
            image = image.convert("RGB")
            # Each image shows its own frame: the green sphere where that frame puts it, and nowhere else.
            for j in range(FRAMES):
                self.assertEqual(is_green(image.getpixel(project(image, *green_sphere_centre(j)))), j == k,
                                 "%s: green sphere of frame %d %s" % (name, j, "missing" if j == k else "shown"))


FAIL_LINES = ("Fail! No file of name {name} can be written.\n"
              "I don't know why. Do you have write permissions?\n"
              "Press Enter / Return to exit.")


class WriteFailure(ExportCase):
    def assert_fails_then_exits(self, app, name):
        app.wait_for_text("Press Enter / Return to exit.")
        self.assertTrue(app.output.endswith(FAIL_LINES.format(name=name)), app.output)
        time.sleep(1.0)
        self.assertTrue(app.running(), "ended before a character was typed")
        app.send("x")
        self.assertEqual(app.wait_for_exit(), 0)
        self.assertTrue(app.output.endswith(FAIL_LINES.format(name=name)), app.output)

    def test_snapshot_in_a_removed_working_directory(self):
        # Permissions do not stop root; a working directory that no longer exists stops everyone.
        # The configuration names its files by absolute paths, so the viewer can start from an empty folder.
        folder = temp_dir(self)
        data = self.scene(dump=os.path.join(folder, "scene.dump"), bonds=os.path.join(folder, "scene.bonds"))
        work = os.path.join(folder, "work")
        os.mkdir(work)
        app = self.start(work, os.path.join(data, "scene.cfg"))
        app.settled_grab()
        os.rmdir(work)
        app.key("Return")
        self.assert_fails_then_exits(app, "Screen_0000_0000.jpg")

    def test_sequence_image_next_to_a_removed_trajectory_goes_to_the_working_directory(self):
        # The open trajectory is still read after its folder is gone, but nothing can be written there.
        folder = self.scene(dump="gone/scene.dump")
        app = self.start(folder)
        app.settled_grab()
        shutil.rmtree(os.path.join(folder, "gone"))
        choose(app, "Print", "Print Images")
        app.wait_for_line(r"Printing every animated frame as gone/scene\.dump_NNNN\.jpg\.")
        app.key("space")
        app.wait_for_line(r"The folder of gone/scene\.dump cannot be written: the images go to the working "
                          r"directory as scene\.dump_NNNN\.jpg\.")
        names = ["scene.dump_%04d.jpg" % k for k in range(FRAMES)]
        deadline = time.monotonic() + 30
        while not all(os.path.isfile(os.path.join(folder, n)) for n in names):
            self.assertLess(time.monotonic(), deadline, "sequence images missing: %s" % os.listdir(folder))
            time.sleep(0.1)
        self.assertTrue(app.running())
        self.assertEqual(app.output.count("cannot be written"), 1, "the fallback is told once")
        choose(app, "Print", "Print Images")
        app.wait_for_line(r"Printing every animated frame as scene\.dump_NNNN\.jpg\.")

    def test_sequence_image_in_a_removed_working_directory(self):
        # The trajectory lies in the working directory itself: no other folder to fall back to.
        folder = temp_dir(self)
        data = self.scene(dump=os.path.join(folder, "work", "scene.dump"), bonds=os.path.join(folder, "scene.bonds"))
        app = self.start(os.path.join(folder, "work"), os.path.join(data, "scene.cfg"))
        app.settled_grab()
        shutil.rmtree(os.path.join(folder, "work"))
        choose(app, "Print", "Print Images")
        app.key("space")
        self.assert_fails_then_exits(app, "scene.dump_0000.jpg")

    def test_snapshot_while_printing_leaves_printing_on(self):
        folder = self.scene(dump="run/scene.dump")
        app = self.start(folder)
        app.settled_grab()
        choose(app, "Print", "Print Images")
        self.snapshot(app, folder, "Screen_0000_0000.jpg")
        self.snapshot(app, folder, "Screen_0001_0000.jpg", key=False)
        app.key("space")
        names = ["scene.dump_%04d.jpg" % k for k in range(FRAMES)]
        deadline = time.monotonic() + 30
        while not all(os.path.isfile(os.path.join(folder, "run", n)) for n in names):
            self.assertLess(time.monotonic(), deadline, "printing stopped: %s" % os.listdir(folder))
            time.sleep(0.1)


# ---- textures -------------------------------------------------------------------------------------

TEXTURED_DUMP = dump_frame(0, ["1 -30 0 0 1 0 0 0", "1 30 0 0 1 0 0 0"])
TEXTURED_CONFIG = """dumpfile pair.dump
bondfile pair.bonds
species 1
half_radii 1 {radius} {radius} {radius}
color 1 0.9 0.9 0.9
bond_vector 1 1 0 0 0
background 0 0 0
"""


def checkerboard(path, light=(255, 255, 255), dark=(0, 0, 0), size=64, cell=8):
    image = Image.new("RGB", (size, size), light)
    draw = ImageDraw.Draw(image)
    for y in range(0, size, cell):
        for x in range(0, size, cell):
            if (x // cell + y // cell) % 2:
                draw.rectangle((x, y, x + cell - 1, y + cell - 1), fill=dark)
    image.save(path)


class Textures(ExportCase):
    def textured_scene(self, extra, radius=12):
        folder = temp_dir(self)
        write_file(folder, "pair.dump", TEXTURED_DUMP)
        write_file(folder, "pair.bonds", "Bonds\n\n1 1 1 2\n")
        write_file(folder, "pair.cfg", TEXTURED_CONFIG.format(radius=radius) + extra)
        checkerboard(os.path.join(folder, "checks.png"))
        # Every texel of the bond image is blue, so it shows wherever it is applied, with or without coordinates.
        checkerboard(os.path.join(folder, "blue.bmp"), light=(0, 0, 255), dark=(0, 0, 110), cell=4)
        # A pixmap cut off after its header: the image library frees memory twice on it and aborts.
        write_file(folder, "damaged.ppm", "P6\n64 64\n255\n\x10\x20\x30")
        return folder

    def picture(self, extra, expect=None, radius=12):
        """The settled window of the pair scene with extra configuration lines; checks an expected console line."""
        folder = self.textured_scene(extra, radius)
        app = Ovalix(["pair.cfg"], cwd=folder)
        try:
            app.wait_for_line(r"Done reading\. Rendering\.")
            if expect:
                app.wait_for_line(expect)  # textures are loaded once the window exists
            app.window("OvaLIX - pair.cfg")
            return app.settled_grab()
        finally:
            app.finish()

    def sphere_boxes(self, image, radius):
        boxes = []
        for x in (-30, 30):
            left, top = project(image, x - radius * 0.7, radius * 0.7)
            right, bottom = project(image, x + radius * 0.7, -radius * 0.7)
            boxes.append((left, top, right, bottom))
        return boxes

    def test_image_textures_the_ellipsoids_and_a_missing_one_is_reported(self):
        plain = self.picture("")
        textured = self.picture("texture checks.png\n", expect=r"Texture checks\.png bound\.")
        missing = self.picture("texture nothere.png\n", expect=r"ilLoadImage\(nothere\.png\) did not work\.")
        for box in self.sphere_boxes(plain, 12):
            self.assertGreater(region_difference(plain, textured, box), 25, "the texture does not show in %s" % (box,))
            # The checks are black and white: the textured sphere holds dark patches and patches as bright as
            # the plain sphere.
            lum = textured.crop(box).convert("L")
            dark = sum(lum.histogram()[:30]) / (lum.size[0] * lum.size[1])
            self.assertGreater(dark, 0.2, "too few dark texels on the sphere in %s" % (box,))
            plain_mean = ImageStat.Stat(plain.crop(box).convert("L")).mean[0]
            self.assertGreater(ImageStat.Stat(lum).extrema[0][1], 0.8 * plain_mean, "no bright texels in %s" % (box,))
        self.assertLess(difference(plain, missing)[1], 0.001, "a missing texture image must leave the scene untextured")

    def test_damaged_texture_image_is_reported_and_left_out(self):
        plain = self.picture("")
        damaged = self.picture("texture damaged.ppm\n",
                               expect=r"The image library breaks down on damaged\.ppm\. Is it cut off or damaged\?")
        self.assertLess(difference(plain, damaged)[1], 0.001, "a damaged texture image must leave the scene untextured")

    def test_bond_texture_only_on_solid_bonds(self):
        radius = 6
        solid = "solid_bonds 3\n"
        plain = self.picture(solid, radius=radius)
        textured = self.picture(solid + "texture_bonds blue.bmp\n", expect=r"Texture blue\.bmp bound\.",
                                radius=radius)
        left, top = project(plain, -20, 2)
        right, bottom = project(plain, 20, -2)
        bond = (left, top, right, bottom)
        self.assertGreater(region_difference(plain, textured, bond), 20, "the bond texture does not show")
        for box in self.sphere_boxes(plain, radius):
            self.assertLess(region_difference(plain, textured, box), 1.0, "the bond texture shows on a sphere")
        # Line bonds take no texture: the scene is the same with and without the bond image.
        lines = self.picture("", radius=radius)
        lines_textured = self.picture("texture_bonds blue.bmp\n", expect=r"Texture blue\.bmp bound\.",
                                      radius=radius)
        self.assertGreater(difference(lines.crop(bond), plain.crop(bond))[1], 0.2, "line and solid bonds look alike")
        self.assertLess(difference(lines.crop(bond), lines_textured.crop(bond))[1], 0.005,
                        "the bond texture changed a line bond")
        self.assertLess(difference(lines, lines_textured)[1], 0.0005, "the bond texture changed a line-bond scene")


    def test_reload_loads_the_images_again_and_forgets_deleted_ones(self):
        folder = self.textured_scene("solid_bonds 3\ntexture checks.png\ntexture_bonds blue.bmp\n", radius=12)
        # The second configuration's sphere image is missing; its bond image is the first one's.
        write_file(folder, "second.cfg", TEXTURED_CONFIG.format(radius=12) +
                   "solid_bonds 3\ntexture nothere.png\ntexture_bonds blue.bmp\n")
        app = Ovalix(["pair.cfg"], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_line(r"Texture checks\.png bound\.")
        app.wait_for_line(r"Texture blue\.bmp bound\.")
        app.window("OvaLIX - pair.cfg")
        textured = app.settled_grab()
        # Reloading the same configuration deletes both textures and loads them again.
        app.key("L")
        app.wait_for_text("Please enter name of file with configuration information: ")
        app.send("pair.cfg\n")
        app.wait_for_line(r"Texture checks\.png bound\.")
        app.wait_for_line(r"Texture blue\.bmp bound\.")
        app.wait_for_line(r"Done\. Rendering\.")
        reloaded = app.settled_grab()
        self.assertLess(difference(textured, reloaded)[1], 0.001, "the reloaded textures look different")
        # Now the sphere image fails to load: the old sphere texture was deleted, so the spheres are plain.
        app.key("L")
        app.wait_for_text("Please enter name of file with configuration information: ")
        app.send("second.cfg\n")
        app.wait_for_line(r"ilLoadImage\(nothere\.png\) did not work\.")
        app.wait_for_line(r"Texture blue\.bmp bound\.")
        app.wait_for_line(r"Done\. Rendering\.")
        try:
            second = app.settled_grab(ready=lambda im: difference(im, reloaded)[1] > 0.002, timeout=10)
        except AssertionError:
            second = app.settled_grab()  # the window did not change: the checks below say what is wrong
        for box in self.sphere_boxes(second, 12):
            r, g, b = ImageStat.Stat(second.crop(box)).mean
            self.assertLess(abs(b - r) + abs(b - g), 15, "the spheres in %s are not plain grey" % (box,))
            lum = second.crop(box).convert("L")
            self.assertLess(sum(lum.histogram()[:30]) / (lum.size[0] * lum.size[1]), 0.05,
                            "the spheres in %s still show the checks" % (box,))


# ---- menu -----------------------------------------------------------------------------------------

def overlay_pixels(image, background=(51, 51, 102)):
    """Pixels off the background in the box of the time-step text (20 pixels from the left and the bottom)."""
    width, height = image.size
    box = image.crop((18, height - 36, 20 + 8 * 20, height - 16)).convert("RGB")
    return sum(1 for p in box.getdata() if max(abs(a - b) for a, b in zip(p, background)) > 30)


class Menu(ExportCase):
    def test_light_entries_print_the_light_mode(self):
        app = self.start(self.scene())
        app.settled_grab()
        choose(app, "Light", "Moving Light")
        app.wait_for_line(r"Rotating light")
        choose(app, "Light", "Stationary Light")
        app.wait_for_line(r"Stationary light")
        self.assertTrue(app.output.endswith("Done reading. Rendering.\nRotating light\nStationary light\n"),
                        app.output)

    def test_hide_and_show_timestep(self):
        app = self.start(self.scene())
        shown = app.settled_grab()
        self.assertGreater(overlay_pixels(shown), 40, "three frames: the overlay is on at start")
        choose(app, "Timestep", "Hide Timestep (t)")
        hidden = app.settled_grab(ready=lambda im: overlay_pixels(im) == 0, timeout=10)
        self.assertEqual(overlay_pixels(hidden), 0)
        # The entry sets rather than toggles: chosen again, the overlay stays hidden.
        choose(app, "Timestep", "Hide Timestep (t)")
        self.assertEqual(overlay_pixels(app.settled_grab()), 0)
        choose(app, "Timestep", "Show Timestep")
        self.assertGreater(overlay_pixels(app.settled_grab(ready=lambda im: overlay_pixels(im) > 0, timeout=10)), 40)

    def test_quit_says_bye(self):
        app = self.start(self.scene())
        app.settled_grab()
        choose(app, "Quit (Q)")
        app.wait_for_line(r"Bye\.")
        self.assertEqual(app.wait_for_exit(), 0)


if __name__ == "__main__":
    unittest.main()
