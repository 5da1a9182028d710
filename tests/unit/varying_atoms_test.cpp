// Dump trajectories whose atom count changes between frames: the summary, the frame table that follows each
// frame, the configuration's count check with and without varying_atoms, bonds to atoms a frame lacks, types
// that first appear after frame 0, and bonds joined by atom id where rows are not ids.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/scene.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

using VaryingAtoms = SceneTest;

std::string Evaporating() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/varying/evaporate.dump"; }
std::string Deposited() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/deposit/deposit.dump"; }
std::string Unsorted() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/deposit/unsorted.dump"; }

// Ids, types and positions (columns 1 to 5) of every frame's atom lines, from the text as LAMMPS wrote it.
std::vector<std::vector<std::vector<double>>> AtomLines(const std::string& path) {
    std::vector<std::vector<std::vector<double>>> frames;
    std::istringstream text(FileBytes(path));
    std::string line;
    while (std::getline(text, line)) {
        if (line != "ITEM: NUMBER OF ATOMS" || !std::getline(text, line)) continue;
        frames.emplace_back(std::stoul(line), std::vector<double>(5));
        while (std::getline(text, line) && line.compare(0, 11, "ITEM: ATOMS") != 0) {}
        for (std::vector<double>& atom : frames.back()) {
            std::getline(text, line);
            std::istringstream(line) >> atom[0] >> atom[1] >> atom[2] >> atom[3] >> atom[4];
        }
    }
    return frames;
}

double Largest(const std::vector<std::vector<double>>& atomLines, int column) {
    double largest = 0;
    for (const std::vector<double>& atom : atomLines) largest = std::max(largest, atom[static_cast<std::size_t>(column)]);
    return largest;
}

// Each end of bond j (bond origins 0 0 0: the atom's centre) is the atom of the frame's text with the id it names.
void ExpectEndsAtIds(int j, const std::vector<std::vector<double>>& atomLines) {
    for (int end = 0; end < 2; ++end) {
        double position[3];
        BondEndPoint(BondAtomRow(j, end) + 1, 1, {0, 0, 0}, position);
        auto atom = std::find_if(atomLines.begin(), atomLines.end(), [&](const std::vector<double>& line) {
            return line[0] == topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE + end];
        });
        ASSERT_NE(atom, atomLines.end());
        EXPECT_EQ(std::vector<double>(position, position + 3), std::vector<double>(atom->begin() + 2, atom->end()));
    }
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

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

