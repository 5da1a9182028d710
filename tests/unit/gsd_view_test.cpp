// GSD trajectories through the viewer's own load path: the made configuration, the frames in geom, the box,
// the quantities and the bonds, a configuration naming a GSD file, and damaged files.
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/quantity_colour.h"
#include "core/scene.h"
#include "io/config/config_reader.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

using GsdView = SceneTest;

// Written by tests/unit/gsd_view/make_view_files.py; its docstring gives the formulas checked here.
std::string Growing() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd_view/growing.gsd"; }
const int COUNTS[3] = {4, 7, 2};

ConsoleRun Load(const std::string& name) {
    return RunCaptured([name] { LoadScene(name); });
}

ConsoleRun ReadAt(int which) {
    frame = which;
    return RunCaptured([] { ReadFrame(); });
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Frame f as the writer was given it, in single precision as the file stores it.
void ExpectFrame(int f) {
    const int n = COUNTS[f];
    ASSERT_EQ(atoms, n);
    ASSERT_EQ(geom.size(), static_cast<std::size_t>(n) * GEOM_STRIDE);
    for (int i = 0; i < n; ++i) {
        const double* row = &geom[static_cast<std::size_t>(i) * GEOM_STRIDE];
        const double angle = 0.05 * (i + 1);
        const double expected[GEOM_STRIDE] = {double(i + 1), double(i % 2 + 1), f + 0.5 * i, -double(i), 0.25 * f,
                                              std::cos(angle), 0, 0, std::sin(angle)};
        for (int k = 0; k < GEOM_STRIDE; ++k)
            EXPECT_NEAR(row[k], expected[k], 1e-6) << "frame " << f << " atom " << i << " column " << k;
    }
    // Box (10 + f, 12, 14) with tilts 0.5, 0.25, -0.125, centred on the origin.
    const double lx = 10 + f, ly = 12, lz = 14;
    const double a[3] = {lx, 0, 0}, b[3] = {0.5 * ly, ly, 0}, c[3] = {0.25 * lz, -0.125 * lz, lz};
    ASSERT_TRUE(frameBox.exists);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(frameBox.edges[0][k], a[k], 1e-6);
        EXPECT_NEAR(frameBox.edges[1][k], b[k], 1e-6);
        EXPECT_NEAR(frameBox.edges[2][k], c[k], 1e-6);
        EXPECT_NEAR(frameBox.origin[k] + (a[k] + b[k] + c[k]) / 2, 0.0, 1e-6) << "the box is centred on 0";
    }
    // Velocity (i, f, -i) and the two-column log quantity (i, 10 f), one row per atom.
    ASSERT_EQ(quantityNames, (std::vector<std::string>{"vx", "vy", "vz", "tag[1]", "tag[2]"}));
    ASSERT_EQ(quantities.size(), static_cast<std::size_t>(n) * 5);
    for (int i = 0; i < n; ++i) {
        const double expected[5] = {double(i), double(f), -double(i), double(i), 10.0 * f};
        for (int k = 0; k < 5; ++k) EXPECT_EQ(quantities[static_cast<std::size_t>(i) * 5 + k], expected[k]);
    }
}

// Bond ends join the particle centres: both origins name a block of zero vectors.
void ExpectBonds(const std::vector<std::pair<int, int>>& pairs) {
    ASSERT_EQ(BondCount(), static_cast<int>(pairs.size()));
    for (int j = 0; j < BondCount(); ++j) {
        const int* row = &topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE];
        EXPECT_EQ(row[0], pairs[j].first + 1);
        EXPECT_EQ(row[1], pairs[j].second + 1);
        ASSERT_EQ(row[2], row[3]);
        for (int s = 0; s < species * 3; ++s)
            EXPECT_EQ(entry(bondvec, 3LL * species * (row[2] - 1) + s, "bondvec"), 0.0);
        EXPECT_TRUE(BondInFrame(j));
    }
}

