// HOOMD schema on top of the GSD file layer: one frame's particles, box, bonds and per-particle quantities,
// with the schema's rule for absent chunks applied, and the per-type shape JSON turned into half radii.
// No OpenGL, no scene state: errors come back as one line for the caller to show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/gsd/gsd_file.h"

// A per-particle value that can colour or label particles: N rows of `columns` values, row after row.
struct GsdQuantity {
    std::string name;            // the chunk name: "particles/velocity", "log/particles/energy", ...
    uint32_t columns = 1;
    std::vector<double> values;  // N * columns
};

// One frame as the HOOMD schema defines it. Every table has N rows of the stride given; a chunk the frame
// lacks is taken from frame 0 (same N), else it is the schema default shown here.
struct GsdFrame {
    uint64_t step = 0;
    double box[6] = {1, 1, 1, 0, 0, 0};  // Lx Ly Lz xy xz yz
    uint32_t dimensions = 3;             // 2 or 3
    uint32_t N = 0;                      // particles
    std::vector<std::string> types;      // type names, default {"A"}
    std::vector<uint32_t> typeId;        // N, each below types.size()
    std::vector<std::string> typeShapes; // JSON per type as stored: empty when the file has none; its count
                                         // may differ from types.size(), so index-check it
    std::vector<double> position;        // 3N, default 0
    std::vector<double> orientation;     // 4N, scalar first (r, ax, ay, az), default 1 0 0 0
    std::vector<double> diameter;        // N, default 1
    std::vector<double> velocity;        // 3N, default 0
    std::vector<double> mass;            // N, default 1
    std::vector<double> charge;          // N, default 0
    std::vector<int32_t> image;          // 3N box crossings, default 0
    uint32_t bondN = 0;
    std::vector<uint32_t> bondGroup;     // 2 particle indices per bond, each below N; bonds taken from frame 0
                                         // (the frame has none of its own) are below frame 0's N only
    std::vector<GsdQuantity> quantities; // velocity, mass, charge, image when the frame or frame 0 has them,
                                         // then every log/particles/ chunk of the frame or frame 0, N rows each
                                         // (the default, 0 for a log chunk, where frame 0's rows do not fit)
    uint64_t typeIdOpening = 0;          // the opening (GsdFile::opening) and chunk offset typeId was read
    int64_t typeIdChunk = 0;             // from, 0 for none: frames that take frame 0's read it only once
    uint32_t defaulted = 0;              // bits of the tables that hold their default for N rows from the read
                                         // before: the next read of as many rows writes them no more
};

bool IsHoomdGsd(const GsdFile& file);  // the header names the hoomd schema
// Reads one frame into out, whose tables keep their storage from the read before (keep one GsdFrame for a
// file). On false, error holds one line, out's quantities are empty and its other tables are partial.
bool ReadGsdFrame(GsdFile& file, uint64_t frame, GsdFrame& out, std::string& error);  // one frame, defaults applied
// Hands frame's position and orientation tables over for the two given (of any size and content), which the next
// read fills whole: the caller keeps the numbers read without a copy.
void TakeGsdPlaces(GsdFrame& frame, std::vector<double>& position, std::vector<double>& orientation);
// Widens count floats lying in the upper half of out's room (from byte 4 * count on) into out's count doubles,
// on every core; true when every one is finite.
bool WidenFloatsInPlace(const unsigned char* data, size_t count, double* out);
bool ParseTypeShape(const std::string& json, double halfRadii[3], std::string& kind);  // Ellipsoid/Sphere -> true
