// HOOMD schema reader: a frame's chunks are found in the frame itself, else in frame 0 when the row counts
// agree, else they take the schema default. Each chunk's shape and type is checked before its values are
// used, and indices into other tables (type ids, bond members) are checked against those tables.
#include "io/gsd/gsd_hoomd.h"

#include <algorithm>
#include <cmath>    // Required for: std::isfinite()
#include <cstring>  // Required for: memcpy(), memchr()
#include <limits>
#include <vector>

#include "core/parallel.h"
#include "io/numbers.h"  // Required for: ParseReal(), SkipSpace()

// Chunk data is copied straight into host values.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "GSD chunk data is little-endian; this reader assumes a little-endian host");

namespace {

const char* const LOG_PARTICLES = "log/particles/";
const char* const HOOMD_SCHEMA = "hoomd";
const double NO_VALUES[4] = {0, 0, 0, 0};
const double ONE[1] = {1};
const double UNIT_QUATERNION[4] = {1, 0, 0, 0};
const double NOT_GIVEN = std::numeric_limits<double>::quiet_NaN();  // a shape field the JSON lacks

// Bits of GsdFrame::defaulted: the tables a frame may leave to their default.
enum DefaultedTable : uint32_t {
    DEFAULTED_POSITION = 1u << 0, DEFAULTED_ORIENTATION = 1u << 1, DEFAULTED_DIAMETER = 1u << 2,
    DEFAULTED_VELOCITY = 1u << 3, DEFAULTED_MASS = 1u << 4, DEFAULTED_CHARGE = 1u << 5, DEFAULTED_IMAGE = 1u << 6
};

// Chunk bytes and integer values being decoded. Kept between frame reads: a large frame then reuses the
// pages of the one before instead of faulting in fresh ones.
std::vector<unsigned char> chunkBytes;
std::vector<int64_t> integerValues;
std::vector<int64_t> singleValue;   // a count's, and bond members apart: integerValues keeps its N rows' size
std::vector<int64_t> bondMembers;   // between frames, and a resize to them writes no zeros

// What one ReadGsdFrame call works with.
struct FrameRead {
    GsdFile* file = nullptr;
    uint64_t frame = 0;
    uint32_t N = 0;                    // particles/N of this frame
    uint32_t N0 = 0;                   // particles/N of frame 0: chunks carry over from frame 0 when equal
    std::string where;                 // "path: frame f: ", the start of every error line
    size_t quantities = 0;             // entries of GsdFrame::quantities filled so far
};

// The chunk in the frame, else frame 0's when carry allows it; nullptr means the schema default.
const GsdIndexEntry* LookupId(const FrameRead& read, int id, bool carry) {
    const GsdIndexEntry* entry = FindChunkById(*read.file, read.frame, id);
    if (!entry && carry && read.frame != 0) entry = FindChunkById(*read.file, 0, id);
    return entry;
}

const GsdIndexEntry* Lookup(const FrameRead& read, const char* name, bool carry) {
    return LookupId(read, FindNameId(*read.file, name), carry);
}

bool IsIntegerType(uint8_t type) { return type != GSD_FLOAT && type != GSD_DOUBLE && GsdTypeSize(type) != 0; }

template <typename In, typename Out>
void Widen(const unsigned char* data, size_t count, Out* out) {
    for (size_t i = 0; i < count; ++i) {
        In value;
        std::memcpy(&value, data + i * sizeof(In), sizeof(In));
        out[i] = static_cast<Out>(value);
    }
}

// Floats widened to doubles in the same pass that finds whether every one is finite; true when all are. The
// floats may lie in the upper half of out's own room: a block of doubles written then ends where the floats
// not yet read begin, at the earliest.
template <size_t COUNT>
bool WidenBlock(const unsigned char* data, double* out) {  // COUNT fixed: the compiler widens several at once
    float values[COUNT];
    std::memcpy(values, data, sizeof values);
    bool finite = true;
    for (size_t k = 0; k < COUNT; ++k) {
        out[k] = values[k];
        finite &= std::fabs(values[k]) <= std::numeric_limits<float>::max();  // no branch: NaN and inf fail it
    }
    return finite;
}

bool WidenFloats(const unsigned char* data, size_t count, double* out) {
    constexpr size_t BLOCK = 16;
    bool finite = true;
    size_t i = 0;
    for (; i + BLOCK <= count; i += BLOCK) finite &= WidenBlock<BLOCK>(data + i * sizeof(float), out + i);
    for (; i < count; ++i) finite &= WidenBlock<1>(data + i * sizeof(float), out + i);
    return finite;
}

// count values of a GSD type into Out; an integer Out must come from an integer type (the caller checks).
template <typename Out>
void Convert(const unsigned char* data, uint8_t type, size_t count, Out* out) {
    switch (type) {
        case GSD_UINT8: Widen<uint8_t>(data, count, out); break;
        case GSD_UINT16: Widen<uint16_t>(data, count, out); break;
        case GSD_UINT32: Widen<uint32_t>(data, count, out); break;
        case GSD_UINT64: Widen<uint64_t>(data, count, out); break;
        case GSD_INT8: case GSD_CHAR: Widen<int8_t>(data, count, out); break;
        case GSD_INT16: Widen<int16_t>(data, count, out); break;
        case GSD_INT32: Widen<int32_t>(data, count, out); break;
        case GSD_INT64: Widen<int64_t>(data, count, out); break;
        case GSD_FLOAT: Widen<float>(data, count, out); break;
        case GSD_DOUBLE: Widen<double>(data, count, out); break;
        default: break;
    }
}

// The chunk must hold rows x columns values; reads its bytes.
bool CheckShape(const FrameRead& read, const GsdIndexEntry& entry, const char* name, uint64_t rows, uint32_t columns,
                const char* rowsMeaning, std::string& error) {
    if (entry.N != rows) {
        error = read.where + name + " has " + std::to_string(entry.N) + " rows but " + rowsMeaning + " is " +
                std::to_string(rows);
        return false;
    }
    if (entry.M != columns) {
        error = read.where + name + " has " + std::to_string(entry.M) + " columns, not " + std::to_string(columns);
        return false;
    }
    return true;
}

bool LoadShaped(FrameRead& read, const GsdIndexEntry& entry, const char* name, uint64_t rows, uint32_t columns,
                const char* rowsMeaning, std::string& error) {
    if (!CheckShape(read, entry, name, rows, columns, rowsMeaning, error)) return false;
    uint64_t bytes = 0;
    if (!GsdChunkInFile(*read.file, entry, bytes, error)) return false;
    if (chunkBytes.size() < bytes) chunkBytes.resize(static_cast<size_t>(bytes));  // grown only: never cleared
    return ReadChunkTo(*read.file, entry, chunkBytes.data(), error);
}

bool CheckFinite(const FrameRead& read, const char* name, const std::vector<double>& values, std::string& error);

// The chunk's values as reals; with finite, each must be a finite number.
bool LoadReals(FrameRead& read, const GsdIndexEntry& entry, const char* name, uint64_t rows, uint32_t columns,
               const char* rowsMeaning, bool finite, std::vector<double>& out, std::string& error) {
    const bool real = entry.type == GSD_FLOAT || entry.type == GSD_DOUBLE;
    if (!real) {
        if (!LoadShaped(read, entry, name, rows, columns, rowsMeaning, error)) return false;
        out.resize(static_cast<size_t>(rows) * columns);
        Convert(chunkBytes.data(), entry.type, out.size(), out.data());
        return !finite || CheckFinite(read, name, out, error);
    }
    // Reals are read into out's own room: doubles as they are, floats into its upper half, widened there.
    uint64_t bytes = 0;
    if (!CheckShape(read, entry, name, rows, columns, rowsMeaning, error) ||
        !GsdChunkInFile(*read.file, entry, bytes, error))
        return false;
    out.resize(static_cast<size_t>(rows) * columns);
    unsigned char* room = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* data = entry.type == GSD_FLOAT ? room + out.size() * sizeof(float) : room;
    if (!ReadChunkTo(*read.file, entry, data, error)) return false;
    if (entry.type == GSD_FLOAT && WidenFloatsInPlace(data, out.size(), out.data())) return true;
    return !finite || CheckFinite(read, name, out, error);
}

bool LoadIntegers(FrameRead& read, const GsdIndexEntry& entry, const char* name, uint64_t rows, uint32_t columns,
                  const char* rowsMeaning, std::vector<int64_t>& out, std::string& error) {
    if (!IsIntegerType(entry.type)) {
        error = read.where + name + " has type " + GsdTypeName(entry.type) + ", not an integer type";
        return false;
    }
    if (!LoadShaped(read, entry, name, rows, columns, rowsMeaning, error)) return false;
    out.resize(static_cast<size_t>(rows) * columns);
    Convert(chunkBytes.data(), entry.type, out.size(), out.data());
    return true;
}

// A 1x1 integer chunk, or fallback when there is none.
bool ReadCount(FrameRead& read, const char* name, bool carry, uint64_t fallback, uint64_t& value, std::string& error) {
    const GsdIndexEntry* entry = Lookup(read, name, carry);
    if (!entry) {
        value = fallback;
        return true;
    }
    if (!LoadIntegers(read, *entry, name, 1, 1, "a single value", singleValue, error)) return false;
    value = static_cast<uint64_t>(singleValue.at(0));
    return true;
}

bool CheckFinite(const FrameRead& read, const char* name, const std::vector<double>& values, std::string& error) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            error = read.where + name + " holds a value that is not a finite number (value " + std::to_string(i) + ")";
            return false;
        }
    }
    return true;
}

