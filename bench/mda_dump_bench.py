"""Times MDAnalysis's LAMMPS dump reader on one file: opening, indexing, and reading given frames.

Usage: python3 mda_dump_bench.py FILE FRAME [FRAME ...]
Prints "key value" lines: best and median wall time and best CPU time of each step, measured inside
Python after the import.
"""
import statistics
import sys
import time
import warnings

OPEN_REPEATS = 2   # each builds a new Universe
INDEX_REPEATS = 3


def report(name, samples):
    """Prints the best and the median wall time and the best CPU time of (wall, cpu) samples."""
    print(name + "_best_s", min(wall for wall, _ in samples))
    print(name + "_median_s", statistics.median(wall for wall, _ in samples))
    print(name + "_cpu_best_s", min(cpu for _, cpu in samples))


def start_clock():
    return time.perf_counter(), time.process_time()


def stop(start):
    return time.perf_counter() - start[0], time.process_time() - start[1]


def main():
    path = sys.argv[1]
    frames = [int(arg) for arg in sys.argv[2:]]
    warnings.simplefilter("ignore")
    import MDAnalysis as mda

    # Opening: topology from the first frame, the frame offsets, the first frame's coordinates.
    times = []
    for _ in range(OPEN_REPEATS):
        start = start_clock()
        universe = mda.Universe(path, format="LAMMPSDUMP")
        n_frames = universe.trajectory.n_frames
        times.append(stop(start))
    report("open", times)
    print("n_frames", n_frames)
    print("n_atoms", universe.atoms.n_atoms)

    # The offset scan on its own: drop the cached frame count so that the next request rescans the file.
    times = []
    for _ in range(INDEX_REPEATS):
        cache = getattr(universe.trajectory, "_cache", None)
        if not isinstance(cache, dict) or cache.pop("n_frames", None) is None:
            break
        start = start_clock()
        universe.trajectory.n_frames
        times.append(stop(start))
    if times:
        report("index", times)

    times = []
    for frame in frames:
        start = start_clock()
        universe.trajectory[frame]
        times.append(stop(start))
    report("frame", times)

    universe.trajectory[frames[0]]
    # MDAnalysis moves the box to start at the origin: compare x measured from the smallest x.
    x = universe.atoms.positions[:, 0].astype("float64")
    print("sum_x_above_min", float((x - x.min()).sum()))


if __name__ == "__main__":
    main()
