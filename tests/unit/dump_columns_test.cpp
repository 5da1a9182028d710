// Dump columns by name: the mapping of atoms headers, frames read through it, scaled boxes, changed headers.
#include "io/dump/dump_columns.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/dump/dump_reader.h"
#include "io/dump/file_shapes.h"
#include "tests/support/test_support.h"

namespace {

using DumpColumnsTest = SceneTest;

struct Expected {
    const char* names;
    int label, type, x, y, z, qw, qx, qy, qz, sx;
    bool scaled, canonical;
};

TEST(MapDumpColumns, PicksEachValueByItsNames) {
    const Expected cases[] = {
        {"", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},
        {" id type x y z quatw quati quatj quatk", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},
        {" id type x y z c_q[1] c_q[2] c_q[3] c_q[4]", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},
        {" id type x y z w qx qy qz", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},  // unknown names: after z
        {" a b c d e f g h i", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},          // nothing known: fixed
        {" id type mass x y z c_q[1] c_q[2] c_q[3] c_q[4] c_shp[1] c_shp[2] c_shp[3] vx vy vz", 0, 1, 3, 4, 5, 6, 7,
         8, 9, 10, false, false},
        {" type id x y z quatw quati quatj quatk", 1, 0, 2, 3, 4, 5, 6, 7, 8, -1, false, false},
        // Precedence: unwrapped before scaled unwrapped before plain before scaled.
        {" id type xs ys zs x y z xu yu zu", 0, 1, 8, 9, 10, 11, 12, 13, 14, -1, false, false},
        {" id type xu x y z", 0, 1, 3, 4, 5, 6, 7, 8, 9, -1, false, false},  // only a whole group counts
        {" id type xs ys zs xsu ysu zsu", 0, 1, 5, 6, 7, 8, 9, 10, 11, -1, true, false},
        {" id type xs ys zs c_q[1] c_q[2] c_q[3] c_q[4]", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, true, false},
        // Named quaternions in any order; c_orient before a compute's own group.
        {" id type x y z quatk quatj quati quatw", 0, 1, 2, 3, 4, 8, 7, 6, 5, -1, false, false},
        {" id type x y z c_q[1] c_q[2] c_q[3] c_q[4] c_orient[4] c_orient[3] c_orient[2] c_orient[1]", 0, 1, 2, 3, 4,
         12, 11, 10, 9, -1, false, false},
        // Two four-column groups: the one named like a quaternion, else neither (and never the columns after z).
        {" id type x y z c_a[1] c_a[2] c_a[3] c_a[4] c_b[1] c_b[2] c_b[3] c_b[4]", 0, 1, 2, 3, 4, -1, -1, -1, -1, -1,
         false, false},
        {" id type x y z c_a[1] c_a[2] c_a[3] c_a[4] c_quat[1] c_quat[2] c_quat[3] c_quat[4]", 0, 1, 2, 3, 4, 9, 10,
         11, 12, -1, false, false},
        {" id type x y z c_q[1] c_q[2] c_q[3] c_q[4] c_orientation[1] c_orientation[2] c_orientation[3] "
         "c_orientation[4]", 0, 1, 2, 3, 4, -1, -1, -1, -1, -1, false, false},
        // Named columns after z that are not a quaternion: none; unnamed ones are taken.
        {" id type x y z vx vy vz fx", 0, 1, 2, 3, 4, -1, -1, -1, -1, -1, false, false},
        {" id type x y z", 0, 1, 2, 3, 4, 5, 6, 7, 8, -1, false, true},
        // A group of five is no quaternion; the named shape columns win over a compute's own triple.
        {" id type x y z c_f[1] c_f[2] c_f[3] c_f[4] c_f[5] shapex shapey shapez", 0, 1, 2, 3, 4, -1, -1, -1, -1, 10,
         false, false},
        {" id type c_shape[1] c_shape[2] c_shape[3] x y z quatw quati quatj quatk", 0, 1, 5, 6, 7, 8, 9, 10, 11, 2,
         false, false},
        {" type x y z quatw quati quatj quatk", -1, 0, 1, 2, 3, 4, 5, 6, 7, -1, false, false},
    };
    for (const Expected& c : cases) {
        DumpColumns m = MapDumpColumns(c.names);
        SCOPED_TRACE(c.names);
        EXPECT_EQ(m.problem, "");
        EXPECT_EQ(std::vector<int>({m.label, m.type, m.position[0], m.position[1], m.position[2], m.quaternion[0],
                                    m.quaternion[1], m.quaternion[2], m.quaternion[3], m.shape[0]}),
                  std::vector<int>({c.label, c.type, c.x, c.y, c.z, c.qw, c.qx, c.qy, c.qz, c.sx}));
        EXPECT_EQ(m.scaled, c.scaled);
        EXPECT_EQ(m.canonical, c.canonical);
    }
}

TEST(MapDumpColumns, ExplainsWhatAHeaderLacks) {
    const std::pair<const char*, const char*> cases[] = {
        {" id x y z quatw quati quatj quatk", "It names a position (x y z) but no column type."},
        {" id type x y quatw quati quatj quatk", "It names part of the position (x y z) but not z."},
        {" id type xu yu x y", "It names part of the position (xu yu zu) but not zu."},
        {" id type x y z quatw quatk", "It names part of the quaternion (quatw quati quatj quatk) but not quati quatj."},
        {" id type x y z c_orient[1] c_orient[2]", "It names part of the quaternion c_orient[1..4] but not "
                                                    "c_orient[3] c_orient[4]."},
        {" id type x y z shapex", "It names part of the shape but not shapey shapez."},
        {" id type x x y z", "It names the column x twice."},
        {" type id a b c", "It names no position (xu yu zu, xsu ysu zsu, x y z or xs ys zs)."},
        {" id mass type", "It names no position (xu yu zu, xsu ysu zsu, x y z or xs ys zs)."},
    };
    for (const auto& [names, problem] : cases) EXPECT_EQ(MapDumpColumns(names).problem, problem) << names;
}

TEST(ParseBoxBounds, OrthogonalAndTiltedBoxes) {
    DumpBox box;
    const std::string_view plain[3] = {"-1 4", "0 2", "10 13.5"};
    ASSERT_TRUE(ParseBoxBounds("ITEM: BOX BOUNDS pp pp pp", plain, box));
    EXPECT_EQ(std::vector<double>({box.lo[0], box.lo[1], box.lo[2], box.length[0], box.length[1], box.length[2]}),
              std::vector<double>({-1, 0, 10, 5, 2, 3.5}));
    // Box 0..10 x 0..5 x 0..4 with xy = 2, xz = -1, yz = 0.5: the bounding box is widened by the tilts.
    const std::string_view tilted[3] = {"-1 12 2", "0 5.5 -1", "0 4 0.5"};
    ASSERT_TRUE(ParseBoxBounds("ITEM: BOX BOUNDS xy xz yz pp pp pp", tilted, box));
    EXPECT_EQ(std::vector<double>({box.lo[0], box.lo[1], box.length[0], box.length[1], box.length[2], box.xy, box.xz,
                                   box.yz}),
              std::vector<double>({0, 0, 10, 5, 4, 2, -1, 0.5}));
    const std::string_view cut[3] = {"0 1", "0", "0 1"};
    EXPECT_FALSE(ParseBoxBounds("ITEM: BOX BOUNDS pp pp pp", cut, box));
}

TEST(CountWords, WholeAndCutLastWords) {
    EXPECT_EQ(CountWords(" 1 2\t3 "), 3);
    EXPECT_TRUE(LastWordWhole("1 1 0.5 -2e-3"));
    EXPECT_TRUE(LastWordWhole("1 1 0.5 C"));
    for (const char* cut : {"1 1 0.5 -", "1 1 0.5 2e", "1 1 0.5 2e-", "1 1 0.5 +", ""})
        EXPECT_FALSE(LastWordWhole(cut)) << cut;
}

// A frame of two atoms with the given box and atoms header.
std::string NamedFrame(int step, const std::string& box, const std::string& names, const std::string& atomLines) {
    return "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n2\n" + box + "ITEM: ATOMS " + names +
           "\n" + atomLines;
}

const std::string PLAIN_BOX = "ITEM: BOX BOUNDS pp pp pp\n0 10\n0 20\n0 40\n";

ConsoleRun OpenText(const std::string& text) {
    inname = WriteTempFile("named.dump", text);
    if (species == 0) species = 2;
    return RunCaptured([] { OpenQuatFile(); });
}

ConsoleRun ReadAt(int which) {
    frame = which;
    infile.clear();
    return RunCaptured([] { ReadQuatFrame(); });
}

std::vector<double> RowOf(int atom) {
    return std::vector<double>(geom.begin() + GEOM_STRIDE * atom, geom.begin() + GEOM_STRIDE * (atom + 1));
}

TEST_F(DumpColumnsTest, ColumnOrdersGiveTheSameRows) {
    // One scene written with columns in four orders; every one reads to the same geom rows.
    const std::string orders[][3] = {
        {"id type x y z quatw quati quatj quatk", "1 1 1 2 3 0.5 0.5 0.5 0.5\n", "2 2 4 5 6 0 0 0 1\n"},
        {"type id mass z y x quatk quatj quati quatw", "1 1 9 3 2 1 0.5 0.5 0.5 0.5\n", "2 2 9 6 5 4 1 0 0 0\n"},
        {"id mass type xu yu zu c_o[1] c_o[2] c_o[3] c_o[4] vx", "1 7 1 1 2 3 0.5 0.5 0.5 0.5 8\n",
         "2 7 2 4 5 6 0 0 0 1 8\n"},
        {"type xs ys zs c_orient[1] c_orient[2] c_orient[3] c_orient[4] id", "1 0.1 0.1 0.075 0.5 0.5 0.5 0.5 1\n",
         "2 0.4 0.25 0.15 0 0 0 1 2\n"},
    };
    for (const auto& order : orders) {
        ResetScene();
        ConsoleRun run = OpenText(NamedFrame(0, PLAIN_BOX, order[0], order[1] + order[2]) +
                                  NamedFrame(1, PLAIN_BOX, order[0], order[1] + order[2]));
        ASSERT_FALSE(run.exited) << order[0] << "\n" << run.output;
        EXPECT_EQ(counter.size(), 2u);
        ConsoleRun read = ReadAt(1);
        ASSERT_FALSE(read.exited) << read.output;
        EXPECT_EQ(RowOf(0), (std::vector<double>{1, 1, 1, 2, 3, 0.5, 0.5, 0.5, 0.5})) << order[0];
        EXPECT_EQ(RowOf(1), (std::vector<double>{2, 2, 4, 5, 6, 0, 0, 0, 1})) << order[0];
    }
}

TEST_F(DumpColumnsTest, TriclinicScaledPositionsUseEachFramesBox) {
    // Frame 0: the tilted box of ParseBoxBounds' test; frame 1: the same box moved by (1, 2, 3), untilted.
    const std::string tilted = "ITEM: BOX BOUNDS xy xz yz pp pp pp\n-1 12 2\n0 5.5 -1\n0 4 0.5\n";
    const std::string moved = "ITEM: BOX BOUNDS pp pp pp\n1 11\n2 7\n3 7\n";
    const std::string atomsText = "1 1 0.5 0.5 0.5 1 0 0 0\n2 2 1 0 0.25 1 0 0 0\n";
    ConsoleRun run = OpenText(NamedFrame(0, tilted, "id type xs ys zs quatw quati quatj quatk", atomsText) +
                              NamedFrame(1, moved, "id type xsu ysu zsu quatw quati quatj quatk", atomsText));
    ASSERT_FALSE(run.exited) << run.output;
    ReadAt(0);
    // x = xlo + xs lx + ys xy + zs xz, y = ylo + ys ly + zs yz, z = zlo + zs lz.
    EXPECT_EQ(RowOf(0), (std::vector<double>{1, 1, 5 + 1 - 0.5, 2.5 + 0.25, 2, 1, 0, 0, 0}));
    EXPECT_EQ(RowOf(1), (std::vector<double>{2, 2, 10 - 0.25, 0.125, 1, 1, 0, 0, 0}));
    ReadAt(1);
    EXPECT_EQ(RowOf(0), (std::vector<double>{1, 1, 6, 4.5, 5, 1, 0, 0, 0}));
    EXPECT_EQ(RowOf(1), (std::vector<double>{2, 2, 11, 2, 4, 1, 0, 0, 0}));

    ResetScene();
    OpenText(NamedFrame(0, "", "id type xs ys zs", atomsText));
    ConsoleRun read = ReadAt(0);
    EXPECT_TRUE(read.exited);
    EXPECT_NE(read.output.find("Frame 0 (step 0) of " + inname +
                               " has scaled positions (xs ys zs) but no line 'ITEM: BOX BOUNDS' to scale them with."),
              std::string::npos)
        << read.output;

    ResetScene();
    OpenText(NamedFrame(0, "ITEM: BOX BOUNDS abc origin pp pp pp\n10 0 0 0\n0 5 0 0\n0 0 4 0\n", "id type xs ys zs",
                        atomsText));
    read = ReadAt(0);
    EXPECT_TRUE(read.exited);
    EXPECT_NE(read.output.find("Frame 0 (step 0) of " + inname + " has a general triclinic box (ITEM: BOX BOUNDS abc origin "
                               "pp pp pp): its scaled positions cannot be read.\n"),
              std::string::npos)
        << read.output;
}

TEST_F(DumpColumnsTest, AHeaderThatChangesOrLacksAColumnIsExplained) {
    const std::string atomsText = "1 1 1 2 3 1 0 0 0\n2 2 4 5 6 1 0 0 0\n";
    const std::string first = "id type x y z quatw quati quatj quatk";
    // Other text that reads the same columns (extra blanks, unknown names after them, xu for x, no names) reads on.
    ConsoleRun run = OpenText(NamedFrame(0, PLAIN_BOX, first, atomsText) +
                              NamedFrame(1, PLAIN_BOX, "id  type xu yu zu quatw quati quatj quatk vx", atomsText) +
                              NamedFrame(2, PLAIN_BOX, "", atomsText));
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(counter.size(), 3u);

    ResetScene();
    run = OpenText(NamedFrame(0, PLAIN_BOX, first, atomsText) + NamedFrame(1, PLAIN_BOX, first, atomsText) +
                   NamedFrame(2, PLAIN_BOX, "id type z y x quatw quati quatj quatk", atomsText));
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile " + inname + " opened\nReading...\nThe atom columns change in frame 2 (step 2) of " + inname +
                              ".\nFrame 0: ITEM: ATOMS " + first +
                              "\nFrame 2 (step 2): ITEM: ATOMS id type z y x quatw quati quatj quatk\n"
                              "Please correct this and run program again.\nPress Enter to exit.");

