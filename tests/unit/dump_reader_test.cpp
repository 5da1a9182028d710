// The dump trajectory reader: frame index, summary, frame reads, type checks and the damaged-file cases.
#include "io/dump/dump_reader.h"

#include <cstdint>
#include <cstdio>   // Required for: std::remove
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "core/scene.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

// The suites are named after the functions; inside this namespace the names mean the fixture.
namespace {

using OpenQuatFile = SceneTest;
using ReadQuatFrame = SceneTest;

// Three frames of two atoms, as LAMMPS writes them; frame k moves atom 1 to x = k.
const std::string THREE_FRAMES = R"(ITEM: TIMESTEP
0
ITEM: NUMBER OF ATOMS
2
ITEM: BOX BOUNDS pp pp pp
0 10
0 10
0 10
ITEM: ATOMS id type x y z quatw quati quatj quatk
1 1 0.0 0.0 0.0 1 0 0 0
2 2 3.5 0.0 0.0 0 0 0 1
ITEM: TIMESTEP
100
ITEM: NUMBER OF ATOMS
2
ITEM: BOX BOUNDS pp pp pp
0 10
0 10
0 10
ITEM: ATOMS id type x y z quatw quati quatj quatk
1 1 1.0 0.0 0.0 0.5 0.5 0.5 0.5
2 2 3.5 1.0 0.0 0 0 0 1
ITEM: TIMESTEP
200
ITEM: NUMBER OF ATOMS
2
ITEM: BOX BOUNDS pp pp pp
0 10
0 10
0 10
ITEM: ATOMS id type x y z quatw quati quatj quatk
1 1 2.0 0.0 0.0 -1 0 0 0
2 2 3.5 2.0 -2.5e-1 0 1 0 0
)";

// Offset of the n-th occurrence (from 1) of text in contents.
int64_t OffsetOf(const std::string& contents, const std::string& text, int n) {
    std::size_t at = std::string::npos;
    for (int k = 0; k < n; ++k) at = contents.find(text, at == std::string::npos ? 0 : at + 1);
    return static_cast<int64_t>(at);
}

// A frame of `count` atoms of species 1 with the given time step; atom i sits at x = i.
std::string Frame(int step, int count) {
    std::string text = "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(count) +
                       "\nITEM: ATOMS id type x y z w i j k\n";
    for (int i = 1; i <= count; ++i) text += std::to_string(i) + " 1 " + std::to_string(i) + " 0 0 1 0 0 0\n";
    return text;
}

std::string Frames(int frames, int count) {
    std::string text;
    for (int k = 0; k < frames; ++k) text += Frame(k, count);
    return text;
}

// Opens contents as the trajectory; species defaults to 2 so that the types of THREE_FRAMES are legal.
ConsoleRun Open(const std::string& contents, const std::string& name = "test.dump") {
    inname = WriteTempFile(name, contents);
    if (species == 0) species = 2;
    return RunCaptured([] { ::OpenQuatFile(); });
}

ConsoleRun Read(int which) {
    frame = which;
    infile.clear();
    return RunCaptured([] { ::ReadQuatFrame(); });
}

std::vector<double> Row(int atom) {
    return std::vector<double>(geom.begin() + GEOM_STRIDE * atom, geom.begin() + GEOM_STRIDE * (atom + 1));
}

std::string Summary(int atomCount, int frames) {
    return "Number of atoms:      " + std::to_string(atomCount) + "\nNumber of time steps: " + std::to_string(frames) +
           " (0 - " + std::to_string(frames - 1) + ")\n";
}

std::string Opening() { return "Infile " + inname + " opened\nReading..."; }

// ---- Indexing -------------------------------------------------------------------------------------

