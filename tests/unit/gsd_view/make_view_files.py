#!/usr/bin/env python3
"""Writes the GSD files of tests/unit/gsd_view_test.cpp with the gsd package (Debian: python3-gsd).

    /usr/bin/python3 tests/unit/gsd_view/make_view_files.py [output-folder]   (default: this script's folder)

growing.gsd: particle counts 4, 7, 2. Particle i of frame f sits at (f + 0.5 i, -i, 0.25 f), turned by
angle 0.1 (i + 1) about z; type i % 2 (Rod: ellipsoid 1.5 0.5 0.25, Ball: sphere of diameter 3, Odd: a
polyhedron); velocity (i, f, -i); log/particles/tag = (i, 10 f) per particle. Frame f has box
Lx Ly Lz xy xz yz = (10 + f, 12, 14, 0.5, 0.25, -0.125). Bonds: frame 0 joins 0-1 and 2-3, frame 1 joins 5-6,
frame 2 has none. Every frame writes every chunk, so nothing is carried from frame 0.
"""
import math
import os
import sys

import numpy as np
import gsd.hoomd

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
COUNTS = [4, 7, 2]
BONDS = [[[0, 1], [2, 3]], [[5, 6]], []]


def frame(f, n):
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 100 * f
    s.configuration.box = [10.0 + f, 12.0, 14.0, 0.5, 0.25, -0.125]
    s.particles.N = n
    s.particles.types = ['Rod', 'Ball', 'Odd']
    s.particles.type_shapes = [{'type': 'Ellipsoid', 'a': 1.5, 'b': 0.5, 'c': 0.25},
                               {'type': 'Sphere', 'diameter': 3.0},
                               {'type': 'ConvexPolyhedron', 'rounding_radius': 0.0,
                                'vertices': [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]]}]
    s.particles.typeid = [i % 2 for i in range(n)]
    s.particles.position = [[f + 0.5 * i, -i, 0.25 * f] for i in range(n)]
    s.particles.orientation = [[math.cos(0.05 * (i + 1)), 0, 0, math.sin(0.05 * (i + 1))] for i in range(n)]
    s.particles.velocity = [[i, f, -i] for i in range(n)]
    s.log['particles/tag'] = np.array([[i, 10 * f] for i in range(n)], dtype=np.float64)
    s.bonds.N = len(BONDS[f])
    s.bonds.types = ['b']
    s.bonds.typeid = [0] * len(BONDS[f])
    s.bonds.group = BONDS[f] if BONDS[f] else np.zeros((0, 2), dtype=np.uint32)
    return s


with gsd.hoomd.open(name=os.path.join(OUT, 'growing.gsd'), mode='wb') as out:
    for f, n in enumerate(COUNTS):
        out.append(frame(f, n))
