"""ovalix.render and the images it returns: numpy arrays that show themselves in Jupyter and save as files."""
import numbers
import os
import struct
import zlib

import numpy

from . import _ovalix

DEVICES = {None: [], "gpu": ["--gpu"], "cpu": ["--cpu"]}


class Image(numpy.ndarray):
    """An (height, width, 3) uint8 RGB picture, first row at the top: a numpy array that Jupyter shows inline."""

    def __new__(cls, pixels):
        return numpy.asarray(pixels, dtype=numpy.uint8).view(cls)

    def _is_picture(self):
        return self.ndim == 3 and self.shape[2] == 3 and self.dtype == numpy.uint8

    def _repr_png_(self):
        """The picture as PNG bytes (None for a slice that is no longer a picture)."""
        if not self._is_picture():
            return None
        height, width = self.shape[:2]
        rows = numpy.zeros((height, width * 3 + 1), dtype=numpy.uint8)  # each row after its filter byte, 0: none
        rows[:, 1:] = numpy.asarray(self).reshape(height, width * 3)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows.tobytes(), 6)) +
                chunk(b"IEND", b""))

    def save(self, path):
        """Writes the picture to `path`, whole or not at all: PNG, BMP or else JPEG by the name's extension."""
        if not isinstance(path, (str, os.PathLike)):
            raise TypeError("save takes a file name, not %s" % type(path).__name__)
        if not self._is_picture():
            raise ValueError("only an (height, width, 3) uint8 picture can be saved, not one of shape %s" % (self.shape,))
        _ovalix._save_image(os.fsdecode(os.fspath(path)), numpy.ascontiguousarray(numpy.asarray(self)[::-1]))


def _flag(name, value, word):
    if not isinstance(value, (bool, numpy.bool_)):
        raise TypeError("%s takes True or False, not %s" % (name, type(value).__name__))
    return [word] if value else []