TEST_F(OpenQuatFile, IndexesEveryFrameAndPrintsTheSummary) {
    ConsoleRun run = Open(THREE_FRAMES);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, Opening() + "\n" + Summary(2, 3));
    EXPECT_EQ(atoms, 2);
    EXPECT_EQ(counter, (std::vector<int64_t>{0, OffsetOf(THREE_FRAMES, "ITEM: TIMESTEP", 2),
                                             OffsetOf(THREE_FRAMES, "ITEM: TIMESTEP", 3)}));
    EXPECT_EQ(geom.size(), 18u);
    EXPECT_TRUE(showTS);
    EXPECT_TRUE(infile.is_open());
    // The stream is left ready at the start of the file, its end-of-file state from the scan cleared.
    EXPECT_TRUE(infile.good());
    EXPECT_EQ(static_cast<int64_t>(infile.tellg()), 0);
}

TEST_F(OpenQuatFile, FrameStartsRightAfterThePreviousAtomLines) {
    // Lines between frames belong to the next frame: its offset is the first line after the last atom line.
    std::string text = Frame(0, 1) + "\nsome note\n" + Frame(1, 1);
    Open(text);
    ASSERT_EQ(counter.size(), 2u);
    EXPECT_EQ(counter[1], static_cast<int64_t>(Frame(0, 1).size()));
}

TEST_F(OpenQuatFile, OneFrameSwitchesTheOverlayOff) {
    ConsoleRun run = Open(Frame(0, 3));
    EXPECT_EQ(counter, (std::vector<int64_t>{0}));
    EXPECT_FALSE(showTS);
    EXPECT_EQ(run.output, Opening() + "\n" + Summary(3, 1));
    EXPECT_NE(run.output.find("Number of time steps: 1 (0 - 0)\n"), std::string::npos);
}

TEST_F(OpenQuatFile, SeveralFramesLeaveTheOverlayAlone) {
    showTS = false;
    Open(THREE_FRAMES);
    EXPECT_FALSE(showTS);
}

TEST_F(OpenQuatFile, FinalLineFeedMissingOrRepeatedGivesTheSameIndex) {
    Open(THREE_FRAMES);
    std::vector<int64_t> reference = counter;
    ASSERT_EQ(reference.size(), 3u);

    std::string withoutLineFeed = THREE_FRAMES.substr(0, THREE_FRAMES.size() - 1);
    ConsoleRun run = Open(withoutLineFeed, "no_lf.dump");
    EXPECT_EQ(counter, reference);
    EXPECT_EQ(run.output, Opening() + "\n" + Summary(2, 3));

    for (const char* tail : {"\n", "\n\n\n", "\n  \n\t\n"}) {
        run = Open(THREE_FRAMES + tail, "blank_tail.dump");
        EXPECT_EQ(counter, reference) << ::testing::PrintToString(tail);
        EXPECT_EQ(run.output, Opening() + "\n" + Summary(2, 3)) << ::testing::PrintToString(tail);
    }
}

TEST_F(OpenQuatFile, CrLfFileHasTheSameFramesAndAtoms) {
    Open(THREE_FRAMES);
    std::vector<std::vector<double>> plain;
    for (int k = 0; k < 3; ++k) {
        Read(k);
        plain.push_back(geom);
    }
    std::string crlf = WithCrLf(THREE_FRAMES);
    ConsoleRun run = Open(crlf, "crlf.dump");
    EXPECT_EQ(run.output, Opening() + "\n" + Summary(2, 3));
    EXPECT_EQ(counter, (std::vector<int64_t>{0, OffsetOf(crlf, "ITEM: TIMESTEP", 2), OffsetOf(crlf, "ITEM: TIMESTEP", 3)}));
    for (int k = 0; k < 3; ++k) {
        ConsoleRun read = Read(k);
        EXPECT_FALSE(read.exited);
        EXPECT_EQ(geom, plain[k]) << "frame " << k;
    }
}

TEST_F(OpenQuatFile, HeadersMatchOnTheirFirstCharactersOnly) {
    // Column names after "ITEM: ATOMS" are ignored, a bare header matches, text after the count is ignored.
    std::string text = "ITEM: NUMBER OF ATOMS and more\n  2 atoms\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n2 1 1 0 0 1 0 0 0\n"
                       "ITEM: NUMBER OF ATOMS\r\n2\r\nITEM: ATOMSid\n1 1 5 0 0 1 0 0 0\n2 1 6 0 0 1 0 0 0\n";
    ConsoleRun run = Open(text);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(atoms, 2);
    EXPECT_EQ(counter.size(), 2u);
    Read(1);
    EXPECT_EQ(geom[GEOM_X], 5.0);
}

