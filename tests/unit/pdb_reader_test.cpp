// PDB trajectory reader: time-step index, fixed-column records, ellipsoids, colours and every message.
#include "io/pdb/pdb_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/scene.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

const std::string CRYST1 = "CRYST1    9.643    9.609   19.029  90.00 101.22  90.00 P 1 21 1      2          ";
const std::string ATOM_TEMPLATE = "ATOM      1  N   LEU A   1       0.000   0.000   0.000  1.00  0.00           N  ";
const std::string ANISOU_TEMPLATE = "ANISOU    1  N   LEU A   1        0      0      0      0      0      0       N  ";

// Writes text into line from 1-based column `column` on.
void Put(std::string& line, std::size_t column, const std::string& text) {
    if (line.size() < column - 1 + text.size()) line.resize(column - 1 + text.size(), ' ');
    line.replace(column - 1, text.size(), text);
}

std::string Right(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// A particle record: atom name in columns 13-16, coordinates right-aligned in 31-38, 39-46, 47-54.
std::string Atom(const std::string& name, const std::string& x, const std::string& y, const std::string& z,
                 const std::string& record = "ATOM  ") {
    std::string line = ATOM_TEMPLATE;
    Put(line, 1, record);
    Put(line, 13, name);
    Put(line, 31, Right(x, 8));
    Put(line, 39, Right(y, 8));
    Put(line, 47, Right(z, 8));
    return line + "\n";
}

// An ANISOU record with U11, U22, U33, U12, U13, U23 right-aligned in seven-column fields from column 29.
std::string Anisou(const std::vector<std::string>& u) {
    std::string line = ANISOU_TEMPLATE;
    for (std::size_t k = 0; k < 6; ++k) Put(line, 29 + 7 * k, Right(u[k], 7));
    return line + "\n";
}

std::string Anisou(int u11, int u22, int u33, int u12, int u13, int u23) {
    return Anisou({std::to_string(u11), std::to_string(u22), std::to_string(u33), std::to_string(u12),
                   std::to_string(u13), std::to_string(u23)});
}

// A particle with a diagonal tensor.
std::string Particle(const std::string& name, double x, double y, double z, int u = 100) {
    char coordinates[3][16];
    std::snprintf(coordinates[0], sizeof coordinates[0], "%.3f", x);
    std::snprintf(coordinates[1], sizeof coordinates[1], "%.3f", y);
    std::snprintf(coordinates[2], sizeof coordinates[2], "%.3f", z);
    return Atom(name, coordinates[0], coordinates[1], coordinates[2]) + Anisou(u, u, u, 0, 0, 0);
}

std::string Step(const std::string& records) { return CRYST1 + "\n" + records; }

// Opens contents as the trajectory.
ConsoleRun Open(const std::string& contents, const std::string& name = "trajectory.pdb") {
    inname = WriteTempFile(name, contents);
    return RunCaptured(OpenAnisouFile, "\n");
}

// Opens contents and reads time step `step`.
ConsoleRun OpenAndRead(const std::string& contents, int step = 0) {
    ConsoleRun opened = Open(contents);
    if (opened.exited) return opened;
    frame = step;
    return RunCaptured(ReadAnisouFrame, "\n");
}

// Offsets of the lines that follow each CRYST1 record, found independently of the reader.
std::vector<int64_t> OffsetsAfterCryst1(const std::string& contents) {
    std::vector<int64_t> offsets;
    std::size_t lineStart = 0;
    while (lineStart < contents.size()) {
        std::size_t lineEnd = contents.find('\n', lineStart);
        if (lineEnd == std::string::npos) break;  // a last line without line end begins no time step
        if (contents.compare(lineStart, 4, "CRYS") == 0) offsets.push_back(static_cast<int64_t>(lineEnd + 1));
        lineStart = lineEnd + 1;
    }
    return offsets;
}

// Column k of the rotation that the stored quaternion of particle p draws with.
void DrawnAxis(int p, int k, double* axis) {
    double rotation[9];
    QuaternionMatrix(&geom[static_cast<std::size_t>(p) * GEOM_STRIDE + GEOM_QW], rotation);
    for (int i = 0; i < 3; ++i) axis[i] = rotation[3 * i + k];
}

// Largest |A v - lambda v| component for a tensor A given as U11, U22, U33, U12, U13, U23 in 10^-4 square angstrom.
double Residual(const double* u, double lambda, const double* v) {
    const double a[9] = {u[0], u[3], u[4], u[3], u[1], u[5], u[4], u[5], u[2]};
    double worst = 0;
    for (int i = 0; i < 3; ++i) {
        double av = (a[3 * i] * v[0] + a[3 * i + 1] * v[1] + a[3 * i + 2] * v[2]) * 0.0001;
        worst = std::max(worst, std::fabs(av - lambda * v[i]));
    }
    return worst;
}

std::vector<double> SortedRadii(int p) {
    std::vector<double> radii(shape.begin() + 3 * p, shape.begin() + 3 * p + 3);
    std::sort(radii.begin(), radii.end());
    return radii;
}

const std::string FIX_LINE = "Please correct this and run program again.\n";
const std::string EXIT_PROMPT = "Press Enter to exit.";

}  // namespace

// ---- OpenAnisouFile ------------------------------------------------------------------------------

using OpenAnisouFileTest = SceneTest;

