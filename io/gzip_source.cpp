// Random access into gzip text: restart points with their 32 KiB windows, as in zlib's examples/zran.c.
// A restart point inside a member starts a raw inflater at a deflate block boundary, primed with the bits of
// the boundary's byte and the window of text before it; at a member's first byte a gzip inflater starts afresh.
// Windows are kept deflated (text shrinks to a third), which allows twice as many points in the same memory.
#include "io/gzip_source.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "core/scene.h"
#include "io/reader_state.h"


namespace {

constexpr std::size_t WINDOW_BYTES = 32768;     // deflate's largest distance back
constexpr std::size_t INPUT_CHUNK = 1 << 18;
constexpr std::size_t DISCARD_CHUNK = 1 << 16;  // text inflated on the way to a seek's offset is dropped here
constexpr int GZIP_WRAPPER = 15 + 16;            // windowBits: header and checked trailer around the deflate data
constexpr int RAW_DEFLATE = -15;                 // windowBits: deflate data alone
constexpr int TRAILER_BYTES = 8;                 // CRC-32 and length after a member's deflate data
constexpr int64_t NO_LIMIT = std::numeric_limits<int64_t>::max();

// A place where inflating can begin again. At a block boundary the first `bits` bits of the byte before
// `file` still belong to the next block; a member's start has no window.
struct RestartPoint {
    int64_t text;      // text offset of the first byte inflated from here
    int64_t file;      // offset in the compressed file
    int bits;          // unused bits of the byte at file - 1, 0 to 7
    bool raw;          // inside a member: a raw inflater with the window; else a member starts at file
    int64_t windowAt;  // its deflated window: windows[windowAt, windowAt + windowBytes)
    int windowBytes;
    int windowLength;  // text bytes before the point that the window holds (fewer near a member's start)
};

}  // namespace

// Everything one gzip file's text needs. Held only by pointer: inflate checks that a stream has not moved.
struct GzipState {
    std::vector<RestartPoint> points;     // by increasing text offset; points[0] is the file's start
    std::vector<unsigned char> windows;   // the deflated windows of the points, one after another
    std::vector<unsigned char> window;    // one window as inflate keeps it
    std::vector<unsigned char> input;     // compressed bytes; the unused ones sit at stream.next_in
    std::vector<char> discarded;

    z_stream stream{};
    bool streamReady = false;     // inflateInit2 has run on stream
    z_stream packer{};            // deflates the windows, and unpacker inflates them: made once, reset for each
    z_stream unpacker{};
    bool packerReady = false;
    bool unpackerReady = false;
    int64_t inputEnd = 0;         // file offset just past the bytes read into input
    bool fileDry = false;         // no more compressed bytes
    int64_t textPosition = 0;     // text offset of the next byte inflate writes
    bool rawDeflate = false;      // started at a block boundary: the member's trailer is skipped unchecked
    int trailerLeft = 0;          // trailer bytes still to skip after raw deflate data ended
    bool betweenMembers = false;  // a member ended; another may start at the next byte
    bool stopped = false;         // at the end of the text (or of what could be read): nothing more until a seek
    int64_t textLimit = NO_LIMIT; // where the text was found to end, so no later pass reads past a damage
    bool damageNews = false;
    std::string damageMessage;
};

