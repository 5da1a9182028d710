// The configuration reader: keywords, value rules, defaults, required check, errors and the retry prompt.
#include "io/config/config_reader.h"

#include <string>
#include <vector>

#include "core/scene.h"
#include "tests/support/test_support.h"

// The suite is named after the function; inside this namespace the name means the fixture.
namespace {

using ReadConfig = SceneTest;

// One read of an inline configuration: what it printed, whether it ended, and what it returned.
struct ConfigRun {
    std::string path;
    ConsoleRun console;
    std::string result;
};

ConfigRun ReadText(const std::string& text, const std::string& input = "", const std::string& name = "test.cfg") {
    ConfigRun run;
    run.path = WriteTempFile(name, text);
    run.console = RunCaptured([&] { run.result = ::ReadConfig(run.path); }, input);
    return run;
}

// Console lines, each ended by a line end.
std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string Opened(const std::string& path) { return "Input file " + path + " is opened.\n"; }

const std::string NO_BONDS = Lines({"No file with bond information found.", "No bonds will be drawn."});
const std::string NO_TEXTURE = Lines({"No texture will be used for the species."});
const std::string EXIT_PROMPT = "Press Enter to exit.";

// A complete one-species dump configuration; tests append or prepend the lines they need.
const std::string MINIMAL = R"(dumpfile a.dump
species 1
half_radii 1 1 1 1
color 1 1 1 1
bond_vector 1 1 0 0 0
background 0 0 0
)";

const std::string WORKED_EXAMPLE = R"(# two species, one bond type
dumpfile run.dump
bondfile run.bonds
species 2
half_radii 1 1.0 0.5 0.5
half_radii 2 0.8 0.8 0.3
color 1 1 0 0
color 2 0 0 1
bond_vector 1 1 1.0 0 0
bond_vector 2 1 0 0 0.3
bond_vector 1 2 -1.0 0 0
background 1 1 1
solid_bonds 0.1
)";

