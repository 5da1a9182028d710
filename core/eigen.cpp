// The symmetric 3 x 3 eigensolver and the rotation maths around it.
#include "core/eigen.h"

#include <cmath>  // Required for: std::sqrt

EigenSolver NewEigenSolver() {
    return EigenSolver{{gsl_matrix_calloc(3, 3), gsl_matrix_free},
                       {gsl_matrix_calloc(3, 3), gsl_matrix_free},
                       {gsl_matrix_calloc(3, 3), gsl_matrix_free},
                       {gsl_vector_calloc(3), gsl_vector_free},
                       {gsl_eigen_symmv_alloc(3), gsl_eigen_symmv_free}};
}

void SymmetricEigen(EigenSolver& solver, const double* tensor, double* values, double* vectors) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) gsl_matrix_set(solver.tensor.get(), i, j, tensor[3 * i + j]);
    gsl_matrix_memcpy(solver.copy.get(), solver.tensor.get());
    gsl_eigen_symmv(solver.copy.get(), solver.values.get(), solver.vectors.get(), solver.work.get());
    for (int k = 0; k < 3; ++k) values[k] = gsl_vector_get(solver.values.get(), k);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) vectors[3 * i + j] = gsl_matrix_get(solver.vectors.get(), i, j);
}

double Determinant(const double* m) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

void MakeRightHanded(double* vectors) {
    if (Determinant(vectors) >= 0) return;
    for (int i = 0; i < 3; ++i) vectors[3 * i + 2] = -vectors[3 * i + 2];
}

void MatrixQuaternion(const double* rotation, double* quaternion) {
    auto r = [rotation](int i, int j) { return rotation[3 * i + j]; };
    double& w = quaternion[0];
    double& x = quaternion[1];
    double& y = quaternion[2];
    double& z = quaternion[3];
    const double t = 1 + r(0, 0) + r(1, 1) + r(2, 2);
    if (t > 0) {
        w = 0.5 * std::sqrt(t);
        x = (r(2, 1) - r(1, 2)) / (4 * w);
        y = (r(0, 2) - r(2, 0)) / (4 * w);
        z = (r(1, 0) - r(0, 1)) / (4 * w);
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const double s = 2 * std::sqrt(1 + r(0, 0) - r(1, 1) - r(2, 2));
        w = (r(2, 1) - r(1, 2)) / s;
        x = s / 4;
        y = (r(0, 1) + r(1, 0)) / s;
        z = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        const double s = 2 * std::sqrt(1 + r(1, 1) - r(0, 0) - r(2, 2));
        w = (r(0, 2) - r(2, 0)) / s;
        x = (r(0, 1) + r(1, 0)) / s;
        y = s / 4;
        z = (r(1, 2) + r(2, 1)) / s;
    } else {
        const double s = 2 * std::sqrt(1 + r(2, 2) - r(0, 0) - r(1, 1));
        w = (r(1, 0) - r(0, 1)) / s;
        x = (r(0, 2) + r(2, 0)) / s;
        y = (r(1, 2) + r(2, 1)) / s;
        z = s / 4;
    }
}
