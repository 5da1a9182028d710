"""ovalix.render against `ovalix --render`: the same frame and options give the same pixels and the same file;
images show as PNG, save whole or not at all, bad arguments raise clear exceptions, threads take turns."""
import errno
import io
import math
import os
import pathlib
import subprocess
import threading

import numpy as np
import pytest

import ovalix

PIL = pytest.importorskip("PIL.Image")
SOURCE = pathlib.Path(__file__).resolve().parents[2]
SMALL = (160, 100)


def ovalix_binary():
    """The program built beside the module: build/ovalix for build/python/ovalix."""
    named = os.environ.get("OVALIX_BIN")
    return named if named else str(pathlib.Path(ovalix.__file__).resolve().parents[2] / "ovalix")


def write_dump(path, frames=4, count=40):
    """Ellipsoids of two species on a turning ring, with a per-particle quantity c_pe, in a 60-wide box."""
    lines = []
    for f in range(frames):
        lines += ["ITEM: TIMESTEP", str(100 * f), "ITEM: NUMBER OF ATOMS", str(count), "ITEM: BOX BOUNDS pp pp pp"]
        lines += ["-30 30"] * 3
        lines.append("ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez c_pe")
        for i in range(count):
            a = 2 * math.pi * i / count + 0.2 * f
            half = 0.5 * (a + f)
            lines.append("%d %d %r %r %r %r 0 0 %r %s %r" % (
                i + 1, 1 + i % 2, 20 * math.cos(a), 20 * math.sin(a), 4.0 * math.sin(3 * a), math.cos(half),
                math.sin(half), "5 2 2" if i % 2 else "3 3 3", math.sin(a + f)))
    path.write_text("\n".join(lines) + "\n")
    return str(path)


@pytest.fixture(autouse=True)
def no_display(monkeypatch):
    """Pictures need no window system: the context is made without DISPLAY."""
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"):
        monkeypatch.delenv(name, raising=False)


@pytest.fixture
def runs(tmp_path):
    gsd = tmp_path / "frames.gsd"
    gsd.write_bytes((SOURCE / "tests/unit/gsd/frames.gsd").read_bytes())
    return {"dump": write_dump(tmp_path / "ring.dump"), "gsd": str(gsd)}


def offscreen(path, frame, words, out):
    """The image `ovalix --render` writes for one frame, as its file's bytes."""
    os.makedirs(out, exist_ok=True)
    result = subprocess.run([ovalix_binary(), "--render", "--frames", "%d:%d" % (frame, frame), "--out", out] + words +
                            [path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=300)
    assert result.returncode == 0, result.stdout
    names = os.listdir(out)
    assert len(names) == 1, names
    return (pathlib.Path(out) / names[0]).read_bytes()


def decoded(data):
    return np.asarray(PIL.open(io.BytesIO(data)).convert("RGB"))


CASES = [  # run, frame, render's arguments, the same as offscreen options
    ("dump", 2, dict(size=SMALL), ["--size", "160x100", "--raycast", "--fit"]),
    ("dump", 1, dict(size=(128, 96), raycast=False, box=True, supersample=2),
     ["--size", "128x96", "--box", "--supersample", "2", "--fit"]),
    ("dump", 3, dict(size=SMALL, colour_by="c_pe", slab=(0, 0, 1, 0.5, 5), hide_species=[2], fit=False),
     ["--size", "160x100", "--raycast", "--colour-by", "c_pe", "--slab", "0,0,1,0.5,5", "--hide-species", "2"]),
    ("dump", -1, dict(size=SMALL, colour_by=("c_pe", -0.5, 0.25), box=True),
     ["--size", "160x100", "--raycast", "--fit", "--colour-by", "c_pe:-0.5:0.25", "--box", "--frames"]),
    ("gsd", 1, dict(size=SMALL, box=True, colour_by_orientation=True),
     ["--size", "160x100", "--raycast", "--fit", "--box", "--colour-by-orientation"]),
    ("gsd", 0, dict(size=SMALL, raycast=False, supersample=3), ["--size", "160x100", "--fit", "--supersample", "3"]),
    ("gsd", 2, dict(size=SMALL, transparency={"B": 0.4, 3: 0}),
     ["--size", "160x100", "--raycast", "--fit", "--transparency", "2:0.4", "--transparency", "3:0"]),
    ("dump", 2, dict(size=SMALL, images=(3, 3, 1), wrap=True),
     ["--size", "160x100", "--raycast", "--fit", "--images", "3x3x1", "--wrap"]),
    ("dump", 2, dict(size=SMALL, ambient_occlusion=0.8), ["--size", "160x100", "--raycast", "--fit", "--ambient-occlusion=0.8"]),
]


@pytest.mark.parametrize("run,frame,arguments,words", CASES)
def test_pixels_and_files_equal_the_offscreen_mode(runs, tmp_path, run, frame, arguments, words):
    t = ovalix.open(runs[run])
    image = ovalix.render(t, frame=frame, **arguments)
    width, height = arguments["size"]
    assert isinstance(image, np.ndarray) and image.shape == (height, width, 3) and image.dtype == np.uint8
    if words[-1] == "--frames":  # a negative frame counts from the end
        words, frame = words[:-1], len(t) + frame
    expected = offscreen(runs[run], frame, words, str(tmp_path / "offscreen"))
    assert np.array_equal(image, decoded(expected))
    assert len(np.unique(image.reshape(-1, 3), axis=0)) > 3  # particles drawn, not a blank picture
    assert np.array_equal(decoded(image._repr_png_()), image)
    image.save(tmp_path / "saved.png")
    assert (tmp_path / "saved.png").read_bytes() == expected


def test_the_same_options_again_and_after_others_give_the_same_pictures(runs):
    t = ovalix.open(runs["dump"])
    first = [ovalix.render(t, frame=k, size=SMALL) for k in range(3)]
    ovalix.render(t, frame=1, size=(64, 48), colour_by="c_pe", unwrap=True)
    ovalix.render(t, frame=2, size=(64, 48), wrap=True)
    ovalix.render(t, frame=1, size=(64, 48), colour_by="c_pe", unwrap=True, ambient_occlusion=True)
    ovalix.render(ovalix.open(runs["gsd"]), size=SMALL)
    again = [ovalix.render(t, frame=k, size=SMALL) for k in (2, 0, 1)]
    for old, new in zip(first, [again[1], again[2], again[0]]):
        assert np.array_equal(old, new)
    assert not np.array_equal(first[0], first[2])
    ovalix.open(runs["gsd"])  # opening another run, with no picture of it, must not change t's next one
    assert np.array_equal(ovalix.render(t, frame=1, size=SMALL), first[1])


def test_save_on_a_full_disk_raises_and_leaves_no_file(runs, tmp_path):
    folder = tmp_path / "small"
    folder.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(folder)],
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if mounted.returncode != 0:
        pytest.skip("a small tmpfs cannot be mounted here (%s)" % mounted.stdout.strip())
    try:
        noise = np.random.default_rng(1).integers(0, 256, size=(200, 300, 3), dtype=np.uint8)
        image = ovalix.Image(noise)  # hardly compressible: about 180 kB as PNG
        with pytest.raises(ovalix.Error, match=r"The image .*big\.png cannot be written: No space left on device\."):
            image.save(folder / "big.png")
        assert os.listdir(folder) == []
        image[:20, :20].save(str(folder / "corner.bmp"))  # the next call works
        assert np.array_equal(np.asarray(PIL.open(folder / "corner.bmp").convert("RGB")), noise[:20, :20])
    finally:
        subprocess.run(["umount", "-l", str(folder)], stdin=subprocess.DEVNULL)


