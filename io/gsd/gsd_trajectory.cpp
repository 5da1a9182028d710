// GSD trajectories in the viewer. Opening reads only the index and one small particles/N chunk per frame;
// a frame is then found through the index, never by scanning the file.
#include "io/gsd/gsd_trajectory.h"

#include <algorithm>
#include <climits>  // Required for: LLONG_MAX
#include <cstring>  // Required for: memcpy(), strnlen()
#include <iostream>
#include <new>
#include <sstream>

#include "core/exit_sequence.h"
#include "core/parallel.h"
#include "core/scene.h"
#include "io/dump/file_shapes.h"
#include "io/file_open.h"
#include "io/gsd/gsd_file.h"
#include "io/reader_state.h"
#include "io/trajectory_summary.h"

// Particles a worker converts at least: fewer are not worth a thread.
constexpr long long LEAST_ROWS_PER_WORKER = 50000;

namespace {

// Opens name as the trajectory's GSD file for a look before it is indexed; the index takes it as it is.
bool OpenGsdToKeep(const std::string& name, std::string& error) {
    GsdReadState& r = readers->gsd;
    if (r.kept && r.openGsd.fd >= 0 && r.openGsd.path == name) return true;
    CloseGsd(r.openGsd);
    r.kept = OpenGsd(name, r.openGsd, error);
    return r.kept;
}

[[noreturn]] void FailGsd(const std::string& line) {
    std::cout << line << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// configuration/step of one chunk; false when it is no single integer or cannot be read.
bool StepOfChunk(GsdFile& file, const GsdIndexEntry* chunk, uint64_t& step) {
    std::vector<unsigned char> bytes;
    std::string error;
    if (!chunk || chunk->N != 1 || chunk->M != 1 || chunk->type != GSD_UINT64) return false;
    if (!ReadChunk(file, *chunk, bytes, error) || bytes.size() != sizeof step) return false;
    std::memcpy(&step, bytes.data(), sizeof step);
    return true;
}

// "frame 3 (step 600)": a frame by its index and its simulation step (frame 0's when it has none of its own).
std::string FrameName(GsdFile& file, uint64_t f) {
    uint64_t step = 0;
    const GsdIndexEntry* chunk = FindChunk(file, f, "configuration/step");
    if (!chunk) chunk = FindChunk(file, 0, "configuration/step");
    const bool known = StepOfChunk(file, chunk, step) && step <= static_cast<uint64_t>(LLONG_MAX);
    return FrameAndStep(static_cast<long long>(f), known ? static_cast<long long>(step) : -1);
}

// The frame the file ends inside, named with its step when that chunk was written before the cut.
std::string CutFrameName(GsdFile& file) {
    uint64_t step = 0;
    const int id = FindNameId(file, "configuration/step");
    const long long cut = static_cast<long long>(file.frameCount);
    for (const GsdIndexEntry& chunk : file.cutEntries)
        if (chunk.id == id && StepOfChunk(file, &chunk, step) && step <= static_cast<uint64_t>(LLONG_MAX))
            return FrameAndStep(cut, static_cast<long long>(step), true);
    return FrameAndStep(cut, -1, true);
}

// A cut file: its whole frames are shown, and one line says where it ends.
void ReportCut(GsdFile& file) {
    if (file.frameCount < file.indexedFrames)
        std::cout << CutFrameName(file) << " and later are cut off (the file ends inside it, at byte "
                  << file.fileSize << ") and are left out." << std::endl;
    else if (file.indexCut && file.frameCount > 0)
        std::cout << "The file " << file.path << " is cut off inside its index, at byte " << file.fileSize
                  << ": frames after " << FrameName(file, file.frameCount - 1) << " are left out." << std::endl;
}

// particles/N of a frame: its own chunk, else frame 0's, else 0 (the schema's rule).
uint32_t ParticleCount(GsdFile& file, uint64_t f, std::vector<unsigned char>& bytes) {
    const GsdIndexEntry* chunk = FindChunk(file, f, "particles/N");
    if (!chunk && f != 0) chunk = FindChunk(file, 0, "particles/N");
    if (!chunk) return 0;
    std::string error;
    if (chunk->N != 1 || chunk->M != 1 || chunk->type != GSD_UINT32)
        FailGsd(file.path + ": " + FrameName(file, f) + ": particles/N is not one uint32 value");
    if (!ReadChunk(file, *chunk, bytes, error)) FailGsd(error);
    uint32_t count = 0;
    std::memcpy(&count, bytes.data(), sizeof count);
    return count;
}

// Counts of every frame; the geom rows of the largest are taken once, within the memory of this machine.
void CountFrames() {
    GsdReadState& r = readers->gsd;
    std::vector<unsigned char> bytes;
    frameAtoms.clear();
    uint32_t largest = 0;
    for (uint64_t f = 0; f < r.openGsd.frameCount; ++f) {
        uint32_t count = ParticleCount(r.openGsd, f, bytes);
        if (count > static_cast<uint32_t>(INT32_MAX / GEOM_STRIDE))
            FailGsd(r.openGsd.path + ": " + FrameName(r.openGsd, f) + " holds " + std::to_string(count) +
                    " particles, more than this program can show");
        // As the frame reader holds: a count beyond the file's bytes is a damaged count, not a system to size.
        if (count > r.openGsd.fileSize)
            FailGsd(r.openGsd.path + ": " + FrameName(r.openGsd, f) + " claims " + std::to_string(count) +
                    " particles in a file of " + std::to_string(r.openGsd.fileSize) + " bytes");
        frameAtoms.push_back(static_cast<int>(count));
        largest = std::max(largest, count);
    }
    mostAtoms = static_cast<int>(largest);
    const long long need = static_cast<long long>(largest) * GEOM_STRIDE * static_cast<long long>(sizeof(double));
    if (need > frameMemoryLimit)
        FailGsd(r.openGsd.path + " holds a frame of " + std::to_string(largest) + " atoms: it needs " +
                std::to_string(need >> 20) + " MiB, more than the " + std::to_string(frameMemoryLimit >> 20) +
                " MiB of memory here.");
    try {
        geom.reserve(static_cast<std::size_t>(largest) * GEOM_STRIDE);
    } catch (const std::bad_alloc&) {
        FailGsd(r.openGsd.path + " holds a frame of " + std::to_string(largest) + " atoms, more than can be had now.");
    }
}

// counter: where each frame's data begins in the file, its first chunk; a frame without chunks of its own
// takes every value from frame 0, and so its place.
void TakeFrameOffsets(const GsdFile& file) {
    const std::size_t frames = static_cast<std::size_t>(file.frameCount);
    std::vector<char> ownChunks(frames, 0);
    counter.assign(frames, 0);
    for (const GsdFrameRange& range : file.frames) {
        if (range.frame >= frames || range.begin >= range.end) continue;
        if (range.begin >= file.index.size()) continue;
        int64_t first = file.index[range.begin].location;
        for (std::size_t k = range.begin; k < range.end && k < file.index.size(); ++k)
            first = std::min(first, file.index[k].location);
        counter[static_cast<std::size_t>(range.frame)] = first;
        ownChunks[static_cast<std::size_t>(range.frame)] = 1;
    }
    for (std::size_t f = 1; f < frames; ++f)
        if (!ownChunks[f]) counter[f] = counter[0];
}

// One more block of zero bond vectors: bonds from the file start and end at the particle centres.
void AddCentreOrigin() {
    GsdReadState& r = readers->gsd;
    const std::size_t block = static_cast<std::size_t>(species) * VECTOR_STRIDE;
    if (block == 0) return;
    bondvec.resize((bondvec.size() + block - 1) / block * block, 0.0);
    bondvec.resize(bondvec.size() + block, 0.0);
    r.centreOrigin = static_cast<int>(bondvec.size() / block);
}

// Type names of frame 0 alone (N rows of M bytes, each ended by a 0 byte or the row's end), so that opening
// costs no particle data; {"A"} when the file has none.
std::vector<std::string> ReadTypeNames(GsdFile& file) {
    const GsdIndexEntry* chunk = FindChunk(file, 0, "particles/types");
    if (!chunk) return {"A"};
    std::string error;
    std::vector<unsigned char> bytes;
    if (GsdTypeSize(chunk->type) != 1) FailGsd(file.path + ": frame 0: particles/types is not text");
    if (!ReadChunk(file, *chunk, bytes, error)) FailGsd(error);
    // Rows of no bytes are empty names, as in the frames; their count is bounded by the file, as a frame's is.
    if (chunk->N > file.fileSize)
        FailGsd(file.path + ": frame 0: particles/types is " + std::to_string(chunk->N) +
                ", implausible for a file of " + std::to_string(file.fileSize) + " bytes");
    std::vector<std::string> names;
    for (uint64_t row = 0; row < chunk->N && (row + 1) * chunk->M <= bytes.size(); ++row) {
        const char* text = reinterpret_cast<const char*>(bytes.data()) + row * chunk->M;
        names.emplace_back(text, chunk->M == 0 ? 0 : strnlen(text, chunk->M));
    }
    return names;
}

// Species without configured half radii take them from the file's type shapes.
void TakeTypeShapes() {
    GsdReadState& r = readers->gsd;
    std::vector<double> halfRadii;
    std::vector<std::string> notes;
    GsdTypeHalfRadii(r.frameRead, halfRadii, notes);
    const long long rows = static_cast<long long>(shape.size() / SPECIES_STRIDE);
    const long long types = static_cast<long long>(halfRadii.size() / 3);
    bool quiet = r.frameRead.typeShapes.empty();
    for (long long n = 1; n <= species && n <= rows && n <= types; ++n) {
        if (HalfRadiiGiven(n) || quiet) continue;
        for (int k = 0; k < 3; ++k)
            entry(shape, SPECIES_STRIDE * (n - 1) + k, "shape") = halfRadii[static_cast<std::size_t>(3 * (n - 1) + k)];
        std::cout << "Species " << n << " takes its half radii from the file: " << halfRadii[3 * (n - 1)] << " "
                  << halfRadii[3 * (n - 1) + 1] << " " << halfRadii[3 * (n - 1) + 2] << std::endl;
    }
    for (std::size_t t = 0; t < notes.size(); ++t)
        if (!notes[t].empty() && !HalfRadiiGiven(static_cast<long long>(t) + 1)) std::cout << notes[t] << std::endl;
}

void PrintTypeNames(const std::vector<std::string>& types) {
    std::cout << "Species:              ";
    for (std::size_t t = 0; t < types.size(); ++t) std::cout << (t > 0 ? ", " : "") << t + 1 << " = " << types[t];
    std::cout << std::endl;
}

void FillBox(const GsdFrame& read) {
    const double* b = read.box;  // Lx Ly Lz xy xz yz; the box is centred on the origin
    const double edges[3][3] = {{b[0], 0, 0}, {b[3] * b[1], b[1], 0}, {b[4] * b[2], b[5] * b[2], b[2]}};
    frameBox.exists = true;
    for (int e = 0; e < 3; ++e)
        for (int k = 0; k < 3; ++k) frameBox.edges[e][k] = edges[e][k];
    for (int k = 0; k < 3; ++k) frameBox.origin[k] = -(edges[0][k] + edges[1][k] + edges[2][k]) / 2;
}

// The last part of a chunk name: "energies" of log/particles/md/pair/GayBerne/energies.
std::string LastPart(const std::string& name) { return name.substr(name.rfind('/') + 1); }

// Whether another per-particle chunk of the open file ends in the same last part, so that the short name
// would not tell them apart.
bool LastPartShared(const std::string& name) {
    GsdReadState& r = readers->gsd;
    const std::string last = LastPart(name);
    for (const std::string& other : r.openGsd.names)
        if (other != name && LastPart(other) == last &&
            (other.rfind("log/particles/", 0) == 0 || other.rfind("particles/", 0) == 0))
            return true;
    return false;
}

// Column names of a quantity: velocity vx vy vz, image ix iy iz, a log name without its prefix where that
// is unique, else the whole chunk name; the whole chunk name (with [column]) is always its full name.
void AddQuantityNames(const GsdQuantity& quantity) {
    static const char* const VELOCITY[3] = {"vx", "vy", "vz"};
    static const char* const IMAGE[3] = {"ix", "iy", "iz"};
    const std::string& name = quantity.name;
    const std::string shown = LastPartShared(name) ? name : LastPart(name);
    for (uint32_t c = 0; c < quantity.columns; ++c) {
        const std::string column = quantity.columns == 1 ? "" : "[" + std::to_string(c + 1) + "]";
        if (name == "particles/velocity" && c < 3) quantityNames.push_back(VELOCITY[c]);
        else if (name == "particles/image" && c < 3) quantityNames.push_back(IMAGE[c]);
        else quantityNames.push_back(shown + column);
        quantityFullNames.push_back(name + column);
    }
}

// Two columns still shown alike (a log chunk named like vx) are both shown by their full names.
void ShowSharedNamesInFull() {
    std::vector<std::string> shown = quantityNames;
    for (std::size_t k = 0; k < shown.size(); ++k)
        if (std::count(shown.begin(), shown.end(), shown[k]) > 1) quantityNames[k] = quantityFullNames[k];
}

void FillQuantities(const GsdFrame& read) {
    quantityNames.clear();
    quantityFullNames.clear();
    for (const GsdQuantity& quantity : read.quantities) AddQuantityNames(quantity);
    ShowSharedNamesInFull();
    const std::size_t stride = quantityNames.size();
    quantities.assign(stride * read.N, 0.0);
    std::size_t column = 0;
    for (const GsdQuantity& quantity : read.quantities) {
        ForEachPart(read.N, LEAST_ROWS_PER_WORKER, [&](int, long long begin, long long end) {
            for (std::size_t i = static_cast<std::size_t>(begin); i < static_cast<std::size_t>(end); ++i)
                for (uint32_t c = 0; c < quantity.columns; ++c)
                    quantities[i * stride + column + c] = quantity.values[i * quantity.columns + c];
        });
        column += quantity.columns;
    }
}

void FillBonds(const GsdFrame& read) {
    GsdReadState& r = readers->gsd;
    topology.clear();
    for (uint32_t j = 0; j < read.bondN; ++j)
        for (int value : {static_cast<int>(read.bondGroup[2 * j]) + 1, static_cast<int>(read.bondGroup[2 * j + 1]) + 1,
                          r.centreOrigin, r.centreOrigin})
            topology.push_back(value);
}

[[noreturn]] void FailType(const GsdFrame& read, uint32_t i) {
    uint32_t id = read.typeId[i];
    std::cout << "Illegal entry for atom no " << i + 1 << " in frame " << frame << " (step " << read.step << "):"
              << std::endl;
    std::cout << "particle " << i << " of type " << (id < read.types.size() ? read.types[id] : "?") << " (type id "
              << id << ")" << std::endl;
    std::cout << "Type read: " << id + 1 << ". Only " << species << " specified in input." << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

}  // namespace

bool ReadGsdFrameZero(const std::string& name, GsdFrame& read, std::string& error) {
    return OpenGsdToKeep(name, error) && ReadGsdFrame(readers->gsd.openGsd, 0, read, error);
}

bool GsdHasTypeShapes(const std::string& name) {
    std::string error;
    return OpenGsdToKeep(name, error) && FindChunk(readers->gsd.openGsd, 0, "particles/type_shapes") != nullptr;
}

void GsdTypeHalfRadii(const GsdFrame& read, std::vector<double>& halfRadii, std::vector<std::string>& notes) {
    const std::size_t types = read.types.size();
    halfRadii.assign(types * 3, 0.5);
    notes.assign(types, std::string());
    for (std::size_t t = 0; t < types; ++t) {
        double radii[3];
        std::string kind;
        if (t < read.typeShapes.size() && ParseTypeShape(read.typeShapes[t], radii, kind)) {
            std::copy(radii, radii + 3, &halfRadii[3 * t]);
            continue;
        }
        // A sphere of the diameter of the first particle of this type.
        double diameter = 1;
        for (std::size_t i = 0; i < read.typeId.size() && i < read.diameter.size(); ++i)
            if (read.typeId[i] == t) {
                diameter = read.diameter[i];
                break;
            }
        std::fill(&halfRadii[3 * t], &halfRadii[3 * t] + 3, diameter / 2);
        if (t < read.typeShapes.size() && read.typeShapes[t].size() > 2) {  // "{}" is no shape at all
            std::ostringstream note;
            note << "Type " << read.types[t] << " (species " << t + 1 << ") has the shape "
                 << (kind.empty() ? std::string("that cannot be read") : kind)
                 << ", which is no ellipsoid: it is drawn as a sphere of its particles' diameter, " << diameter << ".";
            notes[t] = note.str();
        }
    }
}

void IndexGsdFile() {
    GsdReadState& r = readers->gsd;
    const bool kept = r.kept && GsdTrajectoryOpen() && r.openGsd.path == inname;
    r.kept = false;
    std::string error;
    if (!kept) {
        CloseGsd(r.openGsd);
        if (!MayOpenForReading(inname)) {
            std::cout << "Error. GSD file " << inname << " not found." << std::endl;
            std::cout << "Please enter the correct name of the GSD file in the input file. " << std::endl;
            ExitSequence();
        }
        if (!OpenGsd(inname, r.openGsd, error)) FailGsd(error);
    }
    if (!IsHoomdGsd(r.openGsd))
        FailGsd(inname + " is a GSD file of the schema \"" + GsdPrintable(r.openGsd.schema) + "\", not hoomd.");
    std::cout << "Infile " << inname << " opened" << std::endl;
    ReportCut(r.openGsd);
    if (r.openGsd.frameCount == 0) FailGsd("The GSD file " + inname + " holds no frame.");
    CountFrames();
    TakeFrameOffsets(r.openGsd);
}

void ReopenGsdFile() {
    GsdReadState& r = readers->gsd;
    CloseGsd(r.openGsd);
    std::string error;
    if (!MayOpenForReading(inname) || !OpenGsd(inname, r.openGsd, error))
        FailGsd(error.empty() ? "The GSD file " + inname + " cannot be opened again." : error);
}

uint64_t GsdFirstStep() {
    GsdReadState& r = readers->gsd;
    const GsdIndexEntry* chunk = FindChunk(r.openGsd, 0, "configuration/step");
    uint64_t step = 0;  // the schema's default
    if (chunk && !StepOfChunk(r.openGsd, chunk, step))
        FailGsd(r.openGsd.path + ": frame 0: configuration/step cannot be read as one uint64 value");
    return step;
}

std::vector<std::string> GsdTypeNames() { return ReadTypeNames(readers->gsd.openGsd); }

void FinishGsdOpening() {
    GsdReadState& r = readers->gsd;
    atoms = frameAtoms.front();
    PrintTrajectorySummary();
    PrintTypeNames(ReadTypeNames(r.openGsd));
    AddCentreOrigin();
    r.shapesPending = true;
}

void OpenGsdTrajectory() {
    IndexGsdFile();
    FinishGsdOpening();
}

void GsdFrameDetailsToScene(const GsdFrame& read) {
    for (uint32_t i = 0; i < read.N; ++i)
        if (read.typeId[i] + 1LL > species) FailType(read, i);
    frameStep = read.step <= static_cast<uint64_t>(LLONG_MAX) ? static_cast<long long>(read.step) : -1;
    FillBox(read);
    FillQuantities(read);
}

void GsdFrameToScene(const GsdFrame& read) {
    GsdFrameDetailsToScene(read);
    FitFrameTable(static_cast<int>(read.N));
    if (read.N > 0) entry(geom, static_cast<long long>(read.N) * GEOM_STRIDE - 1, "geom");  // rows checked here at once
    ForEachPart(read.N, LEAST_ROWS_PER_WORKER, [&read](int, long long begin, long long end) {
        for (std::size_t i = static_cast<std::size_t>(begin); i < static_cast<std::size_t>(end); ++i) {
            double* row = &geom[i * GEOM_STRIDE];
            row[GEOM_LABEL] = static_cast<double>(i + 1);
            row[GEOM_TYPE] = read.typeId[i] + 1;
            for (int k = 0; k < 3; ++k) row[GEOM_X + k] = read.position[3 * i + k];
            for (int k = 0; k < 4; ++k) row[GEOM_QW + k] = read.orientation[4 * i + k];
        }
    });
    if (trajectoryBonds) FillBonds(read);
}

GsdFrame& ReadGsdFrameTables() {
    GsdReadState& r = readers->gsd;
    RequireOpenTrajectory(GsdTrajectoryOpen());
    std::string error;
    entry(counter, frame, "counter");
    const uint64_t wanted = static_cast<uint64_t>(frame - readers->series.openMemberStart);  // frame in its file
    bool held = false;
    if (r.shapesPending) {  // the first read after opening: frame 0 gives the shapes
        if (!ReadGsdFrame(r.openGsd, 0, r.frameRead, error)) FailGsd(error);
        TakeTypeShapes();
        r.shapesPending = false;
        held = wanted == 0;
    }
    if (!held && !ReadGsdFrame(r.openGsd, wanted, r.frameRead, error)) FailGsd(error);
    return r.frameRead;
}

void ReadGsdTrajectoryFrame() { GsdFrameToScene(ReadGsdFrameTables()); }

void CloseGsdTrajectory() { CloseGsd(readers->gsd.openGsd); }

bool GsdTrajectoryOpen() { return readers->gsd.openGsd.fd >= 0; }
