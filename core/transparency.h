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
struct TransparentPiece {  // a transparent atom (from 0) as drawn in one periodic image (0: the frame itself)
    long long atom;
    int image;
};
// The shown atoms with an opacity between 0 and 1 in every image drawn, farthest from the eye first, so that
// images that lie before one another blend in order too; modelview (column-major) is the frame's own.
std::vector<TransparentPiece> TransparentAtomsFarToNear(const double* modelview, const std::vector<double>& centre);
long long FillRaycastRecordsOf(const std::vector<TransparentPiece>& order, RaycastRecord* records);  // each moved into its image; how many
std::string TransparencyLine();                        // "Transparency on: species 2 at opacity 0.4." and the like
void ResetTransparency();                              // no opacity configured, the switch on
