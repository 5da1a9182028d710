// Dump trajectories: one scan indexes every frame's offset, then any frame is read on demand.
#include "io/dump_reader.h"

#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <new>
#include <string>
#include <string_view>

#include "app/exit_sequence.h"
#include "app/scene.h"
#include "io/atom_fields.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/trajectory_summary.h"

namespace {

constexpr std::string_view COUNT_HEADER = "ITEM: NUMBER OF ATOMS";
constexpr std::string_view ATOMS_HEADER = "ITEM: ATOMS";

// How far the scan of one frame got before the file ended.
enum FrameScan { FRAME_COMPLETE, FRAME_WITHOUT_COUNT, FRAME_CUT };

bool StartsWith(std::string_view line, std::string_view header) {
    return line.size() >= header.size() && line.compare(0, header.size(), header) == 0;
}

// Reads lines until one starts with header or the end is reached; true if the header was read.
bool ReadUntilHeader(std::string_view header) {
    std::string_view line;
    while (ReadLine(line)) {
        if (StartsWith(line, header)) return true;
    }
    return false;
}

// Ends the program with the explaining lines; the scan's "Reading..." line is closed first when still open.
[[noreturn]] void FailScan(std::initializer_list<std::string> lines, bool readingLineOpen) {
    if (readingLineOpen) std::cout << std::endl;
    for (const std::string& line : lines) std::cout << line << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Takes the atom count from the line after a count header: a non-negative integer after leading blanks.
int ReadAtomCount(int timeStep) {
    std::string_view line;
    if (!ReadLine(line)) return -1;
    const char* p = line.data();
    const char* end = p + line.size();
    SkipSpace(p, end);
    int count = 0;
    if (!ParseInteger(p, end, count) || count < 0) {
        if (EndReached() && line.empty()) return -1;  // the file ends right after the header
        FailScan({"The number of atoms in time step " + std::to_string(timeStep) + " is not a valid count:",
                  std::string(line)},
                 true);
    }
    return count;
}

[[noreturn]] void FailCountMismatch(int timeStep, int count) {
    std::cout << "Incorrect number of atoms in time step " << timeStep << "." << std::endl;
    std::cout << "Number of atoms read: " << count << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Scans the frame that starts at the current position. The first frame sets atoms; later frames must match.
FrameScan ScanFrame(int timeStep, bool first) {
    if (!ReadUntilHeader(COUNT_HEADER)) return FRAME_WITHOUT_COUNT;
    int count = ReadAtomCount(timeStep);
    if (count < 0) return FRAME_CUT;
    if (first) atoms = count;
    else if (count != atoms) FailCountMismatch(timeStep, count);
    if (!ReadUntilHeader(ATOMS_HEADER)) return FRAME_CUT;
    return SkipLines(atoms) == atoms ? FRAME_COMPLETE : FRAME_CUT;
}

void ShowScanProgress(int scanned) {
    if (scanned % 100 == 0) std::cout << "." << std::flush;
    if (scanned % 5000 == 0) std::cout << std::endl << "This could take a while..." << std::endl;
}

[[noreturn]] void FailIllegalType(const double* row, std::string_view line) {
    std::cout << "Illegal entry for atom no " << row[GEOM_LABEL] << " in time step " << frame << ":" << std::endl;
    std::cout << line << std::endl;
    std::cout << "Type read: " << row[GEOM_TYPE] << ". Only " << species << " specified in input." << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// One frame's table is allocated before any frame is read. A count of blank lines costs a byte of file
// an atom but 72 bytes of table: refuse what this machine cannot hold instead of dying on it.
void AllocateFrameTable() {
    const long long bytes = static_cast<long long>(atoms) * GEOM_STRIDE * static_cast<long long>(sizeof(double));
    const std::string tooMany = "Time step 1 of " + inname + " holds " + std::to_string(atoms) +
                                " atoms: one frame of them needs " + std::to_string(bytes >> 20) + " MiB";
    if (bytes > frameMemoryLimit)
        FailScan({tooMany + ", more than the " + std::to_string(frameMemoryLimit >> 20) + " MiB of memory here."},
                 false);
    try {
        geom.resize(static_cast<std::size_t>(atoms) * GEOM_STRIDE, 0.0);
    } catch (const std::bad_alloc&) {
        FailScan({tooMany + ", more than can be had now."}, false);
    }
}

}  // namespace

void OpenQuatFile() {
    if (infile.is_open()) infile.close();
    infile.clear();
    infile.open(inname, std::ios::in | std::ios::binary);
    if (!infile.is_open()) {
        std::cout << "Error. Dump file " << inname << " not found." << std::endl;
        std::cout << "Please enter the correct name of the dump file in the input file. " << std::endl;
        ExitSequence();
    }
    std::cout << "Infile " << inname << " opened" << std::endl;
    std::cout << "Reading..." << std::flush;

    OpenLineSource();
    ConsoleLineOpen(true);
    counter.assign(1, 0);
    FrameScan last = ScanFrame(1, true);
    if (last == FRAME_WITHOUT_COUNT)
        FailScan({"No line 'ITEM: NUMBER OF ATOMS' found. Are you sure " + inname + " is a dump file?"}, true);
    int scanned = 1;
    while (!EndReached()) {
        counter.push_back(ReadPosition());
        last = ScanFrame(scanned + 1, false);
        ++scanned;
        ShowScanProgress(scanned);
    }
    std::cout << std::endl;
    ConsoleLineOpen(false);

    // A frame the file ends in (a trailing line end, or a run still being written) cannot be shown.
    if (last != FRAME_COMPLETE) {
        counter.pop_back();
        if (last == FRAME_CUT) {
            std::cout << "Time step " << counter.size() + 1 << " is incomplete (the file ends inside it) and is left out."
                      << std::endl;
        }
    }
    if (counter.empty()) FailScan({"The dump file " + inname + " holds no complete time step."}, false);

    SeekLines(0);
    AllocateFrameTable();
    PrintTrajectorySummary();
}

void ReadQuatFrame() {
    RequireOpenTrajectory();
    SeekLines(entry(counter, frame, "counter"));
    ReadUntilHeader(ATOMS_HEADER);
    std::string_view line;
    for (int i = 0; i < atoms; ++i) {
        // The scan saw every line of this frame; rows the file lost since then keep their values.
        if (!ReadLine(line)) break;
        long long rowStart = static_cast<long long>(i) * GEOM_STRIDE;
        entry(geom, rowStart + GEOM_STRIDE - 1, "geom");
        double* row = &geom[static_cast<std::size_t>(rowStart)];
        ParseAtomRow(line, row);
        // Written as a test that NaN fails: types must select a species 1..species.
        if (!(row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] <= species)) FailIllegalType(row, line);
    }
}
