"""Keyboard and mouse in the real viewer: frame commands, go-to-frame prompt, animation, turning keys and drags,
zoom, pan and wheel, reload from another configuration, quit."""

import math
import re
import time
import unittest

import ovalix_window
from ovalix_window import require_display, start_viewer, temp_dir, window_title, write_file
from pixel_checks import (CENTRE, PIXELS_PER_UNIT, bbox_centre, close_colour, colour_at, count,
                          differs_from, dominant, region, rgb255, to_pixel, wait_for_view, wait_until_changed,
                          wait_until_restored)
from scene_files import Atom, Species, write_scene


def setUpModule():
    require_display()


NAME_PROMPT = "Please enter name of file with configuration information: "
SORRY = "I'm sorry Dave, I'm afraid I can't do that."


def quit_cleanly(test, app, key="Q"):
    app.key(key)
    app.wait_for_line(r"Bye\.")
    test.assertEqual(app.wait_for_exit(), 0)
    test.assertNotIn("runtime error", app.output)


def after_loading(app):
    """What the viewer printed after its start-up transcript."""
    return app.output.split("Done reading. Rendering.\n", 1)[1]


def scene_area(mask):
    """The middle of the window, without the time-step overlay in the lower-left corner."""
    return region(mask, CENTRE, 400, 250)


# ---- a trajectory whose frame number can be read off the window ----------------------------------------------
# Five flat discs in a row (a half radius of 1 towards the viewer, so each disc's middle looks straight at the eye
# and shows its species colour plainly); disc j is blue (species 2) in frame k when bit j of k is set, else red.
# The discs never move, so the frame centre stays put and the row sits at the same pixels in every frame.

FRAMES = 25                       # frames 0..24; 'N' and 'P' step by 25 / 10 = 2
LAST = FRAMES - 1
MARKERS = [-40, -20, 0, 20, 40]   # x of the discs; bits 0..4


def write_counting_scene(folder, name="frames", frames=FRAMES, markers=MARKERS, colours=((1, 0, 0), (0, 0, 1)),
                         background=(0, 0, 0)):
    species = [Species((6, 6, 1), colours[0]), Species((6, 6, 1), colours[1])]
    trajectory = [[Atom(1 + ((k >> j) & 1), (x, 0, 0)) for j, x in enumerate(markers)] for k in range(frames)]
    return write_scene(folder, name, species, trajectory, background)


def shown_frame(image, points, zero="r", one="b"):
    """The frame number that the discs at points spell, or None where a disc shows neither colour plainly."""
    index = {"r": 0, "g": 1, "b": 2}
    number = 0
    for bit, point in enumerate(points):
        colour = colour_at(image, point)
        lead = lambda c: colour[index[c]] - max(colour[i] for i in range(3) if i != index[c])
        if lead(one) > 80:
            number |= 1 << bit
        elif lead(zero) <= 80:
            return None
    return number


def wait_for_frame(app, expected, points=None, **colours):
    points = points or [to_pixel(x, 0) for x in MARKERS]

    def judge(image):
        shown = shown_frame(image, points, **colours)
        return shown == expected, "frame %s" % shown

    return wait_for_view(app, judge, "frame %d" % expected)


class FrameCommands(unittest.TestCase):
    def test_step_keys_show_the_right_frame_and_print_nothing(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_counting_scene(folder))
        wait_for_frame(app, 0)
        # Each group of keys ends in a frame that depends on every key of the group, so a key that should do
        # nothing ('p' on frame 0, 'n' on the last frame) is caught by the key after it.
        steps = [(["p", "n"], 1),      # 'p' on frame 0 does nothing
                 (["n"], 2),
                 (["p"], 1),
                 (["f"], LAST),
                 (["n", "p"], LAST - 1),  # 'n' on the last frame does nothing
                 (["N"], LAST),       # 23 + 2 is past the end: the last frame
                 (["P"], LAST - 2),
                 (["P"], LAST - 4),
                 (["r"], 0),
                 (["N"], 2),
                 (["n", "P"], 1),
                 (["P"], 0)]          # 1 - 2 is below 0: frame 0
        for keys, expected in steps:
            app.key(*keys)
            wait_for_frame(app, expected)
        self.assertEqual(after_loading(app), "", "frame keys print nothing")
        quit_cleanly(self, app)


