#!/usr/bin/env python3
"""Makes occlusion.png: a dense nematic of rods (director along x, one rod in ten missing) drawn by
`ovalix --render` without and with ambient occlusion, side by side.
Usage: make_occlusion_picture.py OVALIX_BINARY   (needs PIL; writes into the folder of this script)"""
import math
import os
import random
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))


def write_run(folder):
    rng = random.Random(7)
    rows = []
    nx, ny, nz, dx, dy = 8, 16, 16, 3.1, 1.05
    for x in range(nx):
        for y in range(ny):
            for z in range(nz):
                if rng.random() < 0.1:
                    continue
                tilt_y, tilt_z = rng.gauss(0, 0.1), rng.gauss(0, 0.1)  # rotation about y and z of the x-axis rod
                half = math.hypot(tilt_y, tilt_z) / 2
                s = math.sin(half) / (2 * half) if half > 0 else 0.5
                rows.append((dx * x + (y % 2) * dx / 2 + rng.gauss(0, 0.05), dy * y + rng.gauss(0, 0.05),
                             dy * z + rng.gauss(0, 0.05), math.cos(half), 0.0, tilt_y * s, tilt_z * s))
    lines = ["ITEM: TIMESTEP", "0", "ITEM: NUMBER OF ATOMS", str(len(rows)), "ITEM: BOX BOUNDS pp pp pp",
             "%g %g" % (-dx / 2, dx * nx - dx / 2), "%g %g" % (-dy / 2, dy * ny - dy / 2),
             "%g %g" % (-dy / 2, dy * nz - dy / 2), "ITEM: ATOMS id type x y z quatw quati quatj quatk"]
    lines += ["%d 1 %.4f %.4f %.4f %.5f %.5f %.5f %.5f" % ((i + 1,) + r) for i, r in enumerate(rows)]
    with open(os.path.join(folder, "nematic.dump"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(folder, "nematic.cfg"), "w") as f:
        f.write("dumpfile nematic.dump\nspecies 1\nhalf_radii 1 1.5 0.5 0.5\ncolor 1 0.9 0.65 0.3\n"
                "bond_vector 1 1 0 0 0\nbackground 1 1 1\n")


def render(binary, folder, extra):
    out = tempfile.mkdtemp(dir=folder)
    subprocess.run([binary, "--render", "--size", "480x360", "--raycast", "--fit", "--out", out] + extra +
                   ["nematic.cfg"], cwd=folder, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return Image.open(os.path.join(out, os.listdir(out)[0])).convert("RGB")


def main():
    with tempfile.TemporaryDirectory() as folder:
        write_run(folder)
        off, on = render(sys.argv[1], folder, []), render(sys.argv[1], folder, ["--ambient-occlusion"])
        both = Image.new("RGB", (off.width * 2 + 8, off.height), (255, 255, 255))
        both.paste(off, (0, 0))
        both.paste(on, (off.width + 8, 0))
        both.save(os.path.join(HERE, "occlusion.png"), optimize=True)


if __name__ == "__main__":
    main()
