// Bond file reader: header and skipped line, bond lines, origins, the two bond errors and the missing file.
#include "io/config/bond_reader.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/pdb/pdb_reader.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

const std::string FIX_LINE = "Please correct this and run program again.\n";
const std::string EXIT_PROMPT = "Press Enter to exit.";

// A scene of `atomCount` atoms of one species with `origins` bond origins.
void Scene(int atomCount, int origins) {
    atoms = atomCount;
    species = 1;
    bondvec.assign(3u * origins, 0.0);
}

ConsoleRun Read(const std::string& contents, const std::string& name = "test.bonds") {
    std::string path = WriteTempFile(name, contents);
    return RunCaptured([path] { ReadBonds(path); }, "\n");
}

std::string Opened(const std::string& name = "test.bonds") {
    return "Bond information file " + TempDir() + "/" + name + " is opened.\n";
}

std::string Summary(int bonds) { return "Number of bonds:      " + std::to_string(bonds) + "\n"; }

}  // namespace

using ReadBondsTest = SceneTest;

TEST_F(ReadBondsTest, WorkedExample) {
    Scene(3, 2);
    ConsoleRun run = Read("Bonds\n\n1 1 1 2 1 2\n2 1 2 3\n");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, Opened() + Summary(2));
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 1, 2, 2, 3, 1, 1}));
}