TEST_F(OpenQuatFile, IndentedOrShortHeadersAreNotHeaders) {
    // An indented atoms header and a truncated one are skipped; the real header follows them.
    std::string text = "ITEM: NUMBER OF ATOMS\n1\n ITEM: ATOMS id type x y z\n9 9 9 9 9 9 9 9 9\nITEM: ATOM\n"
                       "8 8 8 8 8 8 8 8 8\nITEM: ATOMS id type x y z\n1 1 2 3 4 1 0 0 0\n";
    ConsoleRun run = Open(text);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(counter.size(), 1u);
    ConsoleRun read = Read(0);
    EXPECT_FALSE(read.exited) << read.output;
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 2, 3, 4, 1, 0, 0, 0}));
}

TEST_F(OpenQuatFile, IndentedCountHeaderIsNotACountHeader) {
    ConsoleRun run = Open(" ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("No line 'ITEM: NUMBER OF ATOMS' found."), std::string::npos);
}

TEST_F(OpenQuatFile, DotEveryHundredFrames) {
    ConsoleRun run = Open(Frames(199, 1).substr(0, Frames(199, 1).size() - 1));
    EXPECT_EQ(run.output, Opening() + ".\n" + Summary(1, 199));
    run = Open(Frames(200, 1).substr(0, Frames(200, 1).size() - 1), "200.dump");
    EXPECT_EQ(run.output, Opening() + "..\n" + Summary(1, 200));
}

TEST_F(OpenQuatFile, ReminderEveryFiveThousandFrames) {
    ConsoleRun run = Open(Frames(5000, 1) + "");
    std::string dots(50, '.');
    EXPECT_EQ(run.output, Opening() + dots + "\nThis could take a while...\n\n" + Summary(1, 5000));
    EXPECT_EQ(counter.size(), 5000u);
}

TEST_F(OpenQuatFile, ReopeningReplacesTheIndex) {
    Open(THREE_FRAMES);
    ConsoleRun run = Open(Frames(2, 4), "other.dump");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(atoms, 4);
    EXPECT_EQ(counter.size(), 2u);
    EXPECT_EQ(geom.size(), 36u);
    Read(1);
    EXPECT_EQ(Row(3), (std::vector<double>{4, 1, 4, 0, 0, 1, 0, 0, 0}));
}

TEST_F(OpenQuatFile, GeomKeepsItsValuesWhenResized) {
    geom.assign(9, 7.0);
    Open(THREE_FRAMES);
    ASSERT_EQ(geom.size(), 18u);
    EXPECT_EQ(Row(0), std::vector<double>(9, 7.0));
    EXPECT_EQ(Row(1), std::vector<double>(9, 0.0));
}

TEST_F(ReadQuatFrame, FrameBeyondTwoGibibytes) {
    static_assert(std::is_same<decltype(counter)::value_type, int64_t>::value, "frame offsets are 64-bit");
    // A sparse file whose second frame starts past 2^31 bytes; the index is set by hand, the read must seek there.
    const int64_t far = (int64_t{1} << 31) + 4096 + 5;
    std::string path = TempDir() + "/sparse.dump";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << Frame(0, 1);
        file.seekp(far - 1);
        file << "\n" << Frame(1, 1).replace(Frame(1, 1).find("1 1 1 0 0"), 9, "1 1 8 9 7");
        ASSERT_TRUE(file.good()) << "cannot write a sparse file in " << TempDir();
    }
    inname = path;
    species = 1;
    infile.open(path, std::ios::binary);
    counter = {0, far};
    atoms = 1;
    geom.assign(GEOM_STRIDE, 0.0);
    ConsoleRun run = Read(1);
    std::remove(path.c_str());
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 8, 9, 7, 1, 0, 0, 0}));
}

// ---- Damaged files --------------------------------------------------------------------------------

