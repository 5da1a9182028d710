#!/usr/bin/env python3
"""Writes the GSD files of tests/unit/file_series_test.cpp with the gsd package (Debian: python3-gsd).

    /usr/bin/python3 tests/unit/series/make_gsd_series.py [output-folder]     (default: this script's folder)

run_500.gsd holds the steps 500 and 700, run_2000.gsd the step 2000: by name run_2000 comes first, by step
last. Particle 1 sits at x = step / 100 in every frame, so a frame tells its step. swapped_0.gsd and
swapped_1.gsd name their two types in opposite orders. grow_0.gsd holds three particles at step 10,
grow_1.gsd two at step 0.
"""
import os
import sys

import gsd.hoomd

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))


def frame(step, types=('A', 'B'), count=2):
    f = gsd.hoomd.Frame() if hasattr(gsd.hoomd, 'Frame') else gsd.hoomd.Snapshot()
    f.configuration.step = step
    f.configuration.box = [20.0, 20.0, 20.0, 0, 0, 0]
    f.particles.N = count
    f.particles.types = list(types)
    f.particles.typeid = [0] + [1] * (count - 1)
    f.particles.position = [[step / 100.0, 0, 0]] + [[-1, k, 0] for k in range(count - 1)]
    f.particles.orientation = [[1, 0, 0, 0]] * count
    return f


def write(name, frames):
    with gsd.hoomd.open(os.path.join(OUT, name), 'wb') as trajectory:
        for f in frames:
            trajectory.append(f)


write('run_500.gsd', [frame(500), frame(700)])
write('run_2000.gsd', [frame(2000)])
write('swapped_0.gsd', [frame(0)])
write('swapped_1.gsd', [frame(10, ('B', 'A'))])
write('grow_0.gsd', [frame(10, count=3)])
write('grow_1.gsd', [frame(0)])
