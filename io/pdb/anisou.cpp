// Ellipsoid half radii and orientation from an ANISOU tensor.
#include "io/pdb/anisou.h"

void AnisouTensor(const double* u, double* tensor) {
    const double u11 = u[0] * ANISOU_SCALE, u22 = u[1] * ANISOU_SCALE, u33 = u[2] * ANISOU_SCALE;
    const double u12 = u[3] * ANISOU_SCALE, u13 = u[4] * ANISOU_SCALE, u23 = u[5] * ANISOU_SCALE;
    const double rows[9] = {u11, u12, u13,
                            u12, u22, u23,
                            u13, u23, u33};
    for (int k = 0; k < 9; ++k) tensor[k] = rows[k];
}

void AnisouEllipsoid(EigenSolver& solver, const double* u, double* halfRadii, double* quaternion) {
    double tensor[9];
    double vectors[9];
    AnisouTensor(u, tensor);
    SymmetricEigen(solver, tensor, halfRadii, vectors);
    MakeRightHanded(vectors);
    MatrixQuaternion(vectors, quaternion);
}
