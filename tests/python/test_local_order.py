"""Local nematic order, domains and smectic layers (ovalix --analyze and ovalix.local_order) against numpy and
scipy working out the same definitions: a LAMMPS run of two stacked rod regions, a triclinic box, frames of
changing counts and a frame of spheres only."""
import csv
import io
import os
import pathlib
import subprocess

import numpy as np
import pytest
from scipy.sparse import coo_matrix
from scipy.sparse.csgraph import connected_components
from scipy.spatial import cKDTree

import ovalix

HERE = pathlib.Path(__file__).parent / "local_order"
PROGRAM = os.environ.get("OVALIX_PROGRAM", str(pathlib.Path(ovalix.__file__).parents[2] / "ovalix"))


# ---- The definitions, independently -------------------------------------------------------------------

def read_dump(path):
    """Frames of a dump with columns id type x y z and a quaternion: (labels, types, positions, quaternions, box)."""
    frames, lines = [], pathlib.Path(path).read_text().splitlines()
    k = 0
    while k < len(lines):
        count = int(lines[k + 3])
        bounds = np.array([[float(v) for v in lines[k + 5 + a].split()] for a in range(3)])
        lo, hi = bounds[:, 0].copy(), bounds[:, 1].copy()
        tilt = bounds[:, 2] if bounds.shape[1] == 3 else np.zeros(3)
        xy, xz, yz = tilt
        lo[0] -= min(0.0, xy, xz, xy + xz)
        hi[0] -= max(0.0, xy, xz, xy + xz)
        lo[1] -= min(0.0, yz)
        hi[1] -= max(0.0, yz)
        edges = np.array([[hi[0] - lo[0], 0, 0], [xy, hi[1] - lo[1], 0], [xz, yz, hi[2] - lo[2]]])
        rows = np.array([[float(v) for v in line.split()] for line in lines[k + 9:k + 9 + count]]).reshape(count, 9)
        frames.append((rows[:, 0], rows[:, 1].astype(int), rows[:, 2:5], rows[:, 5:9], lo, edges))
        k += 9 + count
    return frames


def axes_of(quaternions, body_axis):
    """The body axis turned as the viewer draws a particle: by 2 arccos(w) about the unit (x, y, z)."""
    w = np.clip(quaternions[:, 0], -1, 1)
    length = np.linalg.norm(quaternions[:, 1:], axis=1)
    axis = quaternions[:, 1:] / np.where(length > 0, length, 1)[:, None]
    angle = 2 * np.arccos(w)
    v = np.zeros(3)
    v[body_axis] = 1
    c, s = np.cos(angle)[:, None], np.sin(angle)[:, None]
    u = v * c + np.cross(axis, v) * s + axis * (axis @ v)[:, None] * (1 - c)
    return u / np.linalg.norm(u, axis=1)[:, None]


def neighbour_pairs(positions, edges, rc):
    """(i, j) for every j within rc of i by the minimum image, i itself included."""
    if np.allclose(edges, np.diag(np.diag(edges))):
        lengths = np.diag(edges)
        tree = cKDTree(np.mod(positions, lengths), boxsize=lengths)
        pairs = tree.query_pairs(rc, output_type="ndarray")
    else:  # triclinic: every pair, the difference rounded in fractions of the edges
        i, j = np.triu_indices(len(positions), 1)
        fractions = (positions[j] - positions[i]) @ np.linalg.inv(edges)
        d = (fractions - np.round(fractions)) @ edges
        keep = np.einsum("ij,ij->i", d, d) <= rc * rc
        pairs = np.stack([i[keep], j[keep]], 1)
    self_pairs = np.stack([np.arange(len(positions))] * 2, 1)
    return np.concatenate([pairs, pairs[:, ::-1], self_pairs])


