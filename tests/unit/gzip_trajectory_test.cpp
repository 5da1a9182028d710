// gzip-compressed trajectories: the text, offsets, frames and messages of the plain file, random access in any
// order, several members, and files cut or damaged anywhere.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>  // Required for: snprintf
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/scene.h"
#include "io/config/config_reader.h"
#include "io/dump/dump_reader.h"
#include "io/gzip_source.h"
#include "io/line_reader.h"
#include "io/pdb/pdb_reader.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

// Every test starts with the usual restart spacing and leaves it so.
class GzipTest : public SceneTest {
  protected:
    void TearDown() override {
        gzipRestartSpacing = GZIP_RESTART_SPACING;
        ReleaseLineBuffer();
        SceneTest::TearDown();
    }
};

// One gzip member of text, as the gzip command writes it.
std::string GzipMember(const std::string& text, int level = 6) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The text in `members` gzip members of about equal size, one after another (as `cat a.gz b.gz` makes).
std::string Gzip(const std::string& text, int members = 1) {
    std::string out;
    std::size_t piece = text.size() / static_cast<std::size_t>(members) + 1;
    for (std::size_t at = 0; at < text.size() || out.empty(); at += piece) out += GzipMember(text.substr(at, piece));
    return out;
}

// A dump of `frames` frames of `count` atoms whose numbers differ from atom to atom and frame to frame.
std::string Dump(int frames, int count) {
    std::string text;
    for (int f = 0; f < frames; ++f) {
        text += "ITEM: TIMESTEP\n" + std::to_string(100 * f) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(count) +
                "\nITEM: BOX BOUNDS pp pp pp\n0 50\n0 50\n0 50\nITEM: ATOMS id type x y z quatw quati quatj quatk\n";
        for (int i = 1; i <= count; ++i) {
            const int v = (i * 7919 + f * 104729) % 100000;
            text += std::to_string(i) + " " + std::to_string(1 + i % 2) + " " + std::to_string(v / 2000.0) + " " +
                    std::to_string(i % 50) + ".25 -" + std::to_string(f) + ".5e-1 0.5 0.5 -0.5 " +
                    std::to_string(v % 7 / 10.0) + "\n";
        }
    }
    return text;
}

// A PDB trajectory of `steps` time steps of `count` particles, each with its ANISOU record; the numbers
// differ from particle to particle and step to step, the elements cycle through N, C, O, S.
std::string Pdb(int steps, int count) {
    const std::string cryst1 = "CRYST1    9.643    9.609   19.029  90.00 101.22  90.00 P 1 21 1      2";
    std::string text = "REMARK   0 A TRAJECTORY WRITTEN BY THE TEST\n";
    char line[128];
    for (int t = 0; t < steps; ++t) {
        text += cryst1 + "\n";
        for (int i = 0; i < count; ++i) {
            const char element = "NCOS"[i % 4];
            std::snprintf(line, sizeof line, "ATOM  %5d  %c   LEU A   1    %8.3f%8.3f%8.3f  1.00  0.00           %c\n",
                          i + 1, element, 0.5 * i - t, 0.25 * t + i % 7, -1.5 * (i % 3), element);
            text += line;
            std::snprintf(line, sizeof line, "ANISOU%5d  %c   LEU A   1  %7d%7d%7d%7d%7d%7d       %c\n", i + 1,
                          element, 100 + 7 * i + t, 200 + i % 11, 300 + 3 * t, 5 * (i % 5), -(i % 3), t % 4, element);
            text += line;
        }
    }
    return text;
}

// The console shows the same lines whatever the file's name: the name itself is blanked.
std::string Unnamed(std::string output) {
    for (std::size_t at; (at = output.find(inname)) != std::string::npos;) output.replace(at, inname.size(), "FILE");
    return output;
}

// What one trajectory gave: the console of its opening, its index, and every frame's tables in a random order.
struct Reading {
    ConsoleRun opening;
    std::vector<int64_t> offsets;
    std::vector<std::vector<double>> frames;  // geom, then shape and colour for PDB
};