// A count that sizes default tables must be plausible: the file holds at least a byte per particle.
bool CheckCount(const FrameRead& read, const char* name, uint64_t count, std::string& error) {
    if (count <= std::numeric_limits<uint32_t>::max() && count <= read.file->fileSize) return true;
    error = read.where + name + " is " + std::to_string(count) + ", implausible for a file of " +
            std::to_string(read.file->fileSize) + " bytes";
    return false;
}

// Particle count of this frame and of frame 0.
bool ReadParticleCounts(FrameRead& read, GsdFrame& out, std::string& error) {
    uint64_t n = 0;
    uint64_t n0 = 0;
    if (!ReadCount(read, "particles/N", true, 0, n, error) || !CheckCount(read, "particles/N", n, error)) return false;
    const GsdIndexEntry* first = FindChunk(*read.file, 0, "particles/N");
    if (first) {
        FrameRead zero;
        zero.file = read.file;
        zero.where = read.where;
        if (!ReadCount(zero, "particles/N", false, 0, n0, error)) return false;
    }
    read.N = static_cast<uint32_t>(n);
    read.N0 = static_cast<uint32_t>(n0);
    out.N = read.N;
    return true;
}

// The step comes first: every later message names the frame by its index and its step.
bool ReadStep(FrameRead& read, GsdFrame& out, std::string& error) {
    if (!ReadCount(read, "configuration/step", true, 0, out.step, error)) return false;
    read.where = read.file->path + ": frame " + std::to_string(read.frame) + " (step " + std::to_string(out.step) + "): ";
    return true;
}

