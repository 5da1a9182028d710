"""The same local order and domains as bench/local_order_bench.cpp, in numpy with scipy's cKDTree, on the rods it
wrote: python3 bench/local_order_scipy.py rods.bin [RC] [ANGLE] [MIN]. Prints the seconds and the results."""
import sys
import time

import numpy as np
from scipy.sparse import coo_matrix
from scipy.sparse.csgraph import connected_components
from scipy.spatial import cKDTree

data = np.fromfile(sys.argv[1], dtype=np.float64)
n, length = int(data[0]), data[1]
rods = data[2:].reshape(n, 6)
positions, u = rods[:, :3], rods[:, 3:]
rc = float(sys.argv[2]) if len(sys.argv) > 2 else 3.0
angle = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
minimum = int(sys.argv[4]) if len(sys.argv) > 4 else 10

start = time.perf_counter()
tree = cKDTree(np.mod(positions, length), boxsize=length)
pairs = tree.query_pairs(rc, output_type="ndarray")
i, j = pairs[:, 0], pairs[:, 1]
outer = [u[:, a] * u[:, b] for a, b in ((0, 0), (1, 1), (2, 2), (0, 1), (0, 2), (1, 2))]
sums = [o + np.bincount(i, o[j], n) + np.bincount(j, o[i], n) for o in outer]  # self, then both ends of a pair
count = 1 + np.bincount(i, minlength=n) + np.bincount(j, minlength=n)
m = np.empty((n, 3, 3))
for (a, b), s in zip(((0, 0), (1, 1), (2, 2), (0, 1), (0, 2), (1, 2)), sums):
    m[:, a, b] = m[:, b, a] = s
local_s = np.linalg.eigvalsh(1.5 * m / count[:, None, None] - 0.5 * np.eye(3))[:, -1]
aligned = np.abs(np.einsum("ia,ia->i", u[i], u[j])) > np.cos(np.radians(angle))
graph = coo_matrix((np.ones(aligned.sum()), (i[aligned], j[aligned])), shape=(n, n))
_, labels = connected_components(graph, directed=False)
sizes = sorted((s for s in np.bincount(labels) if s >= minimum), reverse=True)
seconds = time.perf_counter() - start
print("numpy + scipy cKDTree, %d rods: %.3f s; mean local S %.4f, %d domains, largest %.1f%%"
      % (n, seconds, local_s.mean(), len(sizes), 100.0 * sizes[0] / n))
