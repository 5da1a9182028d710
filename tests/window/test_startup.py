"""Start-up and shutdown of the real viewer: title, name prompt, console transcript, window close, fatal errors."""

import os
import time
import unittest

from ovalix_window import EXAMPLES, Ovalix, find_windows, require_display, temp_dir, window_title, write_file


def setUpModule():
    require_display()
    if not os.path.isfile(os.path.join(EXAMPLES, "chain.cfg")):
        raise unittest.SkipTest("bundled example not found in %r" % EXAMPLES)


NAME_PROMPT = "Please enter name of file with configuration information: "

EXAMPLE_TRANSCRIPT = """Input file chain.cfg is opened.
Dump File: chain.dump
Bond File: chain.bonds
The number of species is 2
No texture will be used for the species.
Config file read.
Infile chain.dump opened
Reading...
Number of atoms:      120
Number of time steps: 31 (0 - 30)
Orientation from the columns c_q[1] c_q[2] c_q[3] c_q[4].
Bond information file chain.bonds is opened.
Number of bonds:      108
Done reading. Rendering.
"""

RETRY_PROMPT = ("Please supply a configuration filed named containing\n"
                "information on half radii, bond vectors and colours:  (Enter to exit) ")


class Title(unittest.TestCase):
    def test_title_is_prefix_and_the_argument(self):
        with Ovalix(["chain.cfg"]) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            wid = app.window("OvaLIX - chain.cfg")
            self.assertEqual(window_title(wid), "OvaLIX - chain.cfg")
            self.assertNotIn(NAME_PROMPT, app.output)

    def test_argument_is_shown_as_given(self):
        with Ovalix(["./chain.cfg"]) as app:
            app.wait_for_line(r"Input file \./chain\.cfg is opened\.")
            wid = app.window("OvaLIX - ./chain.cfg")
            self.assertEqual(window_title(wid), "OvaLIX - ./chain.cfg")


class NamePrompt(unittest.TestCase):
    def answer_prompt(self, args):
        with Ovalix(args) as app:
            before = app.wait_for_text(NAME_PROMPT)
            self.assertEqual(before, "", "the prompt is the first thing printed")
            self.assertTrue(app.running())
            self.assertEqual(find_windows("OvaLIX - chain.cfg"), [], "no window before the name is given")
            app.send("chain.cfg\n")
            app.wait_for_line(r"Input file chain\.cfg is opened\.")
            app.wait_for_line(r"Done reading\. Rendering\.")
            wid = app.window("OvaLIX - chain.cfg")
            self.assertEqual(window_title(wid), "OvaLIX - chain.cfg")
            self.assertEqual(app.output, NAME_PROMPT + EXAMPLE_TRANSCRIPT)

    def test_prompt_without_argument(self):
        self.answer_prompt([])

    def test_prompt_with_two_arguments(self):
        self.answer_prompt(["chain.cfg", "chain.cfg"])

    def test_end_of_input_at_the_prompt_ends_quietly(self):
        with Ovalix([]) as app:
            app.wait_for_text(NAME_PROMPT)
            app.close_stdin()
            app.wait_for_text("(Enter to exit) ")
            self.assertEqual(app.wait_for_exit(), 0)
            self.assertNotIn("Press Enter to exit.", app.output)


class ExampleStartup(unittest.TestCase):
    def test_console_transcript(self):
        with Ovalix(["chain.cfg"]) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - chain.cfg")
            self.assertEqual(app.output, EXAMPLE_TRANSCRIPT)

    def test_example_is_drawn_on_its_background(self):
        # chain.cfg asks for a white background; the chains must show on it.
        with Ovalix(["chain.cfg"]) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - chain.cfg")
            image = app.settled_grab()
            width, height = image.size
            self.assertEqual((width, height), (1024, 640))
            for corner in [(2, 2), (width - 3, 2), (2, height - 3), (width - 3, height - 3)]:
                self.assertTrue(all(c >= 250 for c in image.getpixel(corner)),
                                "corner %s is %s, not the white background" % (corner, image.getpixel(corner)))
            # Species 1 is drawn red, species 2 blue; the scene is centred on the mean particle position.
            red, blue = [], []
            for i, (r, g, b) in enumerate(image.getdata()):
                if r > g + 60 and r > b + 60:
                    red.append(divmod(i, width))
                elif b > r + 60:
                    blue.append(divmod(i, width))
            self.assertGreater(len(red), 300, "too few red (species 1) pixels")
            self.assertGreater(len(blue), 300, "too few blue (species 2) pixels")
            rows = [p[0] for p in red + blue]
            columns = [p[1] for p in red + blue]
            self.assertAlmostEqual((min(columns) + max(columns)) / 2, width / 2, delta=20)
            self.assertAlmostEqual((min(rows) + max(rows)) / 2, height / 2, delta=20)


