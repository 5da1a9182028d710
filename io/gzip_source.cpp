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

// NOTE: reads from inputEnd whatever infile's position: whoever moves the stream thinks in offsets of the
// text, which are not where its compressed bytes are.
void FillInput() {
    if (stream.avail_in > 0 || fileDry) return;
    infile.clear();
    infile.rdbuf()->pubseekpos(inputEnd, std::ios::in);
    std::streamsize got =
        infile.rdbuf()->sgetn(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(input.size()));
    if (got <= 0) {
        fileDry = true;
        return;
    }
    stream.next_in = input.data();
    stream.avail_in = static_cast<uInt>(got);
    inputEnd += got;
}

int64_t CompressedPosition() { return inputEnd - static_cast<int64_t>(stream.avail_in); }

// The text ends here: a clean end, or the first sight of a cut or damage, which is told once.
void StopText(const std::string& problem) {
    stopped = true;
    if (textLimit != NO_LIMIT) return;
    textLimit = textPosition;
    if (problem.empty()) {
        windows.shrink_to_fit();
        return;
    }
    damageNews = true;
    damageMessage = "The compressed file " + inname + " " + problem + ": its text stops after byte " +
                    std::to_string(textPosition) + "; the time steps before that byte are read.";
}

void StopDamaged() {
    StopText(std::string("is damaged (") + (stream.msg ? stream.msg : "unreadable data") + ")");
}

bool PointDue() { return textPosition >= points.back().text + gzipRestartSpacing; }

// Appends window[0, length) deflated to windows; false when zlib could not do it.
bool PackWindow(uInt length) {
    if (!packerReady) {
        packer = z_stream{};
        packerReady = deflateInit(&packer, 1) == Z_OK;
    }
    if (!packerReady || deflateReset(&packer) != Z_OK) return false;
    const std::size_t at = windows.size();
    const uLong bound = deflateBound(&packer, length);
    windows.resize(at + bound);
    packer.next_in = window.data();
    packer.avail_in = length;
    packer.next_out = &windows[at];
    packer.avail_out = static_cast<uInt>(bound);
    const bool packed = deflate(&packer, Z_FINISH) == Z_STREAM_END;
    windows.resize(packed ? at + packer.total_out : at);
    return packed;
}

void AddPoint(int64_t file, int bits, bool raw) {
    RestartPoint point{textPosition, file, bits, raw, static_cast<int64_t>(windows.size()), 0, 0};
    uInt length = 0;
    if (raw) inflateGetDictionary(&stream, window.data(), &length);
    if (length > 0) {
        if (!PackWindow(length)) return;  // seeks start from the point before instead
        point.windowBytes = static_cast<int>(static_cast<int64_t>(windows.size()) - point.windowAt);
        point.windowLength = static_cast<int>(length);
    }
    points.push_back(point);
}

// Inflates the window of point into window.
bool UnpackWindow(const RestartPoint& point) {
    if (!unpackerReady) {
        unpacker = z_stream{};
        unpackerReady = inflateInit(&unpacker) == Z_OK;
    }
    if (!unpackerReady || inflateReset(&unpacker) != Z_OK) return false;
    entry(windows, point.windowAt + point.windowBytes - 1, "windows");
    unpacker.next_in = &windows[static_cast<std::size_t>(point.windowAt)];
    unpacker.avail_in = static_cast<uInt>(point.windowBytes);
    unpacker.next_out = window.data();
    unpacker.avail_out = static_cast<uInt>(window.size());
    return inflate(&unpacker, Z_FINISH) == Z_STREAM_END && unpacker.total_out == static_cast<uLong>(point.windowLength);
}

void RestartAt(const RestartPoint& point) {
    const int64_t from = point.file - (point.bits ? 1 : 0);
    inputEnd = from;
    fileDry = false;
    stream.avail_in = 0;
    textPosition = point.text;
    trailerLeft = 0;
    betweenMembers = false;
    stopped = false;
    rawDeflate = point.raw;
    if (inflateReset2(&stream, rawDeflate ? RAW_DEFLATE : GZIP_WRAPPER) != Z_OK) return StopDamaged();
    if (point.bits) {
        FillInput();
        if (stream.avail_in == 0) return StopText("is cut off");
        int byte = *stream.next_in;
        ++stream.next_in;
        --stream.avail_in;
        inflatePrime(&stream, point.bits, byte >> (8 - point.bits));
    }
    if (point.windowLength > 0) {
        if (!UnpackWindow(point)) return StopText("cannot be inflated (out of memory)");
        inflateSetDictionary(&stream, window.data(), static_cast<uInt>(point.windowLength));
    }
}