void ExpectWorkedExampleState(const ConfigRun& run) {
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(run.result, "run.bonds");
    EXPECT_EQ(inname, "run.dump");
    EXPECT_TRUE(quat);
    EXPECT_EQ(species, 2);
    EXPECT_EQ(shape, (std::vector<double>{1.0, 0.5, 0.5, 0.8, 0.8, 0.3}));
    EXPECT_EQ(color, (std::vector<double>{1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(bondvec, (std::vector<double>{1, 0, 0, 0, 0, 0.3, -1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(BGColor[0], 1.0f);
    EXPECT_EQ(BGColor[1], 1.0f);
    EXPECT_EQ(BGColor[2], 1.0f);
    EXPECT_EQ(BGColor[3], 1.0f);
    EXPECT_EQ(FogColor[0], 1.0f);
    EXPECT_EQ(FogColor[1], 1.0f);
    EXPECT_EQ(FogColor[2], 1.0f);
    EXPECT_EQ(FogColor[3], 0.0f);
    EXPECT_DOUBLE_EQ(bondwidth, 0.1);
    EXPECT_TRUE(solidBonds);
    EXPECT_EQ(ellipsoidtexture, "");
    EXPECT_EQ(bondtexture, "");
    EXPECT_EQ(texture, (std::vector<unsigned int>{0}));
}

// ---- The worked example ---------------------------------------------------------------------------

TEST_F(ReadConfig, WorkedExampleTablesConsoleAndResult) {
    ConfigRun run = ReadText(WORKED_EXAMPLE);
    ExpectWorkedExampleState(run);
    EXPECT_EQ(run.console.output, Opened(run.path) + Lines({"Dump File: run.dump", "Bond File: run.bonds",
                                                            "The number of species is 2",
                                                            "No texture will be used for the species."}));
}

TEST_F(ReadConfig, WorkedExampleWithCrLfLineEnds) {
    ConfigRun run = ReadText(WithCrLf(WORKED_EXAMPLE));
    ExpectWorkedExampleState(run);
    EXPECT_EQ(run.console.output, Opened(run.path) + Lines({"Dump File: run.dump", "Bond File: run.bonds",
                                                            "The number of species is 2",
                                                            "No texture will be used for the species."}));
}

TEST_F(ReadConfig, LastLineWithoutLineEnd) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
                             "bond_vector 1 1 0 0 0\nbackground 0.25 0.5 0.75");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(BGColor[0], 0.25f);
    EXPECT_EQ(BGColor[1], 0.5f);
    EXPECT_EQ(BGColor[2], 0.75f);
    EXPECT_EQ(BGColor[3], 1.0f);
}

TEST_F(ReadConfig, BlankWhitespaceAndCommentLinesAreSkippedAnywhere) {
    ConfigRun run = ReadText("\n   \n\t\n#comment before the first keyword\ndumpfile a.dump\n\n#\nspecies 1\n"
                             " \t \nhalf_radii 1 1 2 3\n#half_radii 1 9 9 9\ncolor 1 1 1 1\n"
                             "bond_vector 1 1 0 0 0\nbackground 0 0 0\n\n\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3}));
}

// ---- Word values ----------------------------------------------------------------------------------

TEST_F(ReadConfig, WordValueIsTheFirstWordAfterAnyWhitespace) {
    ConfigRun run = ReadText("dumpfile \t  dir/traj.dump   ignored words\n" + MINIMAL.substr(MINIMAL.find('\n') + 1) +
                             "bondfile\tx.bonds trailing\ntexture  wood.png extra\ntexture_bonds\tsteel.jpg\r\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(inname, "dir/traj.dump");
    EXPECT_EQ(run.result, "x.bonds");
    EXPECT_EQ(ellipsoidtexture, "wood.png");
    EXPECT_EQ(bondtexture, "steel.jpg");
    EXPECT_NE(run.console.output.find("Dump File: dir/traj.dump\n"), std::string::npos);
    EXPECT_NE(run.console.output.find("Bond File: x.bonds\n"), std::string::npos);
}

TEST_F(ReadConfig, WordValueMayBeEmpty) {
    ConfigRun run = ReadText("dumpfile\n" + MINIMAL.substr(MINIMAL.find('\n') + 1) + "bondfile   \n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(inname, "");
    EXPECT_EQ(run.result, "");
    EXPECT_EQ(run.console.output, Opened(run.path) + Lines({"Dump File: ", "The number of species is 1", "Bond File: "}) +
                                      NO_TEXTURE);
}

TEST_F(ReadConfig, LastBondfileLineWins) {
    ConfigRun run = ReadText(MINIMAL + "bondfile first.bonds\nbondfile second.bonds\n");
    EXPECT_EQ(run.result, "second.bonds");
}

// ---- The species count ----------------------------------------------------------------------------

TEST_F(ReadConfig, SpeciesCountTakesTheLeadingDigits) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies   3abc\nhalf_radii 3 1 1 1\ncolor 1 1 1 1\n"
                             "bond_vector 1 1 0 0 0\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(species, 3);
    EXPECT_EQ(shape.size(), 9u);
    EXPECT_EQ(color.size(), 9u);
    EXPECT_EQ(bondvec.size(), 9u);
    EXPECT_NE(run.console.output.find("The number of species is 3\n"), std::string::npos);
}

TEST_F(ReadConfig, SpeciesWithoutDigitsKeepsTheEarlierValue) {
    for (const char* value : {"-2", "+2", "two", ""}) {
        ResetScene();
        ConfigRun run = ReadText(std::string("species ") + value + "\n");
        EXPECT_EQ(species, 0) << value;
        EXPECT_TRUE(shape.empty()) << value;
        EXPECT_NE(run.console.output.find("The number of species is 0\n"), std::string::npos) << value;
    }
    ConfigRun run = ReadText("species 2\nspecies x\n");
    EXPECT_EQ(species, 2);
    EXPECT_EQ(shape.size(), 6u);
    EXPECT_NE(run.console.output.find("The number of species is 2\nThe number of species is 2\n"), std::string::npos);
}

TEST_F(ReadConfig, SecondSpeciesLineKeepsStoredValuesUpToTheNewSize) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\nhalf_radii 1 1 2 3\nhalf_radii 2 4 5 6\ncolor 2 0.5 0.5 0.5\n"
                             "species 3\nbond_vector 1 1 0 0 0\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 0, 0}));
    EXPECT_EQ(color, (std::vector<double>{0, 0, 0, 0.5, 0.5, 0.5, 0, 0, 0}));
    ResetScene();
    ReadText("dumpfile a.dump\nspecies 2\nhalf_radii 1 1 2 3\nhalf_radii 2 4 5 6\nspecies 1\n");
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3}));
}

// ---- Number lists ---------------------------------------------------------------------------------

TEST_F(ReadConfig, MissingRealsOfASpeciesRowAreZero) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\nhalf_radii 1 1 1 1\nhalf_radii 2 0.7\n"
                             "color 1 0.2 0.3 0.4\ncolor 1 0.9\nbond_vector 1 1 0 0 0\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(shape, (std::vector<double>{1, 1, 1, 0.7, 0, 0}));
    EXPECT_EQ(color, (std::vector<double>{0.9, 0, 0, 0, 0, 0}));
}

TEST_F(ReadConfig, NumberListStopsAtTheFirstUnreadableValue) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 1\nhalf_radii 1 0.5 abc 0.7\ncolor 1 1e-1 2.5E+0 .25\n"
                             "bond_vector 1 1 -1.5 x 3\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(shape, (std::vector<double>{0.5, 0, 0}));
    EXPECT_EQ(color, (std::vector<double>{0.1, 2.5, 0.25}));
    EXPECT_EQ(bondvec, (std::vector<double>{-1.5, 0, 0}));
}