Reading ReadTrajectory(const std::string& name, const std::string& bytes, bool dump, unsigned seed = 1) {
    ResetScene();
    inname = WriteTempFile(name, bytes);
    quat = dump;
    species = dump ? 2 : 1;
    Reading reading;
    reading.opening = RunCaptured([dump] { dump ? OpenQuatFile() : OpenAnisouFile(); });
    reading.opening.output = Unnamed(reading.opening.output);
    if (reading.opening.exited) return reading;
    reading.offsets = counter;
    std::vector<int> order(counter.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    reading.frames.resize(order.size());
    for (int which : order) {
        frame = which;
        // As the frame keys do: the stream itself is moved to the frame's text offset first.
        infile.clear();
        infile.seekg(counter[static_cast<std::size_t>(which)], std::ios::beg);
        ConsoleRun run = RunCaptured([dump] { dump ? ReadQuatFrame() : ReadAnisouFrame(); });
        std::vector<double>& tables = reading.frames[static_cast<std::size_t>(which)];
        tables = geom;
        if (run.exited) tables.push_back(-12345.0);  // a damaged frame may end the program
        if (!dump) {
            tables.insert(tables.end(), shape.begin(), shape.end());
            tables.insert(tables.end(), color.begin(), color.end());
        }
    }
    return reading;
}

void ExpectSameReading(const Reading& compressed, const Reading& plain, const std::string& extraLine = "") {
    std::string expected = plain.opening.output;
    if (!extraLine.empty()) {
        // The line sits where the reading stopped: after the scan's dots (a dump) or the opening line (a PDB
        // trajectory), before the reader's own verdict.
        std::size_t at = expected.find("Reading...");
        if (at != std::string::npos) {
            at = expected.find_first_not_of('.', at + 7);
            expected.insert(at == std::string::npos ? expected.size() : at, "\n" + extraLine);
        } else {
            at = expected.find('\n');
            expected.insert(at == std::string::npos ? expected.size() : at + 1, extraLine + "\n");
        }
    }
    // A scan that ends the program on the damaged text (a changed atoms header, say) before it reaches the
    // damage never hears of it; one that reads to the end of the text must tell it.
    bool endedBeforeTheDamage = !extraLine.empty() && plain.opening.exited &&
                                compressed.opening.output == plain.opening.output &&
                                plain.opening.output.find("holds no complete time step") == std::string::npos;
    if (!endedBeforeTheDamage) {
        EXPECT_EQ(compressed.opening.output, expected);
    }
    EXPECT_EQ(compressed.opening.exited, plain.opening.exited);
    EXPECT_EQ(compressed.offsets, plain.offsets);
    EXPECT_TRUE(compressed.frames == plain.frames);
}

// The whole text as the line reader hands it out, line by line, with each line's offset.
struct Lines {
    std::vector<int64_t> offsets;
    std::vector<std::string> lines;
    std::string text;
};

Lines ReadAllLines() {
    Lines all;
    std::string_view line;
    for (;;) {
        int64_t at = ReadPosition();
        if (!ReadLine(line)) break;
        all.offsets.push_back(at);
        all.lines.emplace_back(line);
        if (all.lines.size() > 1) all.text += "\n";
        all.text += std::string(line);
    }
    return all;
}

void OpenForLines(const std::string& bytes) {
    inname = WriteTempFile("lines.txt", bytes);
    infile.close();
    infile.clear();
    infile.open(inname, std::ios::in | std::ios::binary);
    OpenLineSource();
}

// The text and the console line that a damaged or cut compressed file gives, read once from its start.
std::string DeliveredText(const std::string& bytes, std::string* message) {
    std::string text;
    ConsoleRun run = RunCaptured([&] {
        OpenForLines(bytes);
        text = ReadAllLines().text;
    });
    *message = Unnamed(run.output);
    return text;
}

}  // namespace