bool ReadConfiguration(FrameRead& read, GsdFrame& out, std::string& error) {
    uint64_t dimensions = 3;
    if (!ReadCount(read, "configuration/dimensions", true, 3, dimensions, error)) return false;
    if (dimensions != 2 && dimensions != 3) {
        error = read.where + "configuration/dimensions is " + std::to_string(dimensions) + ", not 2 or 3";
        return false;
    }
    out.dimensions = static_cast<uint32_t>(dimensions);
    const GsdIndexEntry* box = Lookup(read, "configuration/box", true);
    if (!box) return true;
    std::vector<double> values;
    if (!LoadReals(read, *box, "configuration/box", 6, 1, "the box size", true, values, error)) return false;
    for (int i = 0; i < 6; ++i) out.box[i] = values[i];
    return true;
}

// Rows of M bytes, each a 0-terminated (or M-long) string.
bool ReadStrings(FrameRead& read, const char* name, std::vector<std::string>& out, std::string& error) {
    const GsdIndexEntry* entry = Lookup(read, name, true);
    if (!entry) return true;
    if (GsdTypeSize(entry->type) != 1) {
        error = read.where + name + " has type " + GsdTypeName(entry->type) + ", not a byte type";
        return false;
    }
    if (!CheckCount(read, name, entry->N, error)) return false;
    if (!ReadChunk(*read.file, *entry, chunkBytes, error)) return false;
    out.clear();
    for (uint64_t row = 0; row < entry->N; ++row) {
        if (entry->M == 0) {
            out.emplace_back();
            continue;
        }
        const char* text = reinterpret_cast<const char*>(chunkBytes.data()) + row * entry->M;
        const void* end = std::memchr(text, 0, entry->M);
        out.emplace_back(text, end ? static_cast<const char*>(end) - text : entry->M);
    }
    return true;
}

