// Hostile values in every reader: non-finite and out-of-range numbers, absurd sizes, overlong lines and words.
// A non-finite number is never stored, so it never reaches an int conversion or OpenGL; a size is judged
// before any table grows; a line without end is refused before it fills memory.
#include <cmath>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/config/bond_reader.h"
#include "io/config/config_reader.h"
#include "io/dump/dump_reader.h"
#include "io/line_reader.h"
#include "io/pdb/pdb_reader.h"
#include "tests/support/test_support.h"

// The suites are named after the functions; inside this namespace the names mean the fixture.
namespace {

using ReadConfig = SceneTest;
using OpenQuatFile = SceneTest;
using ReadQuatFrame = SceneTest;
using OpenAnisouFile = SceneTest;
using ReadAnisouFrame = SceneTest;
using ReadBonds = SceneTest;

// Spellings of numbers that are not finite doubles; none of them may be stored.
const std::vector<std::string> NON_FINITE = {"nan", "NaN", "-nan", "NAN(123)", "inf", "-inf", "Inf",
                                             "INFINITY", "infinity", "1e999", "-1e999", "1E400", "0x1p9999"};

// Gives the tables' memory back, so that a test can tell whether a reader allocated any.
void ReleaseTables() {
    for (std::vector<double>* table : {&shape, &color, &bondvec, &geom}) std::vector<double>().swap(*table);
}

bool AllFinite(const std::vector<double>& table) {
    for (double value : table)
        if (!std::isfinite(value)) return false;
    return true;
}

ConsoleRun ReadConfigText(const std::string& text) {
    std::string path = WriteTempFile("hostile.cfg", text);
    return RunCaptured([path] { ::ReadConfig(path); });
}

const std::string CONFIG_START = "dumpfile a.dump\nspecies 2\n";
const std::string CONFIG_END = "half_radii 2 1 1 1\ncolor 2 1 1 1\nbond_vector 1 1 0 0 0\nbackground 0 0 0\n";

ConsoleRun OpenDump(const std::string& contents) {
    inname = WriteTempFile("hostile.dump", contents);
    quat = true;
    if (species == 0) species = 2;
    return RunCaptured([] { ::OpenQuatFile(); });
}

ConsoleRun ReadDumpFrame(int which) {
    frame = which;
    infile.clear();
    return RunCaptured([] { ::ReadQuatFrame(); });
}

std::string OneAtomFrame(const std::string& atomLine) {
    return "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS id type x y z w i j k\n" + atomLine + "\n";
}

// PDB records with fields placed in their columns (1-based), padded with blanks.
std::string Record(const std::string& name, const std::vector<std::pair<std::size_t, std::string>>& fields,
                   std::size_t length) {
    std::string line(length, ' ');
    line.replace(0, name.size(), name);
    for (const auto& field : fields) line.replace(field.first - 1, field.second.size(), field.second);
    return line + "\n";
}

std::string Right(const std::string& text, std::size_t width) {
    return text.size() >= width ? text.substr(0, width) : std::string(width - text.size(), ' ') + text;
}

std::string Atom(const std::string& x, const std::string& y, const std::string& z) {
    return Record("ATOM", {{14, "C"}, {31, Right(x, 8)}, {39, Right(y, 8)}, {47, Right(z, 8)}}, 80);
}

std::string Anisou(const std::vector<std::string>& u) {
    std::vector<std::pair<std::size_t, std::string>> fields;
    for (std::size_t k = 0; k < 6; ++k) fields.push_back({29 + 7 * k, Right(u[k], 7)});
    return Record("ANISOU", fields, 80);
}

const std::string CRYST1 = "CRYST1    9.643    9.609   19.029  90.00 101.22  90.00 P 1 21 1      2\n";

ConsoleRun OpenAndReadPdb(const std::string& contents) {
    inname = WriteTempFile("hostile.pdb", contents);
    ConsoleRun opened = RunCaptured(::OpenAnisouFile);
    if (opened.exited) return opened;
    frame = 0;
    return RunCaptured(::ReadAnisouFrame);
}

ConsoleRun ReadBondText(const std::string& text) {
    std::string path = WriteTempFile("hostile.bonds", text);
    return RunCaptured([path] { ::ReadBonds(path); });
}

// Five atoms of one species with two bond origins.
void BondScene() {
    atoms = 5;
    species = 1;
    bondvec.assign(6, 0.0);
}

// ---- Configuration --------------------------------------------------------------------------------

TEST_F(ReadConfig, NonFiniteRealsAreNotReadAndCountAsMissing) {
    for (const std::string& bad : NON_FINITE) {
        ResetScene();
        ConsoleRun run = ReadConfigText(CONFIG_START + "half_radii 1 " + bad + " 2 3\ncolor 1 0.5 " + bad +
                                        " 1\nbond_vector 1 2 1 2 " + bad + "\n" + CONFIG_END);
        ASSERT_FALSE(run.exited) << bad << "\n" << run.output;
        // Reading stops at the first value that cannot be read: it and the values after it stay 0.
        EXPECT_EQ(shape, (std::vector<double>{0, 0, 0, 1, 1, 1})) << bad;
        EXPECT_EQ(color, (std::vector<double>{0.5, 0, 0, 1, 1, 1})) << bad;
        EXPECT_EQ(bondvec, (std::vector<double>{0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0})) << bad;
    }
}

TEST_F(ReadConfig, NonFiniteBackgroundAndBondWidthKeepTheirValues) {
    for (const std::string& bad : NON_FINITE) {
        ResetScene();
        ConsoleRun run = ReadConfigText(CONFIG_START + "half_radii 1 1 1 1\ncolor 1 1 1 1\n" + CONFIG_END +
                                        "background 0.5 " + bad + " 0.25\nsolid_bonds " + bad + "\n");
        ASSERT_FALSE(run.exited) << bad << "\n" << run.output;
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isfinite(BGColor[k])) << bad;
        EXPECT_EQ(BGColor[0], 0.5f) << bad;
        EXPECT_EQ(BGColor[1], 0.0f) << bad;
        EXPECT_EQ(BGColor[2], 0.0f) << bad;
        EXPECT_EQ(bondwidth, 0.0) << bad;
        EXPECT_FALSE(solidBonds) << bad;
    }
}