TEST_F(GzipTest, LineReaderHandsOutThePlainTextAndOffsetsInAnyOrder) {
    std::string text;
    for (int k = 0; k < 4000; ++k) text += std::string(static_cast<std::size_t>(k * 37 % 211), static_cast<char>('a' + k % 26)) + "\n";
    text += "last line without a line feed";
    OpenForLines(text);
    Lines plain = ReadAllLines();
    ASSERT_EQ(plain.text, text);
    // Small spacing: hundreds of restart points; several members; the name says nothing.
    for (int64_t spacing : {GZIP_RESTART_SPACING, int64_t(1000), int64_t(1)}) {
        for (int members : {1, 3, 40}) {
            SCOPED_TRACE("spacing " + std::to_string(spacing) + ", members " + std::to_string(members));
            gzipRestartSpacing = spacing;
            OpenForLines(Gzip(text, members));
            Lines inflated = ReadAllLines();
            EXPECT_TRUE(EndReached());
            EXPECT_EQ(inflated.offsets, plain.offsets);
            EXPECT_TRUE(inflated.lines == plain.lines);
            if (spacing == 1) {
                EXPECT_GT(GzipIndexBytes(), 0);
            }
            std::vector<std::size_t> order(plain.lines.size());
            for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
            std::shuffle(order.begin(), order.end(), std::mt19937(static_cast<unsigned>(members)));
            order.resize(300);
            for (std::size_t k = plain.lines.size(); k-- > plain.lines.size() - 50;) order.push_back(k);  // backwards
            for (std::size_t k : order) {
                SeekLines(plain.offsets[k]);
                std::string_view line;
                ASSERT_TRUE(ReadLine(line));
                ASSERT_EQ(std::string(line), plain.lines[k]) << "line " << k;
                EXPECT_EQ(SkipLines(2), std::min<int64_t>(2, static_cast<int64_t>(plain.lines.size() - k - 1)));
            }
        }
    }
}

TEST_F(GzipTest, DumpFramesEqualThePlainFilesInAnyOrder) {
    // Frames of 300 atoms, and of 4000 (11 MB of text: more than the line reader's buffer and several restart
    // points at the usual spacing).
    const std::string large = Dump(40, 4000);
    const Reading plainLarge = ReadTrajectory("run.dump", large, true);
    ASSERT_EQ(plainLarge.offsets.size(), 40u);
    ExpectSameReading(ReadTrajectory("run.dump.gz", Gzip(large, 2), true, 9), plainLarge);
    const std::string text = Dump(12, 300);
    const Reading plain = ReadTrajectory("run.dump", text, true);
    ASSERT_EQ(plain.offsets.size(), 12u);
    for (int members : {1, 5}) {
        for (int64_t spacing : {GZIP_RESTART_SPACING, int64_t(5000)}) {
            gzipRestartSpacing = spacing;
            ExpectSameReading(ReadTrajectory("run.dump.gz", Gzip(text, members), true, 7), plain);
            ExpectSameReading(ReadTrajectory("named_plain.dump", Gzip(text, members), true, 8), plain);
        }
    }
}

TEST_F(GzipTest, RealDumpsAndPdbTrajectoryGzipped) {
    int found = 0;
    for (const char* relative : {"lammps/gb_nematic.dump", "lammps/chain.dump", "pdb/5e5z_traj5.pdb"}) {
        std::string path = DataFile(relative);
        if (path.empty()) continue;
        ++found;
        SCOPED_TRACE(relative);
        const bool dump = std::string(relative).find(".dump") != std::string::npos;
        const std::string text = FileBytes(path);
        const Reading plain = ReadTrajectory("real", text, dump);
        EXPECT_FALSE(plain.opening.exited);
        EXPECT_GE(plain.offsets.size(), 2u);
        gzipRestartSpacing = 100000;
        ExpectSameReading(ReadTrajectory("real", Gzip(text, 2), dump, 3), plain);
    }
    if (found == 0) GTEST_SKIP() << "../shared/data is not there";
}

TEST_F(GzipTest, PdbTrajectoryGzippedWholeAndCut) {
    const std::string text = Pdb(9, 120);
    const Reading plain = ReadTrajectory("protein.pdb", text, false);
    ASSERT_FALSE(plain.opening.exited) << plain.opening.output;
    ASSERT_EQ(plain.offsets.size(), 9u);
    gzipRestartSpacing = 20000;
    const std::string whole = Gzip(text, 3);
    ExpectSameReading(ReadTrajectory("protein.pdb.gz", whole, false, 5), plain);
    // Cut at two thirds: the time steps before the cut, the cut one counted short (as the plain text's reader
    // counts it), and the line after the opening line.
    const std::string cut = whole.substr(0, whole.size() * 2 / 3);
    std::string message;
    const std::string delivered = DeliveredText(cut, &message);
    ASSERT_EQ(text.compare(0, delivered.size(), delivered), 0);
    const std::string line = "The compressed file FILE is cut off: its text stops after byte " +
                             std::to_string(delivered.size()) + "; the time steps before that byte are read.";
    EXPECT_EQ(message, line + "\n");
    ExpectSameReading(ReadTrajectory("protein.pdb", cut, false), ReadTrajectory("protein.pdb", delivered, false), line);
}

