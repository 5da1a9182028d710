// The readers under arbitrary bytes: one scratch file per target, a fresh scene, the unwinding exit sequence.
#include "tests/fuzz/fuzz_entries.h"

#include <unistd.h>  // Required for: getpid, unlink, access

#include <algorithm>  // Required for: std::min
#include <cmath>     // Required for: std::isfinite
#include <cstdio>    // Required for: std::fprintf
#include <cstdlib>   // Required for: std::abort, std::getenv
#include <cstring>   // Required for: std::memcmp
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "core/scene.h"
#include "io/dump/atom_fields.h"
#include "io/config/bond_reader.h"
#include "io/config/config_reader.h"
#include "io/dump/dump_columns.h"
#include "io/dump/dump_reader.h"
#include "io/gzip_source.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/pdb/pdb_reader.h"

namespace {

// Scratch files live as long as the process; each target reuses its own.
struct ScratchFiles {
    std::map<std::string, std::string> paths;
    ~ScratchFiles() {
        for (const auto& named : paths) ::unlink(named.second.c_str());
    }
};
ScratchFiles scratch;

std::string ScratchDirectory() {
    if (::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::string WriteScratch(const char* target, const uint8_t* data, std::size_t size) {
    std::string path = FuzzScratchPath(target);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        std::fprintf(stderr, "cannot write the scratch file %s\n", path.c_str());
        std::abort();
    }
    return path;
}

// A reader returned with tables the drawing cannot use: the fuzzer stops on it (uncaught), the replay test reports it.
[[noreturn]] void Broken(const char* what) {
    throw std::logic_error(std::string("broken invariant after a successful read: ") + what);
}

void CheckFinite(const std::vector<double>& table, const char* name) {
    for (double value : table)
        if (!std::isfinite(value)) Broken(name);
}

// Runs body with standard output discarded and an empty standard input. True when body returned,
// false when it ended through the exit sequence or the quiet end; anything else propagates.
template <typename Body>
bool RunQuietly(Body body) {
    std::ostringstream discarded;
    std::istringstream empty;
    std::streambuf* out = std::cout.rdbuf(discarded.rdbuf());
    std::streambuf* in = std::cin.rdbuf(empty.rdbuf());
    bool returned = false;
    try {
        body();
        returned = true;
    } catch (const std::runtime_error& error) {
        std::string what = error.what();
        if (what != "exit sequence" && what != "end process") {
            std::cout.rdbuf(out);
            std::cin.rdbuf(in);
            throw;
        }
    }
    std::cout.rdbuf(out);
    std::cin.rdbuf(in);
    std::cin.clear();
    return returned;
}

// Reads frame `which` of the open trajectory, as the frame keys do (error state reset first).
template <typename Reader>
bool ReadFrame(int which, Reader reader) {
    frame = which;
    infile.clear();
    return RunQuietly(reader);
}

// The first, middle and last frame; stops at the first frame that ends the program.
template <typename Reader, typename Check>
void ReadSomeFrames(Reader reader, Check check) {
    const int frames = FrameCount();
    for (int which : {0, frames / 2, frames - 1}) {
        if (!ReadFrame(which, reader)) return;
        check();
    }
}

void CheckDumpFrame() {
    if (geom.size() != static_cast<std::size_t>(atoms) * GEOM_STRIDE) Broken("geom size");
    CheckFinite(geom, "geom");
    for (int i = 0; i < atoms; ++i) {
        double type = geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_TYPE];
        if (!(type >= 1 && type < species + 1.0)) Broken("species of an atom");
    }
}

void CheckPdbFrame() {
    const std::size_t rows = static_cast<std::size_t>(atoms);
    if (geom.size() != rows * GEOM_STRIDE) Broken("geom size");
    if (shape.size() != rows * SPECIES_STRIDE || color.size() != rows * SPECIES_STRIDE) Broken("species tables");
    if (bondvec.size() != rows * VECTOR_STRIDE) Broken("bondvec size");
    CheckFinite(geom, "geom");
    CheckFinite(shape, "shape");
    CheckFinite(color, "color");
}

}  // namespace

const char* FuzzScratchPath(const char* target) {
    std::string& path = scratch.paths[target];
    if (path.empty())
        path = ScratchDirectory() + "/ovalix_fuzz_" + std::to_string(::getpid()) + "_" + target;
    return path.c_str();
}

void FuzzConfigInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    std::string path = WriteScratch("config", data, size);
    std::string bondFile;
    if (!RunQuietly([&] { bondFile = ReadConfig(path); })) return;
    // A complete configuration: tables sized for the drawing and finite numbers throughout.
    // A "species" value of 0 is allowed here; the dump reader then refuses every atom.
    if (quat) {
        const std::size_t block = static_cast<std::size_t>(species) * SPECIES_STRIDE;
        if (species < 0 || shape.size() != block || color.size() != block) Broken("species tables");
        if (species > 0 && (bondvec.empty() || bondvec.size() % block != 0)) Broken("bondvec blocks");
    }
    CheckFinite(shape, "shape");
    CheckFinite(color, "color");
    CheckFinite(bondvec, "bondvec");
    for (int k = 0; k < 4; ++k)
        if (!std::isfinite(BGColor[k]) || !std::isfinite(FogColor[k])) Broken("background");
    if (!std::isfinite(bondwidth)) Broken("bondwidth");
    if (texture.empty()) Broken("texture table");
}

void FuzzDumpInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    inname = WriteScratch("dump", data, size);
    quat = true;
    species = 3;
    if (!RunQuietly([] { OpenQuatFile(); })) return;
    if (counter.empty() || atoms < 0 || geom.size() != static_cast<std::size_t>(atoms) * GEOM_STRIDE)
        Broken("index or geom size");
    for (std::size_t k = 1; k < counter.size(); ++k)
        if (counter[k] <= counter[k - 1]) Broken("frame offsets");
    ReadSomeFrames([] { ReadQuatFrame(); }, CheckDumpFrame);
    infile.close();
}

namespace {

// A GSD frame in the scene: its own count, one row of quantities per atom, every bond within frame 0 (whose bonds
// a frame without its own takes) and drawn exactly when the frame holds both its atoms.
void CheckGsdFrame() {
    CheckDumpFrame();
    if (atoms != entry(frameAtoms, frame, "frameAtoms") || atoms > mostAtoms) Broken("count of the frame");
    if (quantities.size() != quantityNames.size() * static_cast<std::size_t>(atoms)) Broken("quantities size");
    for (int j = 0; j < BondCount(); ++j) {
        const int a = topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE];
        const int b = topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE + 1];
        if (a < 1 || b < 1 || a > mostAtoms || b > mostAtoms) Broken("bond of the file outside every frame");
        if (BondInFrame(j) != (a <= atoms && b <= atoms)) Broken("bond left out of a frame that holds its atoms");
    }
    if (!frameBox.exists) Broken("box of the frame");
}

}  // namespace

void FuzzGsdViewInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    const std::string path = WriteScratch("gsd_view", data, size);
    // The whole load of a GSD file named alone: recognised, configured, opened, frame 0 read.
    if (!RunQuietly([&path] { LoadScene(path); })) return;
    if (!gsd) return;  // recognised as something else
    ReadSomeFrames([] { ::ReadFrame(); }, CheckGsdFrame);
    RunQuietly([] { CloseFile(); });
}

// The mapping of any header names each value once, in a column of the header or right after the position.
void CheckColumnMapping(const DumpColumns& columns) {
    if (!columns.problem.empty()) return;
    if (columns.type < 0 || columns.label < -1) Broken("label or type column");
    for (int k = 0; k < 3; ++k)
        if (columns.position[k] < 0) Broken("position column");
    // Four quaternion columns, or none at all (the particles are drawn unturned).
    bool noOrientation = columns.quaternion[0] == -1 && columns.quaternion[1] == -1 && columns.quaternion[2] == -1 &&
                         columns.quaternion[3] == -1;
    for (int k = 0; k < 4; ++k)
        if (columns.quaternion[k] < 0 && !noOrientation) Broken("quaternion column");
    if (columns.canonical && (columns.scaled || columns.position[0] != 2 || columns.quaternion[3] != 8))
        Broken("canonical mapping");
}

void FuzzDumpHeaderInput(const uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t lineEnd = std::min(bytes.find('\n'), bytes.size());
    std::string names = bytes.substr(0, lineEnd);
    std::string atomLines = lineEnd < bytes.size() ? bytes.substr(lineEnd + 1) : "";
    CheckColumnMapping(MapDumpColumns(names));
    std::string frame = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS xy xz yz pp pp pp\n"
                        "-1 12 2\n0 5.5 -1\n0 4 0.5\nITEM: ATOMS" + names + "\n" + atomLines;
    if (frame.back() != '\n') frame += '\n';
    std::string text = frame + frame;
    FuzzDumpInput(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void FuzzPdbInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    inname = WriteScratch("pdb", data, size);
    quat = false;
    species = 1;
    if (!RunQuietly([] { OpenAnisouFile(); })) return;
    if (counter.empty() || atoms < 1 || species != atoms) Broken("index or counts");
    ReadSomeFrames([] { ReadAnisouFrame(); }, CheckPdbFrame);
    infile.close();
}

void FuzzBondInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    std::string path = WriteScratch("bonds", data, size);
    // A frame of five atoms of two species, each species with two bond origins.
    atoms = 5;
    species = 2;
    bondvec.assign(2 * 3 * species, 0.5);
    geom.assign(static_cast<std::size_t>(atoms) * GEOM_STRIDE, 0.0);
    for (int i = 0; i < atoms; ++i) {
        geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_LABEL] = i + 1;
        geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_TYPE] = 1 + i % 2;
        geom[static_cast<std::size_t>(i) * GEOM_STRIDE + GEOM_QW] = 1;
    }
    if (!RunQuietly([&] { ReadBonds(path); })) return;
    if (topology.size() % TOPOLOGY_STRIDE != 0) Broken("topology stride");
    for (std::size_t k = 0; k < topology.size(); k += TOPOLOGY_STRIDE) {
        if (topology[k] < 1 || topology[k] > atoms || topology[k + 1] < 1 || topology[k + 1] > atoms)
            Broken("bond atom");
        if (topology[k + 2] < 1 || topology[k + 2] > 2 || topology[k + 3] < 1 || topology[k + 3] > 2)
            Broken("bond origin");
    }
}

