// Half radii from a dump's shape columns, for the species that the configuration gives none.
#pragma once

#include <string>
#include <vector>

void ForgetHalfRadii();            // a configuration read starts: no species has half radii yet
void NoteHalfRadii(long long n);   // the configuration gives species n (from 1) its half radii
bool HalfRadiiGiven(long long n);

// What frame 0 of a dump says about its species: the largest type, and the half radii of the first atom
// of each type (from the shape columns, when the header names them).
struct FrameZeroSpecies {
    bool read = false;               // frame 0 has its count, atoms header and atom lines
    bool noShapeColumns = false;     // frame 0's atoms header is read and names no shape columns
    int largestType = 0;
    std::vector<double> halfRadii;   // 3 per type, from type 1
    std::vector<char> shapeFound;    // per type: an atom of it has a shape
    std::vector<std::string> notes;  // one line per type whose atoms differ in shape
    std::vector<int> noteTypes;      // the type each note is about
};

// Reads frame 0 of infile from its start, mapping the columns by its own atoms header. Types beyond
// maxType are left out of the tables (the frame reader reports them).
FrameZeroSpecies ReadFrameZeroSpecies(long long maxType);

// Gives every species without configured half radii the shape of its first atom in frame 0.
void TakeShapesFromFile();

// Species whose half radii are all 0 (point particles) and that the configuration did not size are drawn
// as spheres of POINT_PARTICLE_RADIUS, with one line that says so.
constexpr double POINT_PARTICLE_RADIUS = 0.5;
void SizePointParticles();