TEST_F(OpenAnisouFileTest, OneTimeStepPrintsSummaryAndHidesOverlay) {
    std::string contents = "HEADER    TEST\nREMARK   2 RESOLUTION.\n" +
                           Step(Particle(" N  ", 1, 2, 3) + Atom(" O  ", "4", "5", "6", "HETATM") +
                                Anisou(100, 100, 100, 0, 0, 0) + "TER\n") +
                           "END\n";
    ConsoleRun run = Open(contents);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, "Infile open\nNumber of atoms:      2\nNumber of time steps: 1 (0 - 0)\n");
    EXPECT_EQ(atoms, 2);
    EXPECT_EQ(species, 2);
    EXPECT_EQ(counter, OffsetsAfterCryst1(contents));
    ASSERT_EQ(counter.size(), 1u);
    EXPECT_FALSE(showTS);
    EXPECT_TRUE(infile.is_open());
}

TEST_F(OpenAnisouFileTest, IndexesEveryTimeStepAtTheLineAfterItsCryst1Record) {
    std::string contents = "REMARK before the first step\n" + ATOM_TEMPLATE + "\n";  // ignored: before any CRYST1
    for (int k = 0; k < 3; ++k)
        contents += Step("MODEL        " + std::to_string(k + 1) + "\n" + Particle(" C  ", k, 0, 0) +
                         "REMARK between records\n" + Particle(" N  ", k, 1, 0) + "TER\nENDMDL\n");
    contents += "END\n";
    ConsoleRun run = Open(contents);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, "Infile open\nNumber of atoms:      2\nNumber of time steps: 3 (0 - 2)\n");
    EXPECT_EQ(counter, OffsetsAfterCryst1(contents));
    EXPECT_EQ(counter.size(), 3u);
    EXPECT_TRUE(showTS);
}

TEST_F(OpenAnisouFileTest, EveryParticleIsItsOwnSpecies) {
    species = 3;
    shape.assign(9, 1.0);
    std::string contents = Step(Particle(" C  ", 0, 0, 0) + Particle(" C  ", 1, 0, 0) + Particle(" C  ", 2, 0, 0) +
                                Particle(" C  ", 3, 0, 0) + Particle(" C  ", 4, 0, 0));
    ASSERT_FALSE(Open(contents).exited);
    EXPECT_EQ(atoms, 5);
    EXPECT_EQ(species, 5);
}

TEST_F(OpenAnisouFileTest, OrphanAnisouRecordsAndOtherRecordsChangeNothing) {
    std::string plain = Step(Particle(" C  ", 0, 0, 0) + Particle(" N  ", 1, 0, 0));
    std::string noisy = Step(Anisou(1, 2, 3, 4, 5, 6) + Particle(" C  ", 0, 0, 0) + "TER\n" +
                             Anisou(1, 2, 3, 4, 5, 6) + "\n" + Particle(" N  ", 1, 0, 0) + "END\n");
    ASSERT_FALSE(Open(plain).exited);
    EXPECT_EQ(atoms, 2);
    ResetScene();
    ASSERT_FALSE(Open(noisy).exited);
    EXPECT_EQ(atoms, 2);
}

TEST_F(OpenAnisouFileTest, MissingFile) {
    inname = TempDir() + "/no_such_trajectory.pdb";
    ConsoleRun run = RunCaptured(OpenAnisouFile, "\n");
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Error. Dump file " + inname + " not found.\n" +
                              "Please enter the correct name of the dump file in the input file. \n" + EXIT_PROMPT);
}

TEST_F(OpenAnisouFileTest, NoCryst1Record) {
    ConsoleRun run = Open("HEADER\n" + Particle(" C  ", 0, 0, 0) + "END\n", "no_cryst1.pdb");
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile open\nNo keyword 'CRYS' found. Are you sure " + inname +
                              " is a PDB file?\n"
                              "If it is, please add the keyword 'CRYS' at the begining of the file,\n"
                              "and before each timestep.\n" +
                              EXIT_PROMPT);
}

TEST_F(OpenAnisouFileTest, Cryst1RecordsWithoutParticles) {
    ConsoleRun run = Open(Step("REMARK\n") + Step("TER\n"), "empty_steps.pdb");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("No keyword 'CRYS' found. Are you sure " + inname + " is a PDB file?\n"),
              std::string::npos);
}

TEST_F(OpenAnisouFileTest, SecondTimeStepWithOneParticleFewer) {
    std::string contents = Step(Particle(" C  ", 0, 0, 0) + Particle(" C  ", 1, 0, 0) + Particle(" C  ", 2, 0, 0)) +
                           Step(Particle(" C  ", 0, 0, 0) + Particle(" C  ", 1, 0, 0));
    ConsoleRun run = Open(contents);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile open\nIncorrect number of atoms in time step 2.\nNumber of atoms read: 2\n" +
                              FIX_LINE + EXIT_PROMPT);
}

