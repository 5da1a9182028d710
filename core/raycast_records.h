// What the ray-cast drawing knows of each particle: a compact record per atom, filled once per frame. Free of OpenGL.
// The record holds the centred position, the rotation as a unit quaternion (the rotation glRotate would apply for
// the stored quaternion), the half radii and the diffuse colour; ellipsoids that could show no pixel get none.
#pragma once

#include <cstdint>
#include <vector>

// One ellipsoid as the GPU reads it: 48 bytes, so a million take 46 MiB.
struct RaycastRecord {
    float centre[3];           // position minus the frame centre, scene units
    float rotation[4];         // unit quaternion w, x, y, z of the drawn rotation
    float half[3];             // half radii, all greater than 0
    unsigned char colour[4];   // diffuse RGB of the species or of the orientation, 0 to 255; alpha: the opacity
    float occlusion;           // the lit colour's factor: 1, or the ambient occlusion factor while it is on
};
static_assert(sizeof(RaycastRecord) == 48, "the vertex attribute offsets assume this layout");

bool ParticleShown(long long atom, const std::vector<double>& centre);  // drawn at all: hidden species, slab cut
void DrawnRotation(const double* quaternion, float* unit);  // unit quaternion of the rotation glRotate applies for a stored one
bool FillRaycastRecord(long long atom, const double* centre, RaycastRecord& record);  // false: it can show no pixel
long long FillRaycastRecords(RaycastRecord* records);  // every drawable opaque atom of geom in order; returns how many
