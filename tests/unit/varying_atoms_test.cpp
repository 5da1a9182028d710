// Dump trajectories whose atom count changes between frames: the summary, the frame table that follows each
// frame, the configuration's count check with and without varying_atoms, and bonds to atoms a frame lacks.
#include <algorithm>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

using VaryingAtoms = SceneTest;

std::string Evaporating() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/varying/evaporate.dump"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Counts and first labels of every frame, read from the text as LAMMPS wrote it.
void FramesOf(const std::string& text, std::vector<int>& counts, std::vector<double>& firstLabels) {
    std::size_t at = 0;
    while ((at = text.find("ITEM: NUMBER OF ATOMS\n", at)) != std::string::npos) {
        at += 22;
        counts.push_back(std::stoi(text.substr(at)));
        std::size_t atoms = text.find("ITEM: ATOMS", at);
        firstLabels.push_back(std::stod(text.substr(text.find('\n', atoms) + 1)));
    }
}

ConsoleRun ReadAt(int which) {
    frame = which;
    infile.clear();
    return RunCaptured([] { ReadFrame(); });
}

// A frame of `count` atoms of species 1; atom i sits at x = i.
std::string Frame(int step, int count) {
    std::string text = "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(count) +
                       "\nITEM: ATOMS id type x y z w i j k\n";
    for (int i = 1; i <= count; ++i) text += std::to_string(i) + " 1 " + std::to_string(i) + " 0 0 1 0 0 0\n";
    return text;
}

std::string Config(const std::string& dump, const std::string& extra) {
    return "dumpfile " + dump + "\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 0 0\nbond_vector 1 1 0 0 0\n"
           "background 0 0 0\n" + extra;
}

TEST_F(VaryingAtoms, EvaporatingLammpsRunOpenedAlone) {
    std::vector<int> counts;
    std::vector<double> labels;
    FramesOf(FileBytes(Evaporating()), counts, labels);
    ASSERT_GE(counts.size(), 3u);
    ASSERT_NE(counts.front(), counts.back());
    const int most = *std::max_element(counts.begin(), counts.end());
    const int fewest = *std::min_element(counts.begin(), counts.end());

    ConsoleRun run = RunCaptured([] { LoadScene(Evaporating()); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "Number of atoms:      " + std::to_string(fewest) + " to " + std::to_string(most) +
                                         " (changes between frames)\nNumber of time steps: " +
                                         std::to_string(counts.size())))
        << run.output;
    EXPECT_EQ(frameAtoms, counts);
    EXPECT_EQ(mostAtoms, most);
    const double* table = geom.data();
    for (int f = static_cast<int>(counts.size()) - 1; f >= 0; f -= 2) {
        ConsoleRun read = ReadAt(f);
        ASSERT_FALSE(read.exited) << read.output;
        EXPECT_EQ(atoms, counts[f]);
        EXPECT_EQ(geom.size(), static_cast<std::size_t>(counts[f]) * GEOM_STRIDE);
        EXPECT_EQ(geom[GEOM_LABEL], labels[f]);
        EXPECT_EQ(geom.data(), table) << "the table taken for the largest frame is kept";
    }
}

TEST_F(VaryingAtoms, ConfigurationKeepsTheCountCheckUnlessItAllowsChanges) {
    const std::string dump = WriteTempFile("change.dump", Frame(0, 3) + Frame(1, 5) + Frame(2, 2));
    ConsoleRun run = RunCaptured([&] { LoadScene(WriteTempFile("strict.cfg", Config(dump, ""))); });
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "Incorrect number of atoms in time step 2.\nNumber of atoms read: 5\n"
                                     "Please correct this and run program again.\n"))
        << run.output;

    run = RunCaptured([&] { LoadScene(WriteTempFile("free.cfg", Config(dump, "varying_atoms\n"))); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "The number of atoms may change between time steps.\n"));
    EXPECT_TRUE(Contains(run.output, "Number of atoms:      2 to 5 (changes between frames)\n"));
    EXPECT_EQ(atoms, 3);

    // Constant counts keep the summary line as it always was.
    const std::string same = WriteTempFile("same.dump", Frame(0, 3) + Frame(1, 3));
    run = RunCaptured([&] { LoadScene(WriteTempFile("same.cfg", Config(same, "varying_atoms\n"))); });
    EXPECT_TRUE(Contains(run.output, "Number of atoms:      3\nNumber of time steps: 2 (0 - 1)\n")) << run.output;
}

TEST_F(VaryingAtoms, BondsToMissingAtomsAreLeftOutWithOneLine) {
    const std::string dump = WriteTempFile("bonded.dump", Frame(0, 5) + Frame(1, 3) + Frame(2, 1) + Frame(3, 5));
    const std::string bonds = WriteTempFile("bonded.bonds", "Bonds\n\n1 1 1 2\n2 1 2 4\n3 1 4 5\n");
    const std::string config = WriteTempFile("bonded.cfg", Config(dump, "varying_atoms\nbondfile " + bonds + "\n"));
    ConsoleRun run = RunCaptured([&] { LoadScene(config); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(BondCount(), 3);
    EXPECT_TRUE(BondInFrame(0) && BondInFrame(1) && BondInFrame(2));

    run = ReadAt(1);
    EXPECT_EQ(run.output, "Bond 2 goes to atom 4, but time step 1 holds 3 atoms: bonds to missing atoms are left out "
                          "of such time steps.\n");
    EXPECT_TRUE(BondInFrame(0));
    EXPECT_FALSE(BondInFrame(1));
    EXPECT_FALSE(BondInFrame(2));
    run = ReadAt(2);
    EXPECT_EQ(run.output, "") << "the line is shown once";
    EXPECT_FALSE(BondInFrame(0));
    ReadAt(3);
    EXPECT_TRUE(BondInFrame(0) && BondInFrame(1) && BondInFrame(2));

    // A bond beyond the largest frame is still an error of the bond file.
    const std::string beyond = WriteTempFile("beyond.bonds", "Bonds\n\n1 1 1 6\n");
    run = RunCaptured([&] { LoadScene(WriteTempFile("beyond.cfg", Config(dump, "varying_atoms\nbondfile " + beyond + "\n"))); });
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "Error reading bonds. Bond goes to atom that does not exist.\n"));
}

}  // namespace
