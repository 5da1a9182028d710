// Frame centre, quaternion rotations and bond end points: the maths under the drawing, free of OpenGL.
#pragma once

#include <vector>

const double* GeomRow(long long atom);  // row of atom `atom` (from 0) in geom, index-checked
int AtomSpecies(long long atom);  // species number of atom `atom` (from 0); one outside 1 to species is reported and ends the program
std::vector<double> average();  // mean position of the frame's atoms; (0, 0, 0) for an empty frame; always finite
std::vector<double> FrameCentre();  // the point drawn at the origin: fixedCentrePoint while fixedCentre, else average()
std::vector<double> BoxOrMeanCentre();  // middle of the frame's box; average() for a frame without a usable box
bool FitsInFloat(const double* values, int count);  // every value finite and within single precision, as OpenGL takes it

// Rotation of a quaternion (w, x, y, z) as angle in degrees about an axis, for glRotate.
// w is clamped into [-1, 1] first; a quaternion without vector part gives angle 0 about (0, 0, 0).
void QuaternionAxisAngle(const double* quaternion, double& degrees, double* axis);

// Row-major 3 x 3 rotation matrix of a quaternion (w, x, y, z), used as stored (not normalised).
void QuaternionMatrix(const double* quaternion, double* matrix);

// End of a bond at atom number `atomNumber` (from 1), bond origin `origin` (from 1):
// the atom's centred position minus its rotated bond origin.
void BondEndPoint(int atomNumber, int origin, const std::vector<double>& centre, double* end);
