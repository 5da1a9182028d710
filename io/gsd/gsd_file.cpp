// GSD file layer: the 256-byte header, the index of 32-byte entries and the chunk name list are read at
// open; chunk data is read with pread when asked for. Fields on disk are little-endian and are decoded byte
// by byte, so the layout never depends on the compiler's struct packing.
#include "io/gsd/gsd_file.h"

#include <fcntl.h>     // Required for: open()
#include <sys/stat.h>  // Required for: fstat()
#include <unistd.h>    // Required for: pread(), close()

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

// Header field offsets: magic, index location, index entries, name list location, name list segments,
// schema version, GSD version, application[64], schema[64], reserved[80].
constexpr size_t HEADER_MAGIC = 0;
constexpr size_t HEADER_INDEX_LOCATION = 8;
constexpr size_t HEADER_INDEX_ALLOCATED = 16;
constexpr size_t HEADER_NAMES_LOCATION = 24;
constexpr size_t HEADER_NAMES_ALLOCATED = 32;
constexpr size_t HEADER_SCHEMA_VERSION = 40;
constexpr size_t HEADER_GSD_VERSION = 44;
constexpr size_t HEADER_APPLICATION = 48;
constexpr size_t HEADER_SCHEMA = 112;
constexpr size_t HEADER_TEXT_BYTES = 64;

// Index entry field offsets: frame, N, location, M, id, type, flags.
constexpr size_t ENTRY_FRAME = 0;
constexpr size_t ENTRY_N = 8;
constexpr size_t ENTRY_LOCATION = 16;
constexpr size_t ENTRY_M = 24;
constexpr size_t ENTRY_ID = 28;
constexpr size_t ENTRY_TYPE = 30;
constexpr size_t ENTRY_FLAGS = 31;

constexpr size_t INDEX_BLOCK_ENTRIES = 4096;  // entries read per pread while the index is scanned
constexpr size_t MAX_NAMES = 65536;           // ids are 16-bit