TEST_F(ReadConfig, TextAfterTheNeededValuesIsIgnored) {
    ConfigRun run = ReadText("dumpfile a.dump # the run\nspecies 1 # one kind\nhalf_radii 1 1 2 3 # long axis first\n"
                             "color 1 0.1 0.2 0.3 4 5 6\nbond_vector 1 1 7 8 9 # tip\n"
                             "background 0.1 0.2 0.3 0.4 # white\nsolid_bonds 0.2 # thick\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(inname, "a.dump");
    EXPECT_EQ(species, 1);
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(color, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(bondvec, (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(BGColor[2], 0.3f);
    EXPECT_EQ(BGColor[3], 1.0f);
    EXPECT_DOUBLE_EQ(bondwidth, 0.2);
}

TEST_F(ReadConfig, TabAfterTheKeywordWorksLikeASpace) {
    ConfigRun run = ReadText("dumpfile\ta.dump\nspecies\t1\nhalf_radii\t1\t1\t2\t3\ncolor\t1 1 1 1\n"
                             "bond_vector\t1 1 0 0 0\nbackground\t0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(inname, "a.dump");
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3}));
}

// ---- Bond vectors ---------------------------------------------------------------------------------

TEST_F(ReadConfig, BondVectorGrowsByBlocksAndIsPaddedAtTheEnd) {
    // Species 1, vector 3 on a two-species file with 6 elements: grows to 15, padded to 18 at the end.
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
                             "bond_vector 1 3 7 8 9\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    ASSERT_EQ(bondvec.size(), 18u);
    EXPECT_EQ(bondvec, (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 8, 9, 0, 0, 0}));
}

TEST_F(ReadConfig, BondVectorWithSpeciesAboveTheCountLandsInTheNextBlock) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
                             "bond_vector 3 1 4 5 6\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(bondvec, (std::vector<double>{0, 0, 0, 0, 0, 0, 4, 5, 6, 0, 0, 0}));
}

TEST_F(ReadConfig, BondVectorMissingRealsAreZeroAndOverwriteEarlierOnes) {
    ReadText("dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
             "bond_vector 1 1 4 5 6\nbond_vector 1 1 -2\nbackground 0 0 0\n");
    EXPECT_EQ(bondvec, (std::vector<double>{-2, 0, 0}));
}

// ---- Background and solid bonds -------------------------------------------------------------------

TEST_F(ReadConfig, BackgroundAlphaAndFogColor) {
    EXPECT_EQ(BGColor[3], 0.0f);
    EXPECT_EQ(FogColor[3], 0.0f);
    ReadText(MINIMAL + "background 0.2 0.4 0.6\n");
    EXPECT_EQ(BGColor[0], 0.2f);
    EXPECT_EQ(BGColor[1], 0.4f);
    EXPECT_EQ(BGColor[2], 0.6f);
    EXPECT_EQ(BGColor[3], 1.0f);
    EXPECT_EQ(FogColor[0], 0.2f);
    EXPECT_EQ(FogColor[1], 0.4f);
    EXPECT_EQ(FogColor[2], 0.6f);
    EXPECT_EQ(FogColor[3], 0.0f);
}

