// Column names of a dump's "ITEM: ATOMS" line: which column holds the label, type, position, quaternion and
// shape, whether positions are scaled, and the box that turns scaled positions into scene coordinates.
#pragma once

#include <string>
#include <string_view>

#include "core/scene.h"  // Required for: DumpColumns, DumpBox

// How quaternionNames begins when the orientation is taken from the unnamed columns after the position.
constexpr std::string_view UNNAMED_QUATERNION = "the four columns after ";

// Maps the names after "ITEM: ATOMS" (the rest of the header line) to columns.
DumpColumns MapDumpColumns(std::string_view names);

// Both mappings read every column the same way (names that read alike, such as x and xu, may differ).
bool SameColumns(const DumpColumns& a, const DumpColumns& b);

// Reads one atom line by the mapping into a geom row; a field that is missing or not a number keeps its
// value. The shape, halved to half radii, goes to halfRadii when the mapping has shape columns and
// halfRadii is not null; the quantities (NaN where missing) to quantityRow when it is not null. Scaled
// positions are turned into scene coordinates with box.
void ParseMappedRow(std::string_view line, const DumpColumns& columns, const DumpBox& box, int place, double* row,
                    double* halfRadii, double* quantityRow = nullptr);

// Reads the box from the "ITEM: BOX BOUNDS" line and its three value lines (bounds, and tilts when the
// header names xy xz yz). False when a value line lacks a number.
bool ParseBoxBounds(std::string_view header, const std::string_view values[3], DumpBox& box);

// Number of blank-separated words of a line, and whether its last word is whole: a word that starts like a
// number must be one to its end (a line cut inside its last number is not whole).
int CountWords(std::string_view line);
bool LastWordWhole(std::string_view line);
