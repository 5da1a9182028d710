// The camera moves of the keys and the mouse: the view is the modelview matrix, changed one move at a time.
#pragma once

void getMVCoord(double* c0, double* c1, double* c2);               // first three columns of the modelview's rotation
double dot(double* a, double* b);                                  // 3-vector dot product
void ReanchorLights();                                             // re-submit the light positions for the light mode
void MoveAlongEye(double distance, double x, double y, double z);  // translate the scene along an eye-space direction
void TurnAboutEye(double degrees, double x, double y, double z);   // turn the scene about an eye-space axis
bool FitFrameInView();                                             // the key z: keep the rotation, fit the frame's sphere; false if none
void ViewAxisInModel(double* axis);                                // the eye's z axis (towards the viewer) in scene coordinates
