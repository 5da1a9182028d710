// The frame's simulation box (frameBox) from what the trajectory gives: a dump's BOX BOUNDS, a PDB CRYST1.
#pragma once

#include <string_view>

#include "core/scene.h"  // Required for: DumpBox

void SetFrameBoxFromDump(const DumpBox& box);  // lower corner and the edges a, b, c of the tilted or upright box
// Edges from the lengths a, b, c and angles alpha, beta, gamma (degrees) the crystallographic way: a along x,
// b in the xy plane, c completing a right-handed cell; false (and no box) for a cell that cannot exist.
bool SetFrameBoxFromCell(const double* lengths, const double* angles);
bool ParseCryst1(std::string_view line, double* lengths, double* angles);  // the six numbers of a CRYST1 record
// The general triclinic form "ITEM: BOX BOUNDS abc origin": three lines of an edge vector and an origin value.
bool ParseGeneralBox(const std::string_view values[3], SimulationBox& box);
void ClearFrameBox();  // the frame gives no box
