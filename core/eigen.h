// The symmetric 3 x 3 eigensolver (GSL) and the rotation maths around it: a reflection made a rotation,
// a rotation matrix turned into a quaternion. Used by the ANISOU ellipsoids and the order parameter.
#pragma once

#include <memory>  // Required for: std::unique_ptr holding the GSL objects

#include <gsl/gsl_eigen.h>   // Required for: gsl_eigen_symmv_workspace
#include <gsl/gsl_matrix.h>  // Required for: gsl_matrix
#include <gsl/gsl_vector.h>  // Required for: gsl_vector

// The GSL objects of the symmetric eigensolver, allocated together and freed together (also on unwinding).
struct EigenSolver {
    std::unique_ptr<gsl_matrix, void (*)(gsl_matrix*)> tensor;   // A
    std::unique_ptr<gsl_matrix, void (*)(gsl_matrix*)> copy;     // handed to the solver, which destroys it
    std::unique_ptr<gsl_matrix, void (*)(gsl_matrix*)> vectors;  // R: column k is the eigenvector of value k
    std::unique_ptr<gsl_vector, void (*)(gsl_vector*)> values;   // eigenvalues, unsorted
    std::unique_ptr<gsl_eigen_symmv_workspace, void (*)(gsl_eigen_symmv_workspace*)> work;
};

EigenSolver NewEigenSolver();  // allocate the 3 x 3 tensor, copy, eigenvector matrix, eigenvalues and workspace

// Eigenvalues (unsorted, as the solver returns them) and row-major eigenvector matrix R of a symmetric 3 x 3 tensor.
void SymmetricEigen(EigenSolver& solver, const double* tensor, double* values, double* vectors);

double Determinant(const double* matrix);  // determinant of a row-major 3 x 3 matrix

// NOTE: the solver's eigenvector matrix is nearly always a reflection (determinant -1); a reflection turned into a
// quaternion does not carry the body axes onto the eigenvectors. Negating the third column makes it a rotation
// with the same ellipsoid, since the sign of an eigenvector is arbitrary.
void MakeRightHanded(double* vectors);  // negate the third column of a row-major 3 x 3 matrix whose determinant is < 0

// Quaternion (w, x, y, z) of the rotation with row-major matrix R, by the first of four cases that applies.
// Not normalised; a reflection gets the same formulas.
void MatrixQuaternion(const double* rotation, double* quaternion);