TEST_F(ReadConfig, BackgroundBeyondSinglePrecisionIsNotRead) {
    ConsoleRun run = ReadConfigText(CONFIG_START + "half_radii 1 1 1 1\ncolor 1 1 1 1\n" + CONFIG_END +
                                    "background 1e39 0.5 0.5\n");
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(BGColor[0], 0.0f);
    EXPECT_EQ(BGColor[1], 0.0f);
}

TEST_F(ReadConfig, NonFiniteIndexIsAnIllegalIndex) {
    for (const std::string& bad : {std::string("nan"), std::string("inf"), std::string("-inf")}) {
        ResetScene();
        ConsoleRun run = ReadConfigText(CONFIG_START + "half_radii " + bad + " 1 1 1\n");
        EXPECT_TRUE(run.exited) << bad;
        EXPECT_NE(run.output.find("Illegal species index at the entry 'half_radii " + bad + " 1 1 1'."),
                  std::string::npos)
            << run.output;
        ResetScene();
        run = ReadConfigText(CONFIG_START + "bond_vector 1 " + bad + " 1 1 1\n");
        EXPECT_TRUE(run.exited) << bad;
        EXPECT_NE(run.output.find("Illegal species index or bond vector number"), std::string::npos) << run.output;
        EXPECT_EQ(bondvec.size(), 6u);
    }
}

