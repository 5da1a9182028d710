"""Reading every frame's positions and orientations from Python: ovalix against the gsd library on a GSD file,
and against MDAnalysis's LAMMPS dump reader on the same frames written as a dump.

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_read_bench.py [FRAMES [PARTICLES [FOLDER]]]
(default 100 frames of 100,000 particles, files written into a temporary folder and removed at the end; a
FOLDER given keeps them, and files found there are used again).
Prints "key value" lines: the best of REPEATS loops by wall and by CPU time, each loop inside Python after opening;
the ratios are by wall time.
MDAnalysis reads no orientations from a dump: its loop takes the positions alone.
"""
import io
import os
import shutil
import sys
import tempfile
import time
import warnings

import numpy as np

REPEATS = 3


def quaternions(rng, count):
    q = rng.normal(size=(count, 4))
    return q / np.linalg.norm(q, axis=1)[:, None]


def frames(count, particles, edge):
    """The frames of the benchmark, one at a time: step, types, positions, orientations."""
    rng = np.random.default_rng(2025)
    types = rng.integers(0, 2, size=particles)
    for f in range(count):
        yield 100 * f, types, rng.uniform(0, edge, size=(particles, 3)), quaternions(rng, particles)


def write_files(folder, count, particles):
    import gsd.hoomd
    edge = round(particles ** (1 / 3) * 2.0, 1)
    gsd_path, dump_path = os.path.join(folder, "bench.gsd"), os.path.join(folder, "bench.dump")
    new_frame = getattr(gsd.hoomd, "Frame", None) or gsd.hoomd.Snapshot
    mode = "w" if hasattr(gsd.hoomd, "Frame") else "wb"
    labels = np.arange(1, particles + 1)
    with gsd.hoomd.open(gsd_path, mode) as gsd_out, open(dump_path, "w") as dump_out:
        for step, types, positions, orientations in frames(count, particles, edge):
            frame = new_frame()
            frame.configuration.step = step
            frame.configuration.box = [edge, edge, edge, 0, 0, 0]
            frame.particles.N = particles
            frame.particles.types = ["A", "B"]
            frame.particles.type_shapes = [{"type": "Ellipsoid", "a": 1.5, "b": 0.5, "c": 0.5}] * 2
            frame.particles.typeid = types
            frame.particles.position = (positions - edge / 2).astype(np.float32)
            frame.particles.orientation = orientations.astype(np.float32)
            gsd_out.append(frame)
            dump_out.write(f"ITEM: TIMESTEP\n{step}\nITEM: NUMBER OF ATOMS\n{particles}\n"
                           f"ITEM: BOX BOUNDS pp pp pp\n0 {edge}\n0 {edge}\n0 {edge}\n"
                           "ITEM: ATOMS id type x y z quatw quati quatj quatk\n")
            text = io.StringIO()
            table = np.column_stack([labels, types + 1, positions, orientations])
            np.savetxt(text, table, fmt="%d %d %.6g %.6g %.6g %.6g %.6g %.6g %.6g")
            dump_out.write(text.getvalue())
    return gsd_path, dump_path


def best_loop(name, read_all):
    """Prints the best wall and CPU time of REPEATS calls; returns the best wall time and the last checksum."""
    walls, cpus, checksum = [], [], None
    for _ in range(REPEATS):
        wall, cpu = time.perf_counter(), time.process_time()
        checksum = read_all()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    print(name + "_s", min(walls))
    print(name + "_cpu_s", min(cpus))
    return min(walls), checksum


def timed_open(opener):
    start = time.perf_counter()
    opened = opener()
    return opened, time.perf_counter() - start


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    particles = int(sys.argv[2]) if len(sys.argv) > 2 else 100_000
    folder = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="ovalix-read-bench-")
    warnings.simplefilter("ignore")
    import gsd.hoomd
    import MDAnalysis
    import ovalix

    start = time.perf_counter()
    gsd_path, dump_path = os.path.join(folder, "bench.gsd"), os.path.join(folder, "bench.dump")
    if not (os.path.exists(gsd_path) and os.path.exists(dump_path)):  # a folder given again keeps its files
        write_files(folder, count, particles)
    print("frames", count)
    print("particles", particles)
    print("write_s", time.perf_counter() - start)
    print("gsd_bytes", os.path.getsize(gsd_path))
    print("dump_bytes", os.path.getsize(dump_path))

    def checksum(parts):
        return float(sum(np.asarray(p, dtype=np.float64)[:, 0].sum() for p in parts))

    trajectory, seconds = timed_open(lambda: ovalix.open(gsd_path))
    print("ovalix_gsd_open_s", seconds)
    loop, ovalix_sum = best_loop("ovalix_gsd_loop",
                                 lambda: checksum(p for f in trajectory for p in (f.positions, f.orientations)))
    reference, seconds = timed_open(lambda: gsd.hoomd.open(gsd_path, "rb"))
    print("gsd_open_s", seconds)
    loop_gsd, gsd_sum = best_loop("gsd_loop", lambda: checksum(
        p for f in reference for p in (f.particles.position, f.particles.orientation)))
    print("gsd_ratio", loop_gsd / loop)
    print("gsd_checksums_agree", abs(ovalix_sum - gsd_sum) <= 1e-6 * abs(gsd_sum))
    reference.close()
    del trajectory

    trajectory, seconds = timed_open(lambda: ovalix.open(dump_path))
    print("ovalix_dump_open_s", seconds)
    loop, _ = best_loop("ovalix_dump_loop",
                        lambda: checksum(p for f in trajectory for p in (f.positions, f.orientations)))
    loop_positions, _ = best_loop("ovalix_dump_positions_loop", lambda: checksum(f.positions for f in trajectory))
    universe, seconds = timed_open(lambda: MDAnalysis.Universe(dump_path, format="LAMMPSDUMP"))
    print("mda_open_s", seconds)
    loop_mda, _ = best_loop("mda_loop", lambda: checksum(universe.atoms.positions for _ in universe.trajectory))
    print("dump_ratio", loop_mda / loop)
    print("dump_ratio_positions_alone", loop_mda / loop_positions)
    if len(sys.argv) <= 3:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
