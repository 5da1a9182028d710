"""Window-test harness: runs the real ovalix binary on the test X server and drives it like a user.

    with Ovalix(["chain.cfg"], cwd=EXAMPLES) as app:
        app.wait_for_line(r"Done reading\\. Rendering\\.")
        wid = app.window("OvaLIX - chain.cfg")
        app.key("n")
        image = app.grab()
        status = app.close_window()

Environment (set by CTest, see tests/CMakeLists.txt):
    OVALIX_BIN          the ovalix executable
    OVALIX_DISPLAY_FILE file in which the Xvfb fixture wrote the display it started ("none" when it could not)
    OVALIX_EXAMPLES     the examples/ folder of the source tree
    OVALIX_DATA         the shared test data folder (may be absent)
A test module calls require_display() in setUpModule; it raises unittest.SkipTest when something needed is missing,
and run_window_test.py turns a module whose tests were all skipped into CTest's skip code.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

DEFAULT_TIMEOUT = 30.0  # seconds; software rendering on a loaded two-core machine is slow to start

BIN = os.environ.get("OVALIX_BIN", "")
EXAMPLES = os.environ.get("OVALIX_EXAMPLES", "")
DATA = os.environ.get("OVALIX_DATA", "")


def display():
    """The X display of the test server, or None when there is none."""
    path = os.environ.get("OVALIX_DISPLAY_FILE")
    if path:
        try:
            with open(path) as f:
                value = f.read().strip()
        except OSError:
            return None
        return value if value.startswith(":") else None
    return os.environ.get("DISPLAY") or None


def require_display():
    """Skip the calling module unless the X server, xdotool and the binary are all there."""
    if not display():
        raise unittest.SkipTest("no X server for window tests (Xvfb missing or did not start)")
    if not shutil.which("xdotool"):
        raise unittest.SkipTest("xdotool is not installed")
    if not BIN or not os.path.isfile(BIN):
        raise unittest.SkipTest("ovalix binary not found: %r" % BIN)


def environment(extra=None):
    env = dict(os.environ)
    env["DISPLAY"] = display() or ""
    env["LIBGL_ALWAYS_SOFTWARE"] = "1"
    env.pop("XAUTHORITY", None)
    if extra:
        env.update(extra)
    return env


def xdotool(*args, check=True, timeout=DEFAULT_TIMEOUT):
    """Runs xdotool on the test display; returns its standard output."""
    result = subprocess.run(["xdotool"] + [str(a) for a in args], env=environment(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise RuntimeError("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def find_windows(title):
    """Ids of the mapped windows whose title is exactly `title`."""
    out = xdotool("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$", check=False)
    return [int(line) for line in out.split()]


def find_windows_any():
    """Ids of every mapped window on the test display."""
    out = xdotool("search", "--onlyvisible", "--name", "", check=False)
    return [int(line) for line in out.split()]


def window_title(wid):
    return xdotool("getwindowname", wid).rstrip("\n")


class Ovalix:
    """One run of the viewer with its standard input on a pipe and its console collected."""

    def __init__(self, args=(), cwd=None, stdin_text=None, env=None):
        self.output = ""          # everything printed so far, standard error included
        self._cursor = 0          # output before this offset has been matched by a wait
        self._changed = threading.Condition()
        self._finished = False
        self.wid = None
        self.process = subprocess.Popen([BIN] + list(args), cwd=cwd or EXAMPLES or None, env=environment(env),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        bufsize=0)
        self._reader = threading.Thread(target=self._collect, daemon=True)
        self._reader.start()
        if stdin_text:
            self.send(stdin_text)

    def _collect(self):
        while True:
            chunk = self.process.stdout.read(4096)
            with self._changed:
                if not chunk:
                    self._finished = True
                    self._changed.notify_all()
                    return
                self.output += chunk.decode("utf-8", "replace")
                self._changed.notify_all()

    # ---- console --------------------------------------------------------------------------------

    def send(self, text):
        """Writes text to the program's standard input."""
        self.process.stdin.write(text.encode())
        self.process.stdin.flush()

    def close_stdin(self):
        """Ends the program's standard input (end of file)."""
        if not self.process.stdin.closed:
            self.process.stdin.close()

    def _wait(self, find, what, timeout):
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                found = find(self.output, self._cursor)
                if found is not None:
                    return found
                if self._finished:
                    raise AssertionError("ovalix ended (status %s) before %s; output:\n%s"
                                         % (self.process.poll(), what, self.output))
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no %s within %.0f s; output:\n%s" % (what, timeout, self.output))
                self._changed.wait(left)

    def wait_for_line(self, pattern, timeout=DEFAULT_TIMEOUT):
        """Waits for a whole console line (ended by a line feed) matching the regex; returns the match.

        Lines before the matching one are passed over; later waits start after it."""
        regex = re.compile(pattern)

        def find(text, start):
            while True:
                end = text.find("\n", start)
                if end < 0:
                    return None
                match = regex.fullmatch(text, start, end)
                if match:
                    self._cursor = end + 1
                    return match
                start = end + 1

        return self._wait(find, "console line matching %r" % pattern, timeout)

    def wait_for_text(self, text, timeout=DEFAULT_TIMEOUT):
        """Waits for text anywhere in the output, such as a prompt without a line end; returns what came before it."""

        def find(output, start):
            at = output.find(text, start)
            if at < 0:
                return None
            self._cursor = at + len(text)
            return output[start:at]

        return self._wait(find, "console text %r" % text, timeout)

    def wait_for_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the process to end; returns its exit status with all of its output collected."""
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("ovalix still running after %.0f s; output:\n%s" % (timeout, self.output))
        self._reader.join(timeout)
        return status

    def running(self):
        return self.process.poll() is None

    # ---- window ---------------------------------------------------------------------------------

    def window(self, title, timeout=DEFAULT_TIMEOUT):
        """Waits until a window with exactly this title is mapped; returns its id and keeps it for later calls."""
        deadline = time.monotonic() + timeout
        while True:
            ids = find_windows(title)
            if ids:
                self.wid = ids[-1]
                # With no window manager GLUT's window lands at (-1, -1); bring every pixel onto the screen.
                xdotool("windowmove", "--sync", self.wid, 0, 0)
                return self.wid
            if not self.running():
                raise AssertionError("ovalix ended (status %s) before its window %r appeared; output:\n%s"
                                     % (self.process.poll(), title, self.output))
            if time.monotonic() > deadline:
                raise AssertionError("no window titled %r within %.0f s; output:\n%s" % (title, timeout, self.output))
            time.sleep(0.1)

    def focus(self):
        xdotool("windowfocus", "--sync", self.wid)

    def key(self, *names):
        """Presses keys (xdotool names: "n", "shift+l", "Escape", "Left") in the viewer's window."""
        self.focus()
        xdotool("key", "--delay", 50, *names)

    def type(self, text):
        """Types text into the viewer's window."""
        self.focus()
        xdotool("type", "--delay", 50, text)

    def click(self, x, y, button=1):
        """Clicks at window pixel (x, y)."""
        xdotool("mousemove", "--window", self.wid, x, y)
        xdotool("click", button)

    def drag(self, start, end, button=1, modifiers=(), steps=10):
        """Drags from window pixel start to end with a button (and modifier keys, e.g. ("ctrl",)) held."""
        xdotool("mousemove", "--window", self.wid, *start)
        for modifier in modifiers:
            xdotool("keydown", modifier)
        xdotool("mousedown", button)
        for k in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * k // steps
            y = start[1] + (end[1] - start[1]) * k // steps
            xdotool("mousemove", "--window", self.wid, x, y)
        xdotool("mouseup", button)
        for modifier in reversed(modifiers):
            xdotool("keyup", modifier)

    def geometry(self):
        """(x, y, width, height) of the window on the screen."""
        out = xdotool("getwindowgeometry", "--shell", self.wid)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def grab(self):
        """The window's pixels as an RGB PIL image."""
        from PIL import ImageGrab
        x, y, width, height = self.geometry()
        if x < 0 or y < 0:
            raise AssertionError("the window lies partly off the screen at (%d, %d)" % (x, y))
        return ImageGrab.grab(bbox=(x, y, x + width, y + height), xdisplay=display()).convert("RGB")

    def settled_grab(self, ready=None, timeout=DEFAULT_TIMEOUT, stable=3):
        """Grabs until the image passes `ready` and `stable` grabs in a row are identical; returns it.

        By default an image is ready once it holds more than one colour: a window that has not drawn yet is
        uniformly black. Pass ready=lambda image: True where a uniform window is the expected result."""
        ready = ready or (lambda image: image.getcolors(1) is None)
        deadline = time.monotonic() + timeout
        previous, same = None, 0
        while True:
            image = self.grab()
            if not ready(image):
                previous, same = None, 0
            else:
                same = same + 1 if previous is not None and image.tobytes() == previous.tobytes() else 0
                if same >= stable - 1:
                    return image
                previous = image
            if time.monotonic() > deadline:
                raise AssertionError("the window did not settle on a drawn image within %.0f s" % timeout)
            time.sleep(0.1)

    def close_window(self, timeout=DEFAULT_TIMEOUT):
        """Asks the window to close as a window manager does (WM_DELETE_WINDOW); returns the exit status."""
        send_delete_window(self.wid)
        return self.wait_for_exit(timeout)

    # ---- ending ---------------------------------------------------------------------------------

    def finish(self):
        """Ends the process if it still runs and releases its pipes."""
        if self.running():
            self.process.kill()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            pass
        self.close_stdin()
        self._reader.join(10)
        self.process.stdout.close()
        # The server destroys the window a moment after the process is gone; the next test must not find it.
        if self.wid is not None:
            deadline = time.monotonic() + 10
            while self.wid in find_windows_any() and time.monotonic() < deadline:
                time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.finish()
        return False


# ---- WM_DELETE_WINDOW through Xlib (xdotool of Debian 12 cannot send it) -------------------------


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def send_delete_window(wid):
    """Sends the window the WM_DELETE_WINDOW message that a window manager sends when the user closes it."""
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x11 = ctypes.CDLL(name)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(_XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display().encode())
    if not dpy:
        raise RuntimeError("cannot open display %s" % display())
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = wid
        event.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        if not x11.XSendEvent(dpy, wid, 0, 0, ctypes.byref(event)):
            raise RuntimeError("XSendEvent failed")
        x11.XFlush(dpy)
    finally:
        x11.XCloseDisplay(dpy)


def temp_dir(test):
    """A temporary folder removed when the test ends."""
    path = tempfile.mkdtemp(prefix="ovalix_window_")
    test.addCleanup(shutil.rmtree, path, True)
    return path


def write_file(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w", newline="") as f:
        f.write(text)
    return path


def start_viewer(test, folder, config):
    """Runs the viewer on a configuration in folder until its window is up; it is ended when the test ends."""
    app = Ovalix([config], cwd=folder)
    test.addCleanup(app.finish)
    app.wait_for_line(r"Done reading\. Rendering\.")
    app.window("OvaLIX - " + config)
    return app