std::string Config(const std::string& dump, const std::string& extra, int speciesCount = 1) {
    std::string text = "dumpfile " + dump + "\nspecies " + std::to_string(speciesCount) + "\n";
    for (int n = 1; n <= speciesCount; ++n) {
        const std::string number = std::to_string(n);
        text += "half_radii " + number + " 1 1 1\ncolor " + number + " 1 0 0\nbond_vector " + number + " 1 0 0 0\n";
    }
    return text + "background 0 0 0\n" + extra;
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
    EXPECT_EQ(run.output, "Bond 2 goes to atom 4, but frame 1 (step 1) holds 3 atoms: bonds to missing atoms are left "
                          "out of such frames.\n");
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

TEST_F(VaryingAtoms, DepositRunOpenedAloneHasASpeciesForEveryType) {
    const auto frames = AtomLines(Deposited());
    const int firstTypes = static_cast<int>(Largest(frames.front(), 1));
    int largest = 0;
    for (const auto& atomLines : frames) largest = std::max(largest, static_cast<int>(Largest(atomLines, 1)));
    ASSERT_GT(largest, firstTypes);

    ConsoleRun run = RunCaptured([] { LoadScene(Deposited()); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(species, largest);
    // After the summary the configuration is printed again, whole.
    const std::string printed = run.output.substr(run.output.find("Number of time steps:"));
    EXPECT_EQ(Occurrences(printed, "\nspecies " + std::to_string(largest) + "\n"), 1u) << printed;
    for (const std::string line : {"\nhalf_radii N 0.5 0.5 0.5\n", "\ncolor N ", "\nbond_vector N 1 0 0 0\n"})
        for (int n = 1; n <= largest; ++n)
            EXPECT_EQ(Occurrences(printed, line.substr(0, line.find('N')) + std::to_string(n) + line.substr(line.find('N') + 1)), 1u);
    for (int f = 0; f < FrameCount(); ++f) ASSERT_FALSE(ReadAt(f).exited) << "frame " << f;
    // Saved, the printed configuration must open the run again: its atom count changes.
    EXPECT_TRUE(Contains(run.output, "its configuration also has:\nvarying_atoms\n")) << run.output;
    // Its lines end at z: no orientation is claimed from columns that are not there.
    EXPECT_TRUE(Contains(run.output, "The atom lines end at z: they hold no orientation, and the particles are drawn "
                                     "unturned.\n")) << run.output;

    // The same run written one file per frame, opened as a series: the types of every file count.
    std::ifstream whole(Deposited(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    int files = 0;
    for (std::size_t at = 0; at != std::string::npos; ++files) {
        std::size_t next = text.find("ITEM: TIMESTEP", at + 1);
        WriteTempFile("dep." + std::to_string(files) + ".dump", text.substr(at, next == std::string::npos ? next : next - at));
        at = next;
    }
    frame = 0;
    run = RunCaptured([] { LoadScene(TempDir() + "/dep.*.dump"); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(species, largest) << run.output;
    EXPECT_EQ(FrameCount(), files);

    // A configuration that names frame 0's species keeps the check.
    frame = 0;
    ASSERT_FALSE(RunCaptured([&] { LoadScene(WriteTempFile("two.cfg", Config(Deposited(), "varying_atoms\n", firstTypes))); }).exited);
    for (int f = 0; f < FrameCount() && !run.exited; ++f) run = ReadAt(f);
    EXPECT_TRUE(Contains(run.output, "Type read: " + std::to_string(largest) + ". Only " + std::to_string(firstTypes) +
                                         " specified in input.\n"))
        << run.output;
}

// An unsorted dump (LAMMPS' own atom order) labels rows by id: each bond joins the atoms its ids name in every
// frame, said once, and a bond to an id no frame holds is left out with one line instead of ending the program.
TEST_F(VaryingAtoms, BondsJoinAtomIdsInAnUnsortedDump) {
    const auto frames = AtomLines(Unsorted());
    std::size_t row = 0;
    while (row < frames[0].size() && frames[0][row][0] == static_cast<double>(row + 1)) ++row;
    ASSERT_LT(row + 1, frames[0].size()) << "frame 0 is sorted";
    const std::string a = std::to_string(static_cast<int>(frames[0][row][0]));
    const std::string b = std::to_string(static_cast<int>(frames[0][row + 1][0]));
    const std::string absent = std::to_string(static_cast<int>(Largest(frames.back(), 0)) + 1);
    const std::string bonds = WriteTempFile("ids.bonds", "Bonds\n\n1 1 " + a + " " + b + "\n2 1 " + b + " " + absent + "\n");
    const std::string extra = "varying_atoms\nbondfile " + bonds + "\n";

    ConsoleRun run = RunCaptured([&] { LoadScene(WriteTempFile("ids.cfg", Config(Unsorted(), extra, 3))); });
    ASSERT_FALSE(run.exited) << run.output;
    for (int f = 0; f < FrameCount(); ++f) {
        run.output += ReadAt(f).output;
        EXPECT_TRUE(BondInFrame(0) && !BondInFrame(1));
        ExpectEndsAtIds(0, frames[static_cast<std::size_t>(f)]);
    }
    EXPECT_EQ(Occurrences(run.output, "Frame 0 (step 0) does not label its atoms 1 to " + std::to_string(frames[0].size()) +
                                          " in order: bonds join the atoms whose labels (ids) the bond file names.\n"), 1u);
    EXPECT_EQ(Occurrences(run.output, "Bond 2 goes to atom " + absent + ", which frame 0 (step 0) does not hold: "
                                      "bonds to missing atoms are left out of such frames.\n"), 1u) << run.output;

    // Sorted by id, rows are ids, and the bond file is checked against the largest frame as before.
    run = RunCaptured([&] { LoadScene(WriteTempFile("sorted.cfg", Config(Deposited(), extra, 3))); });
    EXPECT_TRUE(Contains(run.output, "Error reading bonds. Bond goes to atom that does not exist.\n")) << run.output;
}

// After fix evaporate rows are ids only in frame 0; ids far beyond the count, and repeated ones, are joined too.
TEST_F(VaryingAtoms, BondsFollowIdsAfterEvaporationAndSparseIds) {
    const auto last = AtomLines(Evaporating()).back();
    const std::string bonds = WriteTempFile("gone.bonds", "Bonds\n\n1 1 " + std::to_string(static_cast<int>(last.front()[0])) +
                                                          " " + std::to_string(static_cast<int>(last.back()[0])) + "\n");
    ASSERT_FALSE(RunCaptured([&] { LoadScene(WriteTempFile("gone.cfg", Config(Evaporating(), "varying_atoms\nbondfile " + bonds + "\n", 2))); }).exited);
    ReadAt(FrameCount() - 1);
    EXPECT_TRUE(BondInFrame(0));
    ExpectEndsAtIds(0, last);

    const std::string dump = WriteTempFile("sparse.dump", "ITEM: NUMBER OF ATOMS\n3\nITEM: ATOMS id type x y z\n"
                                                          "7000000 1 1 0 0\n3 1 2 0 0\n3 1 3 0 0\n");
    const std::string sparse = WriteTempFile("sparse.bonds", "Bonds\n\n1 1 3 7000000\n");
    frame = 0;
    ASSERT_FALSE(RunCaptured([&] { LoadScene(WriteTempFile("sparse.cfg", Config(dump, "bondfile " + sparse + "\n"))); }).exited);
    EXPECT_EQ(BondAtomRow(0, 0), 1) << "the first row with the id";
    EXPECT_EQ(BondAtomRow(0, 1), 0);
}

}  // namespace