def _whole(name, value):
    if isinstance(value, (bool, numpy.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError("%s takes a whole number, not %s" % (name, type(value).__name__))
    return int(value)


def _real(name, value):
    if isinstance(value, (bool, numpy.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s takes numbers, not %s" % (name, type(value).__name__))
    return repr(float(value))  # the shortest text that reads back as the same double


def _sequence(name, value):
    if isinstance(value, (str, bytes)) or not hasattr(value, "__iter__"):
        raise TypeError("%s takes a sequence, not %s" % (name, type(value).__name__))
    return list(value)


def _size_words(size):
    values = _sequence("size", size)
    if len(values) != 2:
        raise TypeError("size takes (width, height), not %d values" % len(values))
    return ["--size", "%dx%d" % (_whole("size", values[0]), _whole("size", values[1]))]


def _colour_words(colour_by):
    """A quantity's name, "NAME:all", or (name, low, high) for a fixed range."""
    if colour_by is None:
        return []
    if isinstance(colour_by, str):
        return ["--colour-by", colour_by]
    values = _sequence("colour_by", colour_by)
    if len(values) != 3 or not isinstance(values[0], str):
        raise TypeError("colour_by takes a quantity's name or (name, low, high)")
    return ["--colour-by", "%s:%s:%s" % (values[0], _real("colour_by", values[1]), _real("colour_by", values[2]))]


def _slab_words(slab):
    if slab is None:
        return []
    values = _sequence("slab", slab)
    if len(values) != 5:
        raise TypeError("slab takes (nx, ny, nz, offset, width), not %d values" % len(values))
    return ["--slab", ",".join(_real("slab", v) for v in values)]


def _hidden_words(hide_species):
    numbers_given = [_whole("hide_species", n) for n in _sequence("hide_species", hide_species)]
    return ["--hide-species", ",".join(str(n) for n in numbers_given)] if numbers_given else []


def _transparency_words(transparency, names):
    """--transparency N:OPACITY for each {species: opacity}; a species by its number from 1 or by its name."""
    if transparency is None:
        return []
    if not isinstance(transparency, dict):
        raise TypeError("transparency takes a dict {species: opacity}, not %s" % type(transparency).__name__)
    words = []
    for species, opacity in transparency.items():
        if isinstance(species, str):
            if species not in names:
                raise ValueError("transparency names species %r, but the run's species are %s" %
                                 (species, ", ".join(repr(n) for n in names)))
            species = names.index(species) + 1
        words += ["--transparency", "%d:%s" % (_whole("transparency", species), _real("transparency", opacity))]
    return words


def _view_words(view):
    if view is None:
        return []
    if not isinstance(view, (str, os.PathLike)):
        raise TypeError("view takes the name of a view file, not %s" % type(view).__name__)
    return ["--view", os.fsdecode(os.fspath(view))]


def _images_words(images):
    """(nx, ny, nz) odd counts; (1, 1, 1), one image, gives no word."""
    values = _sequence("images", images)
    if len(values) != 3:
        raise TypeError("images takes (nx, ny, nz), not %d values" % len(values))
    counts = [_whole("images", v) for v in values]
    return [] if counts == [1, 1, 1] else ["--images", "x".join(str(n) for n in counts)]


def _device_words(device):
    if device is not None and not isinstance(device, str):
        raise TypeError("device takes None, 'gpu' or 'cpu', not %s" % type(device).__name__)
    if device not in DEVICES:
        raise ValueError("device takes None (a GPU if there is one, else software), 'gpu' or 'cpu', not %r" % device)
    return DEVICES[device]


def _occlusion_words(ambient_occlusion):
    if ambient_occlusion is None or ambient_occlusion is False:
        return []
    if ambient_occlusion is True:
        return ["--ambient-occlusion"]
    if not isinstance(ambient_occlusion, (int, float)):
        raise TypeError("ambient_occlusion takes None, True or a strength from 0 to 1, not %s"
                        % type(ambient_occlusion).__name__)
    if not 0 <= ambient_occlusion <= 1:
        raise ValueError("ambient_occlusion takes a strength from 0 to 1, not %r" % ambient_occlusion)
    return ["--ambient-occlusion=%r" % float(ambient_occlusion)]


def _local_order_words(local_order):
    if local_order is None:
        return []
    values = [local_order] if isinstance(local_order, (int, float)) else _sequence("local_order", local_order)
    if not 1 <= len(values) <= 3:
        raise TypeError("local_order takes rc, (rc, angle) or (rc, angle, min_size)")
    return ["--local-order", ":".join(_real("local_order", v) for v in values)]


def option_words(size=(1024, 640), raycast=True, colour_by=None, box=False, slab=None, hide_species=(), fit=True,
                 view=None, supersample=1, adaptive_detail=False, colour_by_orientation=False, unwrap=False,
                 fixed_centre=False, images=(1, 1, 1), wrap=False, device=None, transparency=None,
                 species_names=(), ambient_occlusion=None, local_order=None):
    """The `ovalix --render` options that make the same picture as render(...) with these arguments."""
    return (_size_words(size) + _flag("raycast", raycast, "--raycast") + _colour_words(colour_by) +
            _flag("box", box, "--box") + _slab_words(slab) + _hidden_words(hide_species) +
            _flag("fit", fit, "--fit") + _view_words(view) +
            ["--supersample", str(_whole("supersample", supersample))] +
            _flag("adaptive_detail", adaptive_detail, "--adaptive-detail") +
            _flag("colour_by_orientation", colour_by_orientation, "--colour-by-orientation") +
            _flag("unwrap", unwrap, "--unwrap") + _flag("fixed_centre", fixed_centre, "--fixed-centre") +
            _images_words(images) + _flag("wrap", wrap, "--wrap") + _device_words(device) +
            _transparency_words(transparency, list(species_names)) + _occlusion_words(ambient_occlusion) +
            _local_order_words(local_order))


def render(trajectory, frame=0, size=(1024, 640), raycast=True, colour_by=None, box=False, slab=None,
           hide_species=(), fit=True, view=None, supersample=1, adaptive_detail=False, colour_by_orientation=False,
           unwrap=False, fixed_centre=False, images=(1, 1, 1), wrap=False, device=None, transparency=None,
           ambient_occlusion=None, local_order=None):
    """Draws frame `frame` of `trajectory` (ovalix.open) offscreen as `ovalix --render` draws it; an Image.

    frame: index, negative from the end. size: (width, height) in pixels. raycast: exact ray-cast ellipsoids.
    colour_by: a quantity's name, "NAME:all" (range over every frame) or (name, low, high). box: the simulation
    box. slab: (nx, ny, nz, offset, width), only particles inside. hide_species: species numbers from 1.
    fit: the view fitted to frame 0. view: a view file saved with the key V. supersample: 1 to 4.
    adaptive_detail, colour_by_orientation, unwrap, fixed_centre: as the offscreen switches of those names.
    images: (nx, ny, nz) periodic images, odd counts centred on the box. wrap: positions wrapped into the box.
    device: None (a GPU if there is one, else software), "gpu" or "cpu"; the first picture chooses for the process.
    transparency: {species: opacity}, a species by number from 1 or by name (t.species.names), opacity 0 to 1.
    ambient_occlusion: None (off), True (the default strength) or a strength from 0 to 1.
    local_order: rc, (rc, angle) or (rc, angle, min_size) for colour_by="local_S" or "domain" (--local-order).
    """
    if not isinstance(trajectory, _ovalix.Trajectory):
        raise TypeError("render takes a trajectory from ovalix.open, not %s" % type(trajectory).__name__)
    words = option_words(size, raycast, colour_by, box, slab, hide_species, fit, view, supersample, adaptive_detail,
                         colour_by_orientation, unwrap, fixed_centre, images, wrap, device, transparency,
                         trajectory.species.names if transparency else (), ambient_occlusion,
                         local_order)
    return Image(_ovalix._render(trajectory, words, _whole("frame", frame)))


def renderer():
    """Which device draws the pictures, e.g. "drawing in software: llvmpipe ..."; empty before the first."""
    return _ovalix._renderer()