def reference(positions, u, edges, rc, angle=20.0, minimum=10):
    """local S of each particle and the sizes of the numbered domains, largest first."""
    pairs = neighbour_pairs(positions, edges, rc)
    n = len(positions)
    outer = np.einsum("ja,jb->jab", u, u)
    sums = np.zeros((n, 3, 3))
    np.add.at(sums, pairs[:, 0], outer[pairs[:, 1]])
    counts = np.bincount(pairs[:, 0], minlength=n)
    q = 1.5 * sums / counts[:, None, None] - 0.5 * np.eye(3)
    local_s = np.linalg.eigvalsh(q)[:, -1]
    aligned = np.abs(np.einsum("ia,ia->i", u[pairs[:, 0]], u[pairs[:, 1]])) > np.cos(np.radians(angle))
    graph = coo_matrix((np.ones(aligned.sum()), (pairs[aligned, 0], pairs[aligned, 1])), shape=(n, n))
    _, labels = connected_components(graph, directed=False)
    sizes = sorted((s for s in np.bincount(labels) if s >= minimum), reverse=True)
    return local_s, sizes


def tau_at(z, spacing):
    return np.abs(np.exp(2j * np.pi * z / spacing).mean())


def reference_tau(z, dmin, dmax):
    """The largest tau over a scan of q = 1/d fifty points to each peak width."""
    q = np.linspace(1 / dmax, 1 / dmin, int((1 / dmin - 1 / dmax) * np.ptp(z) * 50) + 2)
    return max(tau_at(z, 1 / value) for value in q)


# ---- Running the program ------------------------------------------------------------------------------

def analyze(*arguments, cwd=HERE):
    result = subprocess.run([PROGRAM, "--analyze", *map(str, arguments)], cwd=cwd, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=120)
    return result


def table_of(text):
    return list(csv.DictReader(io.StringIO(text)))


def check_frame(row, particles_csv, labels, types, positions, quaternions, edges, rc, angle, minimum, dlimits):
    """The program's row and per-particle values of one frame against the reference's."""
    rods = types == 1
    u = axes_of(quaternions[rods], 0)
    local_s, sizes = reference(positions[rods], u, edges, rc, angle, minimum)
    per = table_of(pathlib.Path(particles_csv).read_text())
    assert [float(p["label"]) for p in per] == list(labels)
    assert all(p["local_S"] == "" and p["domain"] == "0" for p, rod in zip(per, rods) if not rod)
    np.testing.assert_allclose([float(p["local_S"]) for p, rod in zip(per, rods) if rod], local_s, rtol=0, atol=1e-9)
    domains = np.array([int(p["domain"]) for p in per])
    assert [int((domains == d).sum()) for d in range(1, len(sizes) + 1)] == sizes
    assert int(row["domains"]) == len(sizes) and domains.max(initial=0) == len(sizes)
    assert float(row["mean_local_S"]) == pytest.approx(local_s.mean(), abs=1e-9)
    assert float(row["largest_domain_fraction"]) == pytest.approx((sizes + [0])[0] / rods.sum(), abs=1e-12)
    assert float(row["second_domain_fraction"]) == pytest.approx((sizes + [0, 0])[1] / rods.sum(), abs=1e-12)
    q = 1.5 * np.einsum("ia,ib->ab", u, u) / len(u) - 0.5 * np.eye(3)
    values = np.linalg.eigvalsh(q)
    director = np.array([float(row["director_" + a]) for a in "xyz"])
    # The global S comes from the eigensolver of the order parameter, to its precision where two eigenvalues meet.
    assert float(row["S"]) == pytest.approx(values[-1], abs=1e-7)
    np.testing.assert_allclose(q @ director, values[-1] * director, atol=1e-7)
    z = positions[rods] @ director
    tau, spacing = float(row["smectic_tau"]), float(row["layer_spacing"])
    assert dlimits[0] - 1e-9 <= spacing <= dlimits[1] + 1e-9
    assert tau == pytest.approx(tau_at(z, spacing), abs=1e-9)
    assert tau == pytest.approx(reference_tau(z, *dlimits), abs=1e-3)
    return sizes