TEST_F(OpenAnisouFileTest, FinalCryst1WithLineFeedOpensAnEmptyTimeStep) {
    std::string steps = Step(Particle(" C  ", 0, 0, 0)) + Step(Particle(" C  ", 1, 0, 0));
    ConsoleRun withLineFeed = Open(steps + CRYST1 + "\n");
    EXPECT_TRUE(withLineFeed.exited);
    EXPECT_EQ(withLineFeed.output, "Infile open\nIncorrect number of atoms in time step 3.\nNumber of atoms read: 0\n" +
                                       FIX_LINE + EXIT_PROMPT);

    ResetScene();
    ConsoleRun withoutLineFeed = Open(steps + CRYST1);
    EXPECT_FALSE(withoutLineFeed.exited);
    EXPECT_EQ(counter.size(), 2u);
    EXPECT_EQ(withoutLineFeed.output, "Infile open\nNumber of atoms:      1\nNumber of time steps: 2 (0 - 1)\n");
}

TEST_F(OpenAnisouFileTest, EmptyTimeStepsBeforeTheFirstParticlesAreReported) {
    ConsoleRun one = Open(Step("REMARK\n") + Step(Particle(" C  ", 0, 0, 0) + Particle(" C  ", 1, 0, 0)));
    EXPECT_TRUE(one.exited);
    EXPECT_EQ(one.output, "Infile open\nTime step 1 holds no ATOM or HETATM record, but time step 2 holds 2.\n"
                          "Every time step must hold the same number of atoms.\n" +
                              FIX_LINE + EXIT_PROMPT);

    ResetScene();
    ConsoleRun two = Open(Step("") + Step("TER\n") + Step(Particle(" C  ", 0, 0, 0)));
    EXPECT_TRUE(two.exited);
    EXPECT_EQ(two.output, "Infile open\nTime steps 1 to 2 hold no ATOM or HETATM record, but time step 3 holds 1.\n"
                          "Every time step must hold the same number of atoms.\n" +
                              FIX_LINE + EXIT_PROMPT);
}

TEST_F(OpenAnisouFileTest, MissingAnisouIsNotDetectedWhenOpening) {
    ConsoleRun run = Open(Step(Atom(" C  ", "1", "2", "3") + "TER\n"));
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(atoms, 1);
}

TEST_F(OpenAnisouFileTest, CrlfLineEndsIndexTheSameSteps) {
    std::string lf = Step(Particle(" C  ", 0, 0, 0)) + Step(Particle(" C  ", 1, 0, 0));
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_FALSE(Open(crlf, "crlf.pdb").exited);
    EXPECT_EQ(counter, OffsetsAfterCryst1(crlf));
    EXPECT_EQ(counter.size(), 2u);
}

// ---- ReadAnisouFrame -----------------------------------------------------------------------------

using ReadAnisouFrameTest = SceneTest;

TEST_F(ReadAnisouFrameTest, NegativeFieldsInTheirColumns) {
    ConsoleRun run = OpenAndRead(Step(Atom(" C  ", "-123.456", "-0.5", "7.25") + Anisou(-123456, 0, 0, 0, 0, 0)));
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(run.output, "");
    ASSERT_EQ(geom.size(), 9u);
    EXPECT_EQ(geom[2], -123.456);
    EXPECT_EQ(geom[3], -0.5);
    EXPECT_EQ(geom[4], 7.25);
    std::vector<double> radii = SortedRadii(0);
    EXPECT_NEAR(radii[0], -12.3456, 1e-12);
    EXPECT_EQ(radii[1], 0);
    EXPECT_EQ(radii[2], 0);
}

TEST_F(ReadAnisouFrameTest, FieldsAreConvertedEachOnItsOwn) {
    // Adjacent coordinates without blanks between them, a blank field, junk after a number, a lone sign.
    std::string touching = ATOM_TEMPLATE;
    Put(touching, 31, "-123.4561234.567-98.7654");
    std::string odd = ATOM_TEMPLATE;
    Put(odd, 31, "        ");
    Put(odd, 39, "  12abc ");
    Put(odd, 47, "   -    ");
    std::string contents = Step(touching + "\n" + Anisou({"", "  200  ", "300", "-", "", ""}) + odd + "\n" +
                                Anisou({"1x", "2", "3", "", "", ""}));
    ConsoleRun run = OpenAndRead(contents);
    ASSERT_FALSE(run.exited) << run.output;
    ASSERT_EQ(geom.size(), 18u);
    EXPECT_EQ(geom[2], -123.456);
    EXPECT_EQ(geom[3], 1234.567);
    EXPECT_EQ(geom[4], -98.7654);
    EXPECT_EQ(geom[9 + 2], 0);
    EXPECT_EQ(geom[9 + 3], 12);
    EXPECT_EQ(geom[9 + 4], 0);
    // Diagonal tensors come back unsorted in diagonal order.
    EXPECT_EQ(shape[0], 0);
    EXPECT_DOUBLE_EQ(shape[1], 0.02);
    EXPECT_DOUBLE_EQ(shape[2], 0.03);
    EXPECT_DOUBLE_EQ(shape[3], 0.0001);
    EXPECT_DOUBLE_EQ(shape[4], 0.0002);
    EXPECT_DOUBLE_EQ(shape[5], 0.0003);
}