class GoToFrame(unittest.TestCase):
    def ask(self, app, answer):
        app.key("G")
        app.wait_for_text("Go to frame: ")
        if answer is not None:
            app.send(answer)

    def test_answers_on_standard_input(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_counting_scene(folder))
        wait_for_frame(app, 0)
        expected = []

        def going(answer, frame, *lines):
            self.ask(app, answer)
            for line in lines:
                app.wait_for_line(re.escape(line))
            expected.append("Go to frame: " + "".join(line + "\n" for line in lines))
            if frame is not None:
                wait_for_frame(app, frame)

        going("5\n", 5, "Going to frame 5")
        # Refused answers change nothing: the next 'n' goes on from frame 5.
        going("abc\n", None, SORRY)
        app.key("n")
        wait_for_frame(app, 6)
        going("-3\n", None, SORRY)
        app.key("n")
        wait_for_frame(app, 7)
        going("999\n", LAST, "Only %d frames in this file." % LAST, "Going to frame %d" % LAST)
        going("12x\n", 12, "Going to frame 12")
        going("007\n", 7, "Going to frame 7")
        going("99999999999999999999\n", LAST, "Only %d frames in this file." % LAST, "Going to frame %d" % LAST)
        going("0\n", 0, "Going to frame 0")
        # Words far longer than any sensible number: a number stays too large, anything else is refused.
        going("3" + "1" * 4000 + "\n", LAST, "Only %d frames in this file." % LAST, "Going to frame %d" % LAST)
        going("x" * 4000 + "\n", None, SORRY)
        # Only one word is read; the rest of the line is the next answer.
        going("9 extra\n", 9, "Going to frame 9")
        going(None, None, SORRY)
        app.key("p")
        wait_for_frame(app, 8)
        self.assertEqual(after_loading(app), "".join(expected))
        quit_cleanly(self, app)


class Animation(unittest.TestCase):
    def test_space_animates_to_the_last_frame_and_frame_commands_stop_it(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_counting_scene(folder))
        wait_for_frame(app, 0)
        app.key("space")
        wait_for_frame(app, LAST)
        # At the last frame the animation goes on showing it; 'p' steps back and stops it, so frame 23 stays.
        app.key("p")
        wait_for_frame(app, LAST - 1)
        app.key("space")
        wait_for_frame(app, LAST)
        app.key("P")
        wait_for_frame(app, LAST - 2)
        # From the middle: the animation runs on to the end.
        app.key("G")
        app.wait_for_text("Go to frame: ")
        app.send("5\n")
        app.wait_for_line("Going to frame 5")
        wait_for_frame(app, 5)
        app.key("space")
        wait_for_frame(app, LAST)
        # A refused go-to-frame answer also stops the animation: 'p' then shows 23, and space starts it again.
        app.key("G")
        app.wait_for_text("Go to frame: ")
        app.send("abc\n")
        app.wait_for_line(re.escape(SORRY))
        app.key("p")
        wait_for_frame(app, LAST - 1)
        app.key("space")
        wait_for_frame(app, LAST)
        # Space toggles: a second press stops, and 'p' then shows 23 for good.
        app.key("space", "p")
        wait_for_frame(app, LAST - 1)
        quit_cleanly(self, app)

    def test_the_animation_runs_through_the_frames_until_stopped(self):
        # Long enough that the animation is still running many seconds later (a software renderer shows about
        # a hundred frames a second of this scene); the discs spell the frame number mod 32.
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_counting_scene(folder, "long", frames=20000))
        points = [to_pixel(x, 0) for x in MARKERS]
        wait_for_frame(app, 0)

        def frames_seen(seconds):
            seen, deadline = set(), time.monotonic() + seconds
            while time.monotonic() < deadline:
                seen.add(shown_frame(app.grab(), points))
            return seen - {None}

        self.assertEqual(frames_seen(0.5), {0}, "nothing moves before space")
        app.key("space")
        self.assertGreater(len(frames_seen(1.5)), 2, "the frames do not advance")
        # The go-to-frame prompt holds the program; a refused answer stops the animation where it was.
        app.key("G")
        app.wait_for_text("Go to frame: ")
        app.send("abc\n")
        app.wait_for_line(re.escape(SORRY))
        time.sleep(0.3)
        stopped = app.grab()
        self.assertEqual(len(frames_seen(1.5) | {shown_frame(stopped, points)}), 1, "the animation runs on")
        # Space starts it again, space stops it.
        app.key("space")
        self.assertGreater(len(frames_seen(1.5)), 2, "space does not restart the animation")
        app.key("space")
        time.sleep(0.3)
        self.assertEqual(len(frames_seen(1.5)), 1, "a second space does not stop the animation")
        quit_cleanly(self, app)


