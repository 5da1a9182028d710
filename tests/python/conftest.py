"""Shared fixtures of the module's tests: small trajectories written by the tests, with the numbers they hold."""
import types

import numpy as np
import pytest


def unit_quaternions(rng, count):
    """Random rotations, scalar part first and made positive (a quaternion and its negative turn alike)."""
    q = rng.normal(size=(count, 4))
    q /= np.linalg.norm(q, axis=1)[:, None]
    q[q[:, 0] < 0] *= -1
    return q


def lammps_box_lines(lo, hi, tilt):
    """The BOX BOUNDS lines LAMMPS writes for a box from lo to hi with tilt factors xy, xz, yz."""
    xy, xz, yz = tilt
    bound_lo = [lo[0] + min(0.0, xy, xz, xy + xz), lo[1] + min(0.0, yz), lo[2]]
    bound_hi = [hi[0] + max(0.0, xy, xz, xy + xz), hi[1] + max(0.0, yz), hi[2]]
    if tilt == (0.0, 0.0, 0.0):
        return ["ITEM: BOX BOUNDS pp pp pp"] + [f"{bound_lo[k]!r} {bound_hi[k]!r}" for k in range(3)]
    return ["ITEM: BOX BOUNDS xy xz yz pp pp pp"] + [f"{bound_lo[k]!r} {bound_hi[k]!r} {tilt[k]!r}" for k in range(3)]


@pytest.fixture
def dump_run(tmp_path):
    """A dump of three frames of five ellipsoids of two species, labels out of order, two quantities, an upright
    and a tilted box; returns its path and, per frame, the numbers written."""
    rng = np.random.default_rng(25)
    diameters = {1: (3.0, 1.0, 1.0), 2: (1.0, 2.0, 0.5)}
    steps = [0, 100, 250]
    tilts = [(0.0, 0.0, 0.0), (1.5, -0.5, 0.25), (0.0, 0.0, 0.0)]
    frames, lines = [], []
    for f, step in enumerate(steps):
        labels = rng.permutation(5) + 1
        species = rng.integers(1, 3, size=5)
        positions = rng.uniform(0.5, 9.5, size=(5, 3))
        orientations = unit_quaternions(rng, 5)
        vx, pe = rng.normal(size=5), rng.normal(size=5)
        lo, hi = [0.0, -1.0, 2.0], [10.0, 11.0, 14.5]
        lines += ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", "5"] + lammps_box_lines(lo, hi, tilts[f])
        lines.append("ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez vx c_pe")
        for i in range(5):
            numbers = [*positions[i], *orientations[i], *diameters[int(species[i])], vx[i], pe[i]]
            lines.append(f"{labels[i]} {species[i]} " + " ".join(repr(float(x)) for x in numbers))
        xy, xz, yz = tilts[f]
        vectors = np.array([[hi[0] - lo[0], 0, 0], [xy, hi[1] - lo[1], 0], [xz, yz, hi[2] - lo[2]]])
        frames.append(types.SimpleNamespace(
            step=step, labels=labels, species=species, positions=positions, orientations=orientations,
            half_radii=np.array([diameters[int(s)] for s in species]) / 2, vx=vx, pe=pe,
            box_vectors=vectors, box_origin=np.array(lo)))
    path = tmp_path / "run.dump"
    path.write_text("\n".join(lines) + "\n")
    return types.SimpleNamespace(path=str(path), frames=frames, half_radii=np.array([diameters[1], diameters[2]]) / 2)


@pytest.fixture
def gsd_path(tmp_path):
    """A GSD file of five frames of 7 ellipsoids of types A and B in a tilted box, written by the gsd library."""
    hoomd = pytest.importorskip("gsd.hoomd")
    rng = np.random.default_rng(7)
    path = tmp_path / "run.gsd"
    new_frame = getattr(hoomd, "Frame", None) or hoomd.Snapshot  # Snapshot before gsd 2.8
    with hoomd.open(str(path), "w" if hasattr(hoomd, "Frame") else "wb") as out:
        for f in range(5):
            frame = new_frame()
            frame.configuration.step = 1000 * (f + 1)
            frame.configuration.box = [8.0, 9.0, 10.0, 0.5, -0.25, 0.125]
            frame.particles.N = 7
            frame.particles.types = ["A", "B"]
            frame.particles.type_shapes = [{"type": "Ellipsoid", "a": 1.5, "b": 0.5, "c": 0.5},
                                           {"type": "Ellipsoid", "a": 0.4, "b": 0.8, "c": 1.2}]
            frame.particles.typeid = rng.integers(0, 2, size=7)
            frame.particles.position = rng.uniform(-3.5, 3.5, size=(7, 3)).astype(np.float32)
            frame.particles.orientation = unit_quaternions(rng, 7).astype(np.float32)
            frame.particles.velocity = rng.normal(size=(7, 3)).astype(np.float32)
            out.append(frame)
    return str(path)