TEST_F(ReadBondsTest, MissingOriginsBecomeOne) {
    Scene(5, 1);
    ASSERT_FALSE(Read("Bonds\n\n3 1 4 5\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 1, 1}));
}

TEST_F(ReadBondsTest, OriginsAreTruncatedAndBelowOneMakesBothOne) {
    Scene(5, 4);
    ASSERT_FALSE(Read("Bonds\n\n3 1 4 5 2.7 0.5\n3 1 4 5 2.7 3.2\n3 1 4 5 -2 3\n3 1 4 5 4 4\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 1, 1, 4, 5, 2, 3, 4, 5, 1, 1, 4, 5, 4, 4}));
}

TEST_F(ReadBondsTest, OnlyOneOriginGivenMakesBothOne) {
    Scene(5, 4);
    ASSERT_FALSE(Read("Bonds\n\n3 1 4 5 3\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 1, 1}));
}

TEST_F(ReadBondsTest, FieldsAfterTheSixthAreIgnored) {
    Scene(5, 4);
    ASSERT_FALSE(Read("Bonds\n\n3 1 4 5 2 3 9 extra words\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 2, 3}));
}

TEST_F(ReadBondsTest, HeaderLinesAndTheLineAfterThemAreSkipped) {
    Scene(5, 1);
    // Several header lines; the first other line is skipped even when it is a bond.
    ASSERT_FALSE(Read("Bonds\nBonds\nBonds\n1 1 1 2\n2 1 2 3\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{2, 3, 1, 1}));

    // Without a header the first line is lost.
    ASSERT_FALSE(Read("1 1 1 2\n2 1 2 3\n3 1 3 4\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{2, 3, 1, 1, 3, 4, 1, 1}));
}

TEST_F(ReadBondsTest, NonBondLinesAreIgnoredWithoutAMessage) {
    Scene(5, 1);
    ConsoleRun run = Read("Bonds\n\n1 1 1 2\n  2 1 2 3\nAngles\n\n# comment\n\t3 1 3 4\n-4 1 4 5\n5 1 4 5\n");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, Opened() + Summary(2));
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 1, 1, 4, 5, 1, 1}));
}

TEST_F(ReadBondsTest, LinesWithoutFourIntegersAreIgnored) {
    Scene(5, 1);
    ConsoleRun run = Read("Bonds\n\n1\n1 1\n1 1 2\n1 1 2 x\n1 1 2.5 3\n1 1 2 3.5\n1 1 2x 3\n2 1 2 3\n");
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(run.output, Opened() + Summary(1));
    EXPECT_EQ(topology, (std::vector<int>{2, 3, 1, 1}));
}

TEST_F(ReadBondsTest, CrlfLineEndsReadEveryBond) {
    Scene(5, 2);
    ConsoleRun run = Read("Bonds\r\n\r\n1 1 1 2 1 2\r\n2 1 2 3\r\n3 1 3 4 2 2\r\n");
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 1, 2, 2, 3, 1, 1, 3, 4, 2, 2}));
}

TEST_F(ReadBondsTest, LastLineWithoutLineEndIsRead) {
    Scene(5, 1);
    ASSERT_FALSE(Read("Bonds\n\n1 1 1 2\n2 1 2 3").exited);
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 1, 1, 2, 3, 1, 1}));
}

TEST_F(ReadBondsTest, HeaderOnly) {
    Scene(5, 1);
    topology = {1, 2, 1, 1};
    ConsoleRun run = Read("Bonds\n");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, Opened() + Summary(0));
    EXPECT_TRUE(topology.empty());
}

TEST_F(ReadBondsTest, MissingFileLeavesNoBonds) {
    Scene(5, 1);
    topology = {1, 2, 1, 1};
    ConsoleRun run = RunCaptured([] { ReadBonds(TempDir() + "/no_such.bonds"); }, "\n");
    EXPECT_FALSE(run.exited);
    EXPECT_FALSE(run.endedQuietly);
    EXPECT_EQ(run.output, "No file with bond information found.\n"
                          "No bonds will be drawn. Reload input file (Shift-L) to load bond file.\n");
    EXPECT_TRUE(topology.empty());
}

TEST_F(ReadBondsTest, ReadingAgainReplacesTheBonds) {
    Scene(5, 1);
    ASSERT_FALSE(Read("Bonds\n\n1 1 1 2\n2 1 2 3\n").exited);
    ASSERT_FALSE(Read("Bonds\n\n1 1 4 5\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 1, 1}));
}

TEST_F(ReadBondsTest, BondToAtomThatDoesNotExist) {
    for (const std::string line : {"7 1 3 101", "7 1 0 3", "7 1 3 -2", "7 1 99999999999999999999 3"}) {
        SCOPED_TRACE(line);
        Scene(100, 1);
        ConsoleRun run = Read("Bonds\n\n1 1 1 2\nAngles\n" + line + "\n8 1 1 2\n");
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.output, Opened() + "Error reading bonds. Bond goes to atom that does not exist.\n" +
                                  "Line number 5: " + line + "\n" + FIX_LINE + EXIT_PROMPT);
        EXPECT_EQ(topology.size(), 8u);  // the bad bond was appended before the check
    }
    // Atom numbers at the ends of the range are accepted.
    Scene(100, 1);
    ASSERT_FALSE(Read("Bonds\n\n1 1 1 100\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{1, 100, 1, 1}));
}

TEST_F(ReadBondsTest, BondFromOriginThatDoesNotExist) {
    // The check uses the origins as read: 2.7 is above 2 although it would be stored as 1.
    for (const std::string line : {"3 1 4 5 2.7 0.5", "3 1 4 5 1 3", "3 1 4 5 3"}) {
        SCOPED_TRACE(line);
        Scene(5, 2);
        ConsoleRun run = Read("Bonds\n\n" + line + "\r\n");
        EXPECT_TRUE(run.exited);
        EXPECT_EQ(run.output, Opened() + "Error reading bonds. Bond goes from bond origin that does not exist.\n" +
                                  "Line number 3: " + line + "\r\n" + FIX_LINE + EXIT_PROMPT);
    }
    // An origin equal to the number of origins is accepted.
    Scene(5, 2);
    ASSERT_FALSE(Read("Bonds\n\n3 1 4 5 2 2\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{4, 5, 2, 2}));
}

TEST_F(ReadBondsTest, AtomErrorComesBeforeOriginError) {
    Scene(5, 1);
    ConsoleRun run = Read("Bonds\n\n3 1 4 6 5 5\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("Bond goes to atom that does not exist."), std::string::npos);
    EXPECT_EQ(run.output.find("bond origin"), std::string::npos);
}

TEST_F(ReadBondsTest, OriginsPerSpeciesComeFromTheBondVectorBlocks) {
    // Three species with two bond origins each: 18 values, so origin 2 exists and origin 3 does not.
    atoms = 4;
    species = 3;
    bondvec.assign(18, 0.0);
    ASSERT_FALSE(Read("Bonds\n\n1 1 1 2 2 2\n").exited);
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 2, 2}));
    EXPECT_TRUE(Read("Bonds\n\n1 1 1 2 3 1\n").exited);
}

TEST_F(ReadBondsTest, RealBondFileWithItsTrajectory) {
    std::string trajectory = DataFile("pdb/5e5z_traj5.pdb");
    std::string bonds = DataFile("pdb/5e5z.bonds");
    if (trajectory.empty() || bonds.empty()) GTEST_SKIP() << "no test data for 5e5z.bonds";
    inname = trajectory;
    ASSERT_FALSE(RunCaptured(OpenAnisouFile, "\n").exited);
    ASSERT_FALSE(RunCaptured(ReadAnisouFrame, "\n").exited);
    ConsoleRun run = RunCaptured([bonds] { ReadBonds(bonds); }, "\n");
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(run.output, "Bond information file " + bonds + " is opened.\n" + Summary(46));
    ASSERT_EQ(topology.size(), 46u * 4);
    // The file's bond lines, taken independently: "n 1 i j" after the header and a blank line.
    std::string text = FileBytes(bonds);
    std::vector<int> expected;
    std::size_t lineStart = text.find('\n', text.find('\n') + 1) + 1;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        int number = 0, type = 0, a = 0, b = 0;
        if (std::sscanf(text.substr(lineStart, lineEnd - lineStart).c_str(), "%d %d %d %d", &number, &type, &a, &b) == 4)
            expected.insert(expected.end(), {a, b, 1, 1});
        if (lineEnd == std::string::npos) break;
        lineStart = lineEnd + 1;
    }
    EXPECT_EQ(topology, expected);
}