uint64_t LoadLittle(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

uint64_t Load64(const unsigned char* bytes) { return LoadLittle(bytes, 8); }
uint32_t Load32(const unsigned char* bytes) { return static_cast<uint32_t>(LoadLittle(bytes, 4)); }
uint16_t Load16(const unsigned char* bytes) { return static_cast<uint16_t>(LoadLittle(bytes, 2)); }

// Text of a fixed-size, 0-padded field; stops at the first 0 or at the field's end.
std::string FixedText(const unsigned char* bytes, size_t size) {
    const unsigned char* end = static_cast<const unsigned char*>(std::memchr(bytes, 0, size));
    return std::string(reinterpret_cast<const char*>(bytes), end ? static_cast<size_t>(end - bytes) : size);
}

std::string VersionText(uint32_t version) {
    return std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
}

// Reads exactly size bytes at offset; a short read means the file changed under us.
bool ReadAt(const GsdFile& file, uint64_t offset, void* out, size_t size, std::string& error) {
    unsigned char* to = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < size) {
        if (offset + done > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
            error = file.path + ": offset " + std::to_string(offset + done) + " is beyond what this system can seek";
            return false;
        }
        ssize_t got = pread(file.fd, to + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = file.path + ": read error at byte " + std::to_string(offset + done) + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0) {
            error = file.path + ": the file ends at byte " + std::to_string(offset + done) + " (it was cut while open?)";
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

// True when [location, location + bytes) lies inside the file; says which block overflows otherwise.
bool BlockInFile(const GsdFile& file, const char* what, uint64_t location, uint64_t bytes, std::string& error) {
    if (bytes <= file.fileSize && location <= file.fileSize - bytes) return true;
    error = file.path + ": " + what + " (" + std::to_string(bytes) + " bytes at byte " + std::to_string(location) +
            ") goes past the end of the file (" + std::to_string(file.fileSize) + " bytes)";
    return false;
}

// Header fields; checks the magic number and the version.
bool ReadHeader(GsdFile& file, std::string& error) {
    if (file.fileSize < GSD_HEADER_BYTES) {
        error = file.path + ": " + std::to_string(file.fileSize) + " bytes, too short for a GSD header (" +
                std::to_string(GSD_HEADER_BYTES) + " bytes)";
        return false;
    }
    unsigned char header[GSD_HEADER_BYTES];
    if (!ReadAt(file, 0, header, sizeof header, error)) return false;
    if (!IsGsdFile(header, sizeof header)) {
        error = file.path + ": not a GSD file (no GSD magic number at its start)";
        return false;
    }
    file.indexLocation = Load64(header + HEADER_INDEX_LOCATION);
    file.indexAllocated = Load64(header + HEADER_INDEX_ALLOCATED);
    file.namesLocation = Load64(header + HEADER_NAMES_LOCATION);
    file.namesAllocated = Load64(header + HEADER_NAMES_ALLOCATED);
    file.schemaVersion = Load32(header + HEADER_SCHEMA_VERSION);
    file.gsdVersion = Load32(header + HEADER_GSD_VERSION);
    file.application = FixedText(header + HEADER_APPLICATION, HEADER_TEXT_BYTES);
    file.schema = FixedText(header + HEADER_SCHEMA, HEADER_TEXT_BYTES);
    uint32_t major = file.gsdVersion >> 16;
    if (major != 1 && major != 2) {
        error = file.path + ": GSD file layer version " + VersionText(file.gsdVersion) +
                " is not supported (only 1.x and 2.x)";
        return false;
    }
    return true;
}

// Size in bytes of a block of count items of itemBytes each; fails on overflow.
bool BlockBytes(const GsdFile& file, const char* what, uint64_t count, uint64_t itemBytes, uint64_t& bytes,
                std::string& error) {
    if (count > std::numeric_limits<uint64_t>::max() / itemBytes) {
        error = file.path + ": " + what + " claims " + std::to_string(count) + " entries, more than a file can hold";
        return false;
    }
    bytes = count * itemBytes;
    return true;
}

// v1: 0-terminated names in 64-byte segments. v2: names one after another, each ended by a 0.
// Either way the first name that starts with a 0 byte ends the list.
bool ParseNames(GsdFile& file, const std::vector<unsigned char>& block, std::string& error) {
    bool segments = (file.gsdVersion >> 16) == 1;
    size_t at = 0;
    while (at < block.size() && block[at] != 0) {
        if (file.names.size() == MAX_NAMES) {
            error = file.path + ": the name list holds more than " + std::to_string(MAX_NAMES) + " names";
            return false;
        }
        size_t room = segments ? std::min(GSD_NAME_SEGMENT_BYTES, block.size() - at) : block.size() - at;
        const unsigned char* end = static_cast<const unsigned char*>(std::memchr(&block[at], 0, room));
        if (!end) {
            error = file.path + ": chunk name " + std::to_string(file.names.size()) + " has no terminating 0 byte";
            return false;
        }
        size_t length = static_cast<size_t>(end - &block[at]);
        file.names.emplace_back(reinterpret_cast<const char*>(&block[at]), length);
        at += segments ? GSD_NAME_SEGMENT_BYTES : length + 1;
    }
    return true;
}

bool ReadNames(GsdFile& file, std::string& error) {
    uint64_t bytes = 0;
    if (!BlockBytes(file, "the name list", file.namesAllocated, GSD_NAME_SEGMENT_BYTES, bytes, error)) return false;
    if (!BlockInFile(file, "the name list", file.namesLocation, bytes, error)) return false;
    std::vector<unsigned char> block(static_cast<size_t>(bytes));
    if (!ReadAt(file, file.namesLocation, block.data(), block.size(), error)) return false;
    return ParseNames(file, block, error);
}

GsdIndexEntry DecodeEntry(const unsigned char* bytes) {
    GsdIndexEntry entry;
    entry.frame = Load64(bytes + ENTRY_FRAME);
    entry.N = Load64(bytes + ENTRY_N);
    entry.location = static_cast<int64_t>(Load64(bytes + ENTRY_LOCATION));
    entry.M = Load32(bytes + ENTRY_M);
    entry.id = Load16(bytes + ENTRY_ID);
    entry.type = bytes[ENTRY_TYPE];
    entry.flags = bytes[ENTRY_FLAGS];
    return entry;
}

// An entry that names no known type or name, or goes back in frames, means a damaged index.
bool CheckEntry(const GsdFile& file, const GsdIndexEntry& entry, size_t position, std::string& error) {
    std::string problem;
    if (GsdTypeSize(entry.type) == 0)
        problem = "has unknown type id " + std::to_string(entry.type);
    else if (entry.id >= file.names.size())
        problem = "names chunk " + std::to_string(entry.id) + " but the name list holds " +
                  std::to_string(file.names.size());
    else if (entry.location < 0)
        problem = "(" + GsdPrintable(file.names[entry.id]) + ") has a negative location";
    else if (!file.index.empty() && entry.frame < file.index.back().frame)
        problem = "(" + GsdPrintable(file.names[entry.id]) + ") goes back from frame " +
                  std::to_string(file.index.back().frame) + " to frame " + std::to_string(entry.frame);
    if (problem.empty()) return true;
    error = file.path + ": index entry " + std::to_string(position) + " " + problem;
    return false;
}

// Reads count entries at location a piece at a time, up to the first entry with location 0. A block read in
// place of a lost index may hold anything after its last frame: there the first entry that fails the checks
// ends it instead of the file.
bool ReadIndexEntries(GsdFile& file, uint64_t location, uint64_t count, bool lenient, std::string& error) {
    std::vector<unsigned char> block;
    for (uint64_t done = 0; done < count;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(INDEX_BLOCK_ENTRIES, count - done));
        block.resize(piece * GSD_INDEX_ENTRY_BYTES);
        if (!ReadAt(file, location + done * GSD_INDEX_ENTRY_BYTES, block.data(), block.size(), error)) return false;
        for (size_t i = 0; i < piece; ++i) {
            GsdIndexEntry entry = DecodeEntry(&block[i * GSD_INDEX_ENTRY_BYTES]);
            if (entry.location == 0) return true;
            if (!CheckEntry(file, entry, file.index.size(), error)) return lenient;
            file.index.push_back(entry);
        }
        done += piece;
    }
    return true;
}

// Entries of an index block at location that lie wholly inside the file.
uint64_t EntriesInFile(const GsdFile& file, uint64_t location, uint64_t allocated) {
    if (location >= file.fileSize) return 0;
    return std::min(allocated, (file.fileSize - location) / GSD_INDEX_ENTRY_BYTES);
}

// Drops the last frame of an index block read only in part: some of its entries may be among those lost.
void DropLastFrame(std::vector<GsdIndexEntry>& index) {
    uint64_t last = index.empty() ? 0 : index.back().frame;
    while (!index.empty() && index.back().frame == last) index.pop_back();
}

// A writer starts its index right after the header, before the name list, and leaves that block behind when
// the index outgrows it; the frames it names are the oldest ones, the least likely to be cut.
bool ReadFirstIndexBlock(GsdFile& file, std::string& error) {
    uint64_t count = file.namesLocation > GSD_HEADER_BYTES && file.indexLocation != GSD_HEADER_BYTES
                         ? (file.namesLocation - GSD_HEADER_BYTES) / GSD_INDEX_ENTRY_BYTES
                         : 0;
    count = EntriesInFile(file, GSD_HEADER_BYTES, count);
    if (count > 0) ReadIndexEntries(file, GSD_HEADER_BYTES, count, true, error);
    DropLastFrame(file.index);
    if (!file.index.empty()) return true;
    error = file.path + ": the file ends at byte " + std::to_string(file.fileSize) + ", before the end of its index (" +
            std::to_string(file.indexAllocated) + " entries at byte " + std::to_string(file.indexLocation) +
            "), and no earlier index block names a whole frame";
    return false;
}

// The index block. Of a file cut inside it or before it, the entries that are left or those of the first
// index block, whichever name more.
bool ReadIndex(GsdFile& file, std::string& error) {
    uint64_t bytes = 0;
    if (!BlockBytes(file, "the index", file.indexAllocated, GSD_INDEX_ENTRY_BYTES, bytes, error)) return false;
    uint64_t count = EntriesInFile(file, file.indexLocation, file.indexAllocated);
    if (!ReadIndexEntries(file, file.indexLocation, count, false, error)) return false;
    if (count == file.indexAllocated || file.index.size() < count) return true;  // whole, or ended before the cut
    file.indexCut = true;
    DropLastFrame(file.index);
    std::vector<GsdIndexEntry> left = std::move(file.index);
    file.index.clear();
    if (ReadFirstIndexBlock(file, error) && file.index.size() > left.size()) return true;
    if (left.empty()) return false;
    file.index = std::move(left);
    return true;
}

// One range per frame that has entries; the index is in frame order already.
void BuildFrames(GsdFile& file) {
    file.frames.clear();
    for (size_t i = 0; i < file.index.size(); ++i) {
        if (file.frames.empty() || file.frames.back().frame != file.index[i].frame)
            file.frames.push_back({file.index[i].frame, i, i});
        file.frames.back().end = i + 1;
    }
    file.frameCount = file.frames.empty() ? 0 : file.frames.back().frame + 1;
}

// A chunk whose data ends past the end of the file was cut off. A size that overflows is damage, not a cut:
// the frame reader reports it.
bool ChunkCut(const GsdFile& file, const GsdIndexEntry& entry) {
    uint64_t bytes = 0;
    std::string ignored;
    if (!GsdChunkBytes(file, entry, bytes, ignored) || bytes == 0) return false;
    return bytes > file.fileSize || static_cast<uint64_t>(entry.location) > file.fileSize - bytes;
}

// Frames are written one after the other, so the first frame with a chunk past the end is where the file
// was cut: it and every later frame are left out, and its entries kept aside for the caller's message.
void KeepWholeFrames(GsdFile& file) {
    file.indexedFrames = file.frameCount;
    for (const GsdFrameRange& range : file.frames) {
        bool cut = false;
        for (size_t i = range.begin; i < range.end && !cut; ++i) cut = ChunkCut(file, file.index[i]);
        if (!cut) continue;
        file.cutEntries.assign(file.index.begin() + static_cast<std::ptrdiff_t>(range.begin),
                               file.index.begin() + static_cast<std::ptrdiff_t>(range.end));
        uint64_t wholeFrames = range.frame;
        file.index.resize(range.begin);
        BuildFrames(file);
        file.frameCount = wholeFrames;  // frames without entries before the cut stay
        return;
    }
}

const GsdFrameRange* FindFrame(const GsdFile& file, uint64_t frame) {
    auto at = std::lower_bound(file.frames.begin(), file.frames.end(), frame,
                               [](const GsdFrameRange& range, uint64_t wanted) { return range.frame < wanted; });
    return (at != file.frames.end() && at->frame == frame) ? &*at : nullptr;
}

std::string ChunkText(const GsdFile& file, const GsdIndexEntry& entry) {
    std::string name =
        entry.id < file.names.size() ? GsdPrintable(file.names[entry.id]) : "#" + std::to_string(entry.id);
    return file.path + ": chunk " + name + " of frame " + std::to_string(entry.frame);
}

}  // namespace

bool IsGsdFile(const unsigned char* bytes, size_t size) {
    return bytes && size >= 8 && Load64(bytes + HEADER_MAGIC) == GSD_MAGIC;
}

size_t GsdTypeSize(uint8_t type) {
    switch (type) {
        case GSD_UINT8: case GSD_INT8: case GSD_CHAR: return 1;
        case GSD_UINT16: case GSD_INT16: return 2;
        case GSD_UINT32: case GSD_INT32: case GSD_FLOAT: return 4;
        case GSD_UINT64: case GSD_INT64: case GSD_DOUBLE: return 8;
        default: return 0;
    }
}

const char* GsdTypeName(uint8_t type) {
    switch (type) {
        case GSD_UINT8: return "uint8";
        case GSD_UINT16: return "uint16";
        case GSD_UINT32: return "uint32";
        case GSD_UINT64: return "uint64";
        case GSD_INT8: return "int8";
        case GSD_INT16: return "int16";
        case GSD_INT32: return "int32";
        case GSD_INT64: return "int64";
        case GSD_FLOAT: return "float";
        case GSD_DOUBLE: return "double";
        case GSD_CHAR: return "char";
        default: return "unknown";
    }
}

std::string GsdPrintable(const std::string& text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string printable;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            printable += c;
        } else {
            printable += "\\x";
            printable += HEX[byte >> 4];
            printable += HEX[byte & 0xF];
        }
    }
    return printable;
}