// Past a member's end: skips the trailer a raw inflater left, then starts the next member if there is one.
// False when the text has ended.
bool StartNextMember() {
    while (trailerLeft > 0) {
        FillInput();
        if (stream.avail_in == 0) {
            StopText("is cut off");
            return false;
        }
        uInt skipped = std::min(stream.avail_in, static_cast<uInt>(trailerLeft));
        stream.next_in += skipped;
        stream.avail_in -= skipped;
        trailerLeft -= static_cast<int>(skipped);
    }
    FillInput();
    if (stream.avail_in == 0) {
        StopText("");
        return false;
    }
    if (PointDue()) AddPoint(CompressedPosition(), 0, false);
    if (inflateReset2(&stream, GZIP_WRAPPER) != Z_OK) {
        StopDamaged();
        return false;
    }
    rawDeflate = false;
    betweenMembers = false;
    return true;
}

}  // namespace

bool StartGzipSource() {
    infile.clear();
    infile.seekg(0, std::ios::beg);
    unsigned char magic[2] = {0, 0};
    if (infile.rdbuf()->sgetn(reinterpret_cast<char*>(magic), 2) != 2 || magic[0] != 0x1f || magic[1] != 0x8b)
        return false;
    if (!streamReady) {
        stream = z_stream{};
        streamReady = inflateInit2(&stream, GZIP_WRAPPER) == Z_OK;
    }
    input.resize(INPUT_CHUNK);
    window.resize(WINDOW_BYTES);
    points.assign(1, RestartPoint{0, 0, 0, false, 0, 0, 0});
    windows.clear();
    textLimit = NO_LIMIT;
    damageNews = false;
    damageMessage.clear();
    if (!streamReady) {
        textPosition = 0;
        StopText("cannot be inflated (out of memory)");
        return true;
    }
    RestartAt(points[0]);
    return true;
}

std::size_t ReadGzipText(char* into, std::size_t room) {
    if (textLimit - textPosition < static_cast<int64_t>(room))
        room = static_cast<std::size_t>(std::max<int64_t>(0, textLimit - textPosition));
    std::size_t produced = 0;
    while (produced < room && !stopped) {
        if (betweenMembers && !StartNextMember()) break;
        // Even with no input left, inflate may still hold text (a long match, bits of the last byte).
        FillInput();
        const bool due = PointDue();
        const std::size_t want = std::min<std::size_t>(room - produced, std::numeric_limits<uInt>::max());
        stream.next_out = reinterpret_cast<Bytef*>(into + produced);
        stream.avail_out = static_cast<uInt>(want);
        int result = inflate(&stream, due ? Z_BLOCK : Z_NO_FLUSH);
        const std::size_t made = want - stream.avail_out;
        produced += made;
        textPosition += static_cast<int64_t>(made);
        if (result == Z_STREAM_END) {
            if (rawDeflate) trailerLeft = TRAILER_BYTES;
            betweenMembers = true;
        } else if (result == Z_BUF_ERROR && stream.avail_in == 0) {
            StopText("is cut off");  // inflate needs more than the file holds
        } else if (result != Z_OK) {
            StopDamaged();
        } else if (due && (stream.data_type & 128) && !(stream.data_type & 64)) {
            AddPoint(CompressedPosition(), stream.data_type & 7, true);
        }
    }
    return produced;
}

void SeekGzipText(int64_t offset) {
    if (!streamReady) return;
    auto after = std::upper_bound(points.begin(), points.end(), offset,
                                  [](int64_t text, const RestartPoint& point) { return text < point.text; });
    const RestartPoint& nearest = *(after - 1);  // points[0] is at text 0, so one lies at or before offset
    const bool onTheWay = textPosition <= offset && textPosition >= nearest.text && (!stopped || textPosition == offset);
    if (!onTheWay) RestartAt(nearest);
    discarded.resize(DISCARD_CHUNK);
    while (textPosition < offset && !stopped) {
        std::size_t room = static_cast<std::size_t>(std::min<int64_t>(DISCARD_CHUNK, offset - textPosition));
        if (ReadGzipText(discarded.data(), room) == 0) break;
    }
}

bool TakeGzipDamageNews(std::string& message) {
    if (!damageNews) return false;
    damageNews = false;
    message = damageMessage;
    return true;
}

int64_t GzipIndexBytes() {
    return static_cast<int64_t>(points.capacity() * sizeof(RestartPoint) + windows.capacity());
}

void StopGzipSource() {
    if (streamReady) inflateEnd(&stream);
    if (packerReady) deflateEnd(&packer);
    if (unpackerReady) inflateEnd(&unpacker);
    streamReady = packerReady = unpackerReady = false;
    std::vector<RestartPoint>().swap(points);
    std::vector<unsigned char>().swap(windows);
    std::vector<unsigned char>().swap(input);
    std::vector<unsigned char>().swap(window);
    std::vector<char>().swap(discarded);
    textPosition = 0;
    stopped = true;
}
