"""ovalix.open, trajectories and frames: the arrays against the files' own numbers and the gsd library's, two
trajectories at once, and every failure a file or an argument can cause as a Python exception."""
import os
import shutil
import subprocess
import sys
import threading

import numpy as np
import pytest

import ovalix


def rotation_matrix(q):
    w, x, y, z = q / np.linalg.norm(q)
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)],
                     [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)],
                     [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)]])


def nematic_order(orientations, half_radii):
    """S and the director from the particles' unique axes (the half radius farthest from the mean of the
    other two; the longer on a tie), with numpy's eigensolver."""
    axes = []
    for q, h in zip(orientations, half_radii):
        if h[0] == h[1] == h[2]:
            continue
        deviation = [abs(h[k] - (h[(k + 1) % 3] + h[(k + 2) % 3]) / 2) for k in range(3)]
        k = max(range(3), key=lambda k: (deviation[k], h[k]))
        axes.append(rotation_matrix(q)[:, k])
    if not axes:
        return None
    u = np.array(axes)
    q_tensor = 1.5 * (u.T @ u) / len(u) - 0.5 * np.eye(3)
    values, vectors = np.linalg.eigh(q_tensor)
    director = vectors[:, np.argmax(values)]
    return values.max(), director * np.sign(director[np.argmax(np.abs(director))])


def test_dump_frames_hold_the_files_numbers(dump_run):
    t = ovalix.open(dump_run.path)
    assert len(t) == 3 and t.path == dump_run.path
    assert t.species.names == ("1", "2") and len(t.species) == 2
    np.testing.assert_array_equal(t.species.half_radii, dump_run.half_radii)
    assert t.species.colours.shape == (2, 3)
    frames = list(t)
    assert [f.index for f in frames] == [0, 1, 2]
    for f, truth in zip(frames, dump_run.frames):
        assert f.timestep == truth.step and len(f) == 5
        np.testing.assert_array_equal(f.labels, truth.labels)
        np.testing.assert_array_equal(f.species, truth.species)
        np.testing.assert_array_equal(f.positions, truth.positions)
        np.testing.assert_array_equal(f.orientations, truth.orientations)
        np.testing.assert_array_equal(f.half_radii, truth.half_radii)
        assert sorted(f.quantities) == ["c_pe", "vx"]
        np.testing.assert_array_equal(f.quantities["vx"], truth.vx)
        np.testing.assert_array_equal(f.quantities["c_pe"], truth.pe)
        np.testing.assert_allclose(f.box.vectors, truth.box_vectors, atol=1e-12)
        np.testing.assert_allclose(f.box.origin, truth.box_origin, atol=1e-12)
    # The frames read first kept their arrays while later ones were read; each array is made once, read-only.
    first = frames[0]
    assert first.positions is first.positions and first.quantities["vx"] is first.quantities["vx"]
    with pytest.raises(ValueError):
        first.positions[0, 0] = 1.0
    last = t[-1]
    assert last.index == 2
    np.testing.assert_array_equal(last.positions, t[np.int64(2)].positions)
    assert "Frame 2" in repr(last) and "step 250" in repr(last) and "3 frames" in repr(t)


def test_labels_that_are_no_whole_numbers(dump_run):
    for atom, label in enumerate(("1e300", "-1e300", "2.5")):
        damage_atom_line(dump_run.path, 0, atom, label + " 1 1 2 3 1 0 0 0 3 1 1 0 0")
    np.testing.assert_array_equal(ovalix.open(dump_run.path)[0].labels[:4], [-1, -1, -1, dump_run.frames[0].labels[3]])


def test_gsd_frames_match_the_gsd_library(gsd_path):
    import gsd.hoomd
    t = ovalix.open(gsd_path)
    assert t.species.names == ("A", "B")
    np.testing.assert_array_equal(t.species.half_radii, [[1.5, 0.5, 0.5], [0.4, 0.8, 1.2]])
    with gsd.hoomd.open(gsd_path, "rb") as reference:
        assert len(t) == len(reference)
        for f, g in zip(t, reference):
            assert f.timestep == g.configuration.step
            np.testing.assert_array_equal(f.positions, g.particles.position)
            np.testing.assert_array_equal(f.orientations, g.particles.orientation)
            np.testing.assert_array_equal(f.species, g.particles.typeid + 1)
            np.testing.assert_array_equal(f.labels, np.arange(1, 8))
            np.testing.assert_array_equal(f.half_radii, t.species.half_radii[g.particles.typeid])
            np.testing.assert_array_equal(f.quantities["vy"], g.particles.velocity[:, 1])
            lx, ly, lz, xy, xz, yz = g.configuration.box
            vectors = np.array([[lx, 0, 0], [xy * ly, ly, 0], [xz * lz, yz * lz, lz]])
            np.testing.assert_allclose(f.box.vectors, vectors, rtol=1e-6)
            np.testing.assert_allclose(f.box.origin, -vectors.sum(axis=0) / 2, rtol=1e-6)