namespace {

// The current run's gzip state, made when its first gzip file is opened.
GzipState& Gzip() {
    if (readers->lines.gzip == nullptr) readers->lines.gzip = new GzipState();
    return *readers->lines.gzip;
}

// NOTE: reads from inputEnd whatever infile's position: whoever moves the stream thinks in offsets of the
// text, which are not where its compressed bytes are.
void FillInput() {
    GzipState& g = Gzip();
    if (g.stream.avail_in > 0 || g.fileDry) return;
    infile.clear();
    infile.rdbuf()->pubseekpos(g.inputEnd, std::ios::in);
    std::streamsize got =
        infile.rdbuf()->sgetn(reinterpret_cast<char*>(g.input.data()), static_cast<std::streamsize>(g.input.size()));
    if (got <= 0) {
        g.fileDry = true;
        return;
    }
    g.stream.next_in = g.input.data();
    g.stream.avail_in = static_cast<uInt>(got);
    g.inputEnd += got;
}

int64_t CompressedPosition() { return Gzip().inputEnd - static_cast<int64_t>(Gzip().stream.avail_in); }

// The text ends here: a clean end, or the first sight of a cut or damage, which is told once.
void StopText(const std::string& problem) {
    GzipState& g = Gzip();
    g.stopped = true;
    if (g.textLimit != NO_LIMIT) return;
    g.textLimit = g.textPosition;
    if (problem.empty()) {
        g.windows.shrink_to_fit();
        return;
    }
    g.damageNews = true;
    g.damageMessage = "The compressed file " + inname + " " + problem + ": its text stops after byte " +
                    std::to_string(g.textPosition) + "; the time steps before that byte are read.";
}

void StopDamaged() {
    GzipState& g = Gzip();
    StopText(std::string("is damaged (") + (g.stream.msg ? g.stream.msg : "unreadable data") + ")");
}

bool PointDue() { return Gzip().textPosition >= Gzip().points.back().text + gzipRestartSpacing; }

// Appends window[0, length) deflated to windows; false when zlib could not do it.
bool PackWindow(uInt length) {
    GzipState& g = Gzip();
    if (!g.packerReady) {
        g.packer = z_stream{};
        g.packerReady = deflateInit(&g.packer, 1) == Z_OK;
    }
    if (!g.packerReady || deflateReset(&g.packer) != Z_OK) return false;
    const std::size_t at = g.windows.size();
    const uLong bound = deflateBound(&g.packer, length);
    g.windows.resize(at + bound);
    g.packer.next_in = g.window.data();
    g.packer.avail_in = length;
    g.packer.next_out = &g.windows[at];
    g.packer.avail_out = static_cast<uInt>(bound);
    const bool packed = deflate(&g.packer, Z_FINISH) == Z_STREAM_END;
    g.windows.resize(packed ? at + g.packer.total_out : at);
    return packed;
}

void AddPoint(int64_t file, int bits, bool raw) {
    GzipState& g = Gzip();
    RestartPoint point{g.textPosition, file, bits, raw, static_cast<int64_t>(g.windows.size()), 0, 0};
    uInt length = 0;
    if (raw) inflateGetDictionary(&g.stream, g.window.data(), &length);
    if (length > 0) {
        if (!PackWindow(length)) return;  // seeks start from the point before instead
        point.windowBytes = static_cast<int>(static_cast<int64_t>(g.windows.size()) - point.windowAt);
        point.windowLength = static_cast<int>(length);
    }
    g.points.push_back(point);
}

// Inflates the window of point into window.
bool UnpackWindow(const RestartPoint& point) {
    GzipState& g = Gzip();
    if (!g.unpackerReady) {
        g.unpacker = z_stream{};
        g.unpackerReady = inflateInit(&g.unpacker) == Z_OK;
    }
    if (!g.unpackerReady || inflateReset(&g.unpacker) != Z_OK) return false;
    entry(g.windows, point.windowAt + point.windowBytes - 1, "windows");
    g.unpacker.next_in = &g.windows[static_cast<std::size_t>(point.windowAt)];
    g.unpacker.avail_in = static_cast<uInt>(point.windowBytes);
    g.unpacker.next_out = g.window.data();
    g.unpacker.avail_out = static_cast<uInt>(g.window.size());
    return inflate(&g.unpacker, Z_FINISH) == Z_STREAM_END && g.unpacker.total_out == static_cast<uLong>(point.windowLength);
}

void RestartAt(const RestartPoint& point) {
    GzipState& g = Gzip();
    const int64_t from = point.file - (point.bits ? 1 : 0);
    g.inputEnd = from;
    g.fileDry = false;
    g.stream.avail_in = 0;
    g.textPosition = point.text;
    g.trailerLeft = 0;
    g.betweenMembers = false;
    g.stopped = false;
    g.rawDeflate = point.raw;
    if (inflateReset2(&g.stream, g.rawDeflate ? RAW_DEFLATE : GZIP_WRAPPER) != Z_OK) return StopDamaged();
    if (point.bits) {
        FillInput();
        if (g.stream.avail_in == 0) return StopText("is cut off");
        int byte = *g.stream.next_in;
        ++g.stream.next_in;
        --g.stream.avail_in;
        inflatePrime(&g.stream, point.bits, byte >> (8 - point.bits));
    }
    if (point.windowLength > 0) {
        if (!UnpackWindow(point)) return StopText("cannot be inflated (out of memory)");
        inflateSetDictionary(&g.stream, g.window.data(), static_cast<uInt>(point.windowLength));
    }
}

// Past a member's end: skips the trailer a raw inflater left, then starts the next member if there is one.
// False when the text has ended.
bool StartNextMember() {
    GzipState& g = Gzip();
    while (g.trailerLeft > 0) {
        FillInput();
        if (g.stream.avail_in == 0) {
            StopText("is cut off");
            return false;
        }
        uInt skipped = std::min(g.stream.avail_in, static_cast<uInt>(g.trailerLeft));
        g.stream.next_in += skipped;
        g.stream.avail_in -= skipped;
        g.trailerLeft -= static_cast<int>(skipped);
    }
    FillInput();
    if (g.stream.avail_in == 0) {
        StopText("");
        return false;
    }
    if (PointDue()) AddPoint(CompressedPosition(), 0, false);
    if (inflateReset2(&g.stream, GZIP_WRAPPER) != Z_OK) {
        StopDamaged();
        return false;
    }
    g.rawDeflate = false;
    g.betweenMembers = false;
    return true;
}

}  // namespace