bool OpenGsd(const std::string& name, GsdFile& file, std::string& error) {
    static uint64_t openings = 0;
    CloseGsd(file);
    file.path = name;
    file.opening = ++openings;
    file.fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) {
        error = name + ": cannot open: " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = name + ": not a regular file";
        CloseGsd(file);
        return false;
    }
    file.fileSize = static_cast<uint64_t>(info.st_size);
    if (!ReadHeader(file, error) || !ReadNames(file, error) || !ReadIndex(file, error)) {
        CloseGsd(file);
        return false;
    }
    BuildFrames(file);
    // Every frame a writer ends holds at least its step: far more frames than index entries is a damaged index,
    // whose reading would take hours.
    if (file.frameCount > file.index.size() + 1) {
        error = file.path + ": the index names frame " + std::to_string(file.frameCount - 1) + " but holds only " +
                std::to_string(file.index.size()) + " entries; the file is damaged.";
        CloseGsd(file);
        return false;
    }
    KeepWholeFrames(file);
    return true;
}

void CloseGsd(GsdFile& file) {
    if (file.fd >= 0) close(file.fd);
    file = GsdFile();
}

int FindNameId(const GsdFile& file, const char* name) {
    for (size_t i = 0; i < file.names.size(); ++i)
        if (file.names[i] == name) return static_cast<int>(i);
    return -1;
}