class Closing(unittest.TestCase):
    def test_closing_the_window_ends_with_status_zero(self):
        with Ovalix(["chain.cfg"]) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - chain.cfg")
            self.assertEqual(app.close_window(), 0)

    def test_escape_says_bye_and_ends_with_status_zero(self):
        with Ovalix(["chain.cfg"]) as app:
            app.wait_for_line(r"Done reading\. Rendering\.")
            app.window("OvaLIX - chain.cfg")
            app.key("Escape")
            app.wait_for_line(r"Bye\.")
            self.assertEqual(app.wait_for_exit(), 0)


class ConfigurationError(unittest.TestCase):
    BAD = "dumpfile chain.dump\nSpecies 2\n"
    EXPECTED = ("Input file bad.cfg is opened.\n"
                "Dump File: chain.dump\n"
                "Wrong keyword at the entry 'Species 2'.\n"
                "Please correct the input file, and run the program again.\n"
                "Press Enter to exit.")

    def start_bad(self):
        folder = temp_dir(self)
        write_file(folder, "bad.cfg", self.BAD)
        app = Ovalix(["bad.cfg"], cwd=folder)
        self.addCleanup(app.finish)
        app.wait_for_text("Press Enter to exit.")
        return app

    def test_waits_for_a_character_then_ends_with_status_zero(self):
        app = self.start_bad()
        self.assertEqual(app.output, self.EXPECTED)
        # Nothing more may happen until a character arrives: no window, no exit.
        time.sleep(1.0)
        self.assertTrue(app.running(), "ended before a character was typed")
        self.assertEqual(find_windows("OvaLIX - bad.cfg"), [])
        app.send("x")
        self.assertEqual(app.wait_for_exit(), 0)
        self.assertEqual(app.output, self.EXPECTED)

    def test_end_of_input_also_ends_with_status_zero(self):
        app = self.start_bad()
        app.close_stdin()
        self.assertEqual(app.wait_for_exit(), 0)

    def test_missing_dump_file(self):
        folder = temp_dir(self)
        write_file(folder, "nodump.cfg", "dumpfile gone.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
                                         "bond_vector 1 1 0 0 0\nbackground 0 0 0\n")
        with Ovalix(["nodump.cfg"], cwd=folder) as app:
            app.wait_for_text("Press Enter to exit.")
            self.assertTrue(app.output.endswith(
                "Config file read.\n"
                "Error. Dump file gone.dump not found.\n"
                "Please enter the correct name of the dump file in the input file. \n"
                "Press Enter to exit."), app.output)
            app.send("\n")
            self.assertEqual(app.wait_for_exit(), 0)


class RetryPrompt(unittest.TestCase):
    def test_retyped_name_becomes_the_title(self):
        with Ovalix(["missing.cfg"]) as app:
            before = app.wait_for_text(RETRY_PROMPT)
            self.assertEqual(before, "The file missing.cfg could not be found.\n")
            app.send("chain.cfg\n")
            app.wait_for_line(r"Done reading\. Rendering\.")
            wid = app.window("Ovalix - chain.cfg")
            self.assertEqual(window_title(wid), "Ovalix - chain.cfg")

    def test_empty_answer_ends_with_status_zero(self):
        with Ovalix(["missing.cfg"]) as app:
            app.wait_for_text(RETRY_PROMPT)
            app.send("\n")
            self.assertEqual(app.wait_for_exit(), 0)
            self.assertNotIn("Press Enter to exit.", app.output)


if __name__ == "__main__":
    unittest.main()
