// Which atoms a drawing shows: hidden species and the slab cut. Free of OpenGL, so every drawing mode,
// the picking and the tests share one test.
#pragma once

#include <string>
#include <vector>

#include "core/scene.h"  // Required for: SlabCut

bool SpeciesHidden(long long n);                                   // species n (from 1) is switched off
void SetSpeciesHidden(long long n, bool hidden);                   // switch species n (from 1) off or on
bool InsideSlab(const double* position, const SlabCut& cut);       // centred position within the slab
bool AtomShown(long long atom, const std::vector<double>& centre);  // atom (from 0) drawn around this frame centre
bool BondShown(int bond, const std::vector<double>& centre);        // both atoms of bond (from 0) drawn
double ExtentAlong(const double* direction);                        // spread of the atom centres along a unit direction
bool NormaliseSlabNormal(SlabCut& cut);                             // scale the normal to length 1; false for a zero or broken one
std::string SlabLine(const SlabCut& cut);                           // "Slab cut on: normal (...), centre offset ..., width ...."
std::string HiddenSpeciesList();                                    // the hidden species numbers, comma separated
std::vector<int> HiddenSpeciesBeyond(int count);                    // hidden species numbers above count, in order
void ResetLookInside();                                             // no box, slab, hidden species, picks, fitting or transparency