# ---- turning, pushing and panning -----------------------------------------------------------------------------
# A red disc 25 units in front of the frame centre, a blue one 25 units behind it (hidden at first), a green one
# 25 units to the right and a grey one to the left. Turning the scene moves the red disc (and shows the blue one),
# spinning it about the viewing axis moves the green one up or down, pushing it changes the green one's distance
# from the window centre.

class TurnScene:
    FRONT, BACK, RIGHT, LEFT = (0, 0, 25), (0, 0, -25), (25, 0, 0), (-25, 0, 0)

    @staticmethod
    def write(folder):
        species = [Species((5, 5, 1), (1, 0, 0)), Species((5, 5, 1), (0, 0, 1)), Species((5, 5, 1), (0, 1, 0)),
                   Species((5, 5, 1), (0.5, 0.5, 0.5))]
        atoms = [Atom(1, TurnScene.FRONT), Atom(2, TurnScene.BACK), Atom(3, TurnScene.RIGHT), Atom(4, TurnScene.LEFT)]
        return write_scene(folder, "turn", species, [atoms], (0, 0, 0))

    @staticmethod
    def centre(image, channel):
        return bbox_centre(scene_area(dominant(image, channel)))

    @staticmethod
    def shift(degrees, distance=25):
        """Pixels that a disc `distance` units in front of the centre moves when the scene turns by degrees."""
        a = math.radians(degrees)
        return distance * math.sin(a) * PIXELS_PER_UNIT * 200 / (200 - distance * math.cos(a))


def moved(channel, dx_range=None, dy_range=None, reference=None):
    """A judge: the disc of that colour sits displaced from its place in reference by amounts within the ranges."""
    x0, y0 = TurnScene.centre(reference, channel)

    def judge(image):
        c = TurnScene.centre(image, channel)
        if c is None:
            return False, "no %s disc" % channel
        dx, dy = c[0] - x0, c[1] - y0
        ok = ((dx_range is None or dx_range[0] <= dx <= dx_range[1]) and
              (dy_range is None or dy_range[0] <= dy <= dy_range[1]))
        return ok, "%s disc moved by (%.1f, %.1f) pixels" % (channel, dx, dy)
    return judge