const GsdIndexEntry* FindChunk(const GsdFile& file, uint64_t frame, const char* name) {
    return FindChunkById(file, frame, FindNameId(file, name));
}

const GsdIndexEntry* FindChunkById(const GsdFile& file, uint64_t frame, int id) {
    const GsdFrameRange* range = id < 0 ? nullptr : FindFrame(file, frame);
    if (!range) return nullptr;
    for (size_t i = range->begin; i < range->end && i < file.index.size(); ++i)
        if (file.index[i].id == id) return &file.index[i];
    return nullptr;
}

bool GsdChunkBytes(const GsdFile& file, const GsdIndexEntry& entry, uint64_t& bytes, std::string& error) {
    uint64_t typeSize = GsdTypeSize(entry.type);
    if (typeSize == 0) {
        error = ChunkText(file, entry) + " has unknown type id " + std::to_string(entry.type);
        return false;
    }
    uint64_t limit = std::numeric_limits<uint64_t>::max();
    if ((entry.M != 0 && entry.N > limit / entry.M) || (entry.N * entry.M > limit / typeSize)) {
        error = ChunkText(file, entry) + ": " + std::to_string(entry.N) + " x " + std::to_string(entry.M) + " " +
                GsdTypeName(entry.type) + " values overflow a 64-bit size";
        return false;
    }
    bytes = entry.N * entry.M * typeSize;
    return true;
}

