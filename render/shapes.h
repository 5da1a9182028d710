// Unit sphere and bond cylinder, tessellated once into display lists and replayed for every particle and bond.
#pragma once

void DrawUnitSphere(int slices, int stacks);                         // sphere of radius 1 with the quadric's current settings
void LeaveUnitSphereState(int slices, int stacks);                  // the normal and texture coordinate such a sphere leaves, without drawing it
void DrawBondCylinder(double radius, double length, bool textured);  // 5 x 5 cylinder along +z from the origin