    ResetScene();
    run = OpenText(NamedFrame(0, PLAIN_BOX, "id x y z quatw quati quatj quatk", atomsText));
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile " + inname + " opened\nReading...\nThe atom columns of " + inname +
                              " cannot be read from its first time step:\nITEM: ATOMS id x y z quatw quati quatj quatk\n"
                              "It names a position (x y z) but no column type.\n"
                              "Please correct this and run program again.\nPress Enter to exit.");
}

TEST_F(DumpColumnsTest, AFrameWithoutItsAtomsHeaderIsMalformed) {
    const std::string atomsText = "1 1 1 2 3 1 0 0 0\n2 2 4 5 6 1 0 0 0\n";
    std::string broken = NamedFrame(1, PLAIN_BOX, "id type x y z", atomsText);
    broken.replace(broken.find("ITEM: ATOMS"), 11, "ITEM:ATOMS");
    ConsoleRun run = OpenText(NamedFrame(0, PLAIN_BOX, "id type x y z", atomsText) + broken +
                              NamedFrame(2, PLAIN_BOX, "id type x y z", atomsText));
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("Frame 1 (step 1) of " + inname +
                              " has no line 'ITEM: ATOMS' before the next frame begins.\n"
                              "This line looks like one but is not: ITEM:ATOMS id type x y z\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("ends inside"), std::string::npos);
}

TEST_F(DumpColumnsTest, ShapesFillTheSpeciesWithoutHalfRadii) {
    ForgetHalfRadii();
    species = 3;
    shape = {0.7, 0.7, 0.7, 0, 0, 0, 0, 0, 0};
    NoteHalfRadii(1);
    const std::string text = "ITEM: NUMBER OF ATOMS\n4\nITEM: ATOMS id type x y z quatw quati quatj quatk shapex "
                             "shapey shapez\n1 1 0 0 0 1 0 0 0 3 1 1\n2 2 0 0 0 1 0 0 0 2.6 0.9 0.9\n"
                             "3 2 0 0 0 1 0 0 0 2 2 2\n4 1 0 0 0 1 0 0 0 4 4 4\n";
    ConsoleRun run = OpenText(text);
    ASSERT_FALSE(run.exited) << run.output;
    // Species 1 keeps its configured half radii, species 2 takes its first atom's, species 3 has no atom and
    // no size: it is drawn as a sphere that can be seen.
    EXPECT_EQ(shape, (std::vector<double>{0.7, 0.7, 0.7, 1.3, 0.45, 0.45, 0.5, 0.5, 0.5}));
    EXPECT_NE(run.output.find("Species 2 takes its half radii from the file: 1.3 0.45 0.45\n"
                              "Atoms of species 2 differ in shape in frame 0 (atom 3 has half radii 1 1 1); "
                              "the shape of its first atom, 1.3 0.45 0.45, is used.\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("species 1"), std::string::npos) << "configured species are not mentioned";
    EXPECT_EQ(run.output.find("Species 1"), std::string::npos);
    ASSERT_FALSE(ReadAt(0).exited);
    EXPECT_EQ(RowOf(3), (std::vector<double>{4, 1, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(DumpColumnsTest, EachFrameSetsTheBoxItGivesOrNone) {
    // Frame 0: a tilted box (its bounds lines hold the bounding box); 1: none; 2: the general triclinic form;
    // 3: bounds that cannot be read, which unscaled positions do not need.
    const std::string tilted = "ITEM: BOX BOUNDS xy xz yz pp pp pp\n-1 12 2\n0 5.5 -1\n0 4 0.5\n";
    const std::string general = "ITEM: BOX BOUNDS abc origin pp pp pp\n10 0 0 1\n1 5 0 2\n0 0.5 4 3\n";
    const std::string broken = "ITEM: BOX BOUNDS pp pp pp\n0 x\n0 1\n0 1\n";
    const std::string names = "id type x y z quatw quati quatj quatk";
    const std::string atomsText = "1 1 0.5 0.5 0.5 1 0 0 0\n2 2 1 0 0.25 1 0 0 0\n";
    ConsoleRun run = OpenText(NamedFrame(0, tilted, names, atomsText) + NamedFrame(1, "", names, atomsText) +
                              NamedFrame(2, general, names, atomsText) + NamedFrame(3, broken, names, atomsText));
    ASSERT_FALSE(run.exited) << run.output;
    ASSERT_FALSE(ReadAt(0).exited);
    ASSERT_TRUE(frameBox.exists);
    // The corners of the tilted box: (xlo, ylo, zlo) + i a + j b + k c must span x from -1 to 12 and y from 0
    // to 5.5, the bounding box the file gives.
    double lowX = 1e9, highX = -1e9, lowY = 1e9, highY = -1e9;
    for (int k = 0; k < 8; ++k) {
        double x = frameBox.origin[0], y = frameBox.origin[1];
        for (int e = 0; e < 3; ++e)
            if (k & (1 << e)) x += frameBox.edges[e][0], y += frameBox.edges[e][1];
        lowX = std::min(lowX, x), highX = std::max(highX, x), lowY = std::min(lowY, y), highY = std::max(highY, y);
    }
    EXPECT_DOUBLE_EQ(lowX, -1);
    EXPECT_DOUBLE_EQ(highX, 12);
    EXPECT_DOUBLE_EQ(lowY, 0);
    EXPECT_DOUBLE_EQ(highY, 5.5);
    EXPECT_EQ(std::vector<double>(frameBox.edges[1], frameBox.edges[1] + 3), (std::vector<double>{2, 5, 0}));
    EXPECT_EQ(std::vector<double>(frameBox.edges[2], frameBox.edges[2] + 3), (std::vector<double>{-1, 0.5, 4}));

    ASSERT_FALSE(ReadAt(1).exited);
    EXPECT_FALSE(frameBox.exists);
    ASSERT_FALSE(ReadAt(2).exited);
    ASSERT_TRUE(frameBox.exists);
    EXPECT_EQ(std::vector<double>(frameBox.origin, frameBox.origin + 3), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(std::vector<double>(frameBox.edges[2], frameBox.edges[2] + 3), (std::vector<double>{0, 0.5, 4}));
    ConsoleRun last = ReadAt(3);
    EXPECT_FALSE(last.exited) << last.output;
    EXPECT_FALSE(frameBox.exists);
    EXPECT_EQ(RowOf(1), (std::vector<double>{2, 2, 1, 0, 0.25, 1, 0, 0, 0}));
}

}  // namespace
