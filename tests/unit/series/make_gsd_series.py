#!/usr/bin/env python3
"""Writes the GSD files of tests/unit/file_series_test.cpp (Debian: python3-gsd); particle 1 sits at x = step / 100.

    /usr/bin/python3 tests/unit/series/make_gsd_series.py [output-folder]     (default: this script's folder)
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


for name, frames in (('run_500.gsd', [frame(500), frame(700)]), ('run_2000.gsd', [frame(2000)]),  # 2000 first by name
                     ('swapped_0.gsd', [frame(0)]), ('swapped_1.gsd', [frame(10, ('B', 'A'))]),
                     ('grow_0.gsd', [frame(10, count=3)]), ('grow_1.gsd', [frame(0)])):
    with gsd.hoomd.open(os.path.join(OUT, name), 'wb') as trajectory:
        for f in frames:
            trajectory.append(f)
