#!/usr/bin/env python3
"""Idle benchmark: CPU time the real viewer takes over 10 s while nothing changes, for a small frame
(examples/chain.cfg, 120 ellipsoids) and for 10,000 ellipsoids, then, as a check that the measurement sees
drawing at all, over 5 s while the animation runs (space pressed with xdotool, when it is installed).
The CPU time of every thread of the process counts (Mesa's renderer threads included).

Usage: idle_cpu_bench.py OVALIX_BINARY [SECONDS]   (needs a display; target: <= 2 % of a core when idle)
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User and system time of the process and all its threads so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def write_scene(folder, atoms):
    """A two-frame dump of `atoms` ellipsoids at liquid-like spacing, and its configuration."""
    rng = random.Random(7)
    edge = (atoms / 0.05) ** (1 / 3)
    with open(os.path.join(folder, "idle.dump"), "w") as f:
        for step in range(2):
            f.write("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\nITEM: BOX BOUNDS pp pp pp\n" % (step, atoms))
            f.write(("0 %g\n" % edge) * 3)
            f.write("ITEM: ATOMS id type xu yu zu c_q[1] c_q[2] c_q[3] c_q[4]\n")
            for i in range(atoms):
                q = [rng.uniform(-1, 1) for _ in range(4)]
                n = sum(v * v for v in q) ** 0.5
                f.write("%d %d %.4f %.4f %.4f %.5f %.5f %.5f %.5f\n" % (
                    i + 1, 1 + i % 2, rng.uniform(0, edge), rng.uniform(0, edge), rng.uniform(0, edge),
                    *(v / n for v in q)))
    with open(os.path.join(folder, "idle.cfg"), "w") as f:
        f.write("dumpfile idle.dump\nspecies 2\nhalf_radii 1 1.5 0.5 0.5\nhalf_radii 2 1.0 0.6 0.4\n"
                "color 1 0.85 0.2 0.15\ncolor 2 0.15 0.45 0.85\nbond_vector 1 1 0 0 0\nbackground 1 1 1\n")
    return "idle.cfg"


def start(binary, config, folder):
    """The viewer on `config`, once it has loaded and its window has been drawn for a while."""
    process = subprocess.Popen([binary, config], cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    ready = threading.Event()

    def drain():  # keep reading, so the viewer never blocks on a full pipe
        for line in process.stdout:
            if line.startswith("Done reading. Rendering."):
                ready.set()
    threading.Thread(target=drain, daemon=True).start()
    if not ready.wait(120):
        process.kill()
        raise RuntimeError("%s did not finish loading" % config)
    time.sleep(4)  # window mapped, first pictures drawn, display lists built
    return process


def window_of(process, title):
    if not shutil.which("xdotool"):
        return None
    for _ in range(50):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title.replace(".", r"\.")],
                             stdin=subprocess.DEVNULL, capture_output=True, text=True).stdout.split()
        if out:
            return out[-1]
        time.sleep(0.2)
    return None


def measure(process, seconds):
    before, start = cpu_seconds(process.pid), time.monotonic()
    time.sleep(seconds)
    used, wall = cpu_seconds(process.pid) - before, time.monotonic() - start
    return 100 * used / wall


def run(binary, name, config, folder, seconds):
    process = start(binary, config, folder)
    try:
        idle = measure(process, seconds)
        line = "%-28s idle %5.1f %% of a core over %.0f s   %s" % (name, idle, seconds,
                                                                 "<= 2% met" if idle <= 2 else "<= 2% MISSED")
        wid = window_of(process, "OvaLIX - " + config)
        if wid:
            subprocess.run(["xdotool", "windowfocus", "--sync", wid, "key", "space"], stdin=subprocess.DEVNULL,
                           capture_output=True)
            line += "   animating %5.1f %% over 5 s" % measure(process, 5)
        print(line, flush=True)
    finally:
        process.kill()
        process.wait()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    binary = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    print("CPU time of the viewer (all its threads) per second of wall time; load average %s"
          % " ".join(open("/proc/loadavg").read().split()[:3]), flush=True)
    run(binary, "small frame (120 ellipsoids)", "chain.cfg", os.path.join(ROOT, "examples"), seconds)
    with tempfile.TemporaryDirectory() as folder:
        run(binary, "10,000 ellipsoids", write_scene(folder, 10000), folder, seconds)


if __name__ == "__main__":
    main()
