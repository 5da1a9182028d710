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
#include "io/reader_state.h"

namespace {

constexpr std::size_t CHUNK = 1 << 20;
constexpr std::size_t PAGE = 4096;

// Tells, once, that compressed data ended early or was damaged; an open console line is left to its reader.
// While damage is held back the news stays with the gzip source, as if the end had not been reached yet.
void ReportSourceDamage() {
    LineSourceState& s = readers->lines;
    if (s.holdDamage) {
        s.damageHeld = s.damageHeld || GzipDamageNewsWaiting();
        return;
    }
    std::string message;
    if (!TakeGzipDamageNews(message)) return;
    s.damageTold = true;
    if (s.consoleLineOpen) std::cout << std::endl << message;
    else std::cout << message << std::endl;
}

// Up to room bytes of the file, or of its text when it is compressed.
std::streamsize ReadSource(char* into, std::size_t room) {
    LineSourceState& s = readers->lines;
    if (!s.gzipText) return infile.rdbuf()->sgetn(into, static_cast<std::streamsize>(room));
    std::size_t got = ReadGzipText(into, room);
    if (got == 0) ReportSourceDamage();
    return static_cast<std::streamsize>(got);
}

// Moves the unread bytes to the front and appends the next chunk; false when the file is exhausted.
// NOTE: every byte lands at the same offset within a memory page as within a file page. The kernel
// copies into a buffer whose page offset is a few bytes past the file's (as malloc's 16-byte header
// makes it) at a quarter of its speed on some CPUs, which made the whole scan three times slower.
bool Refill() {
    LineSourceState& s = readers->lines;
    if (s.sourceDry) return false;
    std::size_t unread = s.tail - s.head;
    int64_t unreadOffset = s.bufferOffset + static_cast<int64_t>(s.head);  // file offset of buffer[head]
    if (s.buffer.size() < PAGE + unread + CHUNK + LINE_SLACK) s.buffer.resize(PAGE + unread + CHUNK + LINE_SLACK);
    uint64_t address = reinterpret_cast<std::uintptr_t>(s.buffer.data());
    std::size_t start = static_cast<std::size_t>((static_cast<uint64_t>(unreadOffset) - address) % PAGE);
    std::memmove(s.buffer.data() + start, s.buffer.data() + s.head, unread);
    s.bufferOffset = unreadOffset - static_cast<int64_t>(start);
    s.head = start;
    s.validFrom = start;
    s.tail = start + unread;
    std::size_t room = s.buffer.size() - LINE_SLACK - s.tail;  // the slack stays behind the last byte read
    std::streamsize got = ReadSource(s.buffer.data() + s.tail, room);
    if (got <= 0) {
        s.sourceDry = true;
        return false;
    }
    s.tail += static_cast<std::size_t>(got);
    return true;
}

// Hands out the rest of the file as the last line and marks the end as reached.
void TakeRemainder(std::string_view& line) {
    LineSourceState& s = readers->lines;
    line = std::string_view(s.buffer.data() + s.head, s.tail - s.head);
    s.head = s.tail;
    s.endReached = true;
}

// The line that begins at buffer[head] runs past MAX_LINE_BYTES.
[[noreturn]] void FailLongLine() {
    LineSourceState& s = readers->lines;
    if (s.consoleLineOpen) std::cout << std::endl;
    std::cout << "The line at byte " << ReadPosition() << " of " << inname << " is longer than " << MAX_LINE_BYTES
              << " bytes." << std::endl;
    std::cout << "No trajectory has lines that long. Is " << inname << " the right file?" << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

// A seek in compressed text: within the buffered bytes only head moves (frame after frame, the next one
// is usually there already); elsewhere the text is inflated from the nearest restart point.
void SeekGzipLines(int64_t offset) {
    LineSourceState& s = readers->lines;
    s.endReached = false;
    s.consoleLineOpen = false;
    if (offset >= s.bufferOffset + static_cast<int64_t>(s.validFrom) && offset <= s.bufferOffset + static_cast<int64_t>(s.tail)) {
        s.head = static_cast<std::size_t>(offset - s.bufferOffset);
        return;
    }
    SeekGzipText(offset);
    s.head = s.tail = s.validFrom = 0;
    s.bufferOffset = offset;
    s.sourceDry = false;
}

}  // namespace

bool TextLooksBinary() {
    LineSourceState& s = readers->lines;
    if (s.tail == s.head) Refill();
    return BytesLookBinary(s.buffer.data() + s.head, static_cast<long long>(std::min<std::size_t>(s.tail - s.head, 4096)));
}

bool ReadOnForDamage() {
    LineSourceState& s = readers->lines;
    if (!s.gzipText) return false;
    s.damageTold = false;
    while (Refill()) s.head = s.tail;
    return s.damageTold;
}

bool OpenTextFile(const std::string& name) {
    LineSourceState& s = readers->lines;
    const bool kept = s.kept && infile.is_open() && s.openName == name;
    s.kept = false;
    if (!kept) {
        s.openName.clear();
        if (!OpenForReading(infile, name, std::ios::in | std::ios::binary)) return false;
        s.openName = name;
    }
    OpenLineSource();
    return true;
}

void KeepTextFile() { readers->lines.kept = infile.is_open() && !readers->lines.openName.empty(); }

void CloseTextFile() {
    readers->lines.kept = false;
    readers->lines.openName.clear();
    infile.close();
    infile.clear();
    ReleaseLineBuffer();
}

void OpenLineSource() {
    LineSourceState& s = readers->lines;
    s.gzipText = StartGzipSource();
    if (!s.gzipText) StopGzipSource();
    s.head = s.tail = s.validFrom = 0;
    s.bufferOffset = 0;
    s.sourceDry = false;
    SeekLines(0);
}

void SeekLines(int64_t offset) {
    LineSourceState& s = readers->lines;
    HoldDamageNews(false);
    if (s.gzipText) return SeekGzipLines(offset);
    infile.clear();
    infile.seekg(offset, std::ios::beg);
    s.head = s.tail = 0;
    s.bufferOffset = offset;
    s.sourceDry = false;
    s.endReached = false;
    s.consoleLineOpen = false;
}

namespace {

// ReadLine's work. A line longer than MAX_LINE_BYTES ends the program, or with `tooLong` is left unread and told
// there.
inline bool NextLine(std::string_view& line, bool* tooLong) {
    LineSourceState& s = readers->lines;
    if (s.endReached) return false;
    std::size_t scanned = s.head;
    for (;;) {
        const void* found = s.tail > scanned ? std::memchr(s.buffer.data() + scanned, '\n', s.tail - scanned) : nullptr;
        if (found) {
            const char* newline = static_cast<const char*>(found);
            std::size_t length = static_cast<std::size_t>(newline - (s.buffer.data() + s.head));
            if (length > static_cast<std::size_t>(MAX_LINE_BYTES)) {
                if (!tooLong) FailLongLine();
                *tooLong = true;
                return false;
            }
            line = std::string_view(s.buffer.data() + s.head, length);
            s.head = static_cast<std::size_t>(newline - s.buffer.data()) + 1;
            return true;
        }
        std::size_t searched = s.tail - s.head;
        if (searched > static_cast<std::size_t>(MAX_LINE_BYTES)) {
            if (!tooLong) FailLongLine();
            *tooLong = true;
            return false;
        }
        if (!Refill()) {
            TakeRemainder(line);
            return true;
        }
        scanned = s.head + searched;
    }
}

}  // namespace

bool ReadLine(std::string_view& line) { return NextLine(line, nullptr); }

bool ReadLineUnlessLong(std::string_view& line, bool& tooLong) {
    tooLong = false;
    return NextLine(line, &tooLong);
}

void HoldDamageNews(bool hold) {
    readers->lines.holdDamage = hold;
    readers->lines.damageHeld = false;
}

bool DamageNewsHeld() { return readers->lines.damageHeld; }

void TellHeldDamage() {
    HoldDamageNews(false);
    ReportSourceDamage();
}

int64_t SkipLines(int64_t count) {
    LineSourceState& s = readers->lines;
    int64_t skipped = 0;
    bool insideLine = false;  // bytes of the line being skipped were dropped already
    while (skipped < count && !s.endReached) {
        const void* found = s.tail > s.head ? std::memchr(s.buffer.data() + s.head, '\n', s.tail - s.head) : nullptr;
        if (found) {
            s.head = static_cast<std::size_t>(static_cast<const char*>(found) - s.buffer.data()) + 1;
            ++skipped;
            insideLine = false;
            continue;
        }
        // A skipped line is never kept whole, so an endless line costs no memory.
        if (s.tail > s.head) insideLine = true;
        s.head = s.tail;
        if (!Refill()) {
            s.endReached = true;
            if (insideLine) ++skipped;
        }
    }
    return skipped;
}

bool EndReached() { return readers->lines.endReached; }

int64_t ReadPosition() { return readers->lines.bufferOffset + static_cast<int64_t>(readers->lines.head); }

void ConsoleLineOpen(bool open) { readers->lines.consoleLineOpen = open; }

void ReleaseLineBuffer() {
    LineSourceState& s = readers->lines;
    std::vector<char>().swap(s.buffer);
    s.head = s.tail = s.validFrom = 0;
    if (s.gzipText) StopGzipSource();
    s.gzipText = false;
}
