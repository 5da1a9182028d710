"""Abuse of the real viewer: thousands of seeded random keys, go-to-frame answers of every odd kind on standard
input, arrow, function and other special keys, drags with every modifier mask, wheel steps, menu picks and
reloads, on a dump trajectory and on a PDB trajectory. Run against a sanitized build (CTest runs every window test
against the ASan + UBSan build too), it shows that no input sequence crashes the viewer or trips a sanitizer.

What is judged: every console line after start-up is predicted in order (go-to-frame answers, light modes,
snapshot names, reloads with the readers' transcripts) and any other line fails the test, so a sanitizer report or
a fatal error cannot pass;
every few hundred keys the test waits until the viewer has answered everything sent so far, so a hung or dead
viewer is caught where it happens; at the end 'Q' must print "Bye." and end the process with status 0.

Reproducing a run: each run prints its seed; OVALIX_ABUSE_SEED=N replays the same input sequence, and
OVALIX_ABUSE_KEYS=N sets the number of random keys per trajectory (default 2500). Animation makes the frame shown
at a given moment depend on timing, so a replay repeats the inputs, not every intermediate picture.
"""

import os
import random
import re
import time
import unittest

import ovalix_window
from glut_menu import choose, menu_boxes
from ovalix_window import Ovalix, require_display, temp_dir, write_file

try:
    from PIL import Image
except ImportError:  # reported as skipped by setUpModule
    Image = None


def setUpModule():
    require_display()
    if Image is None:
        raise unittest.SkipTest("Python Imaging Library (PIL) is not installed")


# A fixed seed keeps every CI run the same; OVALIX_ABUSE_SEED=random draws a fresh one for exploring.
_seed_setting = os.environ.get("OVALIX_ABUSE_SEED", "20261207")
SEED = random.SystemRandom().randrange(1 << 31) if _seed_setting == "random" else int(_seed_setting)
KEYS_PER_RUN = int(os.environ.get("OVALIX_ABUSE_KEYS") or 2500)
BATCH = 250                 # random keys between two checks that the viewer has answered everything
ANSWER_TIMEOUT = 180.0      # seconds for a batch to be answered: sanitized builds with software GL are slow
INT_MAX = 2 ** 31 - 1
SORRY = "I'm sorry Dave, I'm afraid I can't do that."
NAME_PROMPT = "Please enter name of file with configuration information: "
WIDTH, HEIGHT = 1024, 640

# ---- the two trajectories, their configurations, bonds and texture images --------------------------------------

DUMP_CONFIG, PDB_CONFIG = "abuse_dump.cfg", "abuse_pdb.cfg"
FRAMES = {DUMP_CONFIG: 12, PDB_CONFIG: 6}   # 'N' and 'P' step by 1 in the dump, by 0 in the PDB trajectory


def dump_trajectory(frames):
    """Six particles of four species drifting and turning; one has the null quaternion, one sits far out."""
    out = []
    for k in range(frames):
        rows = [(1, -30 + k, 0, 0, 1, 0, 0, 0),
                (2, 30, 2 * k, 0, 0.7071, 0, 0.7071, 0),
                (3, 0, -20, 5 * k, 0.5, 0.5, 0.5, 0.5),
                (4, 10, 10, -10, 0, 0, 0, 0),
                (1, 0, 0, 0, 2.0, 0, 0, 1.0),
                (2, 400 - 30 * k, -300, 100, 1, 0, 0, 0)]
        out.append("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\n" % (k * 1000, len(rows)))
        out.append("ITEM: BOX BOUNDS pp pp pp\n-500 500\n-500 500\n-500 500\n")
        out.append("ITEM: ATOMS id type x y z quatw quati quatj quatk\n")
        for label, row in enumerate(rows, 1):
            out.append("%d %s\n" % (label, " ".join("%g" % v for v in row)))
    return "".join(out)


DUMP_CONFIG_TEXT = """# abuse test: four species, two bond origins each, textured ellipsoids and solid bonds
dumpfile abuse.dump
bondfile abuse_dump.bonds
species 4
half_radii 1 6 3 3
half_radii 2 4 4 4
half_radii 3 2 8 2
half_radii 4 5 5 1
color 1 0.9 0.2 0.2
color 2 0.2 0.9 0.2
color 3 0.2 0.2 0.9
color 4 0.8 0.8 0.1
bond_vector 1 1 6 0 0
bond_vector 2 1 0 4 0
bond_vector 3 1 0 8 0
bond_vector 4 1 0 0 1
bond_vector 1 2 -6 0 0
bond_vector 2 2 0 -4 0
bond_vector 3 2 0 -8 0
bond_vector 4 2 0 0 -1
background 0.1 0.1 0.2
solid_bonds 0.8
texture checks.png
texture_bonds stripes.bmp
"""
DUMP_BONDS = "Bonds\n\n1 1 1 2 1 2\n2 1 2 3 2 1\n3 1 3 4\n4 1 4 5 1.7 1.2\n5 1 5 6 0 2\n6 1 6 1 2 2\n"