// Type ids read before, checked against this frame's names.
bool CheckTypeIds(const FrameRead& read, const GsdFrame& out, std::string& error) {
    uint32_t largest = 0;
    for (uint32_t id : out.typeId) largest = std::max(largest, id);  // no branch per particle
    if (out.typeId.empty() || largest < out.types.size()) return true;
    for (size_t i = 0; i < out.typeId.size(); ++i) {
        if (out.typeId[i] < out.types.size()) continue;
        error = read.where + "particles/typeid of particle " + std::to_string(i) + " is " +
                std::to_string(out.typeId[i]) + ", but there are " + std::to_string(out.types.size()) + " types";
        break;
    }
    return false;
}

// Type names, shapes and each particle's type id, checked against the names.
bool ReadTypes(FrameRead& read, GsdFrame& out, std::string& error) {
    out.types.assign(1, "A");
    if (!ReadStrings(read, "particles/types", out.types, error)) return false;
    if (!ReadStrings(read, "particles/type_shapes", out.typeShapes, error)) return false;
    const GsdIndexEntry* entry = Lookup(read, "particles/typeid", read.N == read.N0);
    if (!entry) {
        out.typeId.assign(read.N, 0);
        out.typeIdChunk = 0;
        return true;
    }
    if (out.typeIdOpening == read.file->opening && out.typeIdChunk == entry->location && out.typeId.size() == read.N)
        return CheckTypeIds(read, out, error);  // the chunk read before: frame 0's, taken again
    out.typeIdChunk = 0;
    std::vector<int64_t>& ids = integerValues;
    if (!LoadIntegers(read, *entry, "particles/typeid", read.N, 1, "particles/N", ids, error)) return false;
    out.typeId.resize(read.N);  // every id is set below
    for (size_t i = 0; i < out.typeId.size() && i < ids.size(); ++i) {
        if (ids[i] < 0 || static_cast<uint64_t>(ids[i]) >= out.types.size()) {
            error = read.where + "particles/typeid of particle " + std::to_string(i) + " is " +
                    std::to_string(ids[i]) + ", but there are " + std::to_string(out.types.size()) + " types";
            return false;
        }
        out.typeId[i] = static_cast<uint32_t>(ids[i]);
    }
    out.typeIdOpening = read.file->opening;
    out.typeIdChunk = entry->location;
    return true;
}

// Whether frame 0 has the chunk while this frame, a later one, does not: the frame then takes the default.
bool OnlyFrameZeroHas(const FrameRead& read, const GsdIndexEntry* entry, int id) {
    return !entry && read.frame != 0 && FindChunkById(*read.file, 0, id) != nullptr;
}