TEST_F(ReadConfig, BackgroundWithTwoNumbersKeepsTheThirdComponent) {
    BGColor[2] = 0.75f;
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n"
                             "bond_vector 1 1 0 0 0\nbackground 0.5 0.25\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(BGColor[0], 0.5f);
    EXPECT_EQ(BGColor[1], 0.25f);
    EXPECT_EQ(BGColor[2], 0.75f);
    EXPECT_EQ(BGColor[3], 1.0f);
    EXPECT_EQ(FogColor[2], 0.75f);
}

TEST_F(ReadConfig, SolidBondsOnlyAboveZero) {
    ReadText(MINIMAL + "solid_bonds 0\n");
    EXPECT_FALSE(solidBonds);
    EXPECT_EQ(bondwidth, 0.0);

    ResetScene();
    ReadText(MINIMAL + "solid_bonds -0.5\n");
    EXPECT_FALSE(solidBonds);
    EXPECT_EQ(bondwidth, -0.5);

    ResetScene();
    ReadText(MINIMAL + "solid_bonds 0.25\n");
    EXPECT_TRUE(solidBonds);
    EXPECT_EQ(bondwidth, 0.25);
}

TEST_F(ReadConfig, WithoutSolidBondsLineBondsAreLinesAndTheWidthStays) {
    solidBonds = true;
    bondwidth = 0.3;
    ConfigRun run = ReadText(MINIMAL);
    EXPECT_FALSE(run.console.exited);
    EXPECT_FALSE(solidBonds);
    EXPECT_EQ(bondwidth, 0.3);
}

TEST_F(ReadConfig, UnreadableSolidBondsValueKeepsTheWidth) {
    bondwidth = 0.3;
    ReadText(MINIMAL + "solid_bonds thick\n");
    EXPECT_EQ(bondwidth, 0.3);
    EXPECT_TRUE(solidBonds);
}

// ---- Textures -------------------------------------------------------------------------------------

TEST_F(ReadConfig, TextureKeywordsLengthenTheTextureTable) {
    ConfigRun run = ReadText(MINIMAL + "texture wood.png\n");
    EXPECT_EQ(ellipsoidtexture, "wood.png");
    EXPECT_EQ(texture, (std::vector<unsigned int>{0}));
    EXPECT_EQ(run.console.output.find("No texture will be used"), std::string::npos);

    ResetScene();
    texture.clear();
    run = ReadText(MINIMAL + "texture_bonds steel.png\n");
    EXPECT_EQ(bondtexture, "steel.png");
    EXPECT_EQ(texture, (std::vector<unsigned int>{0, 0}));
    EXPECT_NE(run.console.output.find("No texture will be used for the species.\n"), std::string::npos);
}

TEST_F(ReadConfig, TextureEntriesAreNeverShortenedOrRewritten) {
    texture = {5, 6, 7};
    ReadText(MINIMAL + "texture a.png\ntexture_bonds b.png\n");
    EXPECT_EQ(texture, (std::vector<unsigned int>{5, 6, 7}));
    ReadText(MINIMAL);
    EXPECT_EQ(texture, (std::vector<unsigned int>{5, 6, 7}));
}

