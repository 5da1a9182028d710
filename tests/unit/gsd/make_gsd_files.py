#!/usr/bin/env python3
"""Writes the GSD fixtures of tests/unit/gsd_reader_test.cpp with the gsd package (Debian: python3-gsd), and
beside each one the values that gsd.hoomd reads back from it, frame by frame, as the test's reference.

    /usr/bin/python3 tests/unit/gsd/make_gsd_files.py [output-folder]     (default: this script's folder)

Reference lines:  <frame> <field> <count> <value>...   strings are written with spaces as '_'.
"""
import json
import os
import sys

import numpy as np
import gsd.fl
import gsd.hoomd

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

SHAPES = [
    {'type': 'Ellipsoid', 'a': 0.5, 'b': 0.25, 'c': 1.5},
    {'type': 'Sphere', 'diameter': 3.0},
    {'type': 'ConvexPolyhedron', 'rounding_radius': 0.0,
     'vertices': [[0.5, 0.5, 0.5], [0.5, -0.5, -0.5], [-0.5, 0.5, -0.5], [-0.5, -0.5, 0.5]]},
]


def rotation(angle, axis):
    axis = np.asarray(axis, dtype=float)
    axis = axis / np.linalg.norm(axis)
    return [np.cos(angle / 2)] + list(np.sin(angle / 2) * axis)


def first_frame(rng):
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 1000
    s.configuration.box = [10.0, 12.0, 14.0, 0.5, 0.25, -0.125]
    s.particles.N = 5
    s.particles.types = ['A', 'B', 'Cube']
    s.particles.type_shapes = SHAPES
    s.particles.typeid = [0, 1, 2, 0, 1]
    s.particles.position = rng.uniform(-4, 4, (5, 3))
    s.particles.orientation = [rotation(0.3 * i + 0.1, [1, 2, 3 - i]) for i in range(5)]
    s.particles.diameter = [1.0, 2.0, 0.5, 1.5, 2.5]
    s.particles.mass = [1.0, 2.0, 3.0, 4.0, 5.0]
    s.particles.charge = [-1.0, 0.0, 1.0, 0.5, -0.5]
    s.particles.velocity = rng.normal(0, 1, (5, 3))
    s.particles.image = [[0, 0, 0], [1, -1, 0], [0, 2, 0], [-3, 0, 1], [0, 0, 0]]
    s.bonds.N = 2
    s.bonds.types = ['backbone']
    s.bonds.typeid = [0, 0]
    s.bonds.group = [[0, 1], [3, 4]]
    s.log['particles/energy'] = np.array([0.5, 1.5, 2.5, 3.5, 4.5], dtype=np.float32)
    s.log['particles/force'] = rng.normal(0, 1, (5, 3))
    s.log['particles/count'] = np.array([1, 2, 3, 4, 5], dtype=np.int32)
    s.log['walltime'] = np.array([12.5])
    return s


def write_frames(name):
    """Frame 0 full; frame 1 moves and turns the same 5 particles (the rest carries from frame 0);
    frame 2 has 3 particles and positions only (the rest is the default); frame 3 has 5 again."""
    rng = np.random.default_rng(7)
    frames = [first_frame(rng)]
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 2000
    s.configuration.box = frames[0].configuration.box
    s.particles.N = 5
    s.particles.types = frames[0].particles.types
    s.particles.position = rng.uniform(-4, 4, (5, 3))
    s.particles.orientation = [rotation(0.2 * i, [0, 1, 1]) for i in range(5)]
    s.log['particles/energy'] = np.array([5.0, 4.0, 3.0, 2.0, 1.0], dtype=np.float32)
    frames.append(s)
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 3000
    s.configuration.box = [8.0, 8.0, 8.0, 0.0, 0.0, 0.0]
    s.particles.N = 3
    s.particles.position = rng.uniform(-3, 3, (3, 3))
    frames.append(s)
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 4000
    s.configuration.box = [10.0, 12.0, 14.0, 0.5, 0.25, -0.125]
    s.particles.N = 5
    s.particles.types = frames[0].particles.types
    s.particles.position = rng.uniform(-4, 4, (5, 3))
    frames.append(s)
    with gsd.hoomd.open(name=name, mode='wb') as f:
        for s in frames:
            f.append(s)


def words(values):
    return [str(v).replace(' ', '_') for v in values]