def test_gsd_quantities_of_every_frame_match_the_gsd_library():
    """frames.gsd: frame 2 holds 3 particles where frame 0 holds 5, and no per-particle chunk of its own; it has
    frame 0's quantities with the defaults, as the gsd library gives them (its log chunks: 0 for each particle)."""
    import gsd.hoomd
    path = os.path.join(os.path.dirname(__file__), "..", "unit", "gsd", "frames.gsd")
    t = ovalix.open(path)
    with gsd.hoomd.open(path, "rb") as reference:
        assert len(t) == len(reference) == 4
        for f, g in zip(t, reference):
            p, n = g.particles, g.particles.N
            assert len(f) == n
            columns = {"vx": p.velocity[:, 0], "vy": p.velocity[:, 1], "vz": p.velocity[:, 2], "mass": p.mass,
                       "charge": p.charge, "ix": p.image[:, 0], "iy": p.image[:, 1], "iz": p.image[:, 2]}
            logged = {name: np.asarray(values).reshape(len(values), -1) for name, values in g.log.items()
                      if name.startswith("particles/")}
            for name, values in logged.items():
                short = name.split("/")[-1]
                for c in range(values.shape[1]):
                    key = short if values.shape[1] == 1 else f"{short}[{c + 1}]"
                    columns[key] = values[:, c] if len(values) == n else np.zeros(n)
            assert sorted(f.quantities) == sorted(columns)
            for name, values in columns.items():
                np.testing.assert_array_equal(f.quantities[name], values, err_msg=f"frame {f.index}: {name}")


def test_order_of_a_frame(dump_run, gsd_path):
    for path in (dump_run.path, gsd_path):
        t = ovalix.open(path)
        for f in (t[1], t[0]):
            s, director = ovalix.order(f)
            expected_s, expected_director = nematic_order(f.orientations, f.half_radii)
            # GSD quaternions are single precision, their lengths 1 within about 1e-7.
            assert s == pytest.approx(expected_s, abs=1e-6)
            np.testing.assert_allclose(director, expected_director, atol=1e-6)


def test_two_trajectories_at_once_read_their_own_frames(dump_run, gsd_path):
    alone_dump = [f.positions for f in ovalix.open(dump_run.path)]
    alone_gsd = [f.positions for f in ovalix.open(gsd_path)]
    dump, run, again = ovalix.open(dump_run.path), ovalix.open(gsd_path), ovalix.open(gsd_path)
    for i in (2, 0, 1, 2):
        np.testing.assert_array_equal(dump[i].positions, alone_dump[i])
        np.testing.assert_array_equal(run[i + 1].positions, alone_gsd[i + 1])
        np.testing.assert_array_equal(again[i].positions, alone_gsd[i])
        assert dump[i].species.shape == (5,) and run[i].species.shape == (7,)