def test_lammps_run_of_two_rod_regions(tmp_path, monkeypatch):
    frames = read_dump(HERE / "dump.rods")
    result = analyze("--per-particle", tmp_path, "rods.cfg")
    assert result.returncode == 0, result.stderr
    rows = table_of(result.stdout)
    assert [int(r["frame"]) for r in rows] == list(range(len(frames)))
    for k, (row, frame) in enumerate(zip(rows, frames)):
        assert int(row["timestep"]) == 100 * k and int(row["atoms"]) == 288
        sizes = check_frame(row, tmp_path / ("dump.rods_%04d.csv" % k), *frame[:4], frame[5], 3.0, 20, 10, (1.0, 4.5))
    # The run ends with the two regions as two domains of about half the rods each.
    assert len(sizes) >= 2 and sizes[0] + sizes[1] >= 0.9 * 288
    # The parameters of --local-order, the table to a file as the same text, the Python module alike.
    out = tmp_path / "table.csv"
    result = analyze("--frames", "3:4", "--local-order", "2.5:30:5", "--per-particle", tmp_path, "--out", out,
                     "rods.cfg")
    assert result.returncode == 0 and result.stdout == ""
    rows = table_of(out.read_text())
    assert [r["frame"] for r in rows] == ["3", "4"]
    check_frame(rows[1], tmp_path / "dump.rods_0004.csv", *frames[4][:4], frames[4][5], 2.5, 30, 5, (1.0, 4.5))
    monkeypatch.chdir(HERE)
    frame = ovalix.open("rods.cfg")[4]
    local_s, domain = ovalix.local_order(frame, rc=2.5, angle=30, min_size=5)
    per = table_of((tmp_path / "dump.rods_0004.csv").read_text())
    np.testing.assert_allclose(local_s, [float(p["local_S"]) for p in per], rtol=0, atol=1e-14)  # 15 digits written
    np.testing.assert_array_equal(domain, [int(p["domain"]) for p in per])
    assert ovalix.smectic(frame) == pytest.approx((float(rows[1]["smectic_tau"]), float(rows[1]["layer_spacing"])))


def dump_frame(step, types, positions, quaternions, lo, hi, tilt):
    xy, xz, yz = tilt
    lines = ["ITEM: TIMESTEP", str(step), "ITEM: NUMBER OF ATOMS", str(len(types)),
             "ITEM: BOX BOUNDS xy xz yz pp pp pp",
             "%r %r %r" % (lo[0] + min(0.0, xy, xz, xy + xz), hi[0] + max(0.0, xy, xz, xy + xz), xy),
             "%r %r %r" % (lo[1] + min(0.0, yz), hi[1] + max(0.0, yz), xz), "%r %r %r" % (lo[2], hi[2], yz),
             "ITEM: ATOMS id type x y z quatw quati quatj quatk"]
    for i in range(len(types)):
        lines.append("%d %d " % (i + 1, types[i]) + " ".join(repr(float(v)) for v in (*positions[i], *quaternions[i])))
    return lines


def turned_towards(rng, count, axis, spread):
    """Quaternions that turn the body x axis to near `axis`, within about `spread` radians."""
    target = np.array(axis, float) + rng.normal(scale=spread, size=(count, 3))
    target /= np.linalg.norm(target, axis=1)[:, None]
    half = (target + [1, 0, 0]) / np.linalg.norm(target + [1, 0, 0], axis=1)[:, None]
    return np.concatenate([half[:, :1], np.cross([1, 0, 0], half)], 1)  # w = x . h, (x, y, z) = x cross h


