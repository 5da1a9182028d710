"""Starts or stops an X server for window tests (with_xvfb.py starts one for each test).

    xvfb_server.py start STATE_DIR   start Xvfb on a free display; write it to STATE_DIR/display
    xvfb_server.py stop STATE_DIR    stop the Xvfb started by `start`

Without Xvfb, `start` writes "none" and succeeds, so that the window tests report themselves skipped.
"""

import os
import shutil
import signal
import subprocess
import sys
import time

SCREEN = "1280x1024x24"


def start(state):
    os.makedirs(state, exist_ok=True)
    display_file = os.path.join(state, "display")
    pid_file = os.path.join(state, "xvfb.pid")
    stop(state)
    with open(display_file, "w") as f:
        f.write("none\n")
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        print("Xvfb is not installed: window tests will be skipped")
        return 0
    # Xvfb picks a free display itself and writes its number to the descriptor given by -displayfd.
    read_end, write_end = os.pipe()
    log = open(os.path.join(state, "xvfb.log"), "w")
    server = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp",
                               "-noreset", "+extension", "GLX"],
                              stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_end,),
                              start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    with os.fdopen(read_end, "rb", buffering=0) as pipe:
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = pipe.read(16)
            if not chunk:
                break
            number += chunk
    number = number.strip().decode()
    if not number.isdigit():
        server.kill()
        print("Xvfb did not start; see %s" % os.path.join(state, "xvfb.log"))
        return 1
    with open(pid_file, "w") as f:
        f.write("%d\n" % server.pid)
    with open(display_file, "w") as f:
        f.write(":%s\n" % number)
    print("Xvfb %d on display :%s" % (server.pid, number))
    return 0


def stop(state):
    pid_file = os.path.join(state, "xvfb.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return 0
    os.remove(pid_file)
    try:
        with open("/proc/%d/comm" % pid) as f:
            if "Xvfb" not in f.read():
                return 0  # the pid was reused by another process
        os.kill(pid, signal.SIGTERM)
    except (OSError, ProcessLookupError):
        return 0
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.1)
    with open(os.path.join(state, "display"), "w") as f:
        f.write("none\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__)
        sys.exit(2)
    sys.exit(start(sys.argv[2]) if sys.argv[1] == "start" else stop(sys.argv[2]))
