"""Small configuration and dump files for window tests, written into a test's temporary folder.

    species = [Species(half_radii=(4, 1, 1), colour=(1, 0, 0))]
    frames = [[Atom(1, (0, 0, 0))], [Atom(1, (5, 0, 0), IDENTITY)]]
    write_scene(folder, "scene", species, frames, background=(0, 0, 0))   # scene.cfg and scene.dump
"""

import collections

from ovalix_window import write_file

IDENTITY = (1, 0, 0, 0)

Species = collections.namedtuple("Species", "half_radii colour")
Atom = collections.namedtuple("Atom", "type position quaternion", defaults=[IDENTITY])


def dump_text(frames):
    """A dump trajectory: one frame per list of atoms, in the column order id type x y z quatw quati quatj quatk."""
    out = []
    for step, atoms in enumerate(frames):
        out.append("ITEM: TIMESTEP\n%d\nITEM: NUMBER OF ATOMS\n%d\n" % (step * 100, len(atoms)))
        out.append("ITEM: BOX BOUNDS pp pp pp\n-500 500\n-500 500\n-500 500\n")
        out.append("ITEM: ATOMS id type x y z quatw quati quatj quatk\n")
        for label, atom in enumerate(atoms, 1):
            numbers = [label, atom.type] + list(atom.position) + list(atom.quaternion)
            out.append(" ".join("%.10g" % v for v in numbers) + "\n")
    return "".join(out)


def config_text(dump_name, species, background):
    lines = ["dumpfile %s" % dump_name, "species %d" % len(species)]
    for n, s in enumerate(species, 1):
        lines.append("half_radii %d %s" % (n, " ".join("%g" % v for v in s.half_radii)))
        lines.append("color %d %s" % (n, " ".join("%g" % v for v in s.colour)))
        lines.append("bond_vector %d 1 0 0 0" % n)
    lines.append("background %s" % " ".join("%g" % v for v in background))
    return "\n".join(lines) + "\n"


def write_scene(folder, name, species, frames, background):
    """Writes NAME.cfg naming NAME.dump, and NAME.dump; returns the configuration's file name."""
    write_file(folder, name + ".dump", dump_text(frames))
    write_file(folder, name + ".cfg", config_text(name + ".dump", species, background))
    return name + ".cfg"
