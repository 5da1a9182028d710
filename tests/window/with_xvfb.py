"""Runs one window test on an X server of its own, so that window tests can run side by side.

    with_xvfb.py COMMAND [ARG...]

Starts Xvfb on a free display, runs COMMAND with DISPLAY and OVALIX_DISPLAY_FILE naming it, stops the server and
exits with COMMAND's status (its standard input is empty). Without Xvfb the test is reported skipped (CTest's
skip code 77).
"""

import os
import shutil
import subprocess
import sys
import tempfile

import xvfb_server

SKIPPED = 77


def main(command):
    if "--gtest_list_tests" in command:  # listing a drawing test program's cases needs no display
        return subprocess.run(command, stdin=subprocess.DEVNULL).returncode
    state = tempfile.mkdtemp(prefix="ovalix-xvfb-")
    try:
        if xvfb_server.start(state) != 0:
            return 1
        display_file = os.path.join(state, "display")
        with open(display_file) as f:
            display = f.read().strip()
        if not display.startswith(":"):
            return SKIPPED
        env = dict(os.environ, DISPLAY=display, OVALIX_DISPLAY_FILE=display_file)
        return subprocess.run(command, env=env, stdin=subprocess.DEVNULL).returncode
    finally:
        xvfb_server.stop(state)
        shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