def write_reference(name):
    """What gsd.hoomd reads from each frame of name, after its own defaults and frame 0 carrying."""
    lines = []
    with gsd.hoomd.open(name=name, mode='rb') as f:
        for i, s in enumerate(f):
            p = s.particles
            fields = {
                'step': [s.configuration.step],
                'dimensions': [s.configuration.dimensions],
                'box': list(s.configuration.box),
                'N': [p.N],
                'types': words(p.types),
                'typeid': list(p.typeid),
                'type_shapes': words(json.dumps(x) for x in p.type_shapes),
                'position': list(p.position.ravel()),
                'orientation': list(p.orientation.ravel()),
                'diameter': list(p.diameter),
                'mass': list(p.mass),
                'charge': list(p.charge),
                'velocity': list(p.velocity.ravel()),
                'image': list(p.image.ravel()),
                'bonds_N': [s.bonds.N],
                'bonds_group': list(s.bonds.group.ravel()),
            }
            for key, value in s.log.items():
                if key.startswith('particles/'):
                    fields['log/' + key] = list(np.asarray(value, dtype=float).ravel())
            for key, value in fields.items():
                lines.append(' '.join([str(i), key, str(len(value))] + [repr(float(v)) if isinstance(v, (float, np.floating)) else str(v) for v in value]))
    with open(name + '.txt', 'w') as out:
        out.write('\n'.join(lines) + '\n')


def write_mismatch(name):
    """particles/N says 3 but particles/position has 4 rows."""
    with gsd.fl.open(name=name, mode='wb', application='ovalix test', schema='hoomd', schema_version=[1, 4]) as f:
        f.write_chunk(name='particles/N', data=np.array([3], dtype=np.uint32))
        f.write_chunk(name='particles/position', data=np.zeros((4, 3), dtype=np.float32))
        f.end_frame()


def write_version_1(name):
    """The writer makes only version 2 files, so this one is packed by hand after the documented layout:
    a 256-byte header, the index (32-byte entries, the first with location 0 ends it), the name list in
    64-byte segments, then the data. Two frames, entries of a frame not in name order (allowed in
    version 1), positions in double precision; frame 1 has positions alone."""
    import struct
    names = ['particles/N', 'particles/types', 'particles/typeid', 'particles/position',
             'particles/orientation', 'configuration/step', 'configuration/dimensions', 'configuration/box']
    chunks = [  # frame, name, type id, N, M, packed data
        (0, 'configuration/step', 4, 1, 1, struct.pack('<Q', 50)),
        (0, 'particles/position', 10, 3, 3, struct.pack('<9d', 1, 2, 3, -1, -2, -3, 0.5, 0.25, 0.125)),
        (0, 'particles/N', 3, 1, 1, struct.pack('<I', 3)),
        (0, 'particles/types', 5, 2, 4, b'Rod\0Dot\0'),
        (0, 'particles/typeid', 3, 3, 1, struct.pack('<3I', 1, 0, 1)),
        (0, 'particles/orientation', 9, 3, 4, struct.pack('<12f', 0, 1, 0, 0, 1, 0, 0, 0, 0.5, 0.5, 0.5, 0.5)),
        (0, 'configuration/dimensions', 1, 1, 1, struct.pack('<B', 2)),
        (0, 'configuration/box', 9, 6, 1, struct.pack('<6f', 5, 6, 0, 0.5, 0, 0)),
        (1, 'configuration/step', 4, 1, 1, struct.pack('<Q', 60)),
        (1, 'particles/position', 10, 3, 3, struct.pack('<9d', 1.5, 2, 3, -1.5, -2, -3, 0, 0, 0)),
    ]
    index_entries, name_segments = 16, 16
    index_at = 256
    names_at = index_at + 32 * index_entries
    data_at = names_at + 64 * name_segments
    header = struct.pack('<QQQQQII64s64s80s', 0x65DF65DF65DF65DF, index_at, index_entries, names_at, name_segments,
                         (1 << 16) | 4, 1 << 16, b'hand packed', b'hoomd', b'')
    index = b''
    data = b''
    for frame, chunk, type_id, n, m, packed in chunks:
        index += struct.pack('<QQqIHBB', frame, n, data_at + len(data), m, names.index(chunk), type_id, 0)
        data += packed
    index = index.ljust(32 * index_entries, b'\0')
    namelist = b''.join(x.encode().ljust(64, b'\0') for x in names).ljust(64 * name_segments, b'\0')
    with open(name, 'wb') as out:
        out.write(header + index + namelist + data)


def write_bonds_in_frame_zero(name):
    """Bonds 0-1 and 3-4 in frame 0 of 5 particles; frame 1 has 3 particles and frame 2 has 5 again, neither
    with bonds of its own, so both take frame 0's (as gsd.hoomd reads them)."""
    with gsd.fl.open(name=name, mode='wb', application='ovalix test', schema='hoomd', schema_version=[1, 4]) as f:
        for frame, n in enumerate([5, 3, 5]):
            f.write_chunk(name='configuration/step', data=np.array([100 * frame], dtype=np.uint64))
            f.write_chunk(name='particles/N', data=np.array([n], dtype=np.uint32))
            f.write_chunk(name='particles/position',
                          data=np.array([[i, frame, 0] for i in range(n)], dtype=np.float32))
            if frame == 0:
                f.write_chunk(name='bonds/N', data=np.array([2], dtype=np.uint32))
                f.write_chunk(name='bonds/group', data=np.array([[0, 1], [3, 4]], dtype=np.uint32))
            f.end_frame()


