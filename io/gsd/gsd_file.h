// GSD file layer (versions 1 and 2): header, index and chunk names read at open, chunk data read on demand.
// Every size and offset is checked against the file's size before it is used, so a cut or damaged file
// gives one error line and never a crash. No OpenGL, no scene state: the caller decides what to show.
#pragma once

#include <cstddef>  // Required for: size_t
#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t GSD_MAGIC = 0x65DF65DF65DF65DFull;  // first 8 bytes of every GSD file, little-endian
constexpr size_t GSD_HEADER_BYTES = 256;
constexpr size_t GSD_INDEX_ENTRY_BYTES = 32;
constexpr size_t GSD_NAME_SEGMENT_BYTES = 64;  // the name list block is allocated in 64-byte segments
constexpr uint32_t GSD_VERSION_1 = 0x00010000;  // versions are 0xaaaabbbb: major aaaa, minor bbbb
constexpr uint32_t GSD_VERSION_2 = 0x00020000;

// Type ids of the index entries.
enum GsdType : uint8_t {
    GSD_UINT8 = 1, GSD_UINT16 = 2, GSD_UINT32 = 3, GSD_UINT64 = 4,
    GSD_INT8 = 5, GSD_INT16 = 6, GSD_INT32 = 7, GSD_INT64 = 8,
    GSD_FLOAT = 9, GSD_DOUBLE = 10, GSD_CHAR = 11
};

// One index entry: a chunk of N rows of M values of one type, at a file offset.
struct GsdIndexEntry {
    uint64_t frame = 0;
    uint64_t N = 0;
    int64_t location = 0;  // file offset of the data; 0 ends the index
    uint32_t M = 0;
    uint16_t id = 0;       // index into GsdFile::names
    uint8_t type = 0;      // a GsdType
    uint8_t flags = 0;
};

// The entries of one frame: index[begin, end). Kept only for frames that have entries, so a frame number
// far beyond the others costs nothing.
struct GsdFrameRange {
    uint64_t frame = 0;
    size_t begin = 0;
    size_t end = 0;
};

// An open GSD file. Plain data: fill it with OpenGsd, release it with CloseGsd; an open one is not copied
// (the copy would share its descriptor). Entries returned by FindChunk live until CloseGsd.
struct GsdFile {
    int fd = -1;
    std::string path;
    uint64_t fileSize = 0;
    uint32_t gsdVersion = 0;               // GSD_VERSION_1 or a 2.x version
    uint32_t schemaVersion = 0;
    std::string application;
    std::string schema;                    // "hoomd" for HOOMD-blue files
    uint64_t indexLocation = 0;
    uint64_t indexAllocated = 0;           // entries the index block has room for
    uint64_t namesLocation = 0;
    uint64_t namesAllocated = 0;           // 64-byte segments of the name list block
    std::vector<GsdIndexEntry> index;      // used entries, in file order (sorted by frame)
    std::vector<std::string> names;        // chunk names by id
    std::vector<GsdFrameRange> frames;     // frames that have entries, by increasing frame
    uint64_t frameCount = 0;               // whole frames: every chunk of frames below it lies inside the file
    uint64_t indexedFrames = 0;            // highest frame in the index + 1, cut frames included
    std::vector<GsdIndexEntry> cutEntries; // the entries of frame frameCount when the file ends inside it
    bool indexCut = false;                 // the file ends inside or before its index: frames are those left
    uint64_t opening = 0;                  // the OpenGsd call that filled it, numbered program-wide from 1
};

bool IsGsdFile(const unsigned char* bytes, size_t size);  // the first 8 bytes are the GSD magic number
size_t GsdTypeSize(uint8_t type);                         // bytes per value of a type id; 0 when unknown
const char* GsdTypeName(uint8_t type);                    // "uint32", "float", ...; "unknown" when unknown
std::string GsdPrintable(const std::string& text);        // file text for a one-line message: other bytes as \xHH
bool OpenGsd(const std::string& name, GsdFile& file, std::string& error);  // header, names, index of whole frames
void CloseGsd(GsdFile& file);                             // closes the descriptor and empties the tables
int FindNameId(const GsdFile& file, const char* name);    // id of a chunk name, -1 when the file has none
const GsdIndexEntry* FindChunk(const GsdFile& file, uint64_t frame, const char* name);  // nullptr: not in frame
const GsdIndexEntry* FindChunkById(const GsdFile& file, uint64_t frame, int id);  // the same by name id
bool GsdChunkBytes(const GsdFile& file, const GsdIndexEntry& entry, uint64_t& bytes, std::string& error);  // N*M*size
bool GsdChunkInFile(const GsdFile& file, const GsdIndexEntry& entry, uint64_t& bytes, std::string& error);  // in file
bool ReadChunk(GsdFile& file, const GsdIndexEntry& entry, std::vector<unsigned char>& out, std::string& error);  // bytes
bool ReadChunkTo(GsdFile& file, const GsdIndexEntry& entry, unsigned char* out, std::string& error);  // bytes to out
