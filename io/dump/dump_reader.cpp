// Dump trajectories: one scan indexes every frame's offset, then any frame is read on demand.
#include "io/dump/dump_reader.h"

#include <algorithm>  // Required for: std::max
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/exit_sequence.h"
#include "core/parallel.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/dump/atom_fields.h"
#include "io/dump/dump_columns.h"
#include "io/frame_box.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/reader_state.h"
#include "io/dump/file_shapes.h"
#include "io/config/trajectory_config.h"   // Required for: MAX_MADE_SPECIES, AddLateSpecies()
#include "io/trajectory_summary.h"  // Required for: FitFrameTable()

namespace {

constexpr std::string_view COUNT_HEADER = "ITEM: NUMBER OF ATOMS";
constexpr std::string_view ATOMS_HEADER = "ITEM: ATOMS";
constexpr std::string_view TIMESTEP_HEADER = "ITEM: TIMESTEP";
constexpr std::string_view BOX_HEADER = "ITEM: BOX BOUNDS";

// How far the scan of one frame got before the file ended.
// FRAME_BEFORE_COUNT: text, but the file ends before the count header; FRAME_COUNT_CUT: before the count.
enum FrameScan { FRAME_COMPLETE, FRAME_WITHOUT_COUNT, FRAME_BEFORE_COUNT, FRAME_COUNT_CUT, FRAME_CUT };

bool StartsWith(std::string_view line, std::string_view header) {
    return line.size() >= header.size() && line.compare(0, header.size(), header) == 0;
}

// The MD step on the line after a TIMESTEP header; -1 when it does not begin with an integer.
long long StepOfLine(std::string_view line) {
    const char* p = line.data();
    const char* end = p + line.size();
    SkipSpace(p, end);
    long long step = -1;
    return ParseInteger(p, end, step) && step >= 0 ? step : -1;
}

// "frame 3 (step 600)" for the frame at 1-based position timeStep of the scan, with a capital when it opens a line.
std::string ScannedFrame(int timeStep, bool capital = false) {
    return FrameAndStep(timeStep - 1, readers->dump.scannedStep, capital);
}

// Reads lines until one starts with header or the end is reached; true if the header was read.
// Reads lines until a count header has been read; `text` tells whether a line that is not blank came first.
bool ReadUntilCountHeader(bool& text) {
    DumpScanState& d = readers->dump;
    std::string_view line;
    text = false;
    bool stepNext = false;
    d.scannedStep = -1;
    while (ReadLine(line)) {
        if (StartsWith(line, COUNT_HEADER)) return true;
        const char* p = line.data();
        SkipSpace(p, p + line.size());
        text = text || p != line.data() + line.size();
        if (stepNext && !EndReached()) d.scannedStep = StepOfLine(line);  // a cut line may have lost digits
        stepNext = StartsWith(line, TIMESTEP_HEADER);
    }
    return false;
}

// Ends the program with the explaining lines; the scan's "Reading..." line is closed first when still open.
[[noreturn]] void FailScan(std::initializer_list<std::string> lines, bool readingLineOpen) {
    ReadOnForDamage();
    if (readingLineOpen) std::cout << std::endl;
    for (const std::string& line : lines) std::cout << line << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Takes the atom count from the line after a count header: a non-negative integer after leading blanks.
int ReadAtomCount(int timeStep) {
    std::string_view line;
    // A count line without its line feed is cut: the frame's lines would follow it.
    if (!ReadLine(line) || EndReached()) return -1;
    const char* p = line.data();
    const char* end = p + line.size();
    SkipSpace(p, end);
    int count = 0;
    if (!ParseInteger(p, end, count) || count < 0) {
        FailScan({"The number of atoms in " + ScannedFrame(timeStep) + " is not a valid count:",
                  std::string(line)},
                 true);
    }
    return count;
}

std::string Trimmed(std::string_view line) {
    while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
    return std::string(line);
}

// The atoms header of a frame must come before the next frame begins: a frame without one is malformed.
bool ReadUntilAtomsHeader(int timeStep, std::string& header) {
    std::string_view line;
    std::string lookalike;
    while (ReadLine(line)) {
        if (StartsWith(line, ATOMS_HEADER)) {
            header = Trimmed(line);
            return !EndReached();  // a header the file ends in may have lost names
        }
        if (StartsWith(line, TIMESTEP_HEADER) || StartsWith(line, COUNT_HEADER)) {
            std::string where = ScannedFrame(timeStep, true) + " of " + inname +
                                " has no line 'ITEM: ATOMS' before the next frame begins.";
            if (lookalike.empty()) FailScan({where}, true);
            FailScan({where, "This line looks like one but is not: " + lookalike}, true);
        }
        if (lookalike.empty() && line.find("ATOMS") != std::string_view::npos && line.find("NUMBER") == std::string_view::npos)
            lookalike = Trimmed(line);
    }
    return false;
}

// The first frame's atoms header decides the columns; one whose names cannot be read is explained.
void TakeColumns(const std::string& header) {
    DumpScanState& d = readers->dump;
    d.firstAtomsHeader = header;
    dumpColumns = MapDumpColumns(std::string_view(header).substr(ATOMS_HEADER.size()));
    if (!dumpColumns.problem.empty())
        FailScan({"The atom columns of " + inname + " cannot be read from its first time step:", header,
                  dumpColumns.problem},
                 true);
}

// A later frame must name its columns as the first did (the same text, or names that read the same way).
void CheckColumns(int timeStep, const std::string& header) {
    DumpScanState& d = readers->dump;
    if (header == d.firstAtomsHeader) return;
    if (SameColumns(MapDumpColumns(std::string_view(header).substr(ATOMS_HEADER.size())), dumpColumns)) return;
    FailScan({"The atom columns change in " + ScannedFrame(timeStep) + " of " + inname + ".",
              "Frame 0: " + d.firstAtomsHeader, ScannedFrame(timeStep, true) + ": " + header},
             true);
}

// The type of an atom line: its word in the type column, when that is a whole number from 1 on.
void NoteLineType(std::string_view line) {
    DumpScanState& d = readers->dump;
    const char* p = line.data();
    const char* end = p + line.size();
    if (dumpColumns.type < 0) return;
    for (int column = 0; column < dumpColumns.type; ++column) {
        SkipSpace(p, end);
        while (p != end && !IsSpace(*p)) ++p;
    }
    SkipSpace(p, end);
    // Types are plain digits nearly always: those are read without the number parser.
    const char* digits = p;
    long long whole = 0;
    while (p != end && IsDigit(*p) && p - digits < 9) whole = 10 * whole + (*p++ - '0');
    double type = static_cast<double>(whole);
    if (p == digits || (p != end && !IsSpace(*p))) {
        p = digits;
        if (!ParseReal(p, end, type) || (p != end && !IsSpace(*p))) return;
    }
    if (type >= 1 && type <= MAX_MADE_SPECIES && type == static_cast<int>(type))
        d.largestScannedType = std::max(d.largestScannedType, static_cast<int>(type));
}

// Passes count atom lines like SkipLines; for a configuration made for the dump, reads them for their types
// (frame 0's types made the configuration already).
int64_t PassAtomLines(int64_t count) {
    DumpScanState& d = readers->dump;
    if (!d.typesRead) return SkipLines(count);
    std::string_view line;
    int64_t passed = 0;
    while (passed < count && ReadLine(line)) {
        if (EndReached() && line.empty()) break;  // the empty remainder after a final line feed is no line
        NoteLineType(line);
        ++passed;
    }
    return passed;
}

// Atom lines looked at again for their words: a longer one is taken as it is.
constexpr int64_t LOOKED_AT_LINE_BYTES = 1 << 16;

// Reads again the line that starts at `start` and was just skipped, when it is short; the reader ends up
// where the skip left it.
bool RereadLine(int64_t start, std::string_view& line) {
    if (ReadPosition() - start > LOOKED_AT_LINE_BYTES) return false;
    SeekLines(start);
    ConsoleLineOpen(true);
    return ReadLine(line);
}

// The last line of a file may lack its line feed; it is whole when it holds every column of an atom line.
bool SkipLastAtomLine() {
    DumpScanState& d = readers->dump;
    std::string_view line;
    if (d.typesRead) {  // the line is read for its type anyway
        if (!ReadLine(line) || (EndReached() && line.empty())) return false;
        const bool whole = !EndReached() || (CountWords(line) >= d.wholeLineWords && LastWordWhole(line));
        if (whole) NoteLineType(line);
        return whole;
    }
    int64_t start = ReadPosition();
    if (SkipLines(1) != 1) return false;
    if (!EndReached() || !RereadLine(start, line)) return true;
    return CountWords(line) >= d.wholeLineWords && LastWordWhole(line);
}

// Skips the frame's `count` atom lines; false when the file ends before the last of them is whole. The first
// frame's first atom line tells how many words a whole line has.
bool SkipAtomLines(int count, bool first) {
    DumpScanState& d = readers->dump;
    if (count == 0) return true;
    int64_t between = count - 1;
    if (first) {
        d.wholeLineWords = dumpColumns.names > 0 ? dumpColumns.names : GEOM_STRIDE;
        if (count == 1) return SkipLastAtomLine();
        int64_t start = ReadPosition();
        std::string_view line;
        if (SkipLines(1) != 1 || EndReached()) return false;
        if (RereadLine(start, line)) {
            d.wholeLineWords = CountWords(line);
            if (d.typesRead) NoteLineType(line);
        }
        --between;
    }
    if (PassAtomLines(between) != between || EndReached()) return false;
    return SkipLastAtomLine();
}

[[noreturn]] void FailCountMismatch(int timeStep, int count) {
    if (ReadOnForDamage()) std::cout << std::endl;  // the damage line is left open: the count line starts its own
    std::cout << "Incorrect number of atoms in time step " << timeStep << "." << std::endl;
    std::cout << "Number of atoms read: " << count << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Orientation from unnamed columns after z needs lines that have them: the first atom line is looked at and
// the reader goes back to it.
void CountFirstLineWords() {
    DumpScanState& d = readers->dump;
    d.firstLineWords = -1;
    if (dumpColumns.quaternionNames.compare(0, UNNAMED_QUATERNION.size(), UNNAMED_QUATERNION) != 0) return;
    const int64_t start = ReadPosition();
    std::string_view line;
    if (SkipLines(1) == 1 && !EndReached() && RereadLine(start, line)) d.firstLineWords = CountWords(line);
    SeekLines(start);
    ConsoleLineOpen(true);
}

// Scans the frame that starts at the current position and notes its count in frameAtoms. The first frame sets
// atoms; later frames must match it unless counts may vary.
FrameScan ScanFrame(int timeStep, bool first) {
    DumpScanState& d = readers->dump;
    bool text = false;
    if (!ReadUntilCountHeader(text)) return text ? FRAME_BEFORE_COUNT : FRAME_WITHOUT_COUNT;
    int count = ReadAtomCount(timeStep);
    if (count < 0) return FRAME_COUNT_CUT;
    if (first) {
        atoms = count;
        d.firstScannedStep = d.scannedStep;
    } else if (count != atoms && !varyingAtoms) FailCountMismatch(timeStep, count);
    frameAtoms.push_back(count);
    d.typesRead = speciesFromTrajectory && (!first || d.firstFrameTypesRead);
    std::string header;
    if (!ReadUntilAtomsHeader(timeStep, header)) return FRAME_CUT;
    if (first) {
        TakeColumns(header);
        CountFirstLineWords();
    } else {
        CheckColumns(timeStep, header);
    }
    return SkipAtomLines(count, first) ? FRAME_COMPLETE : FRAME_CUT;
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

// The table of the largest frame is allocated before any frame is read. A count of blank lines costs a byte
// of file an atom but 72 bytes of table: refuse what this machine cannot hold instead of dying on it.
void AllocateFrameTable() {
    std::size_t largest = 0;
    for (std::size_t k = 0; k < frameAtoms.size(); ++k)
        if (frameAtoms[k] > frameAtoms[largest]) largest = k;
    mostAtoms = frameAtoms.empty() ? atoms : frameAtoms[largest];
    const long long bytes = static_cast<long long>(mostAtoms) * GEOM_STRIDE * static_cast<long long>(sizeof(double));
    const std::string tooMany = "Frame " + std::to_string(largest) + " of " + inname + " holds " +
                                std::to_string(mostAtoms) + " atoms: one frame of them needs " +
                                std::to_string(bytes >> 20) + " MiB";
    if (bytes > frameMemoryLimit)
        FailScan({tooMany + ", more than the " + std::to_string(frameMemoryLimit >> 20) + " MiB of memory here."},
                 false);
    try {
        geom.reserve(static_cast<std::size_t>(mostAtoms) * GEOM_STRIDE);  // later frames resize within it
        geom.resize(static_cast<std::size_t>(atoms) * GEOM_STRIDE, 0.0);
        quantityNames = dumpColumns.quantityNames;
        quantities.assign(static_cast<std::size_t>(atoms) * quantityNames.size(), 0.0);
    } catch (const std::bad_alloc&) {
        FailScan({tooMany + ", more than can be had now."}, false);
    }
}

// "Frame 3 (step 600)" for the frame being read.
std::string FrameOfStep() { return FrameAndStep(frame, frameStep, true); }

// Unnamed columns after z are the orientation only where the atom lines have them: LAMMPS' plain
// "id type x y z" lines end at z, and their particles are drawn unturned.
std::string ColumnNote(const std::string& note) {
    DumpScanState& d = readers->dump;
    const std::string& names = dumpColumns.quaternionNames;
    if (d.firstLineWords < 0 || d.firstLineWords > dumpColumns.quaternion[3] ||
        note.compare(0, 17 + names.size(), "Orientation from " + names) != 0)
        return note;
    return "The atom lines end at " + names.substr(UNNAMED_QUATERNION.size()) +
           ": they hold no orientation, and the particles are drawn unturned.";
}

[[noreturn]] void FailFrame(const std::string& line) {
    std::cout << line << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// Reads up to the atoms header, taking the box on the way into frameBox. Scaled positions need this frame's
// box and end the program without one; otherwise a box that cannot be read only leaves the frame without one.
void ReadUntilAtomsWithBox(DumpBox& box) {
    std::string_view line;
    bool boxRead = false;
    bool stepNext = false;
    frameStep = -1;
    const bool scaled = dumpColumns.scaled;
    auto where = [] { return FrameOfStep() + " of " + inname; };
    ClearFrameBox();
    while (ReadLine(line)) {
        if (StartsWith(line, ATOMS_HEADER)) break;
        if (stepNext) frameStep = StepOfLine(line);
        stepNext = StartsWith(line, TIMESTEP_HEADER);
        if (!StartsWith(line, BOX_HEADER)) continue;
        std::string header(line);
        std::string values[3];
        std::string_view views[3];
        for (int axis = 0; axis < 3; ++axis) {
            if (ReadLine(line)) values[axis] = std::string(line);
            views[axis] = values[axis];
        }
        // A general triclinic box (edge vectors and origin) has no bounds to scale with.
        if (header.find("abc origin") != std::string::npos) {
            if (scaled)
                FailFrame(where() + " has a general triclinic box (" + header + "): its scaled positions cannot be read.");
            if (!ParseGeneralBox(views, frameBox)) ClearFrameBox();
            continue;
        }
        if (!ParseBoxBounds(header, views, box)) {
            if (!scaled) continue;
            FailFrame(where() + " has a box that cannot be read: " + header + " / " + values[0] + " / " + values[1] +
                      " / " + values[2]);
        }
        SetFrameBoxFromDump(box);
        boxRead = true;
    }
    if (!boxRead && scaled)
        FailFrame(where() + " has scaled positions (" + dumpColumns.positionNames +
                  ") but no line 'ITEM: BOX BOUNDS' to scale them with.");
}

// Opens inname as infile, read from its first byte; a file that cannot be opened ends the program.
void OpenDumpFile() {
    if (!OpenTextFile(inname)) {
        std::cout << "Error. Dump file " << inname << " not found." << std::endl;
        std::cout << "Please enter the correct name of the dump file in the input file. " << std::endl;
        ExitSequence();
    }
}


// Reads the numbers of one atom line into its row (and quantity row); true when its type selects a species.
// Written as a test that NaN fails: types must select a species 1..species.
bool ConvertAtomLine(std::string_view line, const DumpBox& box, long long i) {
    const long long quantityStride = static_cast<long long>(quantityNames.size());
    double* row = &geom[static_cast<std::size_t>(i * GEOM_STRIDE)];
    double* quantityRow = quantityStride > 0 ? &quantities[static_cast<std::size_t>(quantityStride * i)] : nullptr;
    if (dumpColumns.canonical) ParseAtomRow(line, row);
    else ParseMappedRow(line, dumpColumns, box, static_cast<int>(i + 1), row, nullptr, quantityRow);
    return row[GEOM_TYPE] >= 1 && row[GEOM_TYPE] <= species;
}

// The frame's atom lines read and converted in turn on this thread; returns how many lines there were.
int ConvertAtomLines(const DumpBox& box) {
    std::string_view line;
    const long long quantityStride = static_cast<long long>(quantityNames.size());
    int read = 0;
    for (int i = 0; i < atoms; ++i, read = i) {
        // The scan saw every line of this frame; rows the file lost since then keep their values.
        if (!ReadLine(line)) break;
        entry(geom, static_cast<long long>(i) * GEOM_STRIDE + GEOM_STRIDE - 1, "geom");
        if (quantityStride > 0) entry(quantities, quantityStride * i, "quantities");
        if (!ConvertAtomLine(line, box, i)) FailIllegalType(&geom[static_cast<std::size_t>(i) * GEOM_STRIDE], line);
    }
    return read;
}

// ---- The atom lines converted on every core ----
// This thread reads the lines in order and copies them in chunks; workers convert the chunks. What went wrong
// is told as the one-thread reading tells it: the first bad line in file order, damage of compressed text
// before the line it was come upon at, a line too long after every line before it.

constexpr int LINES_PER_CHUNK = 4096;
constexpr long long LEAST_ATOMS_PER_WORKER = 16384;

struct AtomLineChunk {
    long long first = 0;              // row of its first line
    std::string text;                 // the lines, each ended by a line feed, LINE_SLACK bytes after the last
    std::vector<std::size_t> starts;  // where each line starts in text, and one past the last line feed
    long long badRow = -1;            // first row whose type selects no species, -1 for none
};

// The frame's tables hold every row, so that no index check can end the program on a worker.
bool WorkersMayConvert() {
    const long long quantityStride = static_cast<long long>(quantityNames.size());
    return WorkerCount(atoms, LEAST_ATOMS_PER_WORKER) > 1 &&
           static_cast<long long>(geom.size()) >= static_cast<long long>(atoms) * GEOM_STRIDE &&
           static_cast<long long>(quantities.size()) >= quantityStride * atoms;
}

std::string_view ChunkLine(const AtomLineChunk& chunk, std::size_t k) {
    return std::string_view(chunk.text.data() + chunk.starts[k], chunk.starts[k + 1] - chunk.starts[k] - 1);
}

void ConvertChunk(AtomLineChunk& chunk, const DumpBox& box) {
    chunk.badRow = -1;
    for (std::size_t k = 0; k + 1 < chunk.starts.size(); ++k)
        if (!ConvertAtomLine(ChunkLine(chunk, k), box, chunk.first + static_cast<long long>(k)) && chunk.badRow < 0)
            chunk.badRow = chunk.first + static_cast<long long>(k);
}

// Copies up to LINES_PER_CHUNK of the lines from row `first` on into chunk; stops early at the last row, the end
// of the file or a line too long. `damageRow` gets the row at which damage of compressed text was come upon.
void ReadChunk(AtomLineChunk& chunk, long long first, bool& tooLong, long long& damageRow) {
    chunk.first = first;
    chunk.text.clear();
    chunk.starts.assign(1, 0);
    std::string_view line;
    for (long long i = first; i < atoms && i < first + LINES_PER_CHUNK; ++i) {
        if (!ReadLineUnlessLong(line, tooLong)) break;
        if (damageRow < 0 && DamageNewsHeld()) damageRow = i;
        chunk.text.append(line.data(), line.size());
        chunk.text.push_back('\n');
        chunk.starts.push_back(chunk.text.size());
    }
    chunk.text.append(LINE_SLACK, '\0');
}

int ConvertAtomLinesOnWorkers(const DumpBox& box) {
    const int workers = WorkerCount(atoms, LEAST_ATOMS_PER_WORKER);
    const long long slots = 2LL * workers;
    std::vector<AtomLineChunk> ring(static_cast<std::size_t>(slots));
    std::mutex mutex;
    std::condition_variable changed;
    long long chunksRead = 0, chunksTaken = 0;
    std::vector<long long> convertedChunk(static_cast<std::size_t>(slots), -1);  // the chunk each slot holds done
    bool readingDone = false;
    auto convertChunks = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return chunksTaken < chunksRead || readingDone; });
            if (chunksTaken >= chunksRead) return;
            const long long c = chunksTaken++;
            lock.unlock();
            ConvertChunk(ring[static_cast<std::size_t>(c % slots)], box);
            lock.lock();
            convertedChunk[static_cast<std::size_t>(c % slots)] = c;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;  // this thread reads, then converts with them
    for (int k = 1; k < workers; ++k) threads.emplace_back(convertChunks);

    // Reads chunk after chunk; a slot is read into again once its chunk is converted and looked at for a bad line.
    HoldDamageNews(true);
    bool tooLong = false;
    long long damageRow = -1, badRow = -1, rowsRead = 0, looked = 0;
    std::string badLine;
    auto lookAt = [&](long long c) {  // waits for chunk c to be converted and notes its bad line
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return convertedChunk[static_cast<std::size_t>(c % slots)] == c; });
        lock.unlock();
        const AtomLineChunk& chunk = ring[static_cast<std::size_t>(c % slots)];
        if (badRow < 0 && chunk.badRow >= 0) {
            badRow = chunk.badRow;
            badLine = std::string(ChunkLine(chunk, static_cast<std::size_t>(badRow - chunk.first)));
        }
        looked = c + 1;
    };
    while (rowsRead < atoms && !tooLong && badRow < 0) {
        const long long c = chunksRead;
        if (c >= slots) {
            lookAt(c - slots);
            if (badRow >= 0) break;
        }
        AtomLineChunk& chunk = ring[static_cast<std::size_t>(c % slots)];
        ReadChunk(chunk, rowsRead, tooLong, damageRow);
        const long long lines = static_cast<long long>(chunk.starts.size()) - 1;
        if (lines == 0) break;
        rowsRead += lines;
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++chunksRead;
        }
        changed.notify_all();
        if (lines < LINES_PER_CHUNK && rowsRead < atoms) break;  // the file ended or a line is too long
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        readingDone = true;
    }
    changed.notify_all();
    convertChunks();
    for (std::thread& thread : threads) thread.join();
    for (long long c = looked; c < chunksRead; ++c) lookAt(c);

