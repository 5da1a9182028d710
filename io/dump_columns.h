// Column names of a dump's "ITEM: ATOMS" line: which column holds the label, type, position, quaternion and
// shape, whether positions are scaled, and the box that turns scaled positions into scene coordinates.
#pragma once

#include <string>
#include <string_view>

// Where each value of a geom row, and the shape, is found on an atom line: 0-based columns, -1 for none.
struct DumpColumns {
    int names = 0;             // columns the header names; 0 for a bare or unrecognised header
    int label = 0;             // -1: the atom's place in the frame, counted from 1, is its label
    int type = 1;
    int position[3] = {2, 3, 4};
    int quaternion[4] = {5, 6, 7, 8};
    int shape[3] = {-1, -1, -1};  // full diameters, as LAMMPS writes them
    bool scaled = false;          // positions are fractions of the frame's box
    bool canonical = true;        // columns 1 to 9 in geom order: the fast field reader reads the line
    std::string positionNames;    // the names of the position and quaternion columns used, for messages
    std::string quaternionNames;
    std::string shapeNames;
    std::string problem;          // why the header cannot be read (what it lacks, a name given twice)
};

// A frame's box: lower corner, edge lengths and tilt factors (0 for an orthogonal box).
struct DumpBox {
    double lo[3] = {0, 0, 0};
    double length[3] = {1, 1, 1};
    double xy = 0, xz = 0, yz = 0;
};

extern DumpColumns dumpColumns;  // the mapping of the open dump, taken from its first frame

// Maps the names after "ITEM: ATOMS" (the rest of the header line) to columns.
DumpColumns MapDumpColumns(std::string_view names);

// Both mappings read every column the same way (names that read alike, such as x and xu, may differ).
bool SameColumns(const DumpColumns& a, const DumpColumns& b);

// Reads one atom line by the mapping into a geom row; a field that is missing or not a number keeps its
// value. The shape, halved to half radii, goes to halfRadii when the mapping has shape columns and
// halfRadii is not null. Scaled positions are turned into scene coordinates with box.
void ParseMappedRow(std::string_view line, const DumpColumns& columns, const DumpBox& box, int place, double* row,
                    double* halfRadii);

// Reads the box from the "ITEM: BOX BOUNDS" line and its three value lines (bounds, and tilts when the
// header names xy xz yz). False when a value line lacks a number.
bool ParseBoxBounds(std::string_view header, const std::string_view values[3], DumpBox& box);

// Number of blank-separated words of a line, and whether its last word is whole: a word that starts like a
// number must be one to its end (a line cut inside its last number is not whole).
int CountWords(std::string_view line);
bool LastWordWhole(std::string_view line);
