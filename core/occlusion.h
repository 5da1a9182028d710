// Ambient occlusion from the true ellipsoids: each shown particle's share of surface whose outward ray meets
// another shown ellipsoid (or its periodic image) within the occlusion distance, and the factor that darkens
// its lit colour. Independent of the view; computed once per frame and kept. Free of OpenGL.
#pragma once

#include <string>
#include <vector>

constexpr double DEFAULT_OCCLUSION_STRENGTH = 0.6;  // a wholly enclosed particle keeps 40 % of its light
constexpr int OCCLUSION_DIRECTIONS = 16;             // surface points a particle casts rays from, along their normals

double OcclusionDistance();  // length of each ray: the largest half radius of the shown species
std::vector<double> BlockedFractions(int threads);  // per atom of geom: weighted share of blocked rays; 0 for one not shown
const std::vector<double>& OcclusionFactors();      // per atom: 1 - strength * blocked share, kept until its inputs change
float OcclusionFactor(long long atom);              // the atom's factor while ambient occlusion is on; 1 while off
long long OcclusionVersion();                       // changes whenever the factors drawn change (the switch included)
long long OcclusionComputations();                  // how often the blocked shares were worked out (for tests)
void SetOcclusionThreads(int threads);              // threads for the rays; 0: as many as the machine has
void SetOcclusionLanes(int lanes);                  // 16, 8 or 4 lanes of vector arithmetic as far as the processor has them; 0: its widest
std::string OcclusionStrengthText(double strength); // "0.6": the strength as messages and the view file give it
std::string ToggleAmbientOcclusionText();           // switch it on or off; "Ambient occlusion on." / "... off."