def pdb_trajectory(frames):
    """Five particles per CRYST1-delimited step, each ATOM or HETATM with its ANISOU tensor; one tensor is zero."""
    elements = ["C", "N", "O", "S", "P"]
    tensors = [(2000, 1500, 1000, 100, -50, 20), (900, 900, 900, 0, 0, 0), (0, 0, 0, 0, 0, 0),
               (3000, 200, 200, 150, 0, -40), (100, -200, 300, 400, -500, 600)]
    lines = ["HEADER    ABUSE TEST", "REMARK   1 GENERATED"]
    for k in range(frames):
        lines.append("CRYST1   50.000   50.000   50.000  90.00  90.00  90.00 P 1           1")
        for i, (element, u) in enumerate(zip(elements, tensors), 1):
            record = "HETATM" if i == 4 else "ATOM  "
            name = " %-3s" % (element + "A")
            x, y, z = 3.0 * i + 0.5 * k, -2.0 * i, 1.5 * k - i
            lines.append("%s%5d %s LEU A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s  "
                         % (record, i, name, x, y, z, element))
            lines.append("ANISOU%5d %s LEU A   1  %7d%7d%7d%7d%7d%7d      %2s  "
                         % ((i, name) + tuple(int(v * (1 + 0.1 * k)) for v in u) + (element,)))
        lines.append("TER")
    lines.append("END")
    return "\n".join(lines) + "\n"


PDB_CONFIG_TEXT = """anisoufile abuse.pdb
bondfile abuse_pdb.bonds
background 0.9 0.9 0.9
solid_bonds 0.1
texture_bonds stripes.bmp
"""
PDB_BONDS = "Bonds\n\n1 1 1 2\n2 1 2 3\n3 1 3 4\n4 1 4 5\n5 1 5 1\n"