    // What the one-thread reading would have told first, in the order of the lines.
    if (damageRow >= 0 && (badRow < 0 || damageRow <= badRow)) TellHeldDamage();
    HoldDamageNews(false);
    if (badRow >= 0) FailIllegalType(&geom[static_cast<std::size_t>(badRow * GEOM_STRIDE)], badLine);
    std::string_view line;
    if (tooLong) ReadLine(line);  // ends the program with the long line's message
    return static_cast<int>(rowsRead);
}

}  // namespace

void IndexQuatFile(bool continuesSeries) {
    DumpScanState& d = readers->dump;
    OpenDumpFile();
    std::cout << "Infile " << inname << " opened" << std::endl;
    std::cout << "Reading..." << std::flush;
    ConsoleLineOpen(true);
    if (TextLooksBinary()) {
        std::cout << std::endl << BinaryFileLine(inname) << std::endl;
        ExitSequence();
    }
    counter.assign(1, 0);
    frameAtoms.clear();
    if (!continuesSeries) d.largestScannedType = 0;  // a series collects the types of every file
    d.firstFrameTypesRead = continuesSeries;
    FrameScan last = ScanFrame(1, true);
    if (last == FRAME_WITHOUT_COUNT || last == FRAME_BEFORE_COUNT)
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
        if (frameAtoms.size() > counter.size()) frameAtoms.resize(counter.size());
        if (last == FRAME_CUT) {
            std::cout << ScannedFrame(static_cast<int>(counter.size()) + 1, true)
                      << " is incomplete (the file ends inside it) and is left out." << std::endl;
        }
        if (last == FRAME_BEFORE_COUNT || last == FRAME_COUNT_CUT) {
            std::cout << ScannedFrame(static_cast<int>(counter.size()) + 1, true)
                      << " is incomplete (the file ends before its number of atoms) and is left out." << std::endl;
        }
    }
    if (counter.empty()) FailScan({"The dump file " + inname + " holds no complete time step."}, false);
}