def test_bad_arguments_raise_clear_exceptions(runs, tmp_path):
    t = ovalix.open(runs["dump"])
    for arguments in [dict(frame=1.0), dict(frame=True), dict(size=640), dict(size=(10, 10.5)), dict(box=1),
                      dict(slab=(0, 0, 1, 0)), dict(slab="0,0,1,0,1"), dict(hide_species=[1.5]),
                      dict(colour_by=3), dict(view=7), dict(supersample="2"), dict(device=1),
                      dict(transparency=[(2, 0.5)]), dict(transparency={2: "0.5"}), dict(images=3),
                      dict(images=(3, 3)), dict(wrap=1),
                      dict(ambient_occlusion="0.5")]:
        with pytest.raises(TypeError):
            ovalix.render(t, **arguments)
    with pytest.raises(TypeError):
        ovalix.render(runs["dump"])
    refused = [(dict(size=(0, 10)), r"--size takes WIDTHxHEIGHT"), (dict(supersample=5), r"--supersample takes"),
               (dict(slab=(0, 0, 0, 1, 1)), r"--slab takes"), (dict(hide_species=[0]), r"--hide-species takes"),
               (dict(colour_by=("c_pe", 1, -1)), r"--colour-by takes"), (dict(device="tpu"), r"device takes"),
               (dict(images=(3, 2, 1)), r"--images takes"),
               (dict(ambient_occlusion=1.5), r"ambient_occlusion takes a strength from 0 to 1"),
               (dict(hide_species=[3]), r"asks for species 3, but the run has only 2 species"),
               (dict(transparency={3: 0.5}), r"--transparency asks for species 3, but the run has only 2 species"),
               (dict(transparency={2: 1.5}), r"--transparency takes SPECIES:OPACITY"),
               (dict(transparency={"C": 0.5}), r"transparency names species 'C'"),
               (dict(colour_by="c_missing"), r"c_missing")]
    for arguments, message in refused:
        with pytest.raises(ValueError, match=message):
            ovalix.render(t, **{"size": SMALL, **arguments})
    with pytest.raises(ovalix.Error, match="c_missing"):
        ovalix.render(t, size=SMALL, colour_by="c_missing")
    other = "cpu" if ovalix.renderer().startswith("drawing on the GPU") else "gpu"
    with pytest.raises(ValueError, match="the device is chosen by the first picture"):
        ovalix.render(t, size=SMALL, device=other)
    for frame in (4, -5):
        with pytest.raises(IndexError):
            ovalix.render(t, frame=frame, size=SMALL)
    with pytest.raises(ovalix.Error, match="view"):
        ovalix.render(t, size=SMALL, view=tmp_path / "missing.view")
    with pytest.raises(ValueError, match=r"\(height, width, 3\)"):
        ovalix.Image(np.zeros((4, 4))).save(tmp_path / "flat.png")
    assert ovalix.Image(np.zeros((4, 4)))._repr_png_() is None
    assert ovalix.render(t, frame=-4, size=SMALL).shape == (100, 160, 3)  # the next call works


def test_threads_rendering_at_once_take_turns(runs):
    t, u = ovalix.open(runs["dump"]), ovalix.open(runs["gsd"])
    jobs = [(t, dict(frame=1, size=SMALL)), (u, dict(frame=0, size=(96, 64), box=True)),
            (t, dict(frame=2, size=SMALL, colour_by="c_pe")), (u, dict(frame=1, size=SMALL, supersample=2))] * 3
    alone = [ovalix.render(trajectory, **arguments) for trajectory, arguments in jobs[:4]]
    results = [None] * len(jobs)

    def work(k):
        trajectory, arguments = jobs[k]
        results[k] = ovalix.render(trajectory, **arguments)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(jobs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for k, image in enumerate(results):
        assert np.array_equal(image, alone[k % 4]), k
