"""Times MDAnalysis's LAMMPS dump reader on one file: opening, indexing, and reading given frames.

Usage: python3 mda_dump_bench.py FILE FRAME [FRAME ...]
Prints "key value" lines; every time is measured inside Python, after the import.
"""
import statistics
import sys
import time
import warnings


def main():
    path = sys.argv[1]
    frames = [int(arg) for arg in sys.argv[2:]]
    warnings.simplefilter("ignore")
    import MDAnalysis as mda

    # Opening: topology from the first frame, the frame offsets, the first frame's coordinates.
    start = time.perf_counter()
    universe = mda.Universe(path, format="LAMMPSDUMP")
    n_frames = universe.trajectory.n_frames
    print("open_s", time.perf_counter() - start)
    print("n_frames", n_frames)

    # The offset scan on its own: drop the cached frame count so that the next request rescans the file.
    cache = getattr(universe.trajectory, "_cache", None)
    if isinstance(cache, dict) and cache.pop("n_frames", None) is not None:
        start = time.perf_counter()
        universe.trajectory.n_frames
        print("index_s", time.perf_counter() - start)
    print("n_atoms", universe.atoms.n_atoms)

    times = []
    for frame in frames:
        start = time.perf_counter()
        universe.trajectory[frame]
        times.append(time.perf_counter() - start)
    print("frame_median_s", statistics.median(times))

    universe.trajectory[frames[0]]
    # MDAnalysis moves the box to start at the origin: compare x measured from the smallest x.
    x = universe.atoms.positions[:, 0].astype("float64")
    print("sum_x_above_min", float((x - x.min()).sum()))


if __name__ == "__main__":
    main()