TEST_F(ReadConfig, SpeciesCountOfAThousandMillionIsRefusedBeforeAllocating) {
    ReleaseTables();
    ConsoleRun run = ReadConfigText("dumpfile a.dump\nspecies 1000000000\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The number of species at the entry 'species 1000000000' is too large."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(species, 0);
    EXPECT_EQ(shape.capacity(), 0u);
    EXPECT_EQ(bondvec.capacity(), 0u);
}

TEST_F(ReadConfig, BondVectorNumberOfAThousandMillionIsRefusedBeforeAllocating) {
    ConsoleRun run = ReadConfigText(CONFIG_START + "bond_vector 1 1000000000 1 1 1\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The species index or bond vector number at the entry 'bond_vector 1 1000000000 1 1 1'"
                              " is too large."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(bondvec.size(), 6u);
}

TEST_F(ReadConfig, OverlongLinesAndWordsAreReadWhole) {
    const std::string longName(1 << 20, 'a');
    ConsoleRun run = ReadConfigText("dumpfile " + longName + "\nbondfile " + longName + " " + longName + "\n" +
                                    "species 2 " + std::string(1 << 20, '9') + "\nhalf_radii 1 1 1 1 " +
                                    std::string(1 << 20, '5') + "\ncolor 1 1 1 1\n" + CONFIG_END);
    ASSERT_FALSE(run.exited) << run.output.substr(0, 200);
    EXPECT_EQ(inname, longName);
    EXPECT_EQ(species, 2);
    EXPECT_EQ(shape, (std::vector<double>{1, 1, 1, 1, 1, 1}));

    // A keyword of a million characters is a wrong keyword, quoted whole.
    ResetScene();
    const std::string longWord(1 << 20, 'k');
    run = ReadConfigText(longWord + " 1\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("Wrong keyword at the entry '" + longWord + " 1'."), std::string::npos);
}

TEST_F(ReadConfig, DigitsOfAnIndexBeyondLongLongAreRefused) {
    ConsoleRun run = ReadConfigText(CONFIG_START + "color " + std::string(400, '9') + " 1 1 1\n");
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("Illegal species index at the entry 'color 999"), std::string::npos);
}

// ---- Dump trajectories ----------------------------------------------------------------------------

TEST_F(ReadQuatFrame, NonFinitePositionsAndQuaternionsAreNeverStored) {
    for (const std::string& bad : NON_FINITE) {
        for (int field = 2; field < GEOM_STRIDE; ++field) {
            ResetScene();
            std::vector<std::string> values = {"7", "1", "0.5", "1.5", "2.5", "1", "0", "0", "0"};
            values[field] = bad;
            std::string atomLine;
            for (const std::string& value : values) atomLine += value + " ";
            ASSERT_FALSE(OpenDump(OneAtomFrame(atomLine)).exited);
            ConsoleRun run = ReadDumpFrame(0);
            ASSERT_FALSE(run.exited) << atomLine << "\n" << run.output;
            ASSERT_TRUE(AllFinite(geom)) << atomLine;
            // The field and every later one keep the zeros they had after opening.
            for (int k = field; k < GEOM_STRIDE; ++k) EXPECT_EQ(geom[k], 0.0) << atomLine << " field " << k;
            EXPECT_EQ(geom[GEOM_TYPE], 1.0);
        }
    }
}

TEST_F(ReadQuatFrame, NonFiniteTypeIsAnIllegalEntry) {
    for (const std::string& bad : NON_FINITE) {
        ResetScene();
        ASSERT_FALSE(OpenDump(OneAtomFrame("3 " + bad + " 0 0 0 1 0 0 0")).exited);
        ConsoleRun run = ReadDumpFrame(0);
        EXPECT_TRUE(run.exited) << bad;
        // The type was not read: it keeps its 0 and is refused as a type below 1.
        EXPECT_NE(run.output.find("Illegal entry for atom no 3 in time step 0:\n3 " + bad +
                                  " 0 0 0 1 0 0 0\nType read: 0. Only 2 specified in input."),
                  std::string::npos)
            << run.output;
    }
}

TEST_F(ReadQuatFrame, HugeFiniteTypeIsAnIllegalEntry) {
    for (const char* type : {"1e300", "2147483648", "9223372036854775808", "-1e300"}) {
        ResetScene();
        ASSERT_FALSE(OpenDump(OneAtomFrame(std::string("3 ") + type + " 0 0 0 1 0 0 0")).exited);
        ConsoleRun run = ReadDumpFrame(0);
        EXPECT_TRUE(run.exited) << type;
        EXPECT_NE(run.output.find("Illegal entry for atom no 3"), std::string::npos) << run.output;
    }
}

TEST_F(ReadQuatFrame, LongExponentsAreReadOrRefusedWithoutOverflow) {
    ResetScene();
    ASSERT_FALSE(OpenDump(OneAtomFrame("1 1 1e0001 25e-0001 1e" + std::string(30, '0') + "2 " +
                                       "1e1000000000000 5 5 5 5")).exited);
    ConsoleRun run = ReadDumpFrame(0);
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(geom, (std::vector<double>{1, 1, 10, 2.5, 100, 0, 0, 0, 0}));
}

TEST_F(OpenQuatFile, AtomCountBeyondIntIsNotAValidCount) {
    for (const char* count : {"1000000000000", "2147483648", "99999999999999999999999", "nan", "inf", "-1"}) {
        ResetScene();
        ReleaseTables();
        ConsoleRun run = OpenDump(std::string("ITEM: NUMBER OF ATOMS\n") + count + "\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
        EXPECT_TRUE(run.exited) << count;
        EXPECT_NE(run.output.find(std::string("The number of atoms in frame 0 is not a valid count:\n") + count),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(geom.capacity(), 0u);
    }
    // The count is the integer the line begins with: "1e12" is the count 1 followed by text, like "1 atom".
    ResetScene();
    ConsoleRun run = OpenDump("ITEM: NUMBER OF ATOMS\n1e12\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n");
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(atoms, 1);
}

TEST_F(OpenQuatFile, HugeAtomCountInASmallFileAllocatesNothing) {
    for (const char* count : {"2000000000", "2147483647"}) {
        ResetScene();
        ReleaseTables();
        ConsoleRun run = OpenDump(std::string("ITEM: NUMBER OF ATOMS\n") + count +
                                  "\nITEM: ATOMS\n1 1 0 0 0 1 0 0 0\n2 1 0 0 0 1 0 0 0\n");
        EXPECT_TRUE(run.exited) << count;
        EXPECT_NE(run.output.find("holds no complete time step."), std::string::npos) << run.output;
        EXPECT_EQ(geom.capacity(), 0u) << count;
    }
}

// Blank atom lines cost a byte of file each but 72 bytes of table: a frame beyond the machine's memory
// is explained before its table is allocated, and one that fits exactly is opened.
TEST_F(OpenQuatFile, FrameBeyondTheMemoryIsRefusedBeforeAllocating) {
    const int count = 20000;
    const std::string text = "ITEM: NUMBER OF ATOMS\n" + std::to_string(count) + "\nITEM: ATOMS\n" + std::string(count, '\n');
    ReleaseTables();
    frameMemoryLimit = 1 << 20;
    ConsoleRun run = OpenDump(text);
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("\nFrame 0 of " + inname + " holds 20000 atoms: one frame of them needs 1 MiB, more "
                              "than the 1 MiB of memory here.\nPlease correct this and run program again.\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(geom.capacity(), 0u);

    ResetScene();
    frameMemoryLimit = static_cast<long long>(count) * GEOM_STRIDE * sizeof(double);
    run = OpenDump(text);
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_EQ(geom.size(), static_cast<std::size_t>(count) * GEOM_STRIDE);
    EXPECT_GT(PhysicalMemoryBytes(), 1LL << 26);
}

TEST_F(OpenQuatFile, LineWithoutEndLongerThanTheLimitIsRefused) {
    // A header area that never ends: the scan would otherwise hold the whole file as one line.
    std::string text = "ITEM: TIMESTEP\n" + std::string(static_cast<std::size_t>(MAX_LINE_BYTES) + 1, 'x');
    ConsoleRun run = OpenDump(text);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile " + inname + " opened\nReading...\nThe line at byte 15 of " + inname +
                              " is longer than 16777216 bytes.\nNo trajectory has lines that long. Is " + inname +
                              " the right file?\nPlease correct this and run program again.\nPress Enter to exit.");
}

TEST_F(OpenQuatFile, LineAsLongAsTheLimitIsRead) {
    std::string text = "ITEM: TIMESTEP\n" + std::string(static_cast<std::size_t>(MAX_LINE_BYTES), 'x') + "\n" +
                       OneAtomFrame("1 1 0 0 0 1 0 0 0");
    ConsoleRun run = OpenDump(text);
    EXPECT_FALSE(run.exited) << run.output.substr(0, 300);
    EXPECT_EQ(counter.size(), 1u);
    EXPECT_EQ(atoms, 1);
}

TEST_F(ReadQuatFrame, OverlongAtomLineIsReadUpToTheLimit) {
    // Atom lines are skipped during the scan, so the frame read is the first to meet the long line.
    std::string padding(static_cast<std::size_t>(MAX_LINE_BYTES) + 10, ' ');
    ASSERT_FALSE(OpenDump(OneAtomFrame("1 1 0 0 0 1 0 0 0" + padding)).exited);
    ConsoleRun run = ReadDumpFrame(0);
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find(" is longer than 16777216 bytes.\n"), std::string::npos) << run.output.substr(0, 300);

    ResetScene();
    ASSERT_FALSE(OpenDump(OneAtomFrame("1 1 0 0 0 1 0 0 0" + std::string(1 << 20, ' ') + "9 9")).exited);
    run = ReadDumpFrame(0);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(geom, (std::vector<double>{1, 1, 0, 0, 0, 1, 0, 0, 0}));
}

// ---- PDB trajectories -----------------------------------------------------------------------------

TEST_F(ReadAnisouFrame, NonFiniteFieldsReadAsZero) {
    for (const std::string& bad : {std::string("nan"), std::string("-inf"), std::string("NaN"), std::string("1e999"),
                                   std::string("inf"), std::string("Infinit"), std::string("1e-999")}) {
        ResetScene();
        ConsoleRun run = OpenAndReadPdb(CRYST1 + Atom(bad, "1.5", bad) + Anisou({bad, "100", bad, "0", bad, "0"}));
        ASSERT_FALSE(run.exited) << bad << "\n" << run.output;
        ASSERT_EQ(geom.size(), 9u);
        EXPECT_EQ(geom[GEOM_X], 0.0) << bad;
        EXPECT_EQ(geom[GEOM_X + 1], 1.5) << bad;
        EXPECT_EQ(geom[GEOM_X + 2], 0.0) << bad;
        EXPECT_TRUE(AllFinite(geom)) << bad;
        EXPECT_TRUE(AllFinite(shape)) << bad;
        // U22 = 100 is the only value left: half radii 0.01, 0 and 0 in some order.
        EXPECT_DOUBLE_EQ(shape[0] + shape[1] + shape[2], 0.01) << bad;
    }
}

TEST_F(ReadAnisouFrame, LargestFieldsGiveFiniteEllipsoids) {
    for (const std::string& big : {std::string("9999999"), std::string("1e307"), std::string("-1e307"),
                                   std::string("9.9e307"), std::string("1e-307")}) {
        ResetScene();
        ConsoleRun run = OpenAndReadPdb(CRYST1 + Atom("1e307", "-1e307", "99999999") +
                                        Anisou({big, big, big, big, "-" + big.substr(0, 6), big}));
        ASSERT_FALSE(run.exited) << big << "\n" << run.output;
        EXPECT_TRUE(AllFinite(geom)) << big;
        EXPECT_TRUE(AllFinite(shape)) << big;
    }
}

TEST_F(OpenAnisouFile, LineWithoutEndLongerThanTheLimitIsRefused) {
    inname = WriteTempFile("hostile.pdb", "REMARK\n" + std::string(static_cast<std::size_t>(MAX_LINE_BYTES) + 1, 'C'));
    ConsoleRun run = RunCaptured(::OpenAnisouFile);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.output, "Infile open\nThe line at byte 7 of " + inname + " is longer than 16777216 bytes.\n"
                          "No trajectory has lines that long. Is " + inname + " the right file?\n"
                          "Please correct this and run program again.\nPress Enter to exit.");
}

TEST_F(ReadAnisouFrame, OverlongRecordsAreCheckedByTheirColumns) {
    // Long records within the limit: the fields are taken from their columns, the rest is ignored.
    std::string atom = Atom("1.0", "2.0", "3.0");
    std::string anisou = Anisou({"100", "100", "100", "0", "0", "0"});
    atom.insert(atom.size() - 1, std::string(1 << 20, 'x'));
    anisou.insert(anisou.size() - 1, std::string(1 << 20, '7'));
    ConsoleRun run = OpenAndReadPdb(CRYST1 + atom + anisou);
    ASSERT_FALSE(run.exited) << run.output.substr(0, 300);
    EXPECT_EQ(std::vector<double>(geom.begin() + GEOM_X, geom.begin() + GEOM_X + 3), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(shape, (std::vector<double>{0.01, 0.01, 0.01}));
}

// ---- Bond files -----------------------------------------------------------------------------------

TEST_F(ReadBonds, NonFiniteOriginsCountAsMissing) {
    for (const std::string& bad : NON_FINITE) {
        ResetScene();
        BondScene();
        ConsoleRun run = ReadBondText("Bonds\n\n1 1 1 2 " + bad + " 2\n2 1 2 3 2 " + bad + "\n");
        ASSERT_FALSE(run.exited) << bad << "\n" << run.output;
        EXPECT_EQ(topology, (std::vector<int>{1, 2, 1, 1, 2, 3, 1, 1})) << bad;
    }
}

TEST_F(ReadBonds, HugeOriginsAreReportedNotConverted) {
    for (const char* origins : {"1 1e300", "1e300 1", "2147483648 1", "1 9223372036854775808"}) {
        ResetScene();
        BondScene();
        ConsoleRun run = ReadBondText(std::string("Bonds\n\n1 1 1 2 ") + origins + "\n");
        EXPECT_TRUE(run.exited) << origins;
        EXPECT_NE(run.output.find("Error reading bonds. Bond goes from bond origin that does not exist.\n"
                                  "Line number 3: 1 1 1 2 " + std::string(origins)),
                  std::string::npos)
            << run.output;
    }
}

TEST_F(ReadBonds, AtomNumbersBeyondAnyIntegerAreReported) {
    for (const char* atomsField : {"1 99999999999999999999999", "-99999999999999999999999 1", "1 2147483648",
                                   "-2147483649 1"}) {
        ResetScene();
        BondScene();
        ConsoleRun run = ReadBondText(std::string("Bonds\n\n7 1 ") + atomsField + "\n");
        EXPECT_TRUE(run.exited) << atomsField;
        EXPECT_NE(run.output.find("Error reading bonds. Bond goes to atom that does not exist.\nLine number 3: 7 1 " +
                                  std::string(atomsField)),
                  std::string::npos)
            << run.output;
    }
}

TEST_F(ReadBonds, NonFiniteAtomNumbersMakeNoBond) {
    BondScene();
    ConsoleRun run = ReadBondText("Bonds\n\n1 1 nan 2\n2 1 1 inf\n3 1 1e1 2\n");
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(topology.empty());
}

TEST_F(ReadBonds, OverlongLineIsReadWhole) {
    BondScene();
    ConsoleRun run = ReadBondText("Bonds\n\n1 1 1 2 2 2" + std::string(1 << 20, ' ') + "junk\n" +
                                  std::string(1 << 20, '1') + "\n");
    ASSERT_FALSE(run.exited) << run.output.substr(0, 300);
    EXPECT_EQ(topology, (std::vector<int>{1, 2, 2, 2}));
}

}  // namespace