void ReopenQuatFile() { OpenDumpFile(); }

std::string FirstAtomsHeader() { return readers->dump.firstAtomsHeader; }

long long FirstFrameStep() { return readers->dump.firstScannedStep; }

void FinishQuatOpening() {
    DumpScanState& d = readers->dump;
    SeekLines(0);
    AllocateFrameTable();
    PrintTrajectorySummary();
    if (speciesFromTrajectory && d.largestScannedType > species) AddLateSpecies(d.largestScannedType);
    for (const std::string& note : dumpColumns.notes) std::cout << ColumnNote(note) << std::endl;
    if (dumpColumns.shape[0] >= 0) {
        TakeShapesFromFile();
        SeekLines(0);
    }
    SizePointParticles();
}

void OpenQuatFile() {
    IndexQuatFile();
    FinishQuatOpening();
}

void ReadQuatFrame() {
    RequireOpenTrajectory(infile.is_open());
    SeekLines(entry(counter, frame, "counter"));
    if (!frameAtoms.empty()) FitFrameTable(entry(frameAtoms, frame, "frameAtoms"));
    DumpBox box;
    ReadUntilAtomsWithBox(box);
    const int read = WorkersMayConvert() ? ConvertAtomLinesOnWorkers(box) : ConvertAtomLines(box);
    // A row that was never read holds no atom to keep: the frame cannot be shown.
    for (long long i = read; i < atoms; ++i) {
        double type = geom[static_cast<std::size_t>(i * GEOM_STRIDE + GEOM_TYPE)];
        if (!(type >= 1 && type <= species))
            FailFrame(FrameOfStep() + " of " + inname + " holds " + std::to_string(read) +
                      " of its " + std::to_string(atoms) + " atom lines.");
    }
}
