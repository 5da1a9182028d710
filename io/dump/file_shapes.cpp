// Shapes from the file: LAMMPS writes each atom's shape, so a configuration need not repeat it.
#include "io/dump/file_shapes.h"

#include <iostream>
#include <sstream>
#include <string_view>

#include "core/scene.h"
#include "io/dump/dump_columns.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/reader_state.h"

namespace {

bool StartsWith(std::string_view line, std::string_view header) {
    return line.size() >= header.size() && line.compare(0, header.size(), header) == 0;
}

bool ReadUntil(std::string_view header, std::string_view& line) {
    while (ReadLine(line))
        if (StartsWith(line, header)) return true;
    return false;
}

std::string ShapeText(const double* halfRadii) {
    std::ostringstream text;
    text << halfRadii[0] << " " << halfRadii[1] << " " << halfRadii[2];
    return text.str();
}

// Notes the atom's shape for its type: the first atom's is kept, a different one later is noted once.
void NoteAtomShape(FrameZeroSpecies& found, int type, const double* row, const double* halfRadii,
                   std::vector<char>& noted) {
    std::size_t at = static_cast<std::size_t>(type - 1) * 3;
    if (!found.shapeFound[static_cast<std::size_t>(type - 1)]) {
        found.shapeFound[static_cast<std::size_t>(type - 1)] = 1;
        for (int k = 0; k < 3; ++k) found.halfRadii[at + k] = halfRadii[k];
        return;
    }
    bool same = true;
    for (int k = 0; k < 3; ++k) same = same && found.halfRadii[at + k] == halfRadii[k];
    if (same || noted[static_cast<std::size_t>(type - 1)]) return;
    noted[static_cast<std::size_t>(type - 1)] = 1;
    std::ostringstream note;
    note << "Atoms of species " << type << " differ in shape in frame 0 (atom " << row[GEOM_LABEL]
         << " has half radii " << ShapeText(halfRadii) << "); the shape of its first atom, "
         << ShapeText(&found.halfRadii[at]) << ", is used.";
    found.notes.push_back(note.str());
    found.noteTypes.push_back(type);
}

}  // namespace

void ForgetHalfRadii() { readers->config.halfRadiiGiven.clear(); }

void NoteHalfRadii(long long n) {
    std::vector<char>& given = readers->config.halfRadiiGiven;
    if (n < 1) return;
    if (static_cast<long long>(given.size()) < n) given.resize(static_cast<std::size_t>(n), 0);
    given[static_cast<std::size_t>(n - 1)] = 1;
}

bool HalfRadiiGiven(long long n) {
    const std::vector<char>& given = readers->config.halfRadiiGiven;
    return n >= 1 && n <= static_cast<long long>(given.size()) && given[static_cast<std::size_t>(n - 1)];
}

FrameZeroSpecies ReadFrameZeroSpecies(long long maxType) {
    FrameZeroSpecies found;
    SeekLines(0);
    std::string_view line;
    if (!ReadUntil("ITEM: NUMBER OF ATOMS", line) || !ReadLine(line)) return found;
    const char* p = line.data();
    const char* end = p + line.size();
    SkipSpace(p, end);
    long long count = 0;
    if (!ParseInteger(p, end, count) || count < 0) return found;
    if (!ReadUntil("ITEM: ATOMS", line)) return found;
    DumpColumns columns = MapDumpColumns(line.substr(11));
    if (!columns.problem.empty()) return found;
    found.noShapeColumns = columns.shape[0] < 0;
    std::vector<char> noted;
    DumpBox box;
    for (long long i = 0; i < count; ++i) {
        if (!ReadLine(line)) return found;
        double row[GEOM_STRIDE] = {};
        double halfRadii[3] = {-1, -1, -1};
        ParseMappedRow(line, columns, box, static_cast<int>(i + 1), row, halfRadii);
        if (!(row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] <= static_cast<double>(maxType))) continue;
        int type = static_cast<int>(row[GEOM_TYPE]);
        if (row[GEOM_TYPE] != type) continue;  // a fractional type is no species
        if (type > found.largestType) {
            found.largestType = type;
            found.halfRadii.resize(static_cast<std::size_t>(type) * 3, 0.5);
            found.shapeFound.resize(static_cast<std::size_t>(type), 0);
            noted.resize(static_cast<std::size_t>(type), 0);
        }
        if (columns.shape[0] >= 0 && halfRadii[0] >= 0 && halfRadii[1] >= 0 && halfRadii[2] >= 0)
            NoteAtomShape(found, type, row, halfRadii, noted);
    }
    found.read = true;
    return found;
}

void TakeShapesFromFile() {
    FrameZeroSpecies found = ReadFrameZeroSpecies(species);
    std::vector<std::string> notes;
    const long long rows = static_cast<long long>(shape.size() / SPECIES_STRIDE);
    for (int n = 1; n <= species && n <= found.largestType && n <= rows; ++n) {
        if (HalfRadiiGiven(n) || !found.shapeFound[static_cast<std::size_t>(n - 1)]) continue;
        for (int k = 0; k < 3; ++k)
            entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape") = found.halfRadii[static_cast<std::size_t>(3 * (n - 1) + k)];
        std::cout << "Species " << n << " takes its half radii from the file: "
                  << ShapeText(&found.halfRadii[static_cast<std::size_t>(3 * (n - 1))]) << std::endl;
    }
    // Only the species whose shape is taken from the file are concerned.
    for (std::size_t k = 0; k < found.notes.size(); ++k)
        if (!HalfRadiiGiven(found.noteTypes[k])) std::cout << found.notes[k] << std::endl;
}

void SizePointParticles() {
    std::string sized;
    const long long rows = static_cast<long long>(shape.size() / SPECIES_STRIDE);
    for (long long n = 1; n <= species && n <= rows; ++n) {
        double* half = &entry(shape, SPECIES_STRIDE * (n - 1), "shape");
        if (HalfRadiiGiven(n) || half[0] != 0 || half[1] != 0 || half[2] != 0) continue;
        for (int k = 0; k < 3; ++k) half[k] = POINT_PARTICLE_RADIUS;
        sized += (sized.empty() ? "" : " ") + std::to_string(n);
    }
    if (sized.empty()) return;
    std::cout << "Species " << sized << " " << (sized.find(' ') == std::string::npos ? "has" : "have")
              << " no size (half radii 0 0 0: point particles) and " << (sized.find(' ') == std::string::npos ? "is" : "are")
              << " drawn as spheres of radius " << POINT_PARTICLE_RADIUS << "." << std::endl;
}