// An N x columns real table: the chunk, else the default row repeated (kept from the read before when that
// left the default there). given says whether the frame or frame 0 has the chunk: a quantity then.
bool ReadParticleReals(FrameRead& read, GsdFrame& frame, const char* name, uint32_t columns, const double* fallback,
                       DefaultedTable table, bool finite, std::vector<double>& out, bool& given, std::string& error) {
    const int id = FindNameId(*read.file, name);
    const GsdIndexEntry* entry = LookupId(read, id, read.N == read.N0);
    given = entry != nullptr || OnlyFrameZeroHas(read, entry, id);
    if (!entry) {
        const size_t size = static_cast<size_t>(read.N) * columns;
        if (out.size() == size && (frame.defaulted & table)) return true;
        out.resize(size);
        for (size_t row = 0; row < out.size(); row += columns)  // by rows: no division per value
            std::copy(fallback, fallback + columns, out.begin() + static_cast<std::ptrdiff_t>(row));
        frame.defaulted |= table;
        return true;
    }
    frame.defaulted &= ~table;
    return LoadReals(read, *entry, name, read.N, columns, "particles/N", finite, out, error);
}

// The next quantity of the frame, reusing the storage of the frame read before.
GsdQuantity& NextQuantity(FrameRead& read, GsdFrame& out, const std::string& name, uint32_t columns) {
    if (read.quantities == out.quantities.size()) out.quantities.emplace_back();
    GsdQuantity& quantity = out.quantities.at(read.quantities++);
    quantity.name = name;
    quantity.columns = columns;
    return quantity;
}

void AddQuantity(FrameRead& read, GsdFrame& out, const char* name, uint32_t columns, const std::vector<double>& values) {
    NextQuantity(read, out, name, columns).values = values;
}

// Position, orientation, diameter, velocity, mass and charge; the momenta and masses also as quantities.
bool ReadParticleTables(FrameRead& read, GsdFrame& out, std::string& error) {
    bool given = false;
    if (!ReadParticleReals(read, out, "particles/position", 3, NO_VALUES, DEFAULTED_POSITION, true, out.position,
                           given, error) ||
        !ReadParticleReals(read, out, "particles/orientation", 4, UNIT_QUATERNION, DEFAULTED_ORIENTATION, true,
                           out.orientation, given, error) ||
        !ReadParticleReals(read, out, "particles/diameter", 1, ONE, DEFAULTED_DIAMETER, true, out.diameter, given,
                           error))
        return false;
    if (!ReadParticleReals(read, out, "particles/velocity", 3, NO_VALUES, DEFAULTED_VELOCITY, false, out.velocity,
                           given, error))
        return false;
    if (given) AddQuantity(read, out, "particles/velocity", 3, out.velocity);
    if (!ReadParticleReals(read, out, "particles/mass", 1, ONE, DEFAULTED_MASS, false, out.mass, given, error))
        return false;
    if (given) AddQuantity(read, out, "particles/mass", 1, out.mass);
    if (!ReadParticleReals(read, out, "particles/charge", 1, NO_VALUES, DEFAULTED_CHARGE, false, out.charge, given,
                           error))
        return false;
    if (given) AddQuantity(read, out, "particles/charge", 1, out.charge);
    return true;
}