def test_triclinic_box_changing_counts_and_spheres_only(tmp_path):
    rng = np.random.default_rng(27)
    lo, hi, tilt = np.array([1.0, -2.0, 0.5]), np.array([9.0, 5.0, 8.5]), (3.0, -1.5, 1.0)
    # frame 0: rods in two orientations and spheres in a tilted box; frame 1: fewer rods in layers 3.2 apart
    # along z; frame 2: spheres only.
    types0 = np.r_[np.ones(70, int), 2 * np.ones(10, int)]
    quats0 = np.r_[turned_towards(rng, 35, (1, 0, 0), 0.15), turned_towards(rng, 35, (0, 1, 1), 0.15),
                   np.tile([1.0, 0, 0, 0], (10, 1))]
    positions0 = lo + rng.uniform(size=(80, 3)) * (hi - lo)
    layers = np.c_[rng.uniform(1, 9, 45), rng.uniform(-2, 5, 45), 0.7 + 3.2 * rng.integers(0, 3, 45) + rng.normal(0, 0.2, 45)]
    quats1 = turned_towards(rng, 45, (0, 0, 1), 0.1)
    lines = dump_frame(0, types0, positions0, quats0, lo, hi, tilt)
    lines += dump_frame(10, np.ones(45, int), layers, quats1, lo, hi, tilt)
    lines += dump_frame(20, 2 * np.ones(6, int), rng.uniform(2, 4, (6, 3)), np.tile([1.0, 0, 0, 0], (6, 1)), lo, hi, tilt)
    (tmp_path / "mixed.dump").write_text("\n".join(lines) + "\n")
    (tmp_path / "mixed.cfg").write_text("dumpfile mixed.dump\nspecies 2\nhalf_radii 1 1.5 0.5 0.5\nhalf_radii 2 0.5 0.5 0.5\n"
                                        "color 1 1 0 0\ncolor 2 0 0 1\nbond_vector 1 1 0 0 0\nbackground 1 1 1\n"
                                        "varying_atoms\nlocal_order 2.6 25 2\n")
    frames = read_dump(tmp_path / "mixed.dump")
    for option, rc in (([], 2.6), (["--local-order", "1.9:25:2"], 1.9)):  # 2 and 3 cells across the box
        result = analyze(*option, "--per-particle", tmp_path, "mixed.cfg", cwd=tmp_path)
        assert result.returncode == 0, result.stderr
        rows = table_of(result.stdout)
        assert [r["atoms"] for r in rows] == ["80", "45", "6"]
        for k in range(2):
            check_frame(rows[k], tmp_path / ("mixed.dump_%04d.csv" % k), *frames[k][:4], frames[k][5], rc, 25, 2,
                        (1.0, 4.5))
        # Spheres only: one line says so, the row's order columns are empty, no NaN anywhere.
        assert rows[2]["S"] == "" and rows[2]["domains"] == "0" and rows[2]["smectic_tau"] == ""
        assert "nan" not in result.stdout.lower() + (tmp_path / "mixed.dump_0002.csv").read_text().lower()
        assert [line for line in result.stderr.splitlines() if "no non-spherical particle" in line] == [
            "ovalix --analyze: frame 2 has no non-spherical particle: the order columns of such frames are left empty."]
    # The layered frame: its layers found 3.2 apart.
    assert float(rows[1]["layer_spacing"]) == pytest.approx(3.2, abs=0.1) and float(rows[1]["smectic_tau"]) > 0.7


def test_bad_options_and_inputs_leave_no_table(tmp_path):
    out = tmp_path / "table.csv"
    for arguments, message in (
            (["--local-order", "0", "rods.cfg"], "--local-order takes the cut-off RC (above 0)"),
            (["--local-order", "3:95", "rods.cfg"], "at most 90"),
            (["--frames", "2:9", "--out", out, "rods.cfg"], "The frames 2 to 9 lie outside the trajectory"),
            (["--out", tmp_path / "missing" / "t.csv", "rods.cfg"], "cannot be written there"),
            (["--per-particle", tmp_path / "missing", "rods.cfg"], "does not exist"),
            (["--colour", "rods.cfg"], "Unknown option --colour"),
            (["missing.cfg"], "The file missing.cfg cannot be read.")):
        result = analyze(*arguments)
        said = [line for line in result.stderr.splitlines() if line.startswith("ovalix --analyze:")]
        assert result.returncode == 1 and len(said) == 1 and message in said[0], result.stderr
        assert list(tmp_path.iterdir()) == []


def test_domain_colours_and_their_list_in_a_picture(monkeypatch):
    """ovalix.render coloured by domain: the list beside the picture shows each of the two large domains' own
    colour, unlit; coloured by local_S it shows none of them."""
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"):
        monkeypatch.delenv(name, raising=False)
    monkeypatch.chdir(HERE)
    t = ovalix.open("rods.cfg")
    first, second = (31, 120, 181), (255, 128, 13)  # domains 1 and 2

    def holds(image, colour):
        return bool(np.any(np.all(np.abs(np.asarray(image, int) - colour) <= 1, axis=-1)))

    domains = ovalix.render(t, frame=4, size=(320, 240), colour_by="domain", local_order=(3, 20, 10))
    assert holds(domains, first) and holds(domains, second)
    local = ovalix.render(t, frame=4, size=(320, 240), colour_by="local_S", local_order=3)
    assert not holds(local, first) and not holds(local, second)