bool GsdChunkInFile(const GsdFile& file, const GsdIndexEntry& entry, uint64_t& bytes, std::string& error) {
    if (!GsdChunkBytes(file, entry, bytes, error)) return false;
    if (bytes == 0) return true;  // N may be 0; such a chunk has no data at all
    uint64_t location = static_cast<uint64_t>(entry.location);
    if (entry.location < 0 || bytes > file.fileSize || location > file.fileSize - bytes) {
        error = ChunkText(file, entry) + " (" + std::to_string(bytes) + " bytes at byte " +
                std::to_string(entry.location) + ") goes past the end of the file (" + std::to_string(file.fileSize) +
                " bytes)";
        return false;
    }
    return true;
}

bool ReadChunk(GsdFile& file, const GsdIndexEntry& entry, std::vector<unsigned char>& out, std::string& error) {
    out.clear();
    uint64_t bytes = 0;
    if (!GsdChunkInFile(file, entry, bytes, error)) return false;
    out.resize(static_cast<size_t>(bytes));
    if (ReadChunkTo(file, entry, out.data(), error)) return true;
    out.clear();
    return false;
}

bool ReadChunkTo(GsdFile& file, const GsdIndexEntry& entry, unsigned char* out, std::string& error) {
    uint64_t bytes = 0;
    if (!GsdChunkInFile(file, entry, bytes, error)) return false;
    return bytes == 0 || ReadAt(file, static_cast<uint64_t>(entry.location), out, static_cast<size_t>(bytes), error);
}