TEST_F(GsdView, OpenedAloneEveryFrameFollowsItsOwnCount) {
    ConsoleRun run = Load(Growing());
    ASSERT_FALSE(run.exited) << run.output;
    // The made configuration: each type a species named in a comment, shapes from the type shapes.
    const std::string made = "gsdfile " + Growing() + "\nspecies 3\n# species 1: type Rod\nhalf_radii 1 1.5 0.5 0.25\n"
                             "# species 2: type Ball\nhalf_radii 2 1.5 1.5 1.5\n# species 3: type Odd\n"
                             "half_radii 3 0.5 0.5 0.5\n";
    EXPECT_TRUE(Contains(run.output, made)) << run.output;
    EXPECT_TRUE(Contains(run.output, "background 1 1 1\nfit_view\n")) << run.output;  // saved, it opens fitted too
    EXPECT_TRUE(Contains(run.output, "Type Odd (species 3) has the shape ConvexPolyhedron, which is no ellipsoid: it is "
                                     "drawn as a sphere of its particles' diameter, 1.\n"));
    EXPECT_TRUE(Contains(run.output, "Number of atoms:      2 to 7 (changes between frames)\n"
                                     "Number of time steps: 3 (0 - 2)\nSpecies:              1 = Rod, 2 = Ball, 3 = Odd\n"))
        << run.output;
    EXPECT_TRUE(gsd);
    EXPECT_FALSE(quat);
    EXPECT_EQ(frameAtoms, (std::vector<int>{4, 7, 2}));
    EXPECT_EQ(mostAtoms, 7);
    ExpectFrame(0);
    ExpectBonds({{0, 1}, {2, 3}});
    const double* table = geom.data();
    // Any order, any number of times; the table of the largest frame is never moved.
    for (int f : {2, 1, 0, 1, 2}) {
        ConsoleRun read = ReadAt(f);
        ASSERT_FALSE(read.exited) << read.output;
        EXPECT_EQ(read.output, "");
        ExpectFrame(f);
        EXPECT_EQ(geom.data(), table);
    }
    ReadAt(1);
    ExpectBonds({{5, 6}});
    ReadAt(2);
    ExpectBonds({});
    EXPECT_NO_FATAL_FAILURE(RunCaptured([] { CloseFile(); }));
}

TEST_F(GsdView, ConfigurationNamesTheFileAndOverridesShapes) {
    // Species 1 gets configured half radii, the others take the file's; no bond vectors are needed.
    std::string config = WriteTempFile("gsd.cfg", "gsdfile " + Growing() + "\nspecies 3\nhalf_radii 1 2 2 2\n"
                                                  "color 1 1 0 0\ncolor 2 0 1 0\ncolor 3 0 0 1\nbackground 0 0 0\n");
    ConsoleRun run = Load(config);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "GSD File: " + Growing() + "\n"));
    EXPECT_TRUE(Contains(run.output, "Species 2 takes its half radii from the file: 1.5 1.5 1.5\n"));
    EXPECT_FALSE(Contains(run.output, "Species 1 takes"));
    EXPECT_EQ(shape, (std::vector<double>{2, 2, 2, 1.5, 1.5, 1.5, 0.5, 0.5, 0.5}));
    ExpectFrame(0);

    // Too few species for the file's types: the frame reader's type check.
    std::string fewer = WriteTempFile("few.cfg", "gsdfile " + Growing() + "\nspecies 1\nhalf_radii 1 1 1 1\n"
                                                 "color 1 1 0 0\nbackground 0 0 0\n");
    run = Load(fewer);
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "Illegal entry for atom no 2 in frame 0 (step 0):\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Type read: 2. Only 1 specified in input.\n"));

    // A second trajectory keyword names the first.
    run = Load(WriteTempFile("two.cfg", "gsdfile a.gsd\ndumpfile b.dump\n"));
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "GSD file already set. Which one do you want?\n"));
}

// A copy of growing.gsd with `bytes` changed at `offset`, or cut to `cut` bytes when cut >= 0.
std::string Damaged(const std::string& name, long cut, long offset = -1, const std::string& bytes = "") {
    std::string data = FileBytes(Growing());
    if (cut >= 0) data.resize(static_cast<std::size_t>(cut));
    if (offset >= 0) data.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
    return WriteTempFile(name, data);
}