bool StartGzipSource() {
    infile.clear();
    infile.seekg(0, std::ios::beg);
    unsigned char magic[2] = {0, 0};
    if (infile.rdbuf()->sgetn(reinterpret_cast<char*>(magic), 2) != 2 || magic[0] != 0x1f || magic[1] != 0x8b)
        return false;
    GzipState& g = Gzip();
    if (!g.streamReady) {
        g.stream = z_stream{};
        g.streamReady = inflateInit2(&g.stream, GZIP_WRAPPER) == Z_OK;
    }
    g.input.resize(INPUT_CHUNK);
    g.window.resize(WINDOW_BYTES);
    g.points.assign(1, RestartPoint{0, 0, 0, false, 0, 0, 0});
    g.windows.clear();
    g.textLimit = NO_LIMIT;
    g.damageNews = false;
    g.damageMessage.clear();
    if (!g.streamReady) {
        g.textPosition = 0;
        StopText("cannot be inflated (out of memory)");
        return true;
    }
    RestartAt(g.points[0]);
    return true;
}

std::size_t ReadGzipText(char* into, std::size_t room) {
    GzipState& g = Gzip();
    if (g.textLimit - g.textPosition < static_cast<int64_t>(room))
        room = static_cast<std::size_t>(std::max<int64_t>(0, g.textLimit - g.textPosition));
    std::size_t produced = 0;
    while (produced < room && !g.stopped) {
        if (g.betweenMembers && !StartNextMember()) break;
        // Even with no input left, inflate may still hold text (a long match, bits of the last byte).
        FillInput();
        const bool due = PointDue();
        const std::size_t want = std::min<std::size_t>(room - produced, std::numeric_limits<uInt>::max());
        g.stream.next_out = reinterpret_cast<Bytef*>(into + produced);
        g.stream.avail_out = static_cast<uInt>(want);
        int result = inflate(&g.stream, due ? Z_BLOCK : Z_NO_FLUSH);
        const std::size_t made = want - g.stream.avail_out;
        produced += made;
        g.textPosition += static_cast<int64_t>(made);
        if (result == Z_STREAM_END) {
            if (g.rawDeflate) g.trailerLeft = TRAILER_BYTES;
            g.betweenMembers = true;
        } else if (result == Z_BUF_ERROR && g.stream.avail_in == 0) {
            StopText("is cut off");  // inflate needs more than the file holds
        } else if (result != Z_OK) {
            StopDamaged();
        } else if (due && (g.stream.data_type & 128) && !(g.stream.data_type & 64)) {
            AddPoint(CompressedPosition(), g.stream.data_type & 7, true);
        }
    }
    return produced;
}

void SeekGzipText(int64_t offset) {
    GzipState& g = Gzip();
    if (!g.streamReady) return;
    auto after = std::upper_bound(g.points.begin(), g.points.end(), offset,
                                  [](int64_t text, const RestartPoint& point) { return text < point.text; });
    const RestartPoint& nearest = *(after - 1);  // points[0] is at text 0, so one lies at or before offset
    const bool onTheWay = g.textPosition <= offset && g.textPosition >= nearest.text && (!g.stopped || g.textPosition == offset);
    if (!onTheWay) RestartAt(nearest);
    g.discarded.resize(DISCARD_CHUNK);
    while (g.textPosition < offset && !g.stopped) {
        std::size_t room = static_cast<std::size_t>(std::min<int64_t>(DISCARD_CHUNK, offset - g.textPosition));
        if (ReadGzipText(g.discarded.data(), room) == 0) break;
    }
}

bool TakeGzipDamageNews(std::string& message) {
    GzipState& g = Gzip();
    if (!g.damageNews) return false;
    g.damageNews = false;
    message = g.damageMessage;
    return true;
}

bool GzipDamageNewsWaiting() { return Gzip().damageNews; }

int64_t GzipIndexBytes() {
    GzipState& g = Gzip();
    return static_cast<int64_t>(g.points.capacity() * sizeof(RestartPoint) + g.windows.capacity());
}

void StopGzipSource() {
    if (readers->lines.gzip == nullptr) return;  // no gzip file was opened
    GzipState& g = Gzip();
    if (g.streamReady) inflateEnd(&g.stream);
    if (g.packerReady) deflateEnd(&g.packer);
    if (g.unpackerReady) inflateEnd(&g.unpacker);
    g.streamReady = g.packerReady = g.unpackerReady = false;
    std::vector<RestartPoint>().swap(g.points);
    std::vector<unsigned char>().swap(g.windows);
    std::vector<unsigned char>().swap(g.input);
    std::vector<unsigned char>().swap(g.window);
    std::vector<char>().swap(g.discarded);
    g.textPosition = 0;
    g.stopped = true;
}

void DeleteGzipState(GzipState* state) {
    if (state == nullptr) return;
    if (state->streamReady) inflateEnd(&state->stream);
    if (state->packerReady) deflateEnd(&state->packer);
    if (state->unpackerReady) inflateEnd(&state->unpacker);
    delete state;
}