TEST_F(ReadAnisouFrameTest, TablesHoldOneRowPerParticleInRecordOrder) {
    std::string contents = Step(Particle(" C  ", 1, 2, 3, 20000) + Particle(" N  ", 4, 5, 6) +
                                Atom(" O  ", "7", "8", "9", "HETATM") + Anisou(100, 200, 300, 0, 0, 0));
    bondvec.assign(30, 5.0);
    ConsoleRun run = OpenAndRead(contents);
    ASSERT_FALSE(run.exited) << run.output;
    ASSERT_EQ(geom.size(), 27u);
    ASSERT_EQ(shape.size(), 9u);
    ASSERT_EQ(color.size(), 9u);
    ASSERT_EQ(bondvec, std::vector<double>(9, 0.0));
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(geom[9 * p + GEOM_LABEL], p + 1);
        EXPECT_EQ(geom[9 * p + GEOM_TYPE], p + 1);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(geom[9 * p + GEOM_X + k], 3 * p + k + 1);
        // Diagonal tensors: the solver's eigenvectors are the identity, so the quaternion is (1, 0, 0, 0).
        EXPECT_DOUBLE_EQ(geom[9 * p + GEOM_QW], 1);
        for (int k = 1; k < 4; ++k) EXPECT_EQ(geom[9 * p + GEOM_QW + k], 0);
    }
    // Half radii are the eigenvalues themselves: U = 20000 gives 2, not its square root.
    EXPECT_DOUBLE_EQ(shape[0], 2);
    EXPECT_DOUBLE_EQ(shape[1], 2);
    EXPECT_DOUBLE_EQ(shape[2], 2);
    EXPECT_DOUBLE_EQ(shape[6], 0.01);
    EXPECT_DOUBLE_EQ(shape[7], 0.02);
    EXPECT_DOUBLE_EQ(shape[8], 0.03);
}

TEST_F(ReadAnisouFrameTest, ColourFollowsTheLetterInColumn14) {
    struct Case {
        std::string name;
        double rgb[3];
    };
    const Case cases[] = {
        {" C  ", {0, 1, 0}},   {" N  ", {1, 0, 0}},   {" O  ", {0, 0, 1}},   {" H  ", {1, 1, 1}},
        {" S  ", {0.5, 0.5, 0}}, {"CA  ", {1, 1, 0}},  // a carbon named from column 13: column 14 holds A
        {" c  ", {1, 1, 0}},   {" E  ", {1, 1, 0}},   {"FE  ", {1, 1, 0}},   {" HG1", {1, 1, 1}},
    };
    std::string records;
    for (const Case& c : cases) records += Particle(c.name, 0, 0, 0);
    ConsoleRun run = OpenAndRead(Step(records));
    ASSERT_FALSE(run.exited) << run.output;
    ASSERT_EQ(color.size(), 3 * std::size(cases));
    for (std::size_t p = 0; p < std::size(cases); ++p)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(color[3 * p + k], cases[p].rgb[k]) << "name '" << cases[p].name << "'";
}

TEST_F(ReadAnisouFrameTest, DrawnAxesAreTheEigenvectors) {
    const double tensors[][6] = {
        {3000, 3000, 1000, 1000, 0, 0},          // eigenvalues 0.4, 0.2, 0.1 along (1,1,0), (1,-1,0), z
        {6543, 5194, 4883, -263, -2488, 41},     // a real tensor (7az6.pdb, first atom)
        {1683, 1898, 3434, 159, 198, -377},      // a real tensor (1pwc.pdb, first atom)
        {100, 200, 300, 0, 0, 0},                // diagonal: the solver returns a rotation
        {2000, 2000, -1000, 2000, 0, 0},         // indefinite
    };
    std::string records;
    for (const auto& u : tensors)
        records += Atom(" C  ", "0", "0", "0") + Anisou(int(u[0]), int(u[1]), int(u[2]), int(u[3]), int(u[4]), int(u[5]));
    ConsoleRun run = OpenAndRead(Step(records));
    ASSERT_FALSE(run.exited) << run.output;
    for (int p = 0; p < static_cast<int>(std::size(tensors)); ++p) {
        for (int k = 0; k < 3; ++k) {
            double axis[3];
            DrawnAxis(p, k, axis);
            EXPECT_LT(Residual(tensors[p], shape[3 * p + k], axis), 1e-12) << "particle " << p << " axis " << k;
        }
    }
    std::vector<double> first = SortedRadii(0);
    EXPECT_NEAR(first[0], 0.1, 1e-15);
    EXPECT_NEAR(first[1], 0.2, 1e-15);
    EXPECT_NEAR(first[2], 0.4, 1e-15);
}

TEST_F(ReadAnisouFrameTest, ReadsOnlyTheRequestedTimeStepInAnyOrder) {
    std::string contents;
    for (int k = 0; k < 3; ++k)
        contents += Step("MODEL\n" + Particle(" C  ", 10 * k, 0, 0, 100 * (k + 1)) + Particle(" N  ", 10 * k + 1, 0, 0) +
                         "ENDMDL\n");
    ASSERT_FALSE(Open(contents).exited);
    std::vector<std::vector<double>> firstRead;
    for (int k = 0; k < 3; ++k) {
        frame = k;
        ASSERT_FALSE(RunCaptured(ReadAnisouFrame).exited);
        ASSERT_EQ(geom.size(), 18u);
        EXPECT_EQ(geom[GEOM_X], 10 * k);
        EXPECT_EQ(geom[9 + GEOM_X], 10 * k + 1);
        EXPECT_DOUBLE_EQ(shape[0], 0.01 * (k + 1));
        firstRead.push_back(geom);
    }
    for (int k : {2, 0, 1, 2}) {
        frame = k;
        ASSERT_FALSE(RunCaptured(ReadAnisouFrame).exited);
        EXPECT_EQ(geom, firstRead[k]) << "time step " << k;
    }
}

