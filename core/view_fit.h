// The view that fits a frame into the window: the sphere around every ellipsoid and the distance at which
// it fills the window's smaller dimension. Free of OpenGL.
#pragma once

constexpr double FIELD_OF_VIEW = 45.0;  // vertical, degrees, as the perspective of the GL set-up
constexpr double FIT_MARGIN = 0.05;     // of the smaller window dimension, left free on each side

double SceneRadius();  // farthest atom centre (in any periodic image) from the frame centre plus the largest half radius; 0 for an empty frame
double FitDistance(double radius, int width, int height);  // eye distance at which the sphere fills the smaller dimension
void FitClipPlanes(double distance, double radius, double& nearPlane, double& farPlane);  // planes that cut nothing of the sphere