def write_shared_log_names(name):
    """Two logged per-particle quantities whose names end alike (energies), one whose name is its own
    (virials), three particles."""
    s = gsd.hoomd.Snapshot()
    s.configuration.step = 7
    s.particles.N = 3
    s.particles.position = [[0, 0, 0], [1, 0, 0], [2, 0, 0]]
    s.log['particles/md/pair/GayBerne/energies'] = np.array([1.0, 2.0, 3.0])
    s.log['particles/md/pair/LJ/energies'] = np.array([-1.0, -2.0, -4.0])
    s.log['particles/md/pair/LJ/virials'] = np.array([0.5, 0.25, 0.125])
    with gsd.hoomd.open(name=name, mode='wb') as f:
        f.append(s)


def write_grown_index(name):
    """70 frames of 2 particles by the gsd package: the index outgrows its first block after the header and is
    moved towards the end of the file, so a cut in half loses the index the header names."""
    with gsd.hoomd.open(name=name, mode='wb') as f:
        for i in range(70):
            s = gsd.hoomd.Snapshot()
            s.configuration.step = 10 * i
            s.particles.N = 2
            s.particles.types = ['A']
            s.particles.position = [[i, 0, 0], [0, i, 0]]
            f.append(s)


def write_grown_version_1(name):
    """A version 1 file packed by hand as a version 1 writer (HOOMD-blue 2.x) fills it: each index entry is
    written as its chunk is; when the 8 entries of the first block are used up, a block of 16 is put at the
    end of the file, the entries are copied there and the header names it; the first block stays. Frame f
    (step 60 f) has 8 particles at (i, f, 0) in double precision; frame 0 also gives types and type ids.
    The first block ends with frame 2's step alone."""
    import struct
    names = ['configuration/step', 'particles/N', 'particles/types', 'particles/typeid', 'particles/position']
    n = 8
    chunks = []
    for frame in range(6):
        chunks.append((frame, 'configuration/step', 4, 1, 1, struct.pack('<Q', 60 * frame)))
        if frame == 0:
            chunks.append((0, 'particles/N', 3, 1, 1, struct.pack('<I', n)))
            chunks.append((0, 'particles/types', 5, 1, 2, b'A\0'))
            chunks.append((0, 'particles/typeid', 3, n, 1, struct.pack('<%dI' % n, *([0] * n))))
        position = [v for i in range(n) for v in (i, frame, 0)]
        chunks.append((frame, 'particles/position', 10, n, 3, struct.pack('<%dd' % (3 * n), *position)))
    first_entries, grown_entries, name_segments = 8, 16, 8
    names_at = 256 + 32 * first_entries
    data = bytearray(names_at + 64 * name_segments)
    data[names_at:] = b''.join(x.encode().ljust(64, b'\0') for x in names).ljust(64 * name_segments, b'\0')
    index_at, allocated, entries = 256, first_entries, []
    for frame, chunk, type_id, rows, columns, packed in chunks:
        location = len(data)
        data += packed
        if len(entries) == allocated:
            index_at, allocated = len(data), grown_entries
            data += bytes(32 * allocated)
        entries.append(struct.pack('<QQqIHBB', frame, rows, location, columns, names.index(chunk), type_id, 0))
        data[index_at:index_at + 32 * len(entries)] = b''.join(entries)
    header = struct.pack('<QQQQQII64s64s80s', 0x65DF65DF65DF65DF, index_at, allocated, names_at, name_segments,
                         (1 << 16) | 4, 1 << 16, b'hand packed', b'hoomd', b'')
    data[:256] = header
    with open(name, 'wb') as out:
        out.write(bytes(data))


write_frames(os.path.join(OUT, 'frames.gsd'))
write_reference(os.path.join(OUT, 'frames.gsd'))
write_mismatch(os.path.join(OUT, 'n_mismatch.gsd'))
write_version_1(os.path.join(OUT, 'version1.gsd'))
write_reference(os.path.join(OUT, 'version1.gsd'))
write_bonds_in_frame_zero(os.path.join(OUT, 'bonds_frame0.gsd'))
write_shared_log_names(os.path.join(OUT, 'shared_names.gsd'))
write_grown_index(os.path.join(OUT, 'grown.gsd'))
write_grown_version_1(os.path.join(OUT, 'grown_version1.gsd'))