TEST_F(OpenQuatFile, MissingFile) {
    inname = TempDir() + "/none.dump";
    ConsoleRun run = RunCaptured([] { ::OpenQuatFile(); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Error. Dump file " + inname + " not found.\n" +
                              "Please enter the correct name of the dump file in the input file. \n" +
                              "Press Enter to exit.");
}

TEST_F(OpenQuatFile, CountMismatchNamesTheTimeStep) {
    std::string text = Frame(0, 2) + Frame(1, 2) + Frame(2, 3);
    ConsoleRun run = Open(text);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, Opening() + "Incorrect number of atoms in time step 3.\n" + "Number of atoms read: 3\n" +
                              "Please correct this and run program again.\n" + "Press Enter to exit.");
    ResetScene();
    run = Open(Frame(0, 2) + Frame(1, 1));
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("Incorrect number of atoms in time step 2.\nNumber of atoms read: 1\n"), std::string::npos);
}

TEST_F(OpenQuatFile, CountMismatchContinuesTheDotLine) {
    std::string text = Frames(100, 1) + Frame(100, 2);
    ConsoleRun run = Open(text);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, Opening() + ".Incorrect number of atoms in time step 101.\nNumber of atoms read: 2\n" +
                              "Please correct this and run program again.\nPress Enter to exit.");
}

TEST_F(OpenQuatFile, FileWithoutCountHeader) {
    for (const std::string& text : {std::string(""), std::string("ITEM: TIMESTEP\n0\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n")}) {
        ResetScene();
        ConsoleRun run = Open(text);
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.output, Opening() + "\nNo line 'ITEM: NUMBER OF ATOMS' found. Are you sure " + inname +
                                  " is a dump file?\nPlease correct this and run program again.\nPress Enter to exit.");
    }
}

TEST_F(OpenQuatFile, CountLineThatIsNotACount) {
    for (const char* line : {"two", "-2", "  # 2"}) {
        ResetScene();
        ConsoleRun run = Open(std::string("ITEM: NUMBER OF ATOMS\n") + line + "\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
        EXPECT_TRUE(run.exited) << line;
        EXPECT_EQ(run.output, Opening() + "\nThe number of atoms in frame 0 is not a valid count:\n" + line +
                                  "\nPlease correct this and run program again.\nPress Enter to exit.")
            << line;
    }
    ResetScene();
    ConsoleRun run = Open("ITEM: NUMBER OF ATOMS\n\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The number of atoms in frame 0 is not a valid count:\n"), std::string::npos);
    ResetScene();
    run = Open(Frame(0, 1) + "ITEM: NUMBER OF ATOMS\nmany\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The number of atoms in frame 1 is not a valid count:\nmany\n"), std::string::npos);
}

TEST_F(OpenQuatFile, NoCompleteFrame) {
    ConsoleRun run = Open("ITEM: NUMBER OF ATOMS\n3\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n2 1 0 0 0 1 0 0 0\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The dump file " + inname + " holds no complete time step.\n"
                              "Please correct this and run program again.\nPress Enter to exit."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("Number of atoms:"), std::string::npos);
    EXPECT_EQ(run.output.find("\n\n"), std::string::npos) << "no empty line between the messages\n" << run.output;

    ResetScene();
    run = Open("ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("holds no complete time step."), std::string::npos) << run.output;
}

TEST_F(OpenQuatFile, TruncatedLastFrameIsLeftOutWithOneLine) {
    std::string full = Frames(2, 3);
    // The third frame ends in the middle of its second atom line, as while the run is still writing.
    std::string text = full + Frame(2, 3).substr(0, Frame(2, 3).find("2 1 2") + 4);
    ConsoleRun run = Open(text);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, Opening() + "\nFrame 2 (step 2) is incomplete (the file ends inside it) and is left out.\n" +
                              Summary(3, 2));
    EXPECT_EQ(counter, (std::vector<int64_t>{0, static_cast<int64_t>(Frame(0, 3).size())}));
    EXPECT_TRUE(showTS);

    // Cut after a whole atom line, and cut between the atoms header and the atoms.
    for (const std::string& cut : {Frame(2, 3).substr(0, Frame(2, 3).find("2 1 2")),
                                   Frame(2, 3).substr(0, Frame(2, 3).find("1 1 1"))}) {
        run = Open(full + cut, "cut.dump");
        EXPECT_EQ(counter.size(), 2u);
        EXPECT_NE(run.output.find("Frame 2 (step 2) is incomplete (the file ends inside it) and is left out.\n"),
                  std::string::npos);
    }
}