class TurningKeys(unittest.TestCase):
    def test_each_key_turns_its_way_and_the_opposite_key_turns_back(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, TurnScene.write(folder))
        start_view = wait_for_view(app, lambda im: (TurnScene.centre(im, "g") is not None, "drawing"), "the scene")
        self.assertIsNone(TurnScene.centre(start_view, "b"), "the blue disc hides behind the red one")
        full = TurnScene.shift(20)   # 'd' and 'a' turn 4 degrees a press, the others 2: five or ten presses make 20
        band = (full - 6, full + 6)

        # 'd': the facing side turns to the right; the disc behind comes out on the left.
        app.key(*["d"] * 5)
        view = wait_for_view(app, moved("r", dx_range=band, dy_range=(-3, 3), reference=start_view), "'d' x 5")
        bx = TurnScene.centre(view, "b")
        self.assertIsNotNone(bx, "the blue disc stays hidden after turning")
        self.assertLess(bx[0], CENTRE[0] - 15)
        app.key(*["a"] * 5)
        wait_until_restored(app, start_view, "the view back after 'a' x 5")

        # 'a' alone turns the other way.
        app.key(*["a"] * 5)
        wait_for_view(app, moved("r", dx_range=(-band[1], -band[0]), dy_range=(-3, 3), reference=start_view), "'a' x 5")
        app.key(*["d"] * 5)
        wait_until_restored(app, start_view, "the view back after 'd' x 5")

        # 'w': the facing side turns upwards (window y shrinks); 's' turns it down.
        app.key(*["w"] * 10)
        wait_for_view(app, moved("r", dx_range=(-3, 3), dy_range=(-band[1], -band[0]), reference=start_view),
                      "'w' x 10")
        app.key(*["s"] * 20)
        wait_for_view(app, moved("r", dx_range=(-3, 3), dy_range=band, reference=start_view), "'s' x 20")
        app.key(*["w"] * 10)
        wait_until_restored(app, start_view, "the view back after 'w' x 10")

        # 'q' turns counter-clockwise on the screen: the green disc on the right rises; 'e' turns clockwise.
        rise = 25 * math.sin(math.radians(20)) * PIXELS_PER_UNIT
        app.key(*["q"] * 10)
        wait_for_view(app, moved("g", dy_range=(-rise - 5, -rise + 5), reference=start_view), "'q' x 10")
        self.assertTrue(app.running(), "'q' is not quit")
        app.key(*["e"] * 20)
        wait_for_view(app, moved("g", dy_range=(rise - 5, rise + 5), reference=start_view), "'e' x 20")
        app.key(*["q"] * 10)
        wait_until_restored(app, start_view, "the view back after 'q' x 10")
        self.assertEqual(after_loading(app), "")
        quit_cleanly(self, app)


class Dragging(unittest.TestCase):
    def test_drags_turn_spin_and_push_and_the_opposite_drag_restores(self):
        folder = temp_dir(self)
        app = start_viewer(self, folder, TurnScene.write(folder))
        start_view = wait_for_view(app, lambda im: (TurnScene.centre(im, "g") is not None, "drawing"), "the scene")
        full = TurnScene.shift(20)
        band = (full - 6, full + 6)
        here = (700, 450)

        # Plain drag, 20 pixels right: 20 degrees about the vertical, the facing side follows the pointer.
        app.drag(here, (here[0] + 20, here[1]))
        wait_for_view(app, moved("r", dx_range=band, dy_range=(-3, 3), reference=start_view), "a drag to the right")
        app.drag((here[0] + 20, here[1]), here)
        wait_until_restored(app, start_view, "the view back after the drag to the left")

        # 20 pixels down: the facing side turns down.
        app.drag(here, (here[0], here[1] + 20))
        wait_for_view(app, moved("r", dx_range=(-3, 3), dy_range=band, reference=start_view), "a drag downwards")
        app.drag((here[0], here[1] + 20), here)
        wait_until_restored(app, start_view, "the view back after the drag upwards")

        # Shift: spin about the viewing axis, clockwise when the pointer moves right (the green disc sinks).
        sink = 25 * math.sin(math.radians(20)) * PIXELS_PER_UNIT
        app.drag(here, (here[0] + 20, here[1]), modifiers=("shift",))
        wait_for_view(app, moved("g", dy_range=(sink - 5, sink + 5), reference=start_view), "a Shift drag")
        app.drag((here[0] + 20, here[1]), here, modifiers=("shift",))
        wait_until_restored(app, start_view, "the view back after the Shift drag back")

        # Ctrl: 20 pixels up bring the scene 20 units closer; the green disc moves out from the centre.
        gx = TurnScene.centre(start_view, "g")[0] - (CENTRE[0] - 0.5)
        closer = gx * 200 / 180 - gx
        app.drag(here, (here[0], here[1] - 20), modifiers=("ctrl",))
        wait_for_view(app, moved("g", dx_range=(closer - 3, closer + 3), dy_range=(-2, 2), reference=start_view),
                      "a Ctrl drag upwards")
        app.drag((here[0], here[1] - 20), here, modifiers=("ctrl",))
        wait_until_restored(app, start_view, "the view back after the Ctrl drag down")

        # The kind of drag is fixed when the button goes down: Shift pressed half way keeps it a turning drag.
        xdo = ovalix_window.xdotool
        xdo("mousemove", "--window", app.wid, *here)
        xdo("mousedown", 1)
        for k in range(1, 6):
            xdo("mousemove", "--window", app.wid, here[0] + 2 * k, here[1])
        xdo("keydown", "shift")
        for k in range(6, 11):
            xdo("mousemove", "--window", app.wid, here[0] + 2 * k, here[1])
        xdo("mouseup", 1)
        xdo("keyup", "shift")
        wait_for_view(app, moved("r", dx_range=band, dy_range=(-3, 3), reference=start_view),
                      "a turning drag with Shift pressed half way")
        self.assertEqual(after_loading(app), "")
        quit_cleanly(self, app)