def write_inputs(folder):
    write_file(folder, "abuse.dump", dump_trajectory(FRAMES[DUMP_CONFIG]))
    write_file(folder, "abuse_dump.bonds", DUMP_BONDS)
    write_file(folder, DUMP_CONFIG, DUMP_CONFIG_TEXT)
    write_file(folder, "abuse.pdb", pdb_trajectory(FRAMES[PDB_CONFIG]))
    write_file(folder, "abuse_pdb.bonds", PDB_BONDS)
    write_file(folder, PDB_CONFIG, PDB_CONFIG_TEXT)
    checks = Image.new("RGB", (32, 32), (255, 255, 255))
    for y in range(0, 32, 8):
        for x in range(0, 32, 8):
            if (x // 8 + y // 8) % 2:
                checks.paste((0, 0, 0), (x, y, x + 8, y + 8))
    checks.save(os.path.join(folder, "checks.png"))
    stripes = Image.new("RGB", (16, 16), (0, 0, 200))
    stripes.paste((255, 255, 0), (0, 0, 16, 4))
    stripes.save(os.path.join(folder, "stripes.bmp"))


# ---- keys ------------------------------------------------------------------------------------------------------
# xdotool key names. Left out on purpose: 'Q' and Escape (they quit), 'G' and 'L' (they read standard input, so
# they are placed with their answers), Control with anything but a letter (Control+3 and Control+[ are Escape),
# Alt with anything but a lowercase letter (Alt+Shift+q is 'Q'), the lock keys (Caps Lock would turn 'q' into
# 'Q', and their state would outlive the test on the shared server), and key symbols missing from the server's
# keymap (xdotool remaps a key code for them, and a key pressed during the remapping can arrive as another key).
# "Help" is missing too: xdotool takes it for its own command of that name and cuts the key list there.
# 'o' too: ambient occlusion adds a quantity to the C cycle whose ranges depend on the frame.

MOVES = ["plus", "equal", "minus", "underscore", "d", "a", "w", "s", "q", "e"]
FRAME_KEYS = ["p", "n", "P", "N", "r", "f", "space"]
SWITCHES = ["g", "t"]
ENTER_KEYS = ["Return", "KP_Enter", "ctrl+m"]   # each writes a snapshot into the working directory
ARROWS = ["Left", "Right", "Up", "Down"]
SPECIAL = (["F%d" % n for n in range(1, 13)] +
           ["Prior", "Next", "Home", "End", "Insert", "KP_Left", "KP_Right", "KP_Up", "KP_Down", "KP_Home",
            "KP_End", "KP_Prior", "KP_Next", "KP_Begin", "KP_Insert", "KP_Delete", "Shift_L", "Shift_R",
            "Control_L", "Control_R", "Alt_L", "Alt_R", "Super_L", "Meta_L", "Hyper_L", "Menu", "Pause", "Print",
            "Undo", "Redo", "Find", "Cancel", "Break", "XF86AudioMute", "XF86Back"])
VIEW_COMMANDS = ["c", "z", "Z", "h", "alt+c", "alt+z", "alt+h"]  # orientation colours, fit, reset, help
OTHER_CHARACTERS = ([c for c in "bfjkmrtuvxy0123456789"] +
                    [c for c in "ABDEFHJKMNPRSUVXY"] +
                    ["exclam", "at", "numbersign", "dollar", "percent", "asciicircum", "ampersand", "asterisk",
                     "parenleft", "parenright", "bracketleft", "bracketright", "braceleft", "braceright",
                     "semicolon", "colon", "apostrophe", "quotedbl", "grave", "asciitilde", "backslash", "bar",
                     "less", "greater", "question", "comma", "period", "slash", "BackSpace", "Tab", "ISO_Left_Tab",
                     "Delete", "Linefeed", "KP_Add", "KP_Subtract", "KP_Multiply", "KP_Divide", "KP_Equal",
                     "brokenbar", "plusminus"] +
                    ["ctrl+%s" % c for c in "abcdefghijklnopqrstuvwxyz"] +
                    ["alt+%s" % c for c in "abdefgjkmnpqrstuvwxy"])
DETAIL_KEYS = ["l", "alt+l"]   # each toggles adaptive detail and says so
QUANTITY_KEYS = ["C"]          # cycles species colours and each per-particle quantity, and says which
RAYCAST_KEYS = ["i", "alt+i"]  # each toggles ray-cast ellipsoids and says so
CENTRE_KEYS = ["O"]            # toggles the centre fixed on frame 0's box and says so
PERIODIC_KEYS = ["I", "W", "T"]  # periodic images, wrapping, transparency (none configured): each says so

KEY_GROUPS = [(MOVES, 30), (FRAME_KEYS, 12), (SWITCHES, 4), (ARROWS, 14), (SPECIAL, 10), (OTHER_CHARACTERS, 25),
              (ENTER_KEYS, 1.2), (["G"], 3.5), (["L"], 0.3), (VIEW_COMMANDS, 1.5),
              (DETAIL_KEYS, 1), (QUANTITY_KEYS, 1), (RAYCAST_KEYS, 1), (CENTRE_KEYS, 1), (PERIODIC_KEYS, 1)]

# What 'h' prints: each heading, then one indented line per key, mouse action or menu entry. The lines themselves
# are read from the viewer at the start of each run (AbuseRun.learn_help).
HELP_HEADINGS = ["Keys:", "Mouse and special keys:", "Menu:"]

# In orientation colours every frame drawn after a frame change prints its order parameter; which frames are
# drawn depends on timing, so these lines are checked for their form only and left out of the prediction.
ORDER_LINE = re.compile(r"Time step \d+: (order parameter S = \d\.\d{4}, director \((-?[01]\.\d{4}(, |\))){3}"
                        r", (smectic tau [01]\.\d{4} at layer spacing [0-9.e+]+|no smectic order)"
                        r"|no order parameter, the frame has no non-spherical particle\.)")


# A click of the left button picks the atom under the pointer, which depends on the view: its lines are checked
# for their form only, like the order lines.
PICK_LINE = re.compile(r"Atom \d+ \(label \d+, species \d+\): position \(.*\), orientation \(.*\), half radii \(.*\)"
                       r"|Distance between atoms \d+ and \d+: \d+\.\d{4}(, minimum image \d+\.\d{4})?\."
                       r"|Angle \d+-\d+-\d+: (\d+\.\d{2}|nan) degrees\."
                       r"|Angle between the unique axes of atoms \d+ and \d+: \d+\.\d{2} degrees\.|Picks cleared\.")
# The slab line's normal follows the view, which the random moves have turned.
SLAB_LINE = r"Slab cut on: normal \(\S+, \S+, \S+\), centre offset \S+, width \S+\."
SLAB_KEYS = {"bracketleft", "bracketright", "braceleft", "braceright"}
SPECIES = {DUMP_CONFIG: 4, PDB_CONFIG: 5}
# The per-particle quantities of each trajectory: the dump names none; every PDB particle has occupancy 1.00 and
# B-factor 0.00, so each is one value throughout (the frame named in its second line depends on timing).
QUANTITIES = {DUMP_CONFIG: [], PDB_CONFIG: [("occupancy", "1"), ("B-factor", "0")]}


def random_key(rng):
    keys = rng.choices([group for group, _ in KEY_GROUPS], [weight for _, weight in KEY_GROUPS])[0]
    return rng.choice(keys)


# ---- go-to-frame answers ---------------------------------------------------------------------------------------
# Each answer is exactly one word, so that every 'G' takes its own. The outcome never depends on where the viewer
# cuts an overlong word: a long word of digits is too large at any cut, other long words start with a non-digit or
# with the number they stand for.

WORDS = [b"0", b"1", b"2", b"5", b"11", b"2147483647", b"2147483648", b"4294967296", b"18446744073709551616",
         b"9" * 40, b"12x", b"5abc", b"007", b"3.7", b"1e3", b"0x10", b"12-3", b"4,5", b"-1", b"-0", b"-2147483648",
         b"-99999999999", b"+5", b"+", b"-", b"abc", b"nan", b"inf", b"frame", b"Q", b"L", b"G", b"n",
         b"7" * 10000, b"1" + b"0" * 9999, b"x" * 10000, b"-" + b"9" * 10000, b"0" * 10000, b"3" + b"x" * 10000,
         "\u00e9".encode(), "\u0663".encode(), "\uff13".encode(), "\U0001f4a5".encode(), b"\xff\xfe", b"\x80",
         b"\x00", b"\x00" + b"5", b"\x7f", b"\x01\x02", b"\x1b[A", b"1\xc3\xa9", b"2\xff", b"%n%s", b"';DROP--"]
BEFORE = [b"", b"", b"", b"\n", b"\n\n\n", b"   ", b"\t", b" \n \n\t", b"\r\n", b"\x0b\x0c", b"\n" * 50]
AFTER = [b"\n", b"\n", b"\n", b"\r\n", b" \n", b"\t\n", b"   \n"]


def goto_answer(rng):
    if rng.random() < 0.3:
        word = str(rng.randrange(14)).encode()
    else:
        word = rng.choice(WORDS)
    answer = rng.choice(BEFORE) + word + rng.choice(AFTER)
    assert len(answer.split()) == 1
    return answer


def goto_lines(answer, frames):
    """The console lines that 'G' prints for an answer; the first follows the prompt on its line."""
    word = answer.split()[0]
    if not 0x30 <= word[0] <= 0x39:
        return ["Go to frame: " + SORRY]
    digits = re.match(rb"[0-9]+", word).group().lstrip(b"0") or b"0"
    n = INT_MAX if len(digits) > 10 else min(int(digits), INT_MAX)
    last = frames - 1
    if n > last:
        return ["Go to frame: Only %d frames in this file." % last, "Going to frame %d" % last]
    return ["Go to frame: Going to frame %d" % n]


# ---- the console -----------------------------------------------------------------------------------------------
# Every line after the start-up transcript is predicted, in order: the texture lines that follow start-up, the
# go-to-frame answers, the light modes, the snapshot names and the reloads with the readers' transcripts.

LOADED_TEXTURES = {DUMP_CONFIG: ["Texture checks.png bound.", "Texture stripes.bmp bound."],
                   PDB_CONFIG: ["Texture stripes.bmp bound."]}
# What a reload prints after "Input file NAME is opened.", which ends the line of the name prompt.
RELOAD_TRANSCRIPT = {
    DUMP_CONFIG: ["Dump File: abuse.dump", "Bond File: abuse_dump.bonds", "The number of species is 4",
                  "Config file read."] + LOADED_TEXTURES[DUMP_CONFIG] +
                 ["Infile abuse.dump opened", "Reading...", "Number of atoms:      6",
                  "Number of time steps: 12 (0 - 11)", "Bond information file abuse_dump.bonds is opened.",
                  "Number of bonds:      6", "Done. Rendering."],
    PDB_CONFIG: ["ANISOU File: abuse.pdb", "Bond File: abuse_pdb.bonds", "No texture will be used for the species.",
                 "Config file read."] + LOADED_TEXTURES[PDB_CONFIG] +
                ["Infile open", "Number of atoms:      5", "Number of time steps: 6 (0 - 5)",
                 "Bond information file abuse_pdb.bonds is opened.", "Number of bonds:      5", "Done. Rendering."]}


def console_lines(output):
    """The whole lines printed after the start-up transcript (a prompt still waiting for its line end is left out)."""
    marker = "Done reading. Rendering.\n"
    at = output.find(marker)
    return [] if at < 0 else output[at + len(marker):].split("\n")[:-1]


FAILURE_WORDS = ("runtime error", "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "SUMMARY:",
                 "ERROR:", "Press Enter")


# ---- one run ---------------------------------------------------------------------------------------------------

class AbuseRun:
    """Drives one viewer with random inputs while predicting its console."""

    def __init__(self, test, folder, config, rng):
        self.test, self.folder, self.rng = test, folder, rng
        self.config = config          # the configuration loaded now
        self.adaptive = False         # adaptive detail: neither configuration switches it on
        self.raycast = False          # ray-cast ellipsoids: neither configuration switches them on
        self.leftover = None          # the rest of the last go-to-frame answer line, still unread on standard input
        self.format = "jpg"
        self.colouring = False        # orientation colours are on
        self.box = False              # the simulation box is shown
        self.fixed_centre = False     # every frame is centred on frame 0's box centre
        self.images = self.wrap = False  # periodic images are drawn; positions are wrapped into the box
        self.slab = False             # the slab cut is on
        self.hidden = set()           # species switched off
        self.quantity = -1            # the quantity colouring by (index into QUANTITIES), -1 for none
        self.snapshots = []           # names of the snapshots written, in order
        self.expected = []            # predicted event lines, in order: (what is shown in a report, regex)
        self.log = []                 # what was done, for the failure report
        self.keys_sent = 0
        self.gotos = 0
        self.reloads = 0
        self.sequences = 0
        env = {"UBSAN_OPTIONS": "print_stacktrace=1:" + os.environ.get("UBSAN_OPTIONS", "")}
        self.log.append("started with %s" % config)
        self.app = Ovalix([config], cwd=folder, env=env)
        test.addCleanup(self.app.finish)
        self.app.wait_for_line(r"Done reading\. Rendering\.", timeout=ANSWER_TIMEOUT)
        self.app.window("OvaLIX - " + config, timeout=ANSWER_TIMEOUT)
        for line in LOADED_TEXTURES[config]:
            self.expect(line)
        self.help_lines = self.learn_help()

    def learn_help(self):
        """What 'h' prints, read once from the viewer itself; every later 'h' must print exactly that."""
        self.app.focus()
        self.xdotool("key", "--delay", 50, "h", "l", "l")  # the two detail lines mark the end of the list
        self.app.wait_for_line(r"Adaptive detail off\.", timeout=ANSWER_TIMEOUT)
        found = [line for line in console_lines(self.app.output) if not ORDER_LINE.fullmatch(line)]
        block = found[len(self.expected):-2]
        headings = [line for line in block if not line.startswith("  ")]
        self.test.assertEqual(headings, HELP_HEADINGS, "the help list: %s" % block)
        for heading, following in zip(HELP_HEADINGS, HELP_HEADINGS[1:] + [None]):
            start, end = block.index(heading) + 1, block.index(following) if following else len(block)
            self.test.assertGreater(end, start, "no line under %r" % heading)
            for line in block[start:end]:
                self.test.assertRegex(line, r"^  \S.*\S$")
        for line in block + ["Adaptive detail on.", "Adaptive detail off."]:
            self.expect(line)
        self.keys_sent += 3
        return block

    # -- predictions --

    def expect(self, line, pattern=None):
        self.expected.append((line, re.compile(pattern or re.escape(line))))

    def press_goto(self, answer):
        self.app.process.stdin.write(answer)
        self.app.process.stdin.flush()
        for line in goto_lines(answer, FRAMES[self.config]):
            self.expect(line)
        word = answer.split()[0]
        self.leftover = answer[answer.index(word) + len(word):].split(b"\n")[0].decode()
        self.gotos += 1
        return "G%r" % (answer if len(answer) < 60 else answer[:30] + b"..." + answer[-10:])

    def press_reload(self, config):
        # After a go-to-frame answer the rest of its line is the name first: it names no file, so the viewer
        # asks again and reads the next line.
        self.app.send(config + "\n")
        opened = "Input file %s is opened." % config
        if self.leftover is None:
            self.expect(NAME_PROMPT + opened)
        else:
            self.expect(NAME_PROMPT + "The file %s could not be found." % self.leftover)
            self.expect("Please supply a configuration filed named containing")
            self.expect("information on half radii, bond vectors and colours:  (Enter to exit) " + opened)
        for line in RELOAD_TRANSCRIPT[config]:
            self.expect(line)
        self.reloads += 1
        shown = "L%r" % ((" after the unread %r " % self.leftover if self.leftover is not None else "") + config)
        self.leftover = None
        self.config = config
        self.adaptive = False
        self.box, self.slab, self.hidden = False, False, set()  # a configuration read switches them off
        self.fixed_centre = False
        self.images = self.wrap = False
        self.quantity = -1  # a configuration without colour_by colours by species
        self.raycast = False
        return shown

    def cycle_quantity(self):
        names = QUANTITIES[self.config]
        if not names:
            trajectory = {DUMP_CONFIG: "abuse.dump", PDB_CONFIG: "abuse.pdb"}[self.config]
            self.expect("Colouring by species: %s gives no per-particle quantity to colour by." % trajectory)
            return
        self.quantity = 0 if self.colouring else self.quantity + 1
        if self.quantity >= len(names):
            self.quantity = -1
            self.expect("Colouring by species.")
            return
        self.colouring = False
        name, value = names[self.quantity]
        self.expect("Colouring by %s (%s to %s)." % (name, value, value))
        self.expect("%s is %s for every atom of frame <frame>: every atom takes one colour." % (name, value),
                    r"%s is %s for every atom of frame \d+: every atom takes one colour\." % (re.escape(name), value))

    def snapshot(self):
        pattern = r"Screen_%04d_\d{4,}\.%s" % (len(self.snapshots), self.format)
        self.snapshots.append(re.compile(pattern))
        self.expect("Success! File Screen_%04d_<frame>.%s has been written." % (len(self.snapshots) - 1, self.format),
                    r"Success! File %s has been written\." % pattern)

    # -- inputs --

    def xdotool(self, *args):
        return ovalix_window.xdotool(*args, timeout=120)

    def key_batch(self, count):
        keys, shown = [], []
        for _ in range(count):
            key = random_key(self.rng)
            if key == "G":
                shown.append(self.press_goto(goto_answer(self.rng)))
            elif key == "L":
                shown.append(self.press_reload(self.rng.choice([DUMP_CONFIG, PDB_CONFIG])))
            else:
                shown.append(key)
                if key in ENTER_KEYS:
                    self.snapshot()
                elif key in ("c", "alt+c"):
                    self.colouring = not self.colouring
                    if self.colouring:
                        self.quantity = -1
                    self.expect("Colouring by orientation." if self.colouring else "Colouring by species.")
                elif key in QUANTITY_KEYS:
                    self.cycle_quantity()
                elif key in ("h", "alt+h"):
                    for line in self.help_lines:
                        self.expect(line)
                elif key in DETAIL_KEYS:
                    self.adaptive = not self.adaptive
                    self.expect("Adaptive detail %s." % ("on" if self.adaptive else "off"))
                elif key in ("b", "alt+b"):
                    self.box = not self.box
                    self.expect("Simulation box %s." % ("shown" if self.box else "hidden"))
                elif key in ("x", "alt+x"):
                    self.slab = not self.slab
                    self.expect("<slab line>", SLAB_LINE) if self.slab else self.expect("Slab cut off.")
                elif key in SLAB_KEYS:
                    self.expect("<slab line>", SLAB_LINE) if self.slab else self.expect("Slab cut is off: x switches it on.")
                elif key == "0":
                    self.hidden.clear()
                    self.expect("All species shown.")
                elif key in "123456789" and len(key) == 1:
                    n = int(key)
                    if n > SPECIES[self.config]:
                        self.expect("There is no species %d." % n)
                    else:
                        self.hidden ^= {n}
                        self.expect("Species %d %s." % (n, "hidden" if n in self.hidden else "shown"))
                elif key in RAYCAST_KEYS:
                    self.raycast = not self.raycast
                    self.expect("Ray-cast ellipsoids %s." % ("on" if self.raycast else "off"))
                elif key in CENTRE_KEYS:  # both trajectories give a box
                    self.fixed_centre = not self.fixed_centre
                    self.expect("Fixed centre on: every frame is centred on the box centre of frame 0."
                                if self.fixed_centre else "Fixed centre off: each frame is centred on its mean position.")
                elif key == "I":
                    self.images = not self.images
                    self.expect("<images line>", r"Periodic images on: 3x3x[13]\.") if self.images else \
                        self.expect("Periodic images off.")
                elif key == "W":
                    self.wrap = not self.wrap
                    self.expect("Positions wrapped into the box." if self.wrap else "Positions as the file gives them.")
                elif key == "T":
                    self.expect("No transparency is configured (transparency SPECIES OPACITY in the configuration).")
                if key == "V":  # saves the view next to the trajectory and says so
                    self.expect("View written to %s.view." % {DUMP_CONFIG: "abuse.dump", PDB_CONFIG: "abuse.pdb"}[self.config])
            keys.append(key)
        # The batch ends with a go-to-frame whose answer shows that the viewer has worked through all of it.
        shown.append(self.press_goto(("%d\n" % self.rng.randrange(FRAMES[self.config])).encode()))
        keys.append("G")
        self.log.append("keys (G and L with their answers): " + " ".join(shown))
        self.app.focus()
        self.xdotool("key", "--delay", 4, *keys)
        self.keys_sent += len(keys)

    def drags(self, count):
        wid = self.app.wid
        masks = [(), ("shift",), ("ctrl",), ("alt",), ("shift", "ctrl"), ("shift", "alt"), ("ctrl", "alt"),
                 ("shift", "ctrl", "alt"), ("super",)]
        for _ in range(count):
            modifiers = self.rng.choice(masks)
            button = self.rng.choice([1, 1, 1, 2])
            # The window sits in the top-left corner of the screen; points right of it and below it are outside,
            # where GLUT goes on reporting the drag.
            points = [(self.rng.randrange(WIDTH + 250), self.rng.randrange(HEIGHT + 380))
                      for _ in range(self.rng.randrange(2, 14))]
            args = ["mousemove", "--window", wid, self.rng.randrange(WIDTH), self.rng.randrange(HEIGHT)]
            for modifier in modifiers:
                args += ["keydown", modifier]
            args += ["mousedown", button]
            # Half way a modifier may go down (the kind of drag must not change) or a special key may come; no
            # character key, which the modifiers held could turn into 'Q'.
            late = self.rng.choice([None, None, "shift", "ctrl"])
            between = self.rng.choice([None, None] + ARROWS + ["F5", "Prior"])
            for step, (x, y) in enumerate(points):
                if step == len(points) // 2:
                    args += ["keydown", late] if late else []
                    args += ["key", between] if between else []
                args += ["mousemove", "--window", wid, x, y]
            args += ["mouseup", button]
            if late:
                args += ["keyup", late]
            for modifier in reversed(modifiers):
                args += ["keyup", modifier]
            self.log.append("drag: " + " ".join(map(str, args)).replace("--window %s " % wid, ""))
            self.xdotool(*args)

    def wheel_and_clicks(self):
        args = ["mousemove", "--window", self.app.wid, self.rng.randrange(WIDTH), self.rng.randrange(HEIGHT)]
        for _ in range(self.rng.randrange(1, 5)):
            args += ["click", "--repeat", self.rng.randrange(1, 25), "--delay", 3, self.rng.choice([4, 5, 4, 5, 6, 7])]
        args += ["click", self.rng.choice([1, 2, 8, 9])]
        self.log.append("wheel: " + " ".join(map(str, args)).replace("--window %s " % self.app.wid, ""))
        self.xdotool(*args)

    def menu_pick(self, labels=None):
        choices = [("Light", "Stationary Light"), ("Light", "Moving Light"), ("Print", "Print Images"),
                   ("Print", "Do Not Print Images"), ("Print", "Print This Screen (Enter)"), ("File format", "JPG"),
                   ("File format", "PNG"), ("File format", "BMP"), ("Timestep", "Hide Timestep (t)"),
                   ("Timestep", "Show Timestep")]
        labels = labels or self.rng.choice(choices)
        at = (self.rng.randrange(10, 900), self.rng.randrange(10, 480))
        self.log.append("menu %s at %s" % (" / ".join(labels), at))
        choose(self.app, *labels, at=at)
        if labels[1] == "Stationary Light":
            self.expect("Stationary light")
        elif labels[1] == "Moving Light":
            self.expect("Rotating light")
        elif labels[1] == "Print This Screen (Enter)":
            self.snapshot()
        elif labels[1] == "Print Images":
            trajectory = {DUMP_CONFIG: "abuse.dump", PDB_CONFIG: "abuse.pdb"}[self.config]
            self.expect("Printing every animated frame as %s_NNNN.%s." % (trajectory, self.format))
        elif labels[1] == "Do Not Print Images":
            self.expect("Stopped printing frames.")
        elif labels[0] == "File format":
            self.format = labels[1].lower()

    def sequence_export(self):
        """Printing on, then 'r' and space: the animation writes an image of every frame next to the trajectory."""
        trajectory = {DUMP_CONFIG: "abuse.dump", PDB_CONFIG: "abuse.pdb"}[self.config]
        names = ["%s_%04d.%s" % (trajectory, k, self.format) for k in range(FRAMES[self.config])]
        for name in names:
            if os.path.exists(os.path.join(self.folder, name)):
                os.remove(os.path.join(self.folder, name))
        self.menu_pick(("Print", "Print Images"))
        self.log.append("keys: r space, for a sequence of %s" % " ".join(names))
        self.app.focus()
        self.xdotool("key", "r", "space")
        deadline = time.monotonic() + ANSWER_TIMEOUT
        while not all(os.path.exists(os.path.join(self.folder, name)) for name in names):
            self.check_output()
            if not self.app.running():
                self.test.fail(self.report("ovalix ended with status %s" % self.app.process.poll()))
            if time.monotonic() > deadline:
                missing = [name for name in names if not os.path.exists(os.path.join(self.folder, name))]
                self.test.fail(self.report("sequence images missing: %s" % missing))
            time.sleep(0.1)
        self.sequences += 1

    # -- judging --

    def report(self, problem):
        recent = "\n  ".join(entry if len(entry) < 2000 else entry[:2000] + "..." for entry in self.log[-12:])
        return ("%s\nseed %d (OVALIX_ABUSE_SEED=%d replays it), %d keys sent, %s\nlast inputs:\n  %s\n"
                "output (last 4000 characters):\n%s"
                % (problem, SEED, SEED, self.keys_sent, self.log[0], recent, self.output_tail()))

    def output_tail(self):
        return self.app.output[-4000:]

    def check_output(self):
        for word in FAILURE_WORDS:
            if word in self.app.output:
                self.test.fail(self.report("%r in the output" % word))

    def wait_for_answers(self):
        """Waits until the viewer has printed every predicted line so far, and nothing else."""
        deadline = time.monotonic() + ANSWER_TIMEOUT
        while True:
            self.check_output()
            found = [line for line in console_lines(self.app.output) if not ORDER_LINE.fullmatch(line) and not PICK_LINE.fullmatch(line)]
            for number, line in enumerate(found):
                if number >= len(self.expected) or not self.expected[number][1].fullmatch(line):
                    self.test.fail(self.report("predicted console line %d is %r, expected %r" % (
                        number, line, self.expected[number][0] if number < len(self.expected) else None)))
            if len(found) == len(self.expected):
                return
            if not self.app.running():
                self.test.fail(self.report("ovalix ended with status %s" % self.app.process.poll()))
            if time.monotonic() > deadline:
                self.test.fail(self.report("no answer within %.0f s: %d of %d predicted lines seen, next %r"
                                           % (ANSWER_TIMEOUT, len(found), len(self.expected),
                                              self.expected[len(found)][0])))
            time.sleep(0.05)

    def release_everything(self):
        """Lets go of every modifier and button, whatever happened, so that later keys mean what they say."""
        ovalix_window.xdotool("keyup", "shift", "ctrl", "alt", "super", check=False)
        for button in (1, 2):
            ovalix_window.xdotool("mouseup", button, check=False)

    def run(self, keys):
        self.test.addCleanup(self.release_everything)
        export_round, rounds = self.rng.randrange(max(1, keys // BATCH)), 0
        while self.keys_sent < keys:
            self.key_batch(min(BATCH, keys - self.keys_sent))
            self.wait_for_answers()
            if rounds == export_round:
                self.sequence_export()
            rounds += 1
            for _ in range(self.rng.randrange(0, 3)):
                self.menu_pick()
            self.drags(self.rng.randrange(1, 5))
            self.wheel_and_clicks()
        self.key_batch(self.rng.randrange(20, 60))
        self.wait_for_answers()
        self.app.focus()
        self.xdotool("key", "Q")
        self.expect("Bye.")
        try:
            status = self.app.wait_for_exit(ANSWER_TIMEOUT)
        except AssertionError:
            self.test.fail(self.report("'Q' did not end the viewer"))
        self.check_output()
        self.wait_for_answers()
        self.test.assertEqual(status, 0, self.report("exit status %s after 'Q'" % status))
        self.test.assertEqual(menu_boxes(), [], "a menu window outlived the viewer")

    def check_snapshots(self):
        """Every snapshot announced is an image of the window's size in the working directory."""
        written = sorted(name for name in os.listdir(self.folder) if name.startswith("Screen_"))
        self.test.assertEqual(len(written), len(self.snapshots), self.report("snapshot files: %s" % written))
        for name, pattern in zip(written, self.snapshots):
            self.test.assertTrue(pattern.fullmatch(name), "%s is not %s" % (name, pattern.pattern))
            with Image.open(os.path.join(self.folder, name)) as image:
                self.test.assertEqual(image.size, (WIDTH, HEIGHT), name)


class Abuse(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        print("abuse seed %d (OVALIX_ABUSE_SEED=%d replays it), %d random keys per trajectory"
              % (SEED, SEED, KEYS_PER_RUN), flush=True)

    def abuse(self, config, salt):
        folder = temp_dir(self)
        write_inputs(folder)
        rng = random.Random("%d %s" % (SEED, salt))
        started = time.monotonic()
        run = AbuseRun(self, folder, config, rng)
        run.run(KEYS_PER_RUN)
        run.check_snapshots()
        sequence = [name for name in os.listdir(folder) if re.fullmatch(r"abuse\.(dump|pdb)_\d+\.(jpg|png|bmp)", name)]
        print("%s: %d keys, %d go-to-frame answers, %d reloads, %d snapshots, %d sequence exports, "
              "%d sequence images, %.0f s" % (config, run.keys_sent, run.gotos, run.reloads, len(run.snapshots),
                                              run.sequences, len(sequence), time.monotonic() - started), flush=True)

    def test_random_inputs_on_a_dump_trajectory(self):
        self.abuse(DUMP_CONFIG, "dump")

    def test_random_inputs_on_a_pdb_trajectory(self):
        self.abuse(PDB_CONFIG, "pdb")


if __name__ == "__main__":
    unittest.main()