TEST_F(OpenQuatFile, CompleteFramesOfATruncatedFileCanBeRead) {
    std::string text = Frames(2, 3) + "ITEM: TIMESTEP\n2\nITEM: NUMBER OF ATOMS\n3\nITEM: ATOMS\n1 1 9 9";
    Open(text);
    ASSERT_EQ(counter.size(), 2u);
    ConsoleRun read = Read(1);
    EXPECT_FALSE(read.exited);
    EXPECT_EQ(Row(2), (std::vector<double>{3, 1, 3, 0, 0, 1, 0, 0, 0}));
}

// ---- Reading frames -------------------------------------------------------------------------------

TEST_F(ReadQuatFrame, FillsGeomRowsInFileOrder) {
    Open(THREE_FRAMES);
    ConsoleRun run = Read(0);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Row(1), (std::vector<double>{2, 2, 3.5, 0, 0, 0, 0, 0, 1}));
    Read(2);
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 2, 0, 0, -1, 0, 0, 0}));
    EXPECT_EQ(Row(1), (std::vector<double>{2, 2, 3.5, 2, -0.25, 0, 1, 0, 0}));
}

TEST_F(ReadQuatFrame, RandomAccessGivesTheSameFrameEveryTime) {
    std::string text;
    for (int k = 0; k < 5; ++k) {
        text += "ITEM: TIMESTEP\n" + std::to_string(k) + "\nITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS id type x y z\n";
        text += "1 1 " + std::to_string(k) + ".5 0 0 1 0 0 0\n2 2 0 " + std::to_string(k) + ".25 0 0 1 0 0\n";
    }
    Open(text);
    ASSERT_EQ(counter.size(), 5u);
    Read(3);
    std::vector<double> first = geom;
    EXPECT_EQ(geom[GEOM_X], 3.5);
    EXPECT_EQ(geom[GEOM_STRIDE + GEOM_X + 1], 3.25);
    Read(0);
    EXPECT_EQ(geom[GEOM_X], 0.5);
    Read(4);  // the last frame: the read runs into the end of the file
    Read(3);
    EXPECT_EQ(geom, first);
}

TEST_F(ReadQuatFrame, ExtraFieldsAreIgnored) {
    Open("ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n7 1 1 2 3 0.5 0.5 0.5 0.5 99 98 text\n");
    Read(0);
    EXPECT_EQ(Row(0), (std::vector<double>{7, 1, 1, 2, 3, 0.5, 0.5, 0.5, 0.5}));
}

TEST_F(ReadQuatFrame, ShortRowsKeepThePreviousValues) {
    std::string text = Frame(0, 2) + "ITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS\n1 1 9 8 7\n2 1 5 4 x 0 0 0 0\n";
    // Give frame 0 a turned quaternion so that a kept value is told apart from a zero.
    std::size_t at = text.find("1 1 1 0 0 1 0 0 0");
    text.replace(at, 17, "1 1 1 0 0 0 0 1 0");
    Open(text);
    Read(0);
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 1, 0, 0, 0, 0, 1, 0}));
    Read(1);
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 9, 8, 7, 0, 0, 1, 0}));
    EXPECT_EQ(Row(1), (std::vector<double>{2, 1, 5, 4, 0, 1, 0, 0, 0}));
}