// Named in place of a configuration, a compressed trajectory is looked at through its text: a dump gets the
// configuration its plain text gets (two species here), a PDB trajectory is known as one.
TEST_F(GzipTest, CompressedTrajectoriesWithoutConfigurationAreConfiguredFromTheirText) {
    const std::string text = Dump(2, 6);
    ConsoleRun plain = RunCaptured([&] { ReadConfig(WriteTempFile("run.trj", text)); });
    const std::vector<double> plainShape = shape, plainColor = color;
    ResetScene();
    ConsoleRun compressed = RunCaptured([&] { ReadConfig(WriteTempFile("run.trj", Gzip(text, 2))); });
    ASSERT_FALSE(compressed.exited) << compressed.output;
    EXPECT_EQ(compressed.output, plain.output);
    EXPECT_EQ(species, 2);
    EXPECT_EQ(shape, plainShape);
    EXPECT_EQ(color, plainColor);
    ResetScene();
    ConsoleRun pdb = RunCaptured([&] { ReadConfig(WriteTempFile("protein.trj", Gzip(Pdb(2, 4)))); });
    ASSERT_FALSE(pdb.exited) << pdb.output;
    EXPECT_FALSE(quat);
    EXPECT_NE(pdb.output.find("anisoufile"), std::string::npos) << pdb.output;
}

TEST_F(GzipTest, CutFilesKeepTheFramesBeforeTheCutAndSayWhereItStopped) {
    const std::string text = Dump(8, 40);
    const std::string whole = Gzip(text, 2);
    gzipRestartSpacing = 3000;
    // Cuts from the first bytes to the trailer, at many points (each member's header and trailer included).
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 2; cut < whole.size(); cut += whole.size() / 97 + 1) cuts.push_back(cut);
    for (std::size_t k = 1; k <= 8; ++k) cuts.push_back(whole.size() - k);
    for (std::size_t cut : cuts) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(whole.size()) + " bytes");
        const std::string bytes = whole.substr(0, cut);
        std::string message;
        const std::string delivered = DeliveredText(bytes, &message);
        ASSERT_EQ(text.compare(0, delivered.size(), delivered), 0) << "the text before the cut is the plain text";
        const std::string line = "The compressed file FILE is cut off: its text stops after byte " +
                                 std::to_string(delivered.size()) + "; the time steps before that byte are read.";
        EXPECT_EQ(message, line + "\n");
        // The trajectory reads as the plain text up to that byte would, with that line after the scan.
        // The same order of frame reads: a frame cut inside its last atom line keeps values of the frame before.
        const Reading plain = ReadTrajectory("cut.dump", delivered, true);
        ExpectSameReading(ReadTrajectory("cut.dump", bytes, true), plain, line);
    }
}

TEST_F(GzipTest, DamagedBytesStopTheTextWithAMessageAndNoCrash) {
    const std::string text = Dump(6, 60);
    const std::string whole = Gzip(text);
    gzipRestartSpacing = 2000;
    int damagedEarly = 0;
    // The method byte, and every byte past the header's time stamp, flags and system bytes (which no check
    // covers); the last case is garbage after the last member.
    std::vector<std::size_t> places = {2};
    for (std::size_t at = 10; at < whole.size(); at += whole.size() / 61 + 1) places.push_back(at);
    places.push_back(whole.size());
    for (std::size_t at : places) {
        for (unsigned char flip : {0x01, 0x80, 0xff}) {
            SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(flip));
            std::string bytes = whole + std::string(at == whole.size() ? "\0\0junk" : "", at == whole.size() ? 6 : 0);
            bytes[at] = static_cast<char>(bytes[at] ^ flip);
            std::string message;
            const std::string delivered = DeliveredText(bytes, &message);
            const std::string prefix = "The compressed file FILE is damaged (";
            const std::string stop = "): its text stops after byte " + std::to_string(delivered.size()) +
                                     "; the time steps before that byte are read.\n";
            ASSERT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
            ASSERT_GE(message.size(), stop.size());
            EXPECT_EQ(message.substr(message.size() - stop.size()), stop);
            if (delivered.size() < text.size()) ++damagedEarly;
            const std::string line = message.substr(0, message.size() - 1);
            const Reading plain = ReadTrajectory("bad.dump", delivered, true);
            ExpectSameReading(ReadTrajectory("bad.dump", bytes, true), plain, line);
        }
    }
    EXPECT_GT(damagedEarly, 0);
}