TEST_F(ReadAnisouFrameTest, CrlfLineEndsGiveTheSameTables) {
    std::string lf = Step(Particle(" C  ", 1.5, -2.25, 3, 300) + Particle(" O  ", 4, 5, 6));
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_FALSE(OpenAndRead(lf).exited);
    std::vector<double> lfGeom = geom, lfShape = shape, lfColor = color;
    ResetScene();
    ASSERT_FALSE(OpenAndRead(crlf).exited);
    EXPECT_EQ(geom, lfGeom);
    EXPECT_EQ(shape, lfShape);
    EXPECT_EQ(color, lfColor);
}

TEST_F(ReadAnisouFrameTest, ParticleFollowedByTerStopsWithTheTerLine) {
    std::string contents = Step(Particle(" C  ", 1, 2, 3) + Atom(" N  ", "4", "5", "6") + "TER    \n" + "END\n");
    ConsoleRun run = OpenAndRead(contents);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "TER    \nSomething's not right. This should be a ANIOSU line.\nBut it's not.\n" + EXIT_PROMPT);
    // The rows appended before the failure stay.
    EXPECT_EQ(geom.size(), 9u);
    EXPECT_EQ(shape.size(), 3u);
}

TEST_F(ReadAnisouFrameTest, ParticleAsTheLastLineStopsWithThatLine) {
    std::string atom = Atom(" N  ", "4", "5", "6");
    atom.pop_back();  // no final line feed
    ConsoleRun run = OpenAndRead(Step(Particle(" C  ", 1, 2, 3) + atom));
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, atom + "\nSomething's not right. This should be a ANIOSU line.\nBut it's not.\n" + EXIT_PROMPT);
}

TEST_F(ReadAnisouFrameTest, ShortParticleRecordIsReportedWithItsLineNumber) {
    std::string atom = Atom(" N  ", "4", "5", "6");
    std::string shortAtom = atom.substr(0, 53);
    std::string exact = atom.substr(0, 54);
    std::string contents = "HEADER\n" + Step(Particle(" C  ", 1, 2, 3) + exact + "\n" + Anisou(1, 1, 1, 0, 0, 0) +
                                             shortAtom + "\n" + Anisou(1, 1, 1, 0, 0, 0));
    ConsoleRun run = OpenAndRead(contents);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Line 7 is too short for an ATOM or HETATM record: 53 characters, at least 54 needed.\n" +
                              shortAtom + "\n" + FIX_LINE + EXIT_PROMPT);
    EXPECT_EQ(geom.size(), 18u);  // the 54-character record was read
    EXPECT_EQ(geom[9 + GEOM_X + 2], 6);
}

TEST_F(ReadAnisouFrameTest, ShortAnisouRecordIsReportedWithItsLineNumber) {
    std::string anisou = Anisou(100, 200, 300, 0, 0, 7);
    std::string exact = anisou.substr(0, 70);
    std::string shortAnisou = anisou.substr(0, 69);
    std::string contents = Step(Atom(" C  ", "1", "2", "3") + exact + "\n" + Atom(" C  ", "1", "2", "3") +
                                shortAnisou + "\n");
    ConsoleRun run = OpenAndRead(contents);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Line 5 is too short for an ANISOU record: 69 characters, at least 70 needed.\n" +
                              shortAnisou + "\n" + FIX_LINE + EXIT_PROMPT);
    ASSERT_EQ(shape.size(), 3u);  // the 70-character record was read, U23 = 7 included
    const double u[6] = {100, 200, 300, 0, 0, 7};
    for (int k = 0; k < 3; ++k) {
        double axis[3];
        DrawnAxis(0, k, axis);
        EXPECT_LT(Residual(u, shape[k], axis), 1e-14) << "axis " << k;
    }
    // U23 couples y and z: 0.025 -+ sqrt(0.005^2 + 0.0007^2).
    std::vector<double> radii = SortedRadii(0);
    EXPECT_NEAR(radii[0], 0.01, 1e-15);
    EXPECT_NEAR(radii[1], 0.025 - std::sqrt(0.005 * 0.005 + 0.0007 * 0.0007), 1e-15);
    EXPECT_NEAR(radii[2], 0.025 + std::sqrt(0.005 * 0.005 + 0.0007 * 0.0007), 1e-15);
}

TEST_F(ReadAnisouFrameTest, ClosedFile) {
    ConsoleRun run = RunCaptured(ReadAnisouFrame, "\n");
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Something is seriously wrong. The input file seems to be closed.\n" + EXIT_PROMPT);
}

// ---- The real crystallographic files ---------------------------------------------------------------

