// Transparency: an opacity per species, and the order in which transparent atoms are drawn. Free of OpenGL,
// so the drawings, the picking and the tests share it.
#pragma once

#include <string>
#include <vector>

#include "core/raycast_records.h"  // Required for: RaycastRecord

double SpeciesOpacity(long long n);                    // opacity species n (from 1) is drawn with: 1 while off or unset
void SetSpeciesOpacity(long long n, double opacity);   // the configured opacity of species n (from 1), 0 to 1
bool TransparencyConfigured();                         // some species has an opacity below 1
bool TransparencyDrawn();                              // configured and switched on
void SetTransparencyOn(bool on);                       // the switch of the key T
double AtomOpacity(long long atom);                    // opacity atom (from 0) is drawn with
bool AtomDrawnOpaque(long long atom);                  // drawn in the first pass, exactly as without transparency
bool AtomInvisible(long long atom);                    // opacity 0: neither drawn nor picked
unsigned char OpacityByte(double opacity);             // 0 to 255, as a colour's alpha
// The shown atoms with an opacity between 0 and 1, farthest from the eye first; modelview is column-major.
std::vector<long long> TransparentAtomsFarToNear(const double* modelview, const std::vector<double>& centre);
long long FillRaycastRecordsOf(const std::vector<long long>& order, RaycastRecord* records);  // in that order; how many
std::string TransparencyLine();                        // "Transparency on: species 2 at opacity 0.4." and the like
void ResetTransparency();                              // no opacity configured, the switch on
