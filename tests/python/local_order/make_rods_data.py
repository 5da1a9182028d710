"""Writes rods.data for in.rods: rods 3 x 1 x 1 on a lattice, along x below z = 5 and along y above it."""
import math

BOX = (16.0, 16.0, 10.0)
lines = []
atom = 0
for half, along in ((0, "x"), (1, "y")):
    across = (4, 12) if along == "x" else (12, 4)
    for i in range(across[0]):
        for j in range(across[1]):
            for k in range(3):
                atom += 1
                x = (i + 0.5) * BOX[0] / across[0]
                y = (j + 0.5) * BOX[1] / across[1]
                z = 5.0 * half + 0.65 + 1.3 * k
                # y-rods: turned 90 degrees about z
                q = (1.0, 0.0, 0.0, 0.0) if along == "x" else (math.sqrt(0.5), 0.0, 0.0, math.sqrt(0.5))
                lines.append((atom, x, y, z, q))
with open("rods.data", "w") as out:
    out.write("Two stacked layers of rods\n\n%d atoms\n1 atom types\n%d ellipsoids\n\n" % (atom, atom))
    out.write("0 %g xlo xhi\n0 %g ylo yhi\n0 %g zlo zhi\n\nAtoms # ellipsoid\n\n" % BOX)
    for n, x, y, z, q in lines:
        out.write("%d 1 1 1.0 %.6f %.6f %.6f 0 0 0\n" % (n, x, y, z))
    out.write("\nEllipsoids\n\n")
    for n, x, y, z, q in lines:
        out.write("%d 3 1 1 %.12f %.12f %.12f %.12f\n" % ((n,) + q))