namespace {

// NOTE: a minimal reader for the reference files (NAME.ref.json): it finds a key after a position and reads
// the value that follows. Enough for their fixed, machine-written layout.
std::size_t After(const std::string& json, const std::string& key, std::size_t from) {
    std::size_t at = json.find("\"" + key + "\"", from);
    if (at == std::string::npos) return std::string::npos;
    return json.find(':', at) + 1;
}

// All numbers inside the bracketed value that starts at or after pos.
std::vector<double> Numbers(const std::string& json, std::size_t pos) {
    std::vector<double> numbers;
    std::size_t open = json.find('[', pos);
    int depth = 0;
    for (std::size_t i = open; i < json.size(); ++i) {
        char c = json[i];
        if (c == '[') ++depth;
        else if (c == ']') {
            if (--depth == 0) break;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            char* end = nullptr;
            numbers.push_back(std::strtod(json.c_str() + i, &end));
            i = static_cast<std::size_t>(end - json.c_str()) - 1;
        }
    }
    return numbers;
}

double Number(const std::string& json, std::size_t pos) { return std::strtod(json.c_str() + pos, nullptr); }

std::string Text(const std::string& json, std::size_t pos) {
    std::size_t open = json.find('"', pos);
    return json.substr(open + 1, json.find('"', open + 1) - open - 1);
}

bool Flag(const std::string& json, std::size_t pos) { return json.compare(json.find_first_not_of(' ', pos), 4, "true") == 0; }

// Colour a reference names, as red, green, blue.
std::vector<double> NamedColour(const std::string& name) {
    if (name == "green") return {0, 1, 0};
    if (name == "red") return {1, 0, 0};
    if (name == "blue") return {0, 0, 1};
    if (name == "white") return {1, 1, 1};
    if (name == "olive") return {0.5, 0.5, 0};
    return {1, 1, 0};
}

// The colour a column-14 letter selects, for the letter counts of the reference.
std::vector<double> LetterColour(char letter) {
    switch (letter) {
        case 'C': return {0, 1, 0};
        case 'N': return {1, 0, 0};
        case 'O': return {0, 0, 1};
        case 'H': return {1, 1, 1};
        case 'S': return {0.5, 0.5, 0};
        default: return {1, 1, 0};
    }
}

// Opens DATA/pdb/NAME.pdb; empty output and a skip message when the data are not there.
bool OpenDataFile(const std::string& name, ConsoleRun& run, std::string& json) {
    std::string path = DataFile("pdb/" + name + ".pdb");
    std::string reference = DataFile("pdb/" + name + ".ref.json");
    if (path.empty() || reference.empty()) return false;
    json = FileBytes(reference);
    inname = path;
    run = RunCaptured(OpenAnisouFile, "\n");
    return true;
}

std::string Summary(int atomCount, int steps) {
    return "Infile open\nNumber of atoms:      " + std::to_string(atomCount) + "\nNumber of time steps: " +
           std::to_string(steps) + " (0 - " + std::to_string(steps - 1) + ")\n";
}

// Angle in degrees between two of frameBox's edges.
double EdgeAngle(int a, int b) {
    double ab = 0, aa = 0, bb = 0;
    for (int k = 0; k < 3; ++k) {
        ab += frameBox.edges[a][k] * frameBox.edges[b][k];
        aa += frameBox.edges[a][k] * frameBox.edges[a][k];
        bb += frameBox.edges[b][k] * frameBox.edges[b][k];
    }
    return std::acos(ab / std::sqrt(aa * bb)) * 180 / pi;
}

double EdgeLength(int a) {
    return std::sqrt(frameBox.edges[a][0] * frameBox.edges[a][0] + frameBox.edges[a][1] * frameBox.edges[a][1] +
                     frameBox.edges[a][2] * frameBox.edges[a][2]);
}

TEST_F(ReadAnisouFrameTest, EachStepsCryst1GivesItsCell) {
    // Step 0: a monoclinic cell; step 1: a triclinic one; step 2: a CRYST1 record without numbers.
    std::string triclinic = CRYST1;
    Put(triclinic, 7, "   10.000   12.000   14.000  70.00  80.00 100.00");
    std::string contents = Step(Particle("CA", 1, 2, 3)) + triclinic + "\n" + Particle("CA", 1, 2, 3) + "CRYST1\n" +
                           Particle("CA", 1, 2, 3);
    ASSERT_FALSE(OpenAndRead(contents, 0).exited);
    ASSERT_TRUE(frameBox.exists);
    EXPECT_NEAR(EdgeLength(0), 9.643, 1e-12);
    EXPECT_NEAR(EdgeLength(1), 9.609, 1e-12);
    EXPECT_NEAR(EdgeLength(2), 19.029, 1e-12);
    EXPECT_NEAR(EdgeAngle(0, 2), 101.22, 1e-9);  // beta, between a and c
    EXPECT_NEAR(EdgeAngle(1, 2), 90, 1e-9);
    EXPECT_NEAR(EdgeAngle(0, 1), 90, 1e-9);

    ASSERT_FALSE(OpenAndRead(contents, 1).exited);
    ASSERT_TRUE(frameBox.exists);
    EXPECT_NEAR(EdgeLength(2), 14, 1e-12);
    EXPECT_NEAR(EdgeAngle(1, 2), 70, 1e-9);  // alpha, between b and c
    EXPECT_NEAR(EdgeAngle(0, 2), 80, 1e-9);
    EXPECT_NEAR(EdgeAngle(0, 1), 100, 1e-9);
    // The crystallographic setting: a along x, b in the xy plane, c pointing to positive z.
    EXPECT_EQ(frameBox.edges[0][1], 0);
    EXPECT_EQ(frameBox.edges[0][2], 0);
    EXPECT_EQ(frameBox.edges[1][2], 0);
    EXPECT_GT(frameBox.edges[2][2], 0);

    ConsoleRun bare = OpenAndRead(contents, 2);
    EXPECT_FALSE(bare.exited) << bare.output;
    EXPECT_FALSE(frameBox.exists);
}

}  // namespace