TEST_F(ReadConfig, TextureWithoutNameMarksTheKeyword) {
    ConfigRun run = ReadText(MINIMAL + "texture\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(ellipsoidtexture, "");
    EXPECT_EQ(run.console.output, Opened(run.path) +
                                      Lines({"Dump File: a.dump", "The number of species is 1"}) + NO_BONDS);
}

TEST_F(ReadConfig, ReadWithoutTextureKeywordsClearsTheStoredNames) {
    ReadText(MINIMAL + "texture wood.png\ntexture_bonds steel.png\n");
    ASSERT_EQ(ellipsoidtexture, "wood.png");
    ASSERT_EQ(bondtexture, "steel.png");
    ConfigRun reload = ReadText(MINIMAL, "", "reload.cfg");
    EXPECT_EQ(ellipsoidtexture, "");
    EXPECT_EQ(bondtexture, "");
    EXPECT_NE(reload.console.output.find("No texture will be used for the species.\n"), std::string::npos);

    ReadText(MINIMAL + "texture wood.png\ntexture_bonds steel.png\n");
    ReadText(MINIMAL + "texture_bonds rope.png\n", "", "reload.cfg");
    EXPECT_EQ(ellipsoidtexture, "");
    EXPECT_EQ(bondtexture, "rope.png");
}

// ---- Reading again --------------------------------------------------------------------------------

TEST_F(ReadConfig, EveryReadReplacesTheSpeciesTables) {
    ReadText(WORKED_EXAMPLE);
    ConfigRun run = ReadText(MINIMAL, "", "second.cfg");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(species, 1);
    EXPECT_EQ(shape, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(color, (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(bondvec, (std::vector<double>{0, 0, 0}));
    EXPECT_FALSE(solidBonds);
    EXPECT_EQ(run.result, "");
}

TEST_F(ReadConfig, AnisouFileAndBackgroundAreComplete) {
    ConfigRun run = ReadText("anisoufile protein.pdb\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(species, 1);
    EXPECT_FALSE(quat);
    EXPECT_EQ(inname, "protein.pdb");
    EXPECT_EQ(run.result, "");
    EXPECT_TRUE(shape.empty());
    EXPECT_TRUE(color.empty());
    EXPECT_TRUE(bondvec.empty());
    EXPECT_EQ(run.console.output, Opened(run.path) + "ANISOU File: protein.pdb\n" + NO_BONDS + NO_TEXTURE);
}

TEST_F(ReadConfig, AnisouFileAfterSpeciesSetsOneSpeciesButKeepsTheTables) {
    ConfigRun run = ReadText("species 3\nanisoufile protein.pdb\nbackground 0 0 0\n");
    EXPECT_FALSE(run.console.exited);
    EXPECT_EQ(species, 1);
    EXPECT_EQ(shape.size(), 9u);
    EXPECT_EQ(bondvec.size(), 9u);
    EXPECT_EQ(color.size(), 9u);
}

TEST_F(ReadConfig, DumpFileAfterAnisouFileReadSetsQuat) {
    ReadText("anisoufile protein.pdb\nbackground 0 0 0\n");
    ASSERT_FALSE(quat);
    ReadText(MINIMAL, "", "second.cfg");
    EXPECT_TRUE(quat);
    EXPECT_EQ(inname, "a.dump");
}

// ---- Defaults and the required check --------------------------------------------------------------

TEST_F(ReadConfig, CommentsOnlyPrintNoticesThenMissingDumpfile) {
    ConfigRun run = ReadText("# nothing here\n#\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output,
              Opened(run.path) + NO_BONDS + NO_TEXTURE +
                  Lines({"The value of the dumpfile is missing in the input.",
                         "Please add this to the input file (see the manual) and run the program again."}) +
                  EXIT_PROMPT);
}

TEST_F(ReadConfig, EmptyFileIsMissingDumpfile) {
    ConfigRun run = ReadText("");
    EXPECT_TRUE(run.console.exited);
    EXPECT_NE(run.console.output.find("The value of the dumpfile is missing in the input.\n"), std::string::npos);
}

TEST_F(ReadConfig, RequiredKeywordsAreReportedInTableOrder) {
    struct Case {
        std::string text;
        std::string missing;
    };
    const Case cases[] = {
        {"species 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\nbond_vector 1 1 0 0 0\nbackground 0 0 0\n", "dumpfile"},
        {"dumpfile a.dump\nbackground 0 0 0\n", "species"},
        {"dumpfile a.dump\nspecies 1\nbackground 0 0 0\n", "half_radii"},
        {"dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\n", "bond_vector"},
        {"dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\nbond_vector 1 1 0 0 0\n", "color"},
        {"dumpfile a.dump\nspecies 1\nhalf_radii 1 1 1 1\ncolor 1 1 1 1\nbond_vector 1 1 0 0 0\n", "background"},
        {"anisoufile a.pdb\n", "background"},
    };
    for (const Case& c : cases) {
        ResetScene();
        ConfigRun run = ReadText(c.text);
        EXPECT_TRUE(run.console.exited) << c.text;
        std::string expected = Lines({"The value of the " + c.missing + " is missing in the input.",
                                      "Please add this to the input file (see the manual) and run the program again."}) +
                               EXIT_PROMPT;
        ASSERT_GE(run.console.output.size(), expected.size()) << c.text;
        EXPECT_EQ(run.console.output.substr(run.console.output.size() - expected.size()), expected) << c.text;
    }
}

TEST_F(ReadConfig, NoticesComeAfterTheLinesAndBeforeTheRequiredCheck) {
    ConfigRun run = ReadText("dumpfile a.dump\nspecies 1\n");
    EXPECT_EQ(run.console.output,
              Opened(run.path) + Lines({"Dump File: a.dump", "The number of species is 1"}) + NO_BONDS + NO_TEXTURE +
                  Lines({"The value of the half_radii is missing in the input.",
                         "Please add this to the input file (see the manual) and run the program again."}) +
                  EXIT_PROMPT);
}

TEST_F(ReadConfig, SolidBondsAtZeroIsNotAnError) {
    ConfigRun run = ReadText(MINIMAL + "solid_bonds 0\n");
    EXPECT_FALSE(run.console.exited);
}

// ---- Errors in the file ---------------------------------------------------------------------------

TEST_F(ReadConfig, WrongKeywordShowsTheWholeLine) {
    const char* lines[] = {"Species 2", "species2", " species 2", "\t# indented comment", "   #", "colour 1 1 1 1",
                           "dumpfile_x a.dump"};
    for (const char* line : lines) {
        ResetScene();
        ConfigRun run = ReadText("dumpfile a.dump\n" + std::string(line) + "\nspecies 1\n");
        EXPECT_TRUE(run.console.exited) << line;
        EXPECT_EQ(run.console.output, Opened(run.path) + "Dump File: a.dump\n" +
                                          Lines({"Wrong keyword at the entry '" + std::string(line) + "'.",
                                                 "Please correct the input file, and run the program again."}) +
                                          EXIT_PROMPT)
            << line;
    }
}

TEST_F(ReadConfig, WrongKeywordStopsTheRead) {
    ConfigRun run = ReadText("nonsense\ndumpfile a.dump\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(inname, "");
}

TEST_F(ReadConfig, DumpFileThenAnisouFileConflict) {
    ConfigRun run = ReadText("dumpfile a.dump\nanisoufile b.pdb\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output, Opened(run.path) + "Dump File: a.dump\n" +
                                      Lines({"Quat file already set. Which one do you want?",
                                             "Please correct this, and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, AnisouFileThenDumpFileConflict) {
    ConfigRun run = ReadText("anisoufile b.pdb\ndumpfile a.dump\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output, Opened(run.path) + "ANISOU File: b.pdb\n" +
                                      Lines({"Anisou file already set. Which one do you want?",
                                             "Please correct this, and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, RepeatedTrajectoryKeywordNamesItsOwnKind) {
    ConfigRun run = ReadText("dumpfile a.dump\ndumpfile b.dump\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(inname, "a.dump");
    EXPECT_EQ(run.console.output, Opened(run.path) + "Dump File: a.dump\n" +
                                      Lines({"Quat file already set. Which one do you want?",
                                             "Please correct this, and run the program again."}) +
                                      EXIT_PROMPT);

    ResetScene();
    run = ReadText("anisoufile a.pdb\nanisoufile b.pdb\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(inname, "a.pdb");
    EXPECT_EQ(run.console.output, Opened(run.path) + "ANISOU File: a.pdb\n" +
                                      Lines({"Anisou file already set. Which one do you want?",
                                             "Please correct this, and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, HalfRadiiBeforeSpecies) {
    ConfigRun run = ReadText("dumpfile a.dump\nhalf_radii 1 1 1 1\nspecies 1\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output, Opened(run.path) + "Dump File: a.dump\n" +
                                      Lines({"The number of species is not set yet.",
                                             "This has to be done before the half radii are read.",
                                             "Please move the number of species above the half radii in the input file",
                                             "and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, BondVectorBeforeSpecies) {
    ConfigRun run = ReadText("bond_vector 1 1 0 0 0\nspecies 1\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output, Opened(run.path) +
                                      Lines({"The number of species is not set yet.",
                                             "This has to be done before the bond vectors are read.",
                                             "and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, ColorBeforeSpecies) {
    ConfigRun run = ReadText("color 1 1 1 1\nspecies 1\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_EQ(run.console.output, Opened(run.path) +
                                      Lines({"The number of species is not set yet.",
                                             "This has to be done before the color vectors are read.",
                                             "Please move the number of species above the colors in the input file",
                                             "and run the program again."}) +
                                      EXIT_PROMPT);
}

TEST_F(ReadConfig, SpeciesIndexOutsideTheTableIsRefused) {
    const char* lines[] = {"half_radii 0 1 1 1", "half_radii 3 1 1 1", "half_radii -1 1 1 1", "color 3 1 1 1",
                           "color 0 1 1 1", "half_radii 99999999999999999999999 1 1 1"};
    for (const char* line : lines) {
        ResetScene();
        ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\n" + std::string(line) + "\n");
        EXPECT_TRUE(run.console.exited) << line;
        EXPECT_EQ(run.console.output, Opened(run.path) + Lines({"Dump File: a.dump", "The number of species is 2"}) +
                                          Lines({"Illegal species index at the entry '" + std::string(line) + "'.",
                                                 "The species index must lie between 1 and 2.",
                                                 "Please correct the input file, and run the program again."}) +
                                          EXIT_PROMPT)
            << line;
        EXPECT_EQ(shape, (std::vector<double>(6, 0.0))) << line;
        EXPECT_EQ(color, (std::vector<double>(6, 0.0))) << line;
    }
}

TEST_F(ReadConfig, SpeciesIndexIsCheckedAgainstTheCountNotTheTableSize) {
    // After "anisoufile" there is one species although the tables still hold three rows.
    ConfigRun run = ReadText("species 3\nanisoufile a.pdb\nhalf_radii 2 1 1 1\n");
    EXPECT_TRUE(run.console.exited);
    EXPECT_NE(run.console.output.find("Illegal species index at the entry 'half_radii 2 1 1 1'.\n"
                                      "The species index must lie between 1 and 1.\n"),
              std::string::npos)
        << run.console.output;
    EXPECT_EQ(shape, std::vector<double>(9, 0.0));
}

TEST_F(ReadConfig, UnreadableSpeciesIndexIsRefused) {
    for (const char* line : {"half_radii one 1 1 1", "color", "color x1 1 1 1"}) {
        ResetScene();
        ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\n" + std::string(line) + "\n");
        EXPECT_TRUE(run.console.exited) << line;
        EXPECT_NE(run.console.output.find("Illegal species index at the entry '" + std::string(line) + "'.\n"),
                  std::string::npos)
            << line;
    }
}

TEST_F(ReadConfig, NoSpeciesIndexIsValidWithoutSpeciesTables) {
    for (const char* before : {"anisoufile a.pdb\n", "species 0\n"}) {
        ResetScene();
        ConfigRun run = ReadText(std::string(before) + "half_radii 1 1 1 1\n");
        EXPECT_TRUE(run.console.exited) << before;
        EXPECT_NE(run.console.output.find("Illegal species index at the entry 'half_radii 1 1 1 1'.\n"
                                          "No species is defined at this point, so no species index is valid.\n"
                                          "Please correct the input file, and run the program again.\n"
                                          "Press Enter to exit."),
                  std::string::npos)
            << before;
        EXPECT_TRUE(shape.empty());
    }
}

TEST_F(ReadConfig, BondVectorIndicesBelowOneAreRefused) {
    for (const char* line : {"bond_vector 0 1 1 1 1", "bond_vector 1 0 1 1 1", "bond_vector -1 1 1 1 1",
                             "bond_vector 1 x 1 1 1", "bond_vector 1"}) {
        ResetScene();
        ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\n" + std::string(line) + "\n");
        EXPECT_TRUE(run.console.exited) << line;
        EXPECT_EQ(run.console.output,
                  Opened(run.path) + Lines({"Dump File: a.dump", "The number of species is 2"}) +
                      Lines({"Illegal species index or bond vector number at the entry '" + std::string(line) + "'.",
                             "Both must be whole numbers of at least 1.",
                             "Please correct the input file, and run the program again."}) +
                      EXIT_PROMPT)
            << line;
        EXPECT_EQ(bondvec, (std::vector<double>(6, 0.0))) << line;
    }
}

// ---- The retry prompt -----------------------------------------------------------------------------

std::string RetryPrompt(const std::string& name) {
    return Lines({"The file " + name + " could not be found.", "Please supply a configuration filed named containing"}) +
           "information on half radii, bond vectors and colours:  (Enter to exit) ";
}

TEST_F(ReadConfig, MissingFileAsksForAnotherName) {
    std::string good = WriteTempFile("retry.cfg", MINIMAL + "bondfile a.bonds\n");
    std::string missing = TempDir() + "/no_such.cfg";
    std::string result;
    title = "OvaLIX - " + missing;
    ConsoleRun run = RunCaptured([&] { result = ::ReadConfig(missing); }, good + "\n");
    EXPECT_FALSE(run.exited);
    EXPECT_FALSE(run.endedQuietly);
    EXPECT_EQ(result, "a.bonds");
    EXPECT_EQ(title, "Ovalix - " + good);
    EXPECT_EQ(inname, "a.dump");
    EXPECT_EQ(run.output, RetryPrompt(missing) + Opened(good) +
                              Lines({"Dump File: a.dump", "The number of species is 1", "Bond File: a.bonds"}) +
                              NO_TEXTURE);
}

TEST_F(ReadConfig, PromptComesBackForEveryNameThatCannotBeOpened) {
    std::string good = WriteTempFile("retry.cfg", MINIMAL);
    std::string first = TempDir() + "/first_missing.cfg";
    std::string second = TempDir() + "/second missing.cfg";
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(first); }, second + "\n" + good + "\n");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(title, "Ovalix - " + good);
    EXPECT_EQ(run.output.rfind(RetryPrompt(first) + RetryPrompt(second) + Opened(good), 0), 0u) << run.output;
}

TEST_F(ReadConfig, EmptyAnswerEndsQuietly) {
    std::string missing = TempDir() + "/no_such.cfg";
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(missing); }, "\nnot read\n");
    EXPECT_TRUE(run.endedQuietly);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, RetryPrompt(missing));
    EXPECT_EQ(title, "Ovalix - ");
}

TEST_F(ReadConfig, EndOfInputAtThePromptEndsQuietly) {
    std::string missing = TempDir() + "/no_such.cfg";
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(missing); }, "");
    EXPECT_TRUE(run.endedQuietly);
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output, RetryPrompt(missing));
}

TEST_F(ReadConfig, MissingFileChangesNoSceneState) {
    species = 4;
    shape = {1, 2, 3};
    inname = "kept.dump";
    std::string missing = TempDir() + "/no_such.cfg";
    RunCaptured([&] { ::ReadConfig(missing); }, "");
    EXPECT_EQ(species, 4);
    EXPECT_EQ(shape, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(inname, "kept.dump");
}

TEST_F(ReadConfig, RetriedNameStartsAFreshRead) {
    // A dumpfile line in a retried file is not a conflict with anything from before the prompt.
    std::string good = WriteTempFile("retry.cfg", MINIMAL);
    std::string missing = TempDir() + "/no_such.cfg";
    ConsoleRun run = RunCaptured([&] { ::ReadConfig(missing); }, good + "\n");
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.output.find("already set"), std::string::npos);
}

}  // namespace

// ---- Absurd sizes are explained before any table grows -------------------------------------------

namespace {

TEST_F(ReadConfig, HugeSpeciesCountIsRefusedBeforeAllocating) {
    for (const char* count : {"2000000000", "99999999999999999999999"}) {
        ResetScene();
        ConfigRun run = ReadText(std::string("dumpfile a.dump\nspecies ") + count + "\n");
        EXPECT_TRUE(run.console.exited) << count;
        EXPECT_NE(run.console.output.find(std::string("The number of species at the entry 'species ") + count +
                                          "' is too large.\nAt most 1000000 species can be given.\n"),
                  std::string::npos)
            << run.console.output;
        EXPECT_TRUE(shape.empty());
    }
}

TEST_F(ReadConfig, HugeBondVectorNumberIsRefusedBeforeAllocating) {
    for (const char* numbers : {"1 9223372036854775807", "1 100000000000", "9223372036854775807 1", "1 5000001"}) {
        ResetScene();
        std::string line = std::string("bond_vector ") + numbers + " 0 0 0";
        ConfigRun run = ReadText("dumpfile a.dump\nspecies 2\n" + line + "\n");
        EXPECT_TRUE(run.console.exited) << line;
        EXPECT_NE(run.console.output.find("The species index or bond vector number at the entry '" + line +
                                          "' is too large.\n"),
                  std::string::npos)
            << run.console.output;
        EXPECT_LE(bondvec.size(), 6u);
    }
    // The largest table that is still allowed is built.
    ConfigRun run = ReadText(MINIMAL + "bond_vector 1 10000000 1 2 3\n");
    EXPECT_FALSE(run.console.exited) << run.console.output;
    EXPECT_EQ(bondvec.size(), 30000000u);
    EXPECT_EQ(bondvec[29999997], 1.0);
}

}  // namespace