TEST_F(GsdView, DamagedFilesGiveOneLineAndTheFatalPath) {
    std::string farNames(8, '\0');
    farNames[3] = 0x10;  // name list at 0x10000000, far past the end
    const std::string files[] = {
        Damaged("header.gsd", 100),
        Damaged("names.gsd", -1, 24, farNames),
        Damaged("schema.gsd", -1, 112, std::string("\xFF\x01hoomd\0", 8)),
        std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd/n_mismatch.gsd",
    };
    for (const std::string& name : files) {
        ConsoleRun run = Load(name);
        EXPECT_TRUE(run.exited) << name;
        // The made configuration may precede it; the error is one line naming the file, then the request.
        const std::string tail = "Please correct this and run program again.\nPress Enter to exit.";
        ASSERT_TRUE(Contains(run.output, tail)) << run.output;
        std::string before = run.output.substr(0, run.output.find(tail));
        before.pop_back();
        std::string last = before.substr(before.rfind('\n') + 1);
        EXPECT_TRUE(Contains(last, name)) << last;
        for (char c : run.output)  // bytes of a damaged header are written out, never sent to the console
            EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << name << ": byte " << int(static_cast<unsigned char>(c));
    }
    EXPECT_TRUE(Contains(Load(files[2]).output, "schema \"\\xFF\\x01hoomd\", not hoomd.\n"));
}

std::string GsdFixture(const std::string& name) { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd/" + name; }

// A cut file shows the frames before the cut and says once where it ends: inside a frame, or inside an index
// that had outgrown its first block.
TEST_F(GsdView, CutFilesShowTheirWholeFramesAndSayWhereTheyEnd) {
    const std::string frames = FileBytes(GsdFixture("frames.gsd"));
    const std::string lastByteLost = WriteTempFile("last.gsd", frames.substr(0, frames.size() - 1));
    ConsoleRun run = Load(lastByteLost);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "Infile " + lastByteLost + " opened\nFrame 3 (step 4000) and later are cut off (the "
                                     "file ends inside it, at byte " + std::to_string(frames.size() - 1) +
                                     ") and are left out.\nNumber of atoms:      3 to 5 (changes between frames)\n"
                                     "Number of time steps: 3 (0 - 2)\n")) << run.output;
    EXPECT_FALSE(ReadAt(2).exited);

    const std::string grown = FileBytes(GsdFixture("grown_version1.gsd"));
    const std::string half = WriteTempFile("half.gsd", grown.substr(0, grown.size() / 2));
    frame = 0;  // as a reload starts
    run = Load(half);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "Frame 1 (step 60) and later are cut off (the file ends inside it, at byte " +
                                     std::to_string(grown.size() / 2) + ") and are left out.\nNumber of atoms:      8\n"
                                     "Number of time steps: 1 (0 - 0)\n")) << run.output;
    EXPECT_EQ(atoms, 8);

    std::string farIndex(8, '\0');
    farIndex[3] = 0x10;  // index location 0x10000000: only the first index block is left
    const std::string lost = Damaged("index.gsd", -1, 8, farIndex);
    frame = 0;
    run = Load(lost);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "The file " + lost + " is cut off inside its index, at byte " +
                                     std::to_string(FileBytes(Growing()).size()) +
                                     ": frames after frame 1 (step 100) are left out.\nNumber of atoms:      4 to 7 "
                                     "(changes between frames)\nNumber of time steps: 2 (0 - 1)\n")) << run.output;
    EXPECT_FALSE(ReadAt(1).exited);
    ExpectFrame(1);
}