bool ReadImage(FrameRead& read, GsdFrame& out, std::string& error) {
    const size_t size = static_cast<size_t>(read.N) * 3;
    const int id = FindNameId(*read.file, "particles/image");
    const GsdIndexEntry* entry = LookupId(read, id, read.N == read.N0);
    if (!entry) {
        if (out.image.size() != size || !(out.defaulted & DEFAULTED_IMAGE)) out.image.assign(size, 0);
        out.defaulted |= DEFAULTED_IMAGE;
        if (OnlyFrameZeroHas(read, entry, id)) NextQuantity(read, out, "particles/image", 3).values.assign(size, 0.0);
        return true;
    }
    out.defaulted &= ~DEFAULTED_IMAGE;
    out.image.resize(size);  // every value is set below
    std::vector<int64_t>& values = integerValues;
    if (!LoadIntegers(read, *entry, "particles/image", read.N, 3, "particles/N", values, error)) return false;
    std::vector<double>& asReals = NextQuantity(read, out, "particles/image", 3).values;
    asReals.resize(values.size());
    for (size_t i = 0; i < values.size() && i < out.image.size(); ++i) {
        if (values[i] < INT32_MIN || values[i] > INT32_MAX) {
            error = read.where + "particles/image value " + std::to_string(i) + " is out of the int32 range";
            return false;
        }
        out.image[i] = static_cast<int32_t>(values[i]);
        asReals[i] = static_cast<double>(values[i]);
    }
    return true;
}

// Bond count and members; bonds/group carries over from frame 0 when the bond counts agree. Members of the
// frame's own bonds must be its particles; carried ones must be frame 0's, and may name particles this frame
// lacks: the viewer leaves such bonds out.
bool ReadBonds(FrameRead& read, GsdFrame& out, std::string& error) {
    uint64_t count = 0;
    uint64_t count0 = 0;
    if (!ReadCount(read, "bonds/N", true, 0, count, error) || !CheckCount(read, "bonds/N", count, error)) return false;
    if (FindChunk(*read.file, 0, "bonds/N")) {
        FrameRead zero;
        zero.file = read.file;
        zero.where = read.where;
        if (!ReadCount(zero, "bonds/N", false, 0, count0, error)) return false;
    }
    out.bondN = static_cast<uint32_t>(count);
    out.bondGroup.assign(static_cast<size_t>(count) * 2, 0);
    const GsdIndexEntry* entry = Lookup(read, "bonds/group", count == count0);
    const bool carried = entry && entry->frame != read.frame;
    const uint32_t members = carried ? read.N0 : read.N;
    std::vector<int64_t>& values = bondMembers;
    values.clear();
    if (entry && !LoadIntegers(read, *entry, "bonds/group", count, 2, "bonds/N", values, error)) return false;
    for (size_t i = 0; i < values.size() && i < out.bondGroup.size(); ++i) {
        if (values[i] < 0 || values[i] >= static_cast<int64_t>(members)) {
            error = read.where + "bond " + std::to_string(i / 2) + " names particle " + std::to_string(values[i]) +
                    ", but " + (carried ? "frame 0, whose bonds it takes," : "the frame") + " has " +
                    std::to_string(members) + " particles";
            return false;
        }
        out.bondGroup[i] = static_cast<uint32_t>(values[i]);
    }
    if (out.bondN > 0 && !entry && read.N == 0) {  // default members are particle 0, which must then exist
        error = read.where + "bonds/N is " + std::to_string(out.bondN) + " but the frame has no particles";
        return false;
    }
    return true;
}

// The per-particle tables, emptied after a failed read. A read that succeeds sets each of their values, so they
// are not emptied before it: one of the frame's size is then written once, not cleared and written.
void EmptyParticleTables(GsdFrame& out) {
    for (std::vector<double>* table : {&out.position, &out.orientation, &out.diameter, &out.velocity, &out.mass,
                                       &out.charge})
        table->clear();
    out.typeId.clear();
    out.typeIdChunk = 0;
    out.image.clear();
    out.defaulted = 0;
}

// Schema defaults for the scalars; the other tables emptied but their storage kept for the next frame.
void ResetFrame(GsdFrame& out) {
    out.step = 0;
    const double box[6] = {1, 1, 1, 0, 0, 0};
    std::copy(box, box + 6, out.box);
    out.dimensions = 3;
    out.N = 0;
    out.bondN = 0;
    out.types.clear();
    out.typeShapes.clear();
    out.bondGroup.clear();
}