class ZoomPanWheel(unittest.TestCase):
    def test_size_and_place_follow_the_keys_and_the_wheel(self):
        folder = temp_dir(self)
        config = write_scene(folder, "ball", [Species((8, 8, 8), (0.8, 0.8, 0.2))], [[Atom(1, (5, 5, 5))]], (0, 0, 0))
        app = start_viewer(self, folder, config)

        def area(image):
            return count(differs_from(image, (0, 0, 0)))

        start_view = wait_for_view(app, lambda im: (area(im) > 1000, "%d pixels drawn" % area(im)), "the ball")
        base = area(start_view)

        def sized(low, high):
            def judge(image):
                ratio = area(image) / base
                return low <= ratio <= high, "area %.3f times the first" % ratio
            return judge

        # 20 units closer: (200 / 180)^2 = 1.23 times the area; 20 units farther: (200 / 220)^2 = 0.83.
        bigger, smaller = (1.17, 1.30), (0.78, 0.88)
        app.key(*["plus"] * 10)
        wait_for_view(app, sized(*bigger), "'+' x 10")
        app.key(*["minus"] * 10)
        wait_until_restored(app, start_view, "the size back after '-' x 10")
        app.key(*["underscore"] * 10)
        wait_for_view(app, sized(*smaller), "'_' x 10")
        app.key(*["equal"] * 10)
        wait_until_restored(app, start_view, "the size back after '=' x 10")

        # Wheel: one step away from the user (button 5) brings the scene 2 units closer, towards (button 4) 2 farther.
        xdo = ovalix_window.xdotool
        xdo("mousemove", "--window", app.wid, 300, 300)
        xdo("click", "--repeat", 10, "--delay", 30, 5)
        wait_for_view(app, sized(*bigger), "ten wheel steps down")
        xdo("click", "--repeat", 20, "--delay", 30, 4)
        wait_for_view(app, sized(*smaller), "twenty wheel steps up")
        xdo("click", "--repeat", 10, "--delay", 30, 5)
        wait_until_restored(app, start_view, "the size back after ten wheel steps down")

        # Arrow keys pan by one unit a press.
        step = 10 * PIXELS_PER_UNIT
        x0, y0 = bbox_centre(differs_from(start_view, (0, 0, 0)))

        def placed(dx, dy):
            def judge(image):
                x, y = bbox_centre(differs_from(image, (0, 0, 0)))
                ok = abs(x - x0 - dx) <= 2.5 and abs(y - y0 - dy) <= 2.5
                return ok, "ball moved by (%.1f, %.1f)" % (x - x0, y - y0)
            return judge

        app.key(*["Right"] * 10)
        wait_for_view(app, placed(step, 0), "ten presses of Right")
        app.key(*["Up"] * 10)
        wait_for_view(app, placed(step, -step), "then ten of Up")
        app.key(*["Left"] * 10, *["Down"] * 10)
        wait_until_restored(app, start_view, "the ball back after Left and Down")
        self.assertEqual(after_loading(app), "")
        quit_cleanly(self, app)


