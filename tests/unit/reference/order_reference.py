"""Independent reference for the order parameter: S and the director of every frame of a LAMMPS dump, with numpy.

    python3 order_reference.py ../../../../shared/data/lammps/gb_nematic.dump 1:0 2:0 > gb_nematic_order.txt

Arguments after the dump: species:axis, the body axis (0, 1, 2) along which that species is unique (here the
long x axis of both rod species); atoms of other species are left out. Each quaternion is normalised and turned
into a rotation matrix with the textbook formula; Q = mean(3/2 u u^T - 1/2 I) is diagonalised with numpy.linalg.eigh.
Output: one line per frame, "frame S director_x director_y director_z", the director's largest component positive.
"""

import sys

import numpy as np


def frames(path):
    with open(path) as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        if lines[i].startswith("ITEM: NUMBER OF ATOMS"):
            count = int(lines[i + 1])
        if lines[i].startswith("ITEM: ATOMS"):
            rows = [line.split() for line in lines[i + 1:i + 1 + count]]
            yield np.array([[float(v) for v in row[:9]] for row in rows])
            i += count
        i += 1


def rotation(q):
    w, x, y, z = q / np.linalg.norm(q)
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
                     [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
                     [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)]])


def order(table, axes):
    units = [rotation(row[5:9])[:, axes[int(row[1])]] for row in table if int(row[1]) in axes]
    u = np.array(units)
    q = 1.5 * (u.T @ u) / len(u) - 0.5 * np.eye(3)
    values, vectors = np.linalg.eigh(q)
    director = vectors[:, np.argmax(values)]
    if director[np.argmax(np.abs(director))] < 0:
        director = -director
    return values.max(), director


def main():
    axes = dict((int(a), int(b)) for a, b in (arg.split(":") for arg in sys.argv[2:]))
    for k, table in enumerate(frames(sys.argv[1])):
        s, d = order(table, axes)
        print("%d %.10f %.10f %.10f %.10f" % (k, s, d[0], d[1], d[2]))


if __name__ == "__main__":
    main()