// The file must follow the HOOMD schema and hold the frame.
bool CheckRequest(const GsdFile& file, uint64_t frame, std::string& error) {
    if (!IsHoomdGsd(file)) {
        error = file.path + ": schema \"" + GsdPrintable(file.schema) + "\", not " + HOOMD_SCHEMA;
        return false;
    }
    if (frame >= file.frameCount) {
        error = file.path + ": frame " + std::to_string(frame) + " is past the last of its " +
                std::to_string(file.frameCount) + " frames";
        return false;
    }
    return true;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Every log/particles/ chunk of the file that this frame or frame 0 has, N rows each: 0 where frame 0's rows
// do not fit this frame.
bool ReadLogQuantities(FrameRead& read, GsdFrame& out, std::string& error) {
    for (size_t id = 0; id < read.file->names.size(); ++id) {
        const std::string& name = read.file->names[id];
        if (!StartsWith(name, LOG_PARTICLES)) continue;
        const GsdIndexEntry* entry = LookupId(read, static_cast<int>(id), read.N == read.N0);
        const GsdIndexEntry* columns = OnlyFrameZeroHas(read, entry, static_cast<int>(id))
                                           ? FindChunkById(*read.file, 0, static_cast<int>(id))
                                           : entry;
        if (!columns || columns->M == 0) continue;
        std::string shown = GsdPrintable(name);
        // Defaults sized by frame 0's column count, which no read of frame 0 has checked here: as plausible as
        // any default table.
        if (!entry && !CheckCount(read, shown.c_str(), uint64_t(read.N) * columns->M, error)) return false;
        GsdQuantity& quantity = NextQuantity(read, out, name, columns->M);
        if (!entry) {  // frame 0's rows do not fit this frame
            quantity.values.assign(static_cast<size_t>(read.N) * columns->M, 0.0);
            continue;
        }
        if (!LoadReals(read, *entry, shown.c_str(), read.N, entry->M, "particles/N", false, quantity.values, error))
            return false;
    }
    return true;
}

// ---- type_shapes JSON: a flat object scanned field by field; nested values are skipped, never parsed.

bool ScanString(const char*& p, const char* end, std::string& out) {
    if (p == end || *p != '"') return false;
    out.clear();
    for (++p; p != end; ++p) {
        if (*p == '"') {
            ++p;
            return true;
        }
        if (*p == '\\' && ++p == end) return false;  // the escaped character is kept as it is
        out += *p;
    }
    return false;
}

// Skips a string, number, literal, array or object; depth is counted, so nesting costs no stack.
bool SkipValue(const char*& p, const char* end) {
    std::string ignored;
    if (p != end && *p == '"') return ScanString(p, end, ignored);
    if (p != end && (*p == '[' || *p == '{')) {
        long depth = 0;
        while (p != end) {
            if (*p == '"') {
                if (!ScanString(p, end, ignored)) return false;
                continue;
            }
            if (*p == '[' || *p == '{') ++depth;
            if (*p == ']' || *p == '}') --depth;
            ++p;
            if (depth == 0) return true;
        }
        return false;
    }
    const char* start = p;
    while (p != end && *p != ',' && *p != '}' && *p != ']' && !IsSpace(*p)) ++p;
    return p != start;
}

// Fields of a shape object that decide its half radii.
struct ShapeFields {
    std::string type;
    double a = NOT_GIVEN, b = NOT_GIVEN, c = NOT_GIVEN, diameter = NOT_GIVEN;
};

double* NumberField(ShapeFields& fields, const std::string& key) {
    if (key == "a") return &fields.a;
    if (key == "b") return &fields.b;
    if (key == "c") return &fields.c;
    if (key == "diameter") return &fields.diameter;
    return nullptr;
}

bool ScanShape(const char* p, const char* end, ShapeFields& fields) {
    SkipSpace(p, end);
    if (p == end || *p++ != '{') return false;
    SkipSpace(p, end);
    if (p != end && *p == '}') return true;
    std::string key;
    while (true) {
        SkipSpace(p, end);
        if (!ScanString(p, end, key)) return false;
        SkipSpace(p, end);
        if (p == end || *p++ != ':') return false;
        SkipSpace(p, end);
        double* number = NumberField(fields, key);
        bool scanned = key == "type" ? ScanString(p, end, fields.type)
                                     : number ? ParseReal(p, end, *number) : SkipValue(p, end);
        if (!scanned) return false;
        SkipSpace(p, end);
        if (p == end) return false;
        char next = *p++;
        if (next == '}') return true;
        if (next != ',') return false;
    }
}

bool Positive(double value) { return std::isfinite(value) && value > 0; }

}  // namespace

