// PDB trajectories: one scan indexes the CRYST1-delimited time steps, then any step is read on demand.
#include "io/pdb/pdb_reader.h"

#include <cmath>
#include <cstddef>
#include <iostream>
#include <limits>
#include <string>
#include <string_view>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/pdb/anisou.h"
#include "io/frame_box.h"
#include "io/line_reader.h"
#include "io/trajectory_summary.h"
#include "io/numbers.h"

namespace {

// Record names, recognised by the first four characters of a line.
constexpr std::string_view CRYST1_RECORD = "CRYS";
constexpr std::string_view ATOM_RECORD = "ATOM";
constexpr std::string_view HETATM_RECORD = "HETA";
constexpr std::string_view ANISOU_RECORD = "ANIS";

// A field of a fixed-column record: 0-based first column and width.
struct Field {
    std::size_t start;
    std::size_t width;
};

// ATOM and HETATM: element letter (column 14) and position (columns 31-38, 39-46, 47-54).
constexpr std::size_t ELEMENT_COLUMN = 13;
constexpr Field POSITION_FIELDS[3] = {{30, 8}, {38, 8}, {46, 8}};
constexpr std::size_t PARTICLE_MIN_LENGTH = 54;
// Occupancy (columns 55-60) and B-factor (61-66): the per-particle quantities of a PDB frame.
constexpr Field QUANTITY_FIELDS[2] = {{54, 6}, {60, 6}};
const char* const QUANTITY_NAMES[2] = {"occupancy", "B-factor"};

// ANISOU: U11, U22, U33, U12, U13, U23 in columns 29-35, 36-42, 43-49, 50-56, 57-63, 64-70.
constexpr Field TENSOR_FIELDS[6] = {{28, 7}, {35, 7}, {42, 7}, {49, 7}, {56, 7}, {63, 7}};
constexpr std::size_t ANISOU_MIN_LENGTH = 70;

bool BeginsWith(std::string_view line, std::string_view record) {
    return line.size() >= record.size() && line.compare(0, record.size(), record) == 0;
}

bool IsParticle(std::string_view line) { return BeginsWith(line, ATOM_RECORD) || BeginsWith(line, HETATM_RECORD); }

// A field converted on its own: leading blanks skipped, stops where the number stops, 0 when it holds none.
// The caller has checked that the line reaches the field's last column.
double FieldValue(std::string_view line, Field field) {
    const char* p = line.data() + field.start;
    const char* end = p + field.width;
    SkipSpace(p, end);
    double value = 0;
    if (!ParseReal(p, end, value)) return 0;
    return value;
}

// A field that the line may not reach: NaN when it is missing or holds no number.
double OptionalFieldValue(std::string_view line, Field field) {
    if (line.size() < field.start + field.width) return std::numeric_limits<double>::quiet_NaN();
    const char* p = line.data() + field.start;
    const char* end = p + field.width;
    SkipSpace(p, end);
    double value = 0;
    if (!ParseReal(p, end, value)) return std::numeric_limits<double>::quiet_NaN();
    return value;
}

// Diffuse colour of an element letter.
void ElementColor(char letter, double* rgb) {
    double red = 1, green = 1, blue = 0;
    switch (letter) {
        case 'C': red = 0; green = 1; blue = 0; break;
        case 'N': red = 1; green = 0; blue = 0; break;
        case 'O': red = 0; green = 0; blue = 1; break;
        case 'H': red = 1; green = 1; blue = 1; break;
        case 'S': red = 0.5; green = 0.5; blue = 0; break;
        default: break;
    }
    rgb[0] = red;
    rgb[1] = green;
    rgb[2] = blue;
}

[[noreturn]] void FailCountMismatch(int timeStep, int count) {
    ReadOnForDamage();
    std::cout << "Incorrect number of atoms in time step " << timeStep << "." << std::endl;
    std::cout << "Number of atoms read: " << count << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

[[noreturn]] void FailLeadingEmptySteps(int emptySteps, int timeStep, int count) {
    std::cout << "Time step" << (emptySteps == 1 ? " 1 holds" : "s 1 to " + std::to_string(emptySteps) + " hold")
              << " no ATOM or HETATM record, but time step " << timeStep << " holds " << count << "." << std::endl;
    std::cout << "Every time step must hold the same number of atoms." << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Number, counted from 1, of the line that begins at offset. Used only on the way to an error: it rereads the file.
int64_t LineNumberAt(int64_t offset) {
    SeekLines(0);
    int64_t number = 1;
    std::string_view skipped;
    while (ReadPosition() < offset && ReadLine(skipped)) ++number;
    return number;
}

[[noreturn]] void FailShortRecord(std::string_view line, int64_t lineStart, const char* record, std::size_t needed) {
    std::string text(line);  // the line buffer is reused by the line count below
    int64_t number = LineNumberAt(lineStart);
    std::cout << "Line " << number << " is too short for " << record << " record: " << text.size()
              << " characters, at least " << needed << " needed." << std::endl;
    std::cout << text << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

[[noreturn]] void FailMissingAnisou(std::string_view line) {
    std::cout << line << std::endl;
    std::cout << "Something's not right. This should be a ANIOSU line." << std::endl;
    std::cout << "But it's not." << std::endl;
    ExitSequence();
}

// Keeps the cell of the CRYST1 record that begins a time step, for the box of that step.
void NoteCell(std::string_view line) {
    double cell[CELL_STRIDE];
    if (!ParseCryst1(line, cell, cell + 3))
        for (double& value : cell) value = std::nan("");
    cellOfStep.insert(cellOfStep.end(), cell, cell + CELL_STRIDE);
}

void SetStepBox() {
    long long row = static_cast<long long>(frame) * CELL_STRIDE;
    if (row + CELL_STRIDE > static_cast<long long>(cellOfStep.size())) return ClearFrameBox();
    const double* cell = &entry(cellOfStep, row, "cellOfStep");
    if (!SetFrameBoxFromCell(cell, cell + 3)) ClearFrameBox();
}

}  // namespace

void IndexAnisouFile() {
    atoms = 0;
    const bool opened = OpenTextFile(inname);
    counter.clear();
    cellOfStep.clear();
    if (!opened) {
        std::cout << "Error. Dump file " << inname << " not found." << std::endl;
        std::cout << "Please enter the correct name of the dump file in the input file. " << std::endl;
        ExitSequence();
    }
    if (LooksBinary(infile)) {
        std::cout << BinaryFileLine(inname) << std::endl;
        ExitSequence();
    }
    std::cout << "Infile open" << std::endl;

    SeekLines(0);  // LooksBinary moved the stream itself
    std::string_view line;
    ReadLine(line);
    int steps = 0;
    while (!EndReached()) {
        while (!BeginsWith(line, CRYST1_RECORD) && !EndReached()) ReadLine(line);
        if (!BeginsWith(line, CRYST1_RECORD)) continue;
        NoteCell(line);
        counter.push_back(ReadPosition());
        ++steps;
        int count = 0;
        while (ReadLine(line)) {
            if (IsParticle(line)) ++count;
            if (BeginsWith(line, CRYST1_RECORD) || EndReached()) break;
        }
        if (atoms == 0) {
            if (count > 0 && steps > 1) FailLeadingEmptySteps(steps - 1, steps, count);
            atoms = count;
        }
        if (count != atoms) FailCountMismatch(steps, count);
    }

    if (atoms == 0) {
        std::cout << "No keyword 'CRYS' found. Are you sure " << inname << " is a PDB file?" << std::endl;
        std::cout << "If it is, please add the keyword 'CRYS' at the begining of the file," << std::endl;
        std::cout << "and before each timestep." << std::endl;
        ExitSequence();
    }
}

void FinishAnisouOpening() {
    SeekLines(0);
    species = atoms;
    quantityNames.assign(std::begin(QUANTITY_NAMES), std::end(QUANTITY_NAMES));
    quantities.assign(static_cast<std::size_t>(atoms) * quantityNames.size(), 0.0);
    PrintTrajectorySummary();
}

void OpenAnisouFile() {
    IndexAnisouFile();
    FinishAnisouOpening();
}

void ReadAnisouFrame() {
    RequireOpenTrajectory(infile.is_open());
    geom.clear();
    shape.clear();
    color.clear();
    bondvec.clear();
    quantities.clear();
    SeekLines(entry(counter, frame, "counter"));
    SetStepBox();

    EigenSolver solver = NewEigenSolver();
    std::string_view line;
    bool anyRead = false;
    int particles = 0;
    while (!(anyRead && BeginsWith(line, CRYST1_RECORD)) && !EndReached()) {
        int64_t lineStart = ReadPosition();
        ReadLine(line);
        anyRead = true;
        if (!IsParticle(line)) continue;
        if (line.size() < PARTICLE_MIN_LENGTH) FailShortRecord(line, lineStart, "an ATOM or HETATM", PARTICLE_MIN_LENGTH);
        const char element = line[ELEMENT_COLUMN];
        for (Field field : QUANTITY_FIELDS) quantities.push_back(OptionalFieldValue(line, field));
        double position[3];
        for (int k = 0; k < 3; ++k) position[k] = FieldValue(line, POSITION_FIELDS[k]);

        lineStart = ReadPosition();
        ReadLine(line);  // past the end the particle line stays the last line read, and fails the test below
        if (!BeginsWith(line, ANISOU_RECORD)) FailMissingAnisou(line);
        if (line.size() < ANISOU_MIN_LENGTH) FailShortRecord(line, lineStart, "an ANISOU", ANISOU_MIN_LENGTH);
        double u[6];
        for (int k = 0; k < 6; ++k) u[k] = FieldValue(line, TENSOR_FIELDS[k]);

        double halfRadii[3];
        double quaternion[4];
        AnisouEllipsoid(solver, u, halfRadii, quaternion);
        double rgb[3];
        ElementColor(element, rgb);

        const double label = particles + 1;
        geom.insert(geom.end(), {label, label, position[0], position[1], position[2], quaternion[0], quaternion[1],
                                 quaternion[2], quaternion[3]});
        shape.insert(shape.end(), halfRadii, halfRadii + 3);
        color.insert(color.end(), rgb, rgb + 3);
        bondvec.insert(bondvec.end(), {0.0, 0.0, 0.0});
        ++particles;
    }
}
