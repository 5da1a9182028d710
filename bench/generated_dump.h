// Dump trajectories written for the benchmarks in LAMMPS's layout, with values that can be regenerated
// for any atom of any frame, so a frame read back can be checked against what was written.
#pragma once

#include <cstdint>
#include <string>

constexpr int GENERATED_SPECIES = 2;  // atom types 1 and 2

double GeneratedBoxEdge(int particles);  // edge of the cubic box, for a number density of 0.5
uint64_t WriteGeneratedDump(const std::string& path, int particles, int frames);  // returns its size in bytes; throws on failure
void GeneratedAtomValues(int particles, int atom, int frame, double* values);  // the 9 numbers of one atom line, parsed from its text
bool GeomHoldsGeneratedFrame(int particles, int frame);  // geom holds exactly those numbers for every atom of the frame
void SetGeneratedScene();  // species, half radii and colours for the generated types