// Floats in the upper half of out's own room widened on every core. The lower half of what is left is written
// by the workers at once, from floats that lie above everything they write; the upper half is the same task
// again, half as large, until a part too small for threads is left to one.
bool WidenFloatsInPlace(const unsigned char* data, size_t count, double* out) {
    constexpr long long LEAST_PER_WORKER = 1 << 17;
    bool finite = true;
    size_t done = 0;  // doubles written; the floats from `done` on still lie at data + done floats
    while (WorkerCount(static_cast<long long>((count - done) / 2), LEAST_PER_WORKER) > 1) {
        const size_t half = (count - done) / 2;
        std::vector<char> partFinite(static_cast<size_t>(WorkerCount(static_cast<long long>(half), LEAST_PER_WORKER)), 1);
        ForEachPart(static_cast<long long>(half), LEAST_PER_WORKER, [&](int part, long long begin, long long end) {
            const size_t first = done + static_cast<size_t>(begin);
            partFinite[static_cast<size_t>(part)] =
                WidenFloats(data + first * sizeof(float), static_cast<size_t>(end - begin), out + first);
        });
        for (char whole : partFinite) finite = finite && whole;
        done += half;
    }
    const bool rest = WidenFloats(data + done * sizeof(float), count - done, out + done);
    return finite && rest;
}

bool IsHoomdGsd(const GsdFile& file) { return file.schema == HOOMD_SCHEMA; }

bool ReadGsdFrame(GsdFile& file, uint64_t frame, GsdFrame& out, std::string& error) {
    ResetFrame(out);
    FrameRead read;
    read.file = &file;
    read.frame = frame;
    read.where = file.path + ": frame " + std::to_string(frame) + ": ";
    bool done = CheckRequest(file, frame, error) && ReadStep(read, out, error) &&
                ReadParticleCounts(read, out, error) && ReadConfiguration(read, out, error) && ReadTypes(read, out, error) &&
                ReadParticleTables(read, out, error) && ReadImage(read, out, error) && ReadBonds(read, out, error) &&
                ReadLogQuantities(read, out, error);
    out.quantities.resize(done ? read.quantities : 0);  // a failed read never shows the last frame's quantities
    if (!done) EmptyParticleTables(out);
    return done;
}

void TakeGsdPlaces(GsdFrame& frame, std::vector<double>& position, std::vector<double>& orientation) {
    std::swap(frame.position, position);
    std::swap(frame.orientation, orientation);
    frame.defaulted &= ~(DEFAULTED_POSITION | DEFAULTED_ORIENTATION);
}

bool ParseTypeShape(const std::string& json, double halfRadii[3], std::string& kind) {
    ShapeFields fields;
    kind.clear();
    if (!ScanShape(json.data(), json.data() + json.size(), fields)) return false;
    kind = fields.type;
    if (kind == "Ellipsoid" && Positive(fields.a) && Positive(fields.b) && Positive(fields.c)) {
        halfRadii[0] = fields.a;
        halfRadii[1] = fields.b;
        halfRadii[2] = fields.c;
        return true;
    }
    if (kind == "Sphere" && Positive(fields.diameter)) {
        for (int i = 0; i < 3; ++i) halfRadii[i] = fields.diameter / 2;
        return true;
    }
    return false;
}