// bonds_frame0.gsd: 5, 3, 5 particles, bonds 0-1 and 3-4 in frame 0 alone. Frame 1 takes them and leaves out
// the one to particles it lacks, with one line the first time.
TEST_F(GsdView, BondsTakenFromFrameZeroLeaveOutMissingParticles) {
    ConsoleRun run = Load(GsdFixture("bonds_frame0.gsd"));
    ASSERT_FALSE(run.exited) << run.output;
    ExpectBonds({{0, 1}, {3, 4}});
    run = ReadAt(1);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(run.output, "Bond 2 goes to atom 5, but frame 1 (step 100) holds 3 atoms: bonds to missing atoms are left "
                          "out of such frames.\n");
    EXPECT_TRUE(BondInFrame(0));
    EXPECT_FALSE(BondInFrame(1));
    EXPECT_EQ(ReadAt(2).output, "");
    ExpectBonds({{0, 1}, {3, 4}});
    EXPECT_EQ(ReadAt(1).output, "");  // said once
}

// shared_names.gsd: log/particles/md/pair/GayBerne/energies, .../LJ/energies and .../LJ/virials. The two
// energies are shown by their full names, virials by its short one; colour_by takes any full name and a
// short name only where it is unique.
TEST_F(GsdView, LoggedQuantitiesSharingAShortNameAreShownAndChosenByTheirFullNames) {
    const std::string gb = "log/particles/md/pair/GayBerne/energies", lj = "log/particles/md/pair/LJ/energies";
    auto colourBy = [](const std::string& words) {
        return Load(WriteTempFile("names.cfg", "gsdfile " + GsdFixture("shared_names.gsd") +
                                                   "\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 0 0\nbackground 0 0 0\n"
                                                   "colour_by " + words + "\n"));
    };
    ConsoleRun run = colourBy(lj + " -5 1");
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(quantityNames, (std::vector<std::string>{gb, lj, "virials"}));
    EXPECT_TRUE(Contains(run.output, "Colouring by " + lj + " (-5 to 1).\n")) << run.output;
    EXPECT_EQ(colourQuantity, 1);
    run = colourBy("log/particles/md/pair/LJ/virials");
    EXPECT_TRUE(Contains(run.output, "Colouring by virials (0.125 to 0.5).\n")) << run.output;
    run = colourBy("virials");
    EXPECT_EQ(colourQuantity, 2);
    run = colourBy("energies");
    EXPECT_TRUE(Contains(run.output, "Several quantities of " + GsdFixture("shared_names.gsd") + " end in energies (" +
                                     gb + ", " + lj + "): give the full name; colouring by species.\n"))
        << run.output;
    EXPECT_EQ(colourQuantity, SPECIES_COLOURS);
}

// frames.gsd: frame 2 holds 3 particles where frame 0 holds 5, and none of frame 0's per-particle chunks: its
// quantities are the defaults, in the same columns, so that a colouring chosen on frame 0 serves every frame.
TEST_F(GsdView, AFrameOfAnotherCountColoursByTheDefaultsOfFrameZerosQuantities) {
    ConsoleRun run = Load(GsdFixture("frames.gsd"));
    ASSERT_FALSE(run.exited) << run.output;
    colourByName = "charge";
    EXPECT_EQ(ApplyColourBy(), "Colouring by charge (-1 to 1).");
    const std::vector<std::string> names = quantityNames;
    const int charge = colourQuantity, count = FindQuantity("count");
    ASSERT_NE(count, SPECIES_COLOURS);
    for (int f : {2, 1, 3, 2, 0}) {
        SCOPED_TRACE("frame " + std::to_string(f));
        ASSERT_FALSE(ReadAt(f).exited);
        EXPECT_EQ(quantityNames, names);
        ASSERT_EQ(quantities.size(), static_cast<std::size_t>(atoms) * names.size());
        ConsoleRun coloured = RunCaptured([] {
            float rgb[3];
            for (long long i = 0; i < atoms; ++i) QuantityColour(i, rgb);
        });
        EXPECT_FALSE(coloured.exited) << coloured.output;
        double low = 0, high = 0;
        ASSERT_TRUE(QuantityRange(charge, low, high));
        EXPECT_EQ(std::make_pair(low, high), f == 2 ? std::make_pair(0.0, 0.0) : std::make_pair(-1.0, 1.0));
        ASSERT_TRUE(QuantityRange(count, low, high));
        EXPECT_EQ(std::make_pair(low, high), f == 2 ? std::make_pair(0.0, 0.0) : std::make_pair(1.0, 5.0));
    }
}

}  // namespace