def test_calls_from_several_threads_are_served_one_at_a_time(dump_run, gsd_path):
    runs = [(ovalix.open(dump_run.path), [f.positions for f in dump_run.frames]),
            (ovalix.open(gsd_path), [f.positions for f in ovalix.open(gsd_path)])]
    failures = []

    def reader(seed):
        rng = np.random.default_rng(seed)
        for _ in range(20):
            t, truth = runs[rng.integers(2)]
            i = int(rng.integers(len(t)))
            if not np.array_equal(t[i].positions, truth[i]):
                failures.append((t.path, i))

    threads = [threading.Thread(target=reader, args=(seed,)) for seed in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


def test_wrong_arguments_raise_type_value_and_index_errors(dump_run):
    t = ovalix.open(dump_run.path)
    for index in (1.0, "1", None, slice(0, 2)):
        with pytest.raises(TypeError, match="integers"):
            t[index]
    for index in (3, -4, 2**70):
        with pytest.raises(IndexError, match="out of range: the trajectory has 3 frames"):
            t[index]
    with pytest.raises(TypeError):
        ovalix.open(25)
    with pytest.raises(ValueError):
        ovalix.open("")
    with pytest.raises(TypeError):
        ovalix.order(t)
    assert t[True].index == 1  # a bool is an integer, as for lists


def damage_atom_line(path, frame, atom, text):
    """Replaces the line of one atom of one frame of a written dump."""
    lines = open(path).read().split("\n")
    headers = [n for n, line in enumerate(lines) if line.startswith("ITEM: ATOMS")]
    lines[headers[frame] + 1 + atom] = text
    open(path, "w").write("\n".join(lines))


def test_every_failure_of_a_file_is_an_ovalix_error_and_prints_nothing(dump_run, gsd_path, tmp_path, capfd):
    with pytest.raises(ovalix.Error, match=r"The file .*missing\.dump cannot be read\."):
        ovalix.open(str(tmp_path / "missing.dump"))
    with pytest.raises(ovalix.Error, match="No file matches"):
        ovalix.open(str(tmp_path / "none*.dump"))
    config = tmp_path / "run.cfg"
    config.write_text(f"dumpfile {tmp_path / 'gone.dump'}\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 0 0\n"
                      "bond_vector 1 1 0 0 0\nbackground 1 1 1\n")
    with pytest.raises(ovalix.Error, match=r"Error\. Dump file .*gone\.dump not found\."):
        ovalix.open(str(config))
    damaged_gsd = tmp_path / "damaged.gsd"
    damaged_gsd.write_bytes(open(gsd_path, "rb").read()[:8] + bytes(200))
    with pytest.raises(ovalix.Error, match="too short for a GSD header"):
        ovalix.open(str(damaged_gsd))
    # A type beyond the configuration's species in frame 1, found when that frame is read.
    damage_atom_line(dump_run.path, 1, 2, "3 9 1.0 2.0 3.0 1 0 0 0 1 1 1 0 0")
    config.write_text(f"dumpfile {dump_run.path}\nspecies 2\nhalf_radii 1 1 1 1\nhalf_radii 2 1 1 1\n"
                      "color 1 1 0 0\ncolor 2 0 1 0\nbond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 1 1 1\n")
    t = ovalix.open(str(config))
    np.testing.assert_array_equal(t[0].positions, dump_run.frames[0].positions)
    with pytest.raises(ovalix.Error, match=r"Illegal entry for atom no 3 in time step 1:\n(.*\n)*Type read: 9\."):
        t[1]
    np.testing.assert_array_equal(t[2].positions, dump_run.frames[2].positions)
    binary = tmp_path / "binary.dump"
    binary.write_bytes(bytes(range(256)))
    with pytest.raises(ovalix.Error, match="holds binary data"):
        ovalix.open(str(binary))
    assert isinstance(ovalix.Error("x"), Exception)
    captured = capfd.readouterr()
    assert captured.out == "" and captured.err == ""


def test_a_gsd_file_cut_while_open(gsd_path, tmp_path):
    cut = tmp_path / "cut.gsd"
    shutil.copy(gsd_path, cut)
    t = ovalix.open(str(cut))
    first = t[0].positions
    with open(cut, "r+b") as file:
        file.truncate(os.path.getsize(cut) // 2)
    with pytest.raises(ovalix.Error, match="cut while open"):
        for f in t:
            pass
    np.testing.assert_array_equal(ovalix.open(gsd_path)[0].positions, first)


def test_a_missing_file_never_waits_for_input(tmp_path):
    """The interpreter's standard input stays open and unanswered: the viewer's questions must not read it."""
    script = ("import ovalix\n"
              "for name in ('missing.cfg', 'missing*.dump'):\n"
              "    try:\n"
              "        ovalix.open(name)\n"
              "    except ovalix.Error as error:\n"
              "        print('Error:', error)\n")
    with subprocess.Popen([sys.executable, "-c", script], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, cwd=tmp_path,
                          env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(ovalix.__file__)))) as child:
        try:
            child.wait(timeout=120)  # a guard against hanging, far beyond what the two calls take
        finally:
            child.kill()
            output = child.stdout.read()
    assert child.returncode == 0, output
    assert output.count("Error:") == 2 and "Please supply" not in output
