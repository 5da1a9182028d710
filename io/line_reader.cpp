// Line reading over infile through one large buffer: a scan of a multi-GiB dump runs at memchr speed.
#include "io/line_reader.h"

#include <cstdint>  // Required for: uintptr_t
#include <cstring>  // Required for: memchr, memmove
#include <iostream>
#include <string>
#include <vector>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/gzip_source.h"

namespace {

constexpr std::size_t CHUNK = 1 << 20;
constexpr std::size_t PAGE = 4096;

std::vector<char> buffer;       // bytes [head, tail) are read from the file but not yet handed out
std::size_t head = 0;
std::size_t tail = 0;
int64_t bufferOffset = 0;       // file offset that buffer[0] stands for (bytes before head are unused)
bool sourceDry = false;         // the file has no more bytes
bool endReached = false;        // a read ran into the end: later reads return nothing
bool damageTold = false;        // ReportSourceDamage has printed its line
bool consoleLineOpen = false;   // the reader left a console line open ("Reading..." and its dots)
bool gzipText = false;          // infile is gzip-compressed: the bytes handed out are its inflated text
std::size_t validFrom = 0;      // buffer[validFrom, tail) hold the bytes of their offsets: a gzip seek into
                                // them needs no inflating

// Tells, once, that compressed data ended early or was damaged; an open console line is left to its reader.
void ReportSourceDamage() {
    std::string message;
    if (!TakeGzipDamageNews(message)) return;
    damageTold = true;
    if (consoleLineOpen) std::cout << std::endl << message;
    else std::cout << message << std::endl;
}

// Up to room bytes of the file, or of its text when it is compressed.
std::streamsize ReadSource(char* into, std::size_t room) {
    if (!gzipText) return infile.rdbuf()->sgetn(into, static_cast<std::streamsize>(room));
    std::size_t got = ReadGzipText(into, room);
    if (got == 0) ReportSourceDamage();
    return static_cast<std::streamsize>(got);
}

// Moves the unread bytes to the front and appends the next chunk; false when the file is exhausted.
// NOTE: every byte lands at the same offset within a memory page as within a file page. The kernel
// copies into a buffer whose page offset is a few bytes past the file's (as malloc's 16-byte header
// makes it) at a quarter of its speed on some CPUs, which made the whole scan three times slower.
bool Refill() {
    if (sourceDry) return false;
    std::size_t unread = tail - head;
    int64_t unreadOffset = bufferOffset + static_cast<int64_t>(head);  // file offset of buffer[head]
    if (buffer.size() < PAGE + unread + CHUNK + LINE_SLACK) buffer.resize(PAGE + unread + CHUNK + LINE_SLACK);
    uint64_t address = reinterpret_cast<std::uintptr_t>(buffer.data());
    std::size_t start = static_cast<std::size_t>((static_cast<uint64_t>(unreadOffset) - address) % PAGE);
    std::memmove(buffer.data() + start, buffer.data() + head, unread);
    bufferOffset = unreadOffset - static_cast<int64_t>(start);
    head = start;
    validFrom = start;
    tail = start + unread;
    std::size_t room = buffer.size() - LINE_SLACK - tail;  // the slack stays behind the last byte read
    std::streamsize got = ReadSource(buffer.data() + tail, room);
    if (got <= 0) {
        sourceDry = true;
        return false;
    }
    tail += static_cast<std::size_t>(got);
    return true;
}

// Hands out the rest of the file as the last line and marks the end as reached.
void TakeRemainder(std::string_view& line) {
    line = std::string_view(buffer.data() + head, tail - head);
    head = tail;
    endReached = true;
}

// The line that begins at buffer[head] runs past MAX_LINE_BYTES.
[[noreturn]] void FailLongLine() {
    if (consoleLineOpen) std::cout << std::endl;
    std::cout << "The line at byte " << ReadPosition() << " of " << inname << " is longer than " << MAX_LINE_BYTES
              << " bytes." << std::endl;
    std::cout << "No trajectory has lines that long. Is " << inname << " the right file?" << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// A seek in compressed text: within the buffered bytes only head moves (frame after frame, the next one
// is usually there already); elsewhere the text is inflated from the nearest restart point.
void SeekGzipLines(int64_t offset) {
    endReached = false;
    consoleLineOpen = false;
    if (offset >= bufferOffset + static_cast<int64_t>(validFrom) && offset <= bufferOffset + static_cast<int64_t>(tail)) {
        head = static_cast<std::size_t>(offset - bufferOffset);
        return;
    }
    SeekGzipText(offset);
    head = tail = validFrom = 0;
    bufferOffset = offset;
    sourceDry = false;
}

}  // namespace

bool TextLooksBinary() {
    if (tail == head) Refill();
    return BytesLookBinary(buffer.data() + head, static_cast<long long>(std::min<std::size_t>(tail - head, 4096)));
}

bool ReadOnForDamage() {
    if (!gzipText) return false;
    damageTold = false;
    while (Refill()) head = tail;
    return damageTold;
}

void OpenLineSource() {
    gzipText = StartGzipSource();
    if (!gzipText) StopGzipSource();
    head = tail = validFrom = 0;
    bufferOffset = 0;
    sourceDry = false;
    SeekLines(0);
}

void SeekLines(int64_t offset) {
    if (gzipText) return SeekGzipLines(offset);
    infile.clear();
    infile.seekg(offset, std::ios::beg);
    head = tail = 0;
    bufferOffset = offset;
    sourceDry = false;
    endReached = false;
    consoleLineOpen = false;
}

bool ReadLine(std::string_view& line) {
    if (endReached) return false;
    std::size_t scanned = head;
    for (;;) {
        const void* found = tail > scanned ? std::memchr(buffer.data() + scanned, '\n', tail - scanned) : nullptr;
        if (found) {
            const char* newline = static_cast<const char*>(found);
            std::size_t length = static_cast<std::size_t>(newline - (buffer.data() + head));
            if (length > static_cast<std::size_t>(MAX_LINE_BYTES)) FailLongLine();
            line = std::string_view(buffer.data() + head, length);
            head = static_cast<std::size_t>(newline - buffer.data()) + 1;
            return true;
        }
        std::size_t searched = tail - head;
        if (searched > static_cast<std::size_t>(MAX_LINE_BYTES)) FailLongLine();
        if (!Refill()) {
            TakeRemainder(line);
            return true;
        }
        scanned = head + searched;
    }
}

int64_t SkipLines(int64_t count) {
    int64_t skipped = 0;
    bool insideLine = false;  // bytes of the line being skipped were dropped already
    while (skipped < count && !endReached) {
        const void* found = tail > head ? std::memchr(buffer.data() + head, '\n', tail - head) : nullptr;
        if (found) {
            head = static_cast<std::size_t>(static_cast<const char*>(found) - buffer.data()) + 1;
            ++skipped;
            insideLine = false;
            continue;
        }
        // A skipped line is never kept whole, so an endless line costs no memory.
        if (tail > head) insideLine = true;
        head = tail;
        if (!Refill()) {
            endReached = true;
            if (insideLine) ++skipped;
        }
    }
    return skipped;
}

bool EndReached() { return endReached; }

int64_t ReadPosition() { return bufferOffset + static_cast<int64_t>(head); }

void ConsoleLineOpen(bool open) { consoleLineOpen = open; }

void ReleaseLineBuffer() {
    std::vector<char>().swap(buffer);
    head = tail = validFrom = 0;
    if (gzipText) StopGzipSource();
    gzipText = false;
}