using PdbRealFiles = SceneTest;

TEST_F(PdbRealFiles, SingleStepFilesMatchTheirReferences) {
    for (const std::string name : {"5e5z", "7az6", "1pwc", "19hc"}) {
        SCOPED_TRACE(name);
        ResetScene();
        ConsoleRun opened;
        std::string json;
        if (!OpenDataFile(name, opened, json)) GTEST_SKIP() << "no test data for " << name;
        const std::size_t checks = After(json, "checks", 0);
        const int expectedAtoms = static_cast<int>(Number(json, After(json, "viewer_atoms", checks)));
        ASSERT_FALSE(opened.exited) << opened.output;
        EXPECT_EQ(opened.output, Summary(expectedAtoms, 1));
        EXPECT_EQ(atoms, expectedAtoms);
        EXPECT_EQ(species, expectedAtoms);
        EXPECT_FALSE(showTS);
        EXPECT_EQ(counter, OffsetsAfterCryst1(FileBytes(inname)));

        // Every particle record is followed by its ANISOU record: the frame reads without a message.
        frame = 0;
        ConsoleRun read = RunCaptured(ReadAnisouFrame, "\n");
        ASSERT_FALSE(read.exited) << read.output;
        EXPECT_EQ(read.output, "");
        ASSERT_EQ(geom.size(), 9u * atoms);
        ASSERT_EQ(shape.size(), 3u * atoms);
        ASSERT_EQ(color.size(), 3u * atoms);
        ASSERT_EQ(bondvec, std::vector<double>(3u * atoms, 0.0));

        // The first atoms against the independent eigen-decomposition.
        std::size_t at = After(json, "first_atoms", 0);
        for (int p = 0; p < 5; ++p) {
            SCOPED_TRACE("particle " + std::to_string(p + 1));
            std::vector<double> position = Numbers(json, After(json, "position", at));
            std::string colour = Text(json, After(json, "colour_by_col14", at));
            std::vector<double> values = Numbers(json, After(json, "eigenvalues_A2_sorted", at));
            std::vector<double> vectors = Numbers(json, After(json, "eigenvectors_for_sorted_eigenvalues", at));
            bool degenerate = Flag(json, After(json, "degenerate", at));
            at = After(json, "gemmi_eigenvalues_sorted", at);
            ASSERT_EQ(position.size(), 3u);
            ASSERT_EQ(values.size(), 3u);
            ASSERT_EQ(vectors.size(), 9u);
            EXPECT_EQ(geom[9 * p + GEOM_LABEL], p + 1);
            EXPECT_EQ(geom[9 * p + GEOM_TYPE], p + 1);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(geom[9 * p + GEOM_X + k], position[k]);
            std::vector<double> expectedColour = NamedColour(colour);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(color[3 * p + k], expectedColour[k]);
            std::vector<double> radii = SortedRadii(p);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(radii[k], values[k], 2e-8);
            if (degenerate) continue;
            for (int k = 0; k < 3; ++k) {
                // Body axis k carries half radius shape[k]: it must lie along that eigenvalue's eigenvector.
                int sorted = static_cast<int>(std::lower_bound(radii.begin(), radii.end(), shape[3 * p + k]) -
                                              radii.begin());
                double axis[3];
                DrawnAxis(p, k, axis);
                double dot = 0;
                for (int i = 0; i < 3; ++i) dot += axis[i] * vectors[3 * sorted + i];
                EXPECT_NEAR(std::fabs(dot), 1, 1e-7) << "body axis " << k;
            }
        }

        // Whole-file counts of the reference: colours by letter, isotropic and non-positive-definite tensors.
        std::size_t letters = After(json, "column14_letters", checks);
        std::string letterBlock = json.substr(letters, json.find('}', letters) - letters);
        std::size_t expectedGreen = 0, expectedYellow = 0;
        for (std::size_t q = letterBlock.find('"'); q != std::string::npos; q = letterBlock.find('"', q + 3)) {
            char letter = letterBlock[q + 1];
            std::size_t count = static_cast<std::size_t>(Number(letterBlock, letterBlock.find(':', q) + 1));
            std::vector<double> rgb = LetterColour(letter);
            if (rgb == std::vector<double>{0, 1, 0}) expectedGreen += count;
            if (rgb == std::vector<double>{1, 1, 0}) expectedYellow += count;
            q = letterBlock.find(',', q);
            if (q == std::string::npos) break;
        }
        std::size_t green = 0, yellow = 0, isotropic = 0, nonPositive = 0;
        std::size_t notUnit = 0;
        for (int p = 0; p < atoms; ++p) {
            std::vector<double> rgb(color.begin() + 3 * p, color.begin() + 3 * p + 3);
            if (rgb == std::vector<double>{0, 1, 0}) ++green;
            if (rgb == std::vector<double>{1, 1, 0}) ++yellow;
            std::vector<double> radii = SortedRadii(p);
            if (radii[2] - radii[0] < 1e-12) ++isotropic;
            if (radii[0] <= 1e-12) ++nonPositive;
            const double* q = &geom[9 * p + GEOM_QW];
            // NOTE: the first quaternion branch divides by 4w, so its rounding error grows like epsilon / w^2
            // (1pwc.pdb holds a particle with w = 5.7e-5 whose length is off by 1.4e-8).
            const double tolerance = 1e-12 + 1e-15 / std::max(q[0] * q[0], 1e-12);
            if (std::fabs(std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]) - 1) > tolerance) ++notUnit;
        }
        EXPECT_EQ(green, expectedGreen);
        EXPECT_EQ(yellow, expectedYellow);
        EXPECT_EQ(isotropic, static_cast<std::size_t>(Number(json, After(json, "isotropic_tensors", checks))));
        EXPECT_EQ(nonPositive, static_cast<std::size_t>(Number(json, After(json, "non_positive_definite_tensors", checks))));
        // Every eigenvector matrix was made a rotation, whose quaternion has unit length.
        EXPECT_EQ(notUnit, 0u);
    }
}