void FuzzAtomLineInput(const uint8_t* data, std::size_t size) {
    // The first byte picks what follows the line in the buffer; the rest is the line.
    if (size == 0) return;
    static const char* const SLACKS[] = {"0", "9 ", "5.5 ", " ", "e1 ", ".", "12345\n", "-"};
    const char* slack = SLACKS[data[0] % 8];
    std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<char> buffer(line.begin(), line.end());
    for (std::size_t n = 0; n < LINE_SLACK; ++n) buffer.push_back(slack[n % std::strlen(slack)]);
    double parsed[GEOM_STRIDE], expected[GEOM_STRIDE];
    for (int k = 0; k < GEOM_STRIDE; ++k) parsed[k] = expected[k] = -777.25;
    ParseAtomRow(std::string_view(buffer.data(), line.size()), parsed);
    const char* p = line.data();
    const char* end = p + line.size();
    for (int k = 0; k < GEOM_STRIDE; ++k) {
        SkipSpace(p, end);
        if (!ParseReal(p, end, expected[k])) break;
    }
    if (std::memcmp(parsed, expected, sizeof parsed) != 0) Broken("atom fields differ from from_chars");
}

namespace {

// The text in `members` gzip members at a deflate level (0: stored blocks only).
std::string GzipMembers(const std::string& text, int members, int level) {
    std::string out;
    const std::size_t piece = text.size() / static_cast<std::size_t>(members) + 1;
    for (std::size_t at = 0; at < text.size() || out.empty(); at += piece) {
        const std::string part = text.substr(at, piece);
        z_stream stream{};
        if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
        std::string member(deflateBound(&stream, static_cast<uLong>(part.size())) + 32, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        stream.avail_in = static_cast<uInt>(part.size());
        stream.next_out = reinterpret_cast<Bytef*>(&member[0]);
        stream.avail_out = static_cast<uInt>(member.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
        member.resize(stream.total_out);
        deflateEnd(&stream);
        out += member;
    }
    return out;
}

// Reads the whole text of the compressed file at path line by line, then goes back to lines in a scrambled
// order and backwards: each must read as it did. Returns the text; false when the line reader ended the program.
bool CheckGzipLines(const std::string& path, std::string& text) {
    std::vector<int64_t> offsets;
    std::vector<std::string> lines;
    bool returned = RunQuietly([&] {
        infile.close();
        infile.clear();
        infile.open(path, std::ios::in | std::ios::binary);
        OpenLineSource();
        std::string_view line;
        for (int64_t at = ReadPosition(); ReadLine(line); at = ReadPosition()) {
            offsets.push_back(at);
            lines.emplace_back(line);
            if (lines.size() > 1) text += "\n";
            text += lines.back();
        }
        const std::size_t n = lines.size();
        for (std::size_t k = 0; k < std::min<std::size_t>(n, 64) + std::min<std::size_t>(n, 8); ++k) {
            const std::size_t which = k < 64 ? (k * 2654435761u + n) % n : n - 1 - (k - std::min<std::size_t>(n, 64));
            SeekLines(offsets[which]);
            if (!ReadLine(line) || line != lines[which]) Broken("a line read after a seek differs");
        }
    });
    infile.close();  // the buffers stay for the next input, as the other targets leave them
    return returned;
}

}  // namespace

void FuzzGzipInput(const uint8_t* data, std::size_t size) {
    ResetScene();
    std::string bytes, text;
    bool whole = false, cut = false;  // the compressed bytes are intact, or only cut short
    if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) {
        bytes.assign(reinterpret_cast<const char*>(data), size);
    } else {
        // First byte: members (1 to 4), deflate level, and the damage; second: where the damage is.
        if (size < 2) return;
        static const int LEVELS[] = {0, 1, 6, 9};
        text.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
        bytes = GzipMembers(text, 1 + (data[0] & 3), LEVELS[(data[0] >> 2) & 3]);
        const std::size_t where = bytes.size() * data[1] / 256;
        switch ((data[0] >> 4) & 3) {
            case 1: bytes.resize(where); cut = where >= 2; break;  // without its magic bytes a file is plain
            case 2: bytes[where] = static_cast<char>(bytes[where] ^ 0x5a); break;
            default: whole = true;
        }
    }
    // Restart points every few bytes, at blocks of every kind; some tens of them in a large input.
    gzipRestartSpacing = 1 + static_cast<int64_t>(size % 97 + size / 32);
    std::string delivered;
    const std::string path = WriteScratch("gzip", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (CheckGzipLines(path, delivered)) {
        if (whole && delivered != text) Broken("the inflated text differs");
        if (cut && text.compare(0, delivered.size(), delivered) != 0) Broken("a cut file's text is not the text's start");
    }
    FuzzDumpInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    gzipRestartSpacing = GZIP_RESTART_SPACING;
}
