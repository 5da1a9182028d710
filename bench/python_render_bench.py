#!/usr/bin/env python3
"""ovalix.render against `ovalix --render`: frames per second of 100,000 ray-cast ellipsoids, and the whole process
of import + open + first image against the whole process of `ovalix --render` of one frame.

The same frames at the same size (1024 x 640, ray-cast, fitted view) are drawn by both. The offscreen mode's rate
is taken between a job of one frame and a job of all of them, so that loading and the EGL context count in neither;
the module's rate is taken over the calls after the first, which loads and sets up. The module's rate is given
with and without writing each picture as a PNG file (what the offscreen mode does with every frame).

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_render_bench.py build/ovalix [PARTICLES] [FRAMES]
(no display needed; target: ovalix.render >= 0.9x the frames per second of ovalix --render)
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import ovalix


def write_dump(path, particles, frames):
    """Gay-Berne-like rods (half radii 1.5 0.5 0.5) at liquid density, turning a little every frame."""
    rng = np.random.default_rng(25)
    edge = (particles / 0.3) ** (1 / 3)
    positions = rng.uniform(0, edge, size=(particles, 3))
    q = rng.normal(size=(particles, 4))
    with open(path, "w") as f:
        for step in range(frames):
            q += 0.05 * rng.normal(size=q.shape)
            q /= np.linalg.norm(q, axis=1)[:, None]
            positions += 0.1 * rng.normal(size=positions.shape)
            f.write("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\nITEM: BOX BOUNDS pp pp pp\n" % (step, particles))
            f.write(("0 %r\n" % edge) * 3)
            f.write("ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez\n")
            table = np.column_stack([np.arange(1, particles + 1), np.ones(particles), positions, q,
                                     np.tile([3.0, 1.0, 1.0], (particles, 1))])
            np.savetxt(f, table, fmt=["%d", "%d"] + ["%.6g"] * 10)


def seconds(command, **kw):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, **kw)
    return time.perf_counter() - start


def main():
    binary = os.path.abspath(sys.argv[1])
    particles = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    frames = int(sys.argv[3]) if len(sys.argv) > 3 else 6
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    options = ["--size", "1024x640", "--raycast", "--fit"]
    with tempfile.TemporaryDirectory() as folder:
        dump = os.path.join(folder, "rods.dump")
        write_dump(dump, particles, frames)
        out = os.path.join(folder, "out")
        os.mkdir(out)
        one = seconds([binary, "--render", "--frames", "0:0", "--out", out] + options + [dump], env=env)
        every = seconds([binary, "--render", "--out", out] + options + [dump], env=env)
        offscreen_rate = (frames - 1) / (every - one)

        t = ovalix.open(dump)
        ovalix.render(t, 0)
        drawing, saving = 0.0, 0.0
        for k in range(1, frames):
            start = time.perf_counter()
            image = ovalix.render(t, k)
            drawing += time.perf_counter() - start
            start = time.perf_counter()
            image.save(os.path.join(out, "python_%04d.png" % k))
            saving += time.perf_counter() - start
        module_rate = (frames - 1) / drawing
        saving_rate = (frames - 1) / (drawing + saving)
        same = all(open(os.path.join(out, "python_%04d.png" % k), "rb").read() ==
                   open(os.path.join(out, "rods.dump_%04d.png" % k), "rb").read() for k in range(1, frames))

        script = "import ovalix; ovalix.render(ovalix.open(%r), 0)" % dump
        process = seconds([sys.executable, "-c", script], env=env)

    print("%d ellipsoids, %d frames, 1024 x 640, ray-cast, %s" % (particles, frames, ovalix.renderer()))
    print("ovalix --render: %.3f frames/s (one frame %.2f s, all %.2f s, whole processes)" % (offscreen_rate, one, every))
    print("ovalix.render: %.3f frames/s = %.2fx; with save as PNG: %.3f frames/s = %.2fx (target >= 0.9x)" %
          (module_rate, module_rate / offscreen_rate, saving_rate, saving_rate / offscreen_rate))
    print("saved files byte for byte those of ovalix --render: %s" % ("yes" if same else "NO"))
    print("import + open + first image, whole process: %.2f s (ovalix --render of one frame: %.2f s)" % (process, one))


if __name__ == "__main__":
    main()