TEST_F(ReadQuatFrame, ShortRowsAfterOpeningKeepZeros) {
    Open("ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n3 2 1.5\n");
    ConsoleRun run = Read(0);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(Row(0), (std::vector<double>{3, 2, 1.5, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ReadQuatFrame, TypeEqualToSpeciesIsAccepted) {
    species = 3;
    Open("ITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS\n1 3 0 0 0 1 0 0 0\n2 2.5 0 0 0 1 0 0 0\n");
    ConsoleRun run = Read(0);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(geom[GEOM_TYPE], 3.0);
    EXPECT_EQ(geom[GEOM_STRIDE + GEOM_TYPE], 2.5);
}

TEST_F(ReadQuatFrame, TypeAboveSpeciesIsAnIllegalEntry) {
    species = 2;
    Open(Frame(0, 2) + "ITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n12 3 0 0 0 1 0 0 0 extra\n");
    ConsoleRun run = Read(1);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Illegal entry for atom no 12 in time step 1:\n"
                          "12 3 0 0 0 1 0 0 0 extra\n"
                          "Type read: 3. Only 2 specified in input.\n"
                          "Please correct this and run program again.\n"
                          "Press Enter to exit.");
}

TEST_F(ReadQuatFrame, FractionalTypeAboveSpeciesPrintsAsADouble) {
    species = 2;
    Open("ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n4.5 2.25 0 0 0 1 0 0 0\n");
    ConsoleRun run = Read(0);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Illegal entry for atom no 4.5 in time step 0:\n4.5 2.25 0 0 0 1 0 0 0\n"
                          "Type read: 2.25. Only 2 specified in input.\n"
                          "Please correct this and run program again.\nPress Enter to exit.");
}

TEST_F(ReadQuatFrame, TypeBelowOneIsAnIllegalEntry) {
    species = 2;
    for (const char* type : {"0", "-1", "0.5"}) {
        Open(std::string("ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n5 ") + type + " 0 0 0 1 0 0 0\n");
        ConsoleRun run = Read(0);
        EXPECT_TRUE(run.exited) << type;
        EXPECT_EQ(run.output, std::string("Illegal entry for atom no 5 in time step 0:\n5 ") + type +
                                  " 0 0 0 1 0 0 0\nType read: " + type +
                                  ". Only 2 specified in input.\n"
                                  "Please correct this and run program again.\nPress Enter to exit.")
            << type;
    }
}

TEST_F(ReadQuatFrame, LocaleFreeNumbersOnly) {
    // A comma is no decimal separator: the row stops at it and keeps its earlier values.
    Open("ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS\n1 1 2,5 7 7 1 0 0 0\n");
    Read(0);
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 2, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ReadQuatFrame, ClosedFile) {
    Open(THREE_FRAMES);
    infile.close();
    ConsoleRun run = Read(0);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Something is seriously wrong. The input file seems to be closed.\nPress Enter to exit.");
}

TEST_F(ReadQuatFrame, FrameOutsideTheIndexIsRefused) {
    Open(THREE_FRAMES);
    ConsoleRun run = Read(3);
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("counter"), std::string::npos) << run.output;
    run = Read(-1);
    EXPECT_TRUE(run.exited);
}

// ---- The bundled data -----------------------------------------------------------------------------

TEST_F(OpenQuatFile, LammpsChainTrajectory) {
    std::string path = DataFile("lammps/chain.dump");
    if (path.empty()) GTEST_SKIP() << "shared test data not found";
    inname = path;
    species = 2;
    ConsoleRun run = RunCaptured([] { ::OpenQuatFile(); });
    EXPECT_EQ(run.output, Opening() + "\n" + Summary(120, 31) + "Orientation from the columns c_q[1] c_q[2] c_q[3] c_q[4].\n");
    Read(0);
    EXPECT_EQ(Row(0), (std::vector<double>{1, 1, 6.5, 3, 3, 1, 0, 0, 0}));
    Read(30);
    for (int i = 0; i < atoms; ++i) {
        EXPECT_EQ(geom[GEOM_STRIDE * i + GEOM_LABEL], i + 1);
        double w = geom[GEOM_STRIDE * i + GEOM_QW];
        double norm = w * w;
        for (int k = 1; k < 4; ++k) norm += geom[GEOM_STRIDE * i + GEOM_QW + k] * geom[GEOM_STRIDE * i + GEOM_QW + k];
        EXPECT_NEAR(norm, 1.0, 1e-4) << "atom " << i + 1;
    }
}

}  // namespace