TEST_F(PdbRealFiles, FileWithAtomsLackingAnisouStopsAtTheFirstOne) {
    ConsoleRun opened;
    std::string json;
    if (!OpenDataFile("1ejg", opened, json)) GTEST_SKIP() << "no test data for 1ejg";
    ASSERT_FALSE(opened.exited) << opened.output;
    EXPECT_EQ(opened.output, Summary(831, 1));

    std::size_t first = After(json, "first_particle_without_anisou", 0);
    EXPECT_EQ(Number(json, After(json, "line_number", first)), 318);
    std::string record = Text(json, After(json, "record", first));
    std::string next = Text(json, After(json, "next_line", first));
    ASSERT_EQ(next.rfind("ATOM      3  CA ATHR A   1", 0), 0u);
    ASSERT_EQ(record.rfind("ATOM      2  N  BTHR A   1", 0), 0u);

    frame = 0;
    ConsoleRun read = RunCaptured(ReadAnisouFrame, "\n");
    EXPECT_TRUE(read.exited);
    EXPECT_EQ(read.output, next + "\nSomething's not right. This should be a ANIOSU line.\nBut it's not.\n" + EXIT_PROMPT);
    // ATOM 1 and its ANISOU were read before ATOM 2 came without one.
    ASSERT_EQ(geom.size(), 9u);
    EXPECT_EQ(geom[GEOM_X], 16.885);
}

TEST_F(PdbRealFiles, FiveStepTrajectory) {
    std::string path = DataFile("pdb/5e5z_traj5.pdb");
    std::string single = DataFile("pdb/5e5z.pdb");
    if (path.empty() || single.empty()) GTEST_SKIP() << "no test data for 5e5z_traj5";

    // The single-step file the trajectory was made from.
    inname = single;
    ASSERT_FALSE(RunCaptured(OpenAnisouFile, "\n").exited);
    ASSERT_FALSE(RunCaptured(ReadAnisouFrame, "\n").exited);
    const std::vector<double> baseGeom = geom, baseShape = shape, baseColor = color;
    ResetScene();

    inname = path;
    ConsoleRun opened = RunCaptured(OpenAnisouFile, "\n");
    ASSERT_FALSE(opened.exited) << opened.output;
    EXPECT_EQ(opened.output, Summary(47, 5));
    EXPECT_TRUE(showTS);
    EXPECT_EQ(counter, OffsetsAfterCryst1(FileBytes(path)));
    ASSERT_EQ(counter.size(), 5u);

    std::vector<std::vector<double>> steps;
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE("time step " + std::to_string(k));
        frame = k;
        ConsoleRun read = RunCaptured(ReadAnisouFrame, "\n");
        ASSERT_FALSE(read.exited) << read.output;
        ASSERT_EQ(geom.size(), 9u * 47);
        EXPECT_EQ(color, baseColor);
        if (k == 0) {
            EXPECT_EQ(geom, baseGeom);
            EXPECT_EQ(shape, baseShape);
        }
        // Drift of k (1.0, 0.5, 0) with at most 0.1 of jitter per coordinate; U grows by a tenth of step 0 per step.
        for (int p = 0; p < 47; ++p) {
            EXPECT_NEAR(geom[9 * p + GEOM_X] - baseGeom[9 * p + GEOM_X], 1.0 * k, 0.1 + 1e-9);
            EXPECT_NEAR(geom[9 * p + GEOM_X + 1] - baseGeom[9 * p + GEOM_X + 1], 0.5 * k, 0.1 + 1e-9);
            EXPECT_NEAR(geom[9 * p + GEOM_X + 2] - baseGeom[9 * p + GEOM_X + 2], 0, 0.1 + 1e-9);
            std::vector<double> radii = SortedRadii(p);
            std::vector<double> base(baseShape.begin() + 3 * p, baseShape.begin() + 3 * p + 3);
            std::sort(base.begin(), base.end());
            // Each U is rounded to a whole 10^-4, which moves an eigenvalue by at most 1.5e-4.
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(radii[i], (1 + 0.1 * k) * base[i], 1.5e-4 + 1e-12);
        }
        steps.push_back(geom);
    }
    for (int k : {4, 0, 2, 4}) {
        frame = k;
        ASSERT_FALSE(RunCaptured(ReadAnisouFrame, "\n").exited);
        EXPECT_EQ(geom, steps[k]) << "time step " << k;
    }
}