class Reload(unittest.TestCase):
    SECOND_BACKGROUND = (1, 1, 1)
    SECOND_MARKERS = [-20, 20]

    def write_both(self):
        folder = temp_dir(self)
        first = write_counting_scene(folder, "first", frames=3)
        second = write_counting_scene(folder, "second", frames=4, markers=self.SECOND_MARKERS,
                                      colours=((0, 1, 0), (0, 0, 1)), background=self.SECOND_BACKGROUND)
        return folder, first, second

    def second_points(self, degrees):
        a = math.radians(degrees)
        return [to_pixel(x * math.cos(a), x * math.sin(a)) for x in self.SECOND_MARKERS]

    def check_second(self, app, degrees, before_prompt=""):
        self.assertEqual(window_title(app.window("Ovalix - second.cfg")), "Ovalix - second.cfg")
        points = self.second_points(degrees)
        image = wait_for_frame(app, 0, points, zero="g")
        white = rgb255(self.SECOND_BACKGROUND)
        for corner in [(2, 2), (1021, 2), (2, 637), (1021, 637)]:
            self.assertTrue(close_colour(colour_at(image, corner, 1), white, 3), "corner %s not white" % (corner,))
        self.assertEqual(count(scene_area(dominant(image, "r"))), 0, "the first configuration's red is gone")
        app.key("f")
        wait_for_frame(app, 3, points, zero="g")
        app.key("p")
        wait_for_frame(app, 2, points, zero="g")

    def test_L_reads_another_configuration_and_keeps_the_view(self):
        folder, first, second = self.write_both()
        app = start_viewer(self, folder, first)
        wait_for_frame(app, 0)
        app.key("n")
        wait_for_frame(app, 1)
        app.key(*["q"] * 10)   # turn 20 degrees counter-clockwise; the view survives the reload
        app.key("L")
        self.assertEqual(app.wait_for_text(NAME_PROMPT), "")
        app.send(second + "\n")
        app.wait_for_line(r"Input file second\.cfg is opened\.")
        app.wait_for_line(r"Config file read\.")
        app.wait_for_line(r"Infile second\.dump opened")
        app.wait_for_line(r"Number of atoms:      2")
        app.wait_for_line(r"Number of time steps: 4 \(0 - 3\)")
        app.wait_for_line(r"Done\. Rendering\.")
        self.assertTrue(app.output.endswith("Done. Rendering.\n"))
        self.check_second(app, 20)
        quit_cleanly(self, app)

    def test_L_after_G_takes_the_rest_of_the_answer_line_as_the_name(self):
        folder, first, second = self.write_both()
        app = start_viewer(self, folder, first)
        app.key("G")
        app.wait_for_text("Go to frame: ")
        app.send("2\n")
        app.wait_for_line("Going to frame 2")
        wait_for_frame(app, 2)
        # The line end after "2" is still unread: it is the (empty) name, so the reader asks again.
        app.key("L")
        app.wait_for_text(NAME_PROMPT)
        app.wait_for_line(r"The file  could not be found\.")
        app.wait_for_text("(Enter to exit) ")
        app.send(second + "\n")
        app.wait_for_line(r"Done\. Rendering\.")
        self.check_second(app, 0)
        quit_cleanly(self, app)

    def test_L_with_a_faulty_configuration_explains_it_and_ends_after_a_character(self):
        folder, first, _ = self.write_both()
        write_file(folder, "faulty.cfg", "dumpfile second.dump\nspecies 1\nradius 1 1 1 1\n")
        app = start_viewer(self, folder, first)
        wait_for_frame(app, 0)
        app.key("L")
        app.wait_for_text(NAME_PROMPT)
        app.send("faulty.cfg\n")
        app.wait_for_line(r"Wrong keyword at the entry 'radius 1 1 1 1'\.")
        app.wait_for_text("Press Enter to exit.")
        time.sleep(1.0)
        self.assertTrue(app.running(), "ended before a character was typed")
        self.assertTrue(app.output.endswith("Press Enter to exit."), app.output[-300:])
        app.send("x")
        self.assertEqual(app.wait_for_exit(), 0)


class Quit(unittest.TestCase):
    def run_until_quit(self, key):
        folder = temp_dir(self)
        app = start_viewer(self, folder, write_counting_scene(folder, frames=2))
        first = wait_for_frame(app, 0)
        app.key("q")
        wait_until_changed(app, first, "the row turned by 'q'", minimum=100)
        self.assertTrue(app.running())
        quit_cleanly(self, app, key)
        self.assertEqual(after_loading(app), "Bye.\n")

    def test_Q_says_bye_and_ends_with_status_zero(self):
        self.run_until_quit("Q")

    def test_escape_says_bye_and_ends_with_status_zero(self):
        self.run_until_quit("Escape")


if __name__ == "__main__":
    unittest.main()
