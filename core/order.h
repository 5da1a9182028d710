// Orientational order of a frame: each species' unique axis, the order tensor Q, its largest eigenvalue S
// and the director, and the orientation colour of a particle. Free of OpenGL.
#pragma once

#include <string>

#include "core/scene.h"

int UniqueAxis(int n);  // body axis (0, 1, 2) of species n whose half radius differs most from the other two; -1 for a sphere
bool UniqueAxisDirection(int n, const double* quaternion, double* u);  // unit unique axis in the scene frame, as drawn; false if none
OrderParameter FrameOrder();  // Q over the non-spherical atoms of geom, its largest eigenvalue and eigenvector
std::string OrderLine(int frameNumber, const OrderParameter& order);  // the console line for a frame
void UpdateFrameOrder();  // in orientation colours, after a frame change: compute frameOrder, print it with tau
bool OrientationColour(int n, const double* quaternion, float* rgb);  // viridis at |cos theta| to the director; false: species colour
void Viridis(double t, float* rgb);  // perceptually uniform colour map, t in [0, 1] (clamped), dark blue to yellow
