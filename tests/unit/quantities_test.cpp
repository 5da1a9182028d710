// Per-particle quantities: the columns that become quantities, their ranges and colours, the lines that say
// where orientation and shape come from, unwrapping by image flags, and files that are not what they seem.
#include <zlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/order.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "core/unwrap.h"
#include "io/config/bond_reader.h"
#include "io/config/config_reader.h"
#include "io/dump/dump_columns.h"
#include "io/dump/dump_reader.h"
#include "io/dump/file_shapes.h"
#include "io/trajectory.h"
#include "io/whole_run.h"
#include "tests/support/test_support.h"

namespace {

using Quantities = SceneTest;

const std::string BOX = "ITEM: BOX BOUNDS pp pp pp\n0 10\n0 20\n0 40\n";

std::string Frame(int step, const std::string& box, const std::string& names, const std::string& atomLines, int count) {
    return "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(count) + "\n" + box +
           "ITEM: ATOMS " + names + "\n" + atomLines;
}

// Opens the dump through the one trajectory path and reads frame `which`.
ConsoleRun Load(const std::string& text, int which = 0) {
    inname = WriteTempFile("quantities.dump", text);
    quat = true;
    if (species == 0) species = 2;
    if (shape.empty()) shape.assign(static_cast<std::size_t>(species) * 3, 1.0);
    frame = which;
    return RunCaptured([] {
        OpenFile();
        ReadFrame();
    });
}

// The lines the opening printed after the frame summary.
std::string NotesOf(const ConsoleRun& run) {
    const std::string summary = "Number of time steps: ";
    std::size_t at = run.output.find(summary);
    if (at == std::string::npos) return run.output;
    return run.output.substr(run.output.find('\n', at) + 1);
}

std::vector<double> Quaternion(int atom) {
    return std::vector<double>(geom.begin() + GEOM_STRIDE * atom + GEOM_QW, geom.begin() + GEOM_STRIDE * atom + GEOM_QW + 4);
}

TEST_F(Quantities, EveryOtherNumericColumnIsAQuantityReadEachFrame) {
    const std::string names = "id type mass x y z c_q[1] c_q[2] c_q[3] c_q[4] element vx c_pe";
    const std::string text = Frame(0, BOX, names, "1 1 2.5 1 2 3 1 0 0 0 C 0.5 -4.12\n2 2 1 4 5 6 1 0 0 0 O x 0.87\n", 2) +
                             Frame(1, BOX, names, "1 1 2.5 1 2 3 1 0 0 0 C 7 -1\n2 2 1 4 5 6 1 0 0 0 O 8 -2\n", 2);
    ConsoleRun run = Load(text);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(quantityNames, (std::vector<std::string>{"mass", "vx", "c_pe"}));
    ASSERT_EQ(quantities.size(), 6u);
    EXPECT_EQ(std::vector<double>(quantities.begin(), quantities.begin() + 3), (std::vector<double>{2.5, 0.5, -4.12}));
    EXPECT_EQ(quantities[3], 1);
    EXPECT_TRUE(std::isnan(quantities[4]));  // "x" is no number
    EXPECT_EQ(quantities[5], 0.87);
    EXPECT_EQ(geom[GEOM_X + GEOM_STRIDE], 4);
    frame = 1;
    RunCaptured([] { ReadFrame(); });
    EXPECT_EQ(std::vector<double>(quantities.begin() + 3, quantities.end()), (std::vector<double>{1, 8, -2}));
}

TEST_F(Quantities, PdbParticlesHaveOccupancyAndBFactor) {
    // Columns 55-60 and 61-66; the second record ends before its B-factor.
    const std::string text =
        "CRYST1   50.000   50.000   50.000  90.00  90.00  90.00 P 1           1\n"
        "ATOM      1  CA  LEU A   1       1.000   2.000   3.000  0.50 17.25           C  \n"
        "ANISOU    1  CA  LEU A   1     2000   1500   1000    100    -50     20       C  \n"
        "ATOM      2  NA  LEU A   1       4.000   5.000   6.000  1.00\n"
        "ANISOU    2  NA  LEU A   1      900    900    900      0      0      0       N  \n";
    inname = WriteTempFile("two.pdb", text);
    quat = false;
    frame = 0;
    ConsoleRun run = RunCaptured([] {
        OpenFile();
        ReadFrame();
    });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(quantityNames, (std::vector<std::string>{"occupancy", "B-factor"}));
    ASSERT_EQ(quantities.size(), 4u);
    EXPECT_EQ(quantities[0], 0.5);
    EXPECT_EQ(quantities[1], 17.25);
    EXPECT_EQ(quantities[2], 1.0);
    EXPECT_TRUE(std::isnan(quantities[3]));
    EXPECT_EQ(ChooseQuantity(1), "Colouring by B-factor (17.25 to 17.25).\nB-factor is 17.25 for every atom of frame 0: "
                                 "every atom takes one colour.");
}

TEST_F(Quantities, ChoosingCyclingRangesAndColours) {
    const std::string names = "id type x y z quatw quati quatj quatk c_pe flat gone";
    const std::string text = Frame(0, BOX, names,
                                   "1 1 0 0 0 1 0 0 0 -4.12 3 nan\n2 1 0 0 0 1 0 0 0 0.87 3 nan\n"
                                   "3 2 0 0 0 1 0 0 0 -1 3 nan\n", 3) +
                             Frame(1, BOX, names, "1 1 0 0 0 1 0 0 0 -9 3 nan\n2 1 0 0 0 1 0 0 0 9 3 nan\n"
                                                  "3 2 0 0 0 1 0 0 0 0 3 nan\n", 3);
    ASSERT_FALSE(Load(text).exited);
    colourByOrientation = true;
    // C goes species -> each quantity in file order -> species, and takes over from orientation colours.
    EXPECT_EQ(CycleQuantity(), "Colouring by c_pe (-4.12 to 0.87).");
    EXPECT_FALSE(colourByOrientation);
    EXPECT_EQ(CycleQuantity(), "Colouring by flat (3 to 3).\nflat is 3 for every atom of frame 0: every atom takes one colour.");
    EXPECT_EQ(CycleQuantity(), "Colouring by gone (0 to 0).\ngone has no finite value in frame 0: every atom is drawn grey.");
    float rgb[3];
    ASSERT_TRUE(QuantityColour(0, rgb));
    EXPECT_EQ(std::vector<float>(rgb, rgb + 3), (std::vector<float>{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(CycleQuantity(), "Colouring by species.");
    EXPECT_FALSE(QuantityColour(0, rgb));

    // The range is the frame's when chosen, and stays while frames change: frame 1 lies beyond both ends.
    EXPECT_EQ(ChooseQuantity(0), "Colouring by c_pe (-4.12 to 0.87).");
    frame = 1;
    RunCaptured([] { ReadFrame(); });
    float low[3], high[3], middle[3], expected[3];
    ASSERT_TRUE(QuantityColour(0, low));
    ASSERT_TRUE(QuantityColour(1, high));
    ASSERT_TRUE(QuantityColour(2, middle));
    Viridis(0, expected);
    EXPECT_EQ(std::vector<float>(low, low + 3), std::vector<float>(expected, expected + 3));
    Viridis(1, expected);
    EXPECT_EQ(std::vector<float>(high, high + 3), std::vector<float>(expected, expected + 3));
    Viridis((0 + 4.12) / (0.87 + 4.12), expected);
    EXPECT_EQ(std::vector<float>(middle, middle + 3), std::vector<float>(expected, expected + 3));

    // colour_by with a range keeps it; a name the file lacks says what it has.
    colourByName = "c_pe";
    colourByFixed = true;
    colourByLow = -10;
    colourByHigh = 10;
    EXPECT_EQ(ApplyColourBy(), "Colouring by c_pe (-10 to 10).");
    colourByName = "vx";
    EXPECT_EQ(ApplyColourBy(), "No quantity vx in " + inname + " (it gives c_pe flat gone): colouring by species.");
    EXPECT_EQ(colourQuantity, SPECIES_COLOURS);
    EXPECT_EQ(RangeText(1000.25, 1000.5), "1000.2 to 1000.5");  // digits enough to tell the ends apart
}

TEST_F(Quantities, ColourByKeywordAndItsMistakes) {
    const std::string head = "dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 0 0\nbond_vector 1 1 0 0 0\n"
                             "background 1 1 1\n";
    RunCaptured([&] { ReadConfig(WriteTempFile("c.cfg", head + "colour_by c_pe -5 1\nunwrap\n")); });
    EXPECT_EQ(colourByName, "c_pe");
    EXPECT_TRUE(colourByFixed);
    EXPECT_EQ(colourByLow, -5);
    EXPECT_EQ(colourByHigh, 1);
    EXPECT_TRUE(unwrap);
    RunCaptured([&] { ReadConfig(WriteTempFile("c.cfg", head + "color_by vx all\nfixed_centre\n")); });
    EXPECT_TRUE(colourByName == "vx" && colourByWholeRun && !colourByFixed && fixedCentre);
    RunCaptured([&] { ReadConfig(WriteTempFile("c.cfg", head)); });
    EXPECT_EQ(colourByName, "");
    EXPECT_FALSE(unwrap || colourByWholeRun || fixedCentre);
    for (const char* bad : {"colour_by", "colour_by c_pe 1", "colour_by c_pe 1 -1", "colour_by c_pe 1 2 3",
                            "colour_by c_pe all 1", "colour_by c_pe alls"}) {
        ConsoleRun run = RunCaptured([&] { ReadConfig(WriteTempFile("c.cfg", head + bad + "\n")); });
        EXPECT_TRUE(run.exited) << bad;
        EXPECT_NE(run.output.find("Illegal entry '" + std::string(bad) + "'.\ncolour_by takes the name"), std::string::npos)
            << run.output;
    }
}

// Both read other frames through the frame reader and must leave the frame shown as it was.
TEST_F(Quantities, WholeRunRangeAndFixedCentreShowTheFrameTheyWereOn) {
    const std::string names = "id type x y z c_pe";
    ASSERT_FALSE(Load(Frame(0, BOX, names, "1 1 1 1 1 -1\n", 1) + Frame(1, "", names, "1 1 9 9 9 0.5\n", 1) +
                      Frame(2, "", names, "1 1 0 0 0 3\n", 1), 1).exited);
    colourByName = "c_pe";
    colourByWholeRun = true;
    EXPECT_EQ(RunCaptured([] { TakeRunRange(); }).output, "Reading c_pe in all 3 frames for its range.\n");
    EXPECT_EQ(std::vector<double>({colourByLow, colourByHigh}), std::vector<double>({-1, 3}));
    fixedCentre = true;
    EXPECT_TRUE(TakeFixedCentre());
    EXPECT_EQ(FrameCentre(), (std::vector<double>{5, 10, 20}));  // frame 0's box 0-10, 0-20, 0-40, not its atom
    EXPECT_EQ(frame, 1);
    EXPECT_EQ(std::vector<double>({geom[GEOM_X], quantities[0]}), std::vector<double>({9, 0.5}));
}

TEST_F(Quantities, EveryGuessAboutOrientationAndShapeIsSaid) {
    struct Case {
        std::string names, line, notes;
        std::vector<double> quaternion;  // of atom 1 as read
    };
    const std::string unturned = "The atom columns name no orientation (quatw quati quatj quatk, or a compute's "
                                 "c_ID[1..4]): the particles are drawn unturned.\n";
    const Case cases[] = {
        {"id type x y z vx vy vz fx", "1 1 0 0 0 0.5 0.5 0.5 0.5", unturned, {1, 0, 0, 0}},
        {"id type x y z", "1 1 0 0 0 0.5 0.5 0.5 0.5", "Orientation from the four columns after z, which the header does not name.\n",
         {0.5, 0.5, 0.5, 0.5}},
        {"id type x y z c_a[1] c_a[2] c_a[3] c_a[4] c_b[1] c_b[2] c_b[3] c_b[4]", "1 1 0 0 0 0 1 0 0 0 0 1 0",
         "The four-column computes c_a[1..4] and c_b[1..4] could each be the orientation; none is used: the particles "
         "are drawn unturned.\n", {1, 0, 0, 0}},
        {"id type x y z c_a[1] c_a[2] c_a[3] c_a[4] c_quat[1] c_quat[2] c_quat[3] c_quat[4]", "1 1 0 0 0 0 1 0 0 0 0 1 0",
         "Orientation from the columns c_quat[1] c_quat[2] c_quat[3] c_quat[4] (the only four-column compute named like a "
         "quaternion).\n", {0, 0, 1, 0}},
        {"id type x y z quatw quati quatj quatk c_om[1] c_om[2] c_om[3] c_shp[1] c_shp[2] c_shp[3]",
         "1 1 0 0 0 1 0 0 0 5 5 5 2 2 2", "The three-column computes c_om[1..3] and c_shp[1..3] could each be the shape; none is used.\n",
         {1, 0, 0, 0}},
        {"id type x y z quatw quati quatj quatk c_shp[1] c_shp[2] c_shp[3]", "1 1 0 0 0 1 0 0 0 2 2 2",
         "Shape from the columns c_shp[1] c_shp[2] c_shp[3].\n", {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        ResetScene();
        ConsoleRun run = Load(Frame(0, BOX, c.names, c.line + "\n", 1));
        ASSERT_FALSE(run.exited) << run.output;
        EXPECT_EQ(NotesOf(run).substr(0, c.notes.size()), c.notes);
        EXPECT_EQ(Quaternion(0), c.quaternion);
    }
}

TEST_F(Quantities, PointParticlesBecomeVisibleSpheresUnlessConfigured) {
    const std::string names = "id type x y z quatw quati quatj quatk shapex shapey shapez";
    const std::string text = Frame(0, BOX, names, "1 1 0 0 0 0 0 0 0 0 0 0\n2 2 1 1 1 0 0 0 0 0 0 0\n", 2);
    ForgetHalfRadii();
    species = 2;
    shape = {0, 0, 0, 0, 0, 0};
    ConsoleRun run = Load(text);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(shape, (std::vector<double>{0.5, 0.5, 0.5, 0.5, 0.5, 0.5}));
    EXPECT_NE(run.output.find("Species 1 2 have no size (half radii 0 0 0: point particles) and are drawn as spheres "
                              "of radius 0.5.\n"),
              std::string::npos)
        << run.output;
    // Half radii the configuration gives are kept, even 0.
    ResetScene();
    ForgetHalfRadii();
    NoteHalfRadii(2);
    species = 2;
    shape = {0, 0, 0, 0, 0, 0};
    run = Load(text);
    EXPECT_EQ(shape, (std::vector<double>{0.5, 0.5, 0.5, 0, 0, 0}));
    EXPECT_NE(run.output.find("Species 1 has no size (half radii 0 0 0: point particles) and is drawn as spheres of "
                              "radius 0.5.\n"),
              std::string::npos)
        << run.output;
}

// Wraps a position into the box as a simulation does, by its fractional coordinates; returns the image flags.
void Wrap(const SimulationBox& box, const double* unwrapped, double* wrapped, int* image) {
    // Solve unwrapped - origin = f0 a + f1 b + f2 c for the upper-triangular edge matrix, from z up.
    double d[3];
    for (int k = 0; k < 3; ++k) d[k] = unwrapped[k] - box.origin[k];
    double f[3];
    f[2] = d[2] / box.edges[2][2];
    f[1] = (d[1] - f[2] * box.edges[2][1]) / box.edges[1][1];
    f[0] = (d[0] - f[1] * box.edges[1][0] - f[2] * box.edges[2][0]) / box.edges[0][0];
    for (int k = 0; k < 3; ++k) {
        image[k] = static_cast<int>(std::floor(f[k]));
        f[k] -= image[k];
    }
    for (int k = 0; k < 3; ++k)
        wrapped[k] = box.origin[k] + f[0] * box.edges[0][k] + f[1] * box.edges[1][k] + f[2] * box.edges[2][k];
}

TEST_F(Quantities, UnwrappingRestoresThePathInOrthogonalAndTiltedBoxes) {
    // Tilted: bounds written as LAMMPS writes them, the bounding box of the tilted cell.
    struct BoxCase {
        std::string header;
        SimulationBox box;
    };
    const BoxCase boxes[] = {
        {"ITEM: BOX BOUNDS pp pp pp\n-5 5\n0 20\n1 41\n", {true, {-5, 0, 1}, {{10, 0, 0}, {0, 20, 0}, {0, 0, 40}}}},
        // lo = (0, 0, 0), lengths 10 20 40, xy = 2, xz = -3, yz = 4: x bounds 0 + min(0, 2, -3, -1) = -3 to 10 + 2.
        {"ITEM: BOX BOUNDS xy xz yz pp pp pp\n-3 12 2\n0 24 -3\n0 40 4\n", {true, {0, 0, 0}, {{10, 0, 0}, {2, 20, 0}, {-3, 4, 40}}}},
    };
    const double paths[3][3] = {{1, 2, 3}, {-27.5, 61, -90}, {33, -18, 150}};
    for (const BoxCase& b : boxes) {
        SCOPED_TRACE(b.header);
        ResetScene();
        std::string lines;
        for (int i = 0; i < 3; ++i) {
            double wrapped[3];
            int image[3];
            Wrap(b.box, paths[i], wrapped, image);
            char line[256];
            std::snprintf(line, sizeof line, "%d 1 %.17g %.17g %.17g %d %d %d\n", i + 1, wrapped[0], wrapped[1], wrapped[2],
                          image[0], image[1], image[2]);
            lines += line;
        }
        unwrap = true;
        ConsoleRun run = Load(Frame(0, b.header, "id type x y z ix iy iz", lines, 3));
        ASSERT_FALSE(run.exited) << run.output;
        EXPECT_NE(run.output.find("Positions are unwrapped with the image flags ix iy iz and the box of each frame.\n"),
                  std::string::npos);
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(geom[GEOM_STRIDE * i + GEOM_X + k], paths[i][k], 1e-9) << i << " " << k;
        for (int e = 0; e < 3; ++e)
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(frameBox.edges[e][k], b.box.edges[e][k], 1e-12);
    }
}

TEST_F(Quantities, UnwrapSaysWhenItCannot) {
    unwrap = true;
    ConsoleRun run = Load(Frame(0, BOX, "id type x y z", "1 1 1 2 3 1 0 0 0\n", 1));
    EXPECT_NE(run.output.find("Nothing can be unwrapped: " + inname + " has no image flags ix iy iz.\n"), std::string::npos)
        << run.output;
    ResetScene();
    unwrap = true;
    run = Load(Frame(0, BOX, "id type xu yu zu ix iy iz", "1 1 1 2 3 1 1 1\n", 1));
    EXPECT_NE(run.output.find("are unwrapped already; its image flags are not added again.\n"), std::string::npos);
    EXPECT_EQ(std::vector<double>(geom.begin() + GEOM_X, geom.begin() + GEOM_X + 3), (std::vector<double>{1, 2, 3}));
}

TEST_F(Quantities, FoldersAndBinaryFilesAreNamedNotRead) {
    const std::string folder = TempDir();
    inname = folder;
    ConsoleRun run = RunCaptured([] { OpenQuatFile(); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Error. Dump file " + folder + " not found.\nPlease enter the correct name of the dump file in the "
                          "input file. \nPress Enter to exit.");
    run = RunCaptured([&] { ReadConfig(folder); }, "\n");
    EXPECT_NE(run.output.find("The file " + folder + " could not be found."), std::string::npos) << run.output;
    atoms = 1;
    run = RunCaptured([&] { ReadBonds(folder); });
    EXPECT_EQ(run.output.find("No file with bond information found."), 0u) << run.output;

    std::string garbage = "ITEM: \x01\x02";
    for (int k = 0; k < 600; ++k) garbage += static_cast<char>((k * 37 + 11) % 256);
    inname = WriteTempFile("garbage.dump", garbage);
    run = RunCaptured([] { OpenQuatFile(); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile " + inname + " opened\nReading...\nThe file " + inname +
                              " holds binary data: it is neither text the viewer reads nor a GSD file.\nPress Enter to exit.");
    run = RunCaptured([&] { ReadConfig(inname); });
    EXPECT_EQ(run.output, "The file " + inname + " holds binary data: it is neither text the viewer reads nor a GSD file.\n"
                          "Press Enter to exit.");
}

std::string GzipText(const std::string& text) {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, text.size()) + 64, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    s.avail_in = static_cast<uInt>(text.size());
    s.next_out = reinterpret_cast<Bytef*>(&out[0]);
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

TEST_F(Quantities, DamagedCompressedFileIsToldBeforeAFrameComplaint) {
    std::string text;
    for (int step = 0; step < 8; ++step)
        text += Frame(step, BOX, "id type x y z quatw quati quatj quatk", "1 1 0 0 0 1 0 0 0\n2 1 1 1 1 1 0 0 0\n", 2);
    text += Frame(8, BOX, "id type x y z quatw quati quatj quatk", "1 1 0 0 0 1 0 0 0\n", 1);
    std::string bytes = GzipText(text);
    bytes[bytes.size() - 6] = static_cast<char>(bytes[bytes.size() - 6] ^ 0x5a);  // the CRC-32 of the trailer
    inname = WriteTempFile("damaged.dump.gz", bytes);
    species = 1;
    ConsoleRun run = RunCaptured([] { OpenQuatFile(); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile " + inname + " opened\nReading...\nThe compressed file " + inname +
                              " is damaged (incorrect data check): its text stops after byte " + std::to_string(text.size()) +
                              "; the time steps before that byte are read.\nIncorrect number of atoms in time step 9.\n"
                              "Number of atoms read: 1\nPlease correct this and run program again.\nPress Enter to exit.");
}

TEST(UnwrapPositions, NeedsAllThreeWholeFlagsAndABox) {
    std::vector<double> positions = {1, 1, 1, 2, 3, 1, 0, 0, 0, 2, 1, 1, 2, 3, 1, 0, 0, 0};
    const std::vector<std::string> names = {"ix", "iy", "iz"};
    const std::vector<double> flags = {1, 0, 0, 0.5, 0, 0};
    SimulationBox box = {true, {0, 0, 0}, {{10, 0, 0}, {0, 10, 0}, {0, 0, 10}}};
    EXPECT_EQ(UnwrapPositions(positions, flags, names, box), 1);
    EXPECT_EQ(positions[GEOM_X], 11);
    EXPECT_EQ(positions[GEOM_STRIDE + GEOM_X], 1);  // half an image is no image
    box.exists = false;
    EXPECT_EQ(UnwrapPositions(positions, flags, names, box), 0);
    box.exists = true;
    EXPECT_EQ(UnwrapPositions(positions, {1, 0, 1, 0}, {"ix", "iy"}, box), 0);
}

}  // namespace
