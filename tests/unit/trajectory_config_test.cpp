// A trajectory named where a configuration is expected: recognised by content, configured and printed.
#include "io/config/trajectory_config.h"

#include <string>
#include <vector>

#include "core/scene.h"
#include "io/config/config_reader.h"
#include "io/dump/dump_reader.h"
#include "io/dump/file_shapes.h"
#include "io/load.h"
#include "tests/support/test_support.h"

namespace {

using TrajectoryConfig = SceneTest;

const std::string ELEVEN_TYPES_HEADER = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n3\nITEM: BOX BOUNDS pp pp pp\n0 1\n0 1\n0 1\n";

TEST(RecogniseTrajectory, ByTheFirstLinesThatAreNotBlank) {
    const std::pair<std::string, TrajectoryKind> cases[] = {
        {"\n  \nITEM: TIMESTEP\n0\n", DUMP_TRAJECTORY},
        {"HEADER    DE NOVO PROTEIN\nCRYST1   10.000\n", PDB_TRAJECTORY},
        {"CRYST1   10.000   10.000\n", PDB_TRAJECTORY},
        {"ATOM      1  N   MET A   1\n", PDB_TRAJECTORY},
        {"# a configuration\ndumpfile run.dump\n", NOT_A_TRAJECTORY},
        {"dumpfile run.dump\nspecies 1\n", NOT_A_TRAJECTORY},
        {" ITEM: TIMESTEP\n", NOT_A_TRAJECTORY},  // a wrong keyword, as before
        {"HEAD er\n", NOT_A_TRAJECTORY},
        {"", NOT_A_TRAJECTORY},
        {std::string("\x1f\x8b\x08\x00", 4) + "compressed", DUMP_TRAJECTORY},  // gzip: a trajectory, look inside
    };
    int k = 0;
    for (const auto& [text, kind] : cases) {
        std::string path = WriteTempFile("look" + std::to_string(k++), text);
        EXPECT_EQ(RecogniseTrajectory(path), kind) << text;
        EXPECT_FALSE(infile.is_open());
    }
    EXPECT_FALSE(IsGzipFile(WriteTempFile("one", "\x1f")));
    EXPECT_EQ(RecogniseTrajectory(TempDir() + "/absent"), NOT_A_TRAJECTORY);
}

TEST_F(TrajectoryConfig, DumpGetsSpeciesShapesPaletteAndAWhiteBackground) {
    // Types 1, 11 and 3: eleven species, the eleventh takes the first colour again; type 3 has a shape.
    std::string text = ELEVEN_TYPES_HEADER + "ITEM: ATOMS id type x y z c_q[1] c_q[2] c_q[3] c_q[4] c_s[1] c_s[2] c_s[3]\n"
                                             "1 1 0 0 0 1 0 0 0 1 1 1\n2 11 0 0 0 1 0 0 0 1 1 1\n"
                                             "3 3 0 0 0 1 0 0 0 3 2 1\n";
    std::string path = WriteTempFile("eleven.dump", text);
    std::string bondFile = "unset";
    ConsoleRun run = RunCaptured([&] { bondFile = ReadConfig(path); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(bondFile, "");
    EXPECT_TRUE(quat);
    EXPECT_EQ(inname, path);
    EXPECT_EQ(species, 11);
    EXPECT_EQ(shape.size(), 33u);
    EXPECT_EQ(std::vector<double>(shape.begin() + 6, shape.begin() + 9), (std::vector<double>{1.5, 1, 0.5}));
    EXPECT_EQ(std::vector<double>(shape.begin() + 3, shape.begin() + 6), (std::vector<double>{0.5, 0.5, 0.5}));
    EXPECT_EQ(std::vector<double>(color.begin(), color.begin() + 3), (std::vector<double>{0.2, 0.133, 0.533}));
    EXPECT_EQ(std::vector<double>(color.begin() + 30, color.end()), (std::vector<double>{0.2, 0.133, 0.533}));
    EXPECT_EQ(bondvec, std::vector<double>(33, 0.0));
    EXPECT_EQ(std::vector<float>(BGColor, BGColor + 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_FALSE(solidBonds);
    EXPECT_TRUE(HalfRadiiGiven(11));
    const std::string start = path + " is a dump trajectory. It is shown with this configuration:\ndumpfile " + path +
                              "\nspecies 11\nhalf_radii 1 0.5 0.5 0.5\nhalf_radii 2 0.5 0.5 0.5\nhalf_radii 3 1.5 1 0.5\n";
    EXPECT_EQ(run.output.substr(0, start.size()), start);
    EXPECT_NE(run.output.find("color 10 0.867 0.867 0.867\ncolor 11 0.200 0.133 0.533\nbond_vector 1 1 0 0 0\n"),
              std::string::npos);
    const std::string end = "bond_vector 11 1 0 0 0\nbackground 1 1 1\nfit_view\n";
    EXPECT_EQ(run.output.substr(run.output.size() - end.size()), end);

    // The printed lines are a configuration that reads back to the same tables.
    std::string printed = run.output.substr(run.output.find('\n') + 1);
    std::vector<double> madeShape = shape, madeColor = color;
    ResetScene();
    run = RunCaptured([&] { ReadConfig(WriteTempFile("saved.cfg", printed)); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(shape, madeShape);
    EXPECT_EQ(color, madeColor);
    EXPECT_TRUE(fitViewOnLoad);  // saved, it opens fitted as the trajectory did
}

TEST_F(TrajectoryConfig, PdbGetsAnisouFileAndAWhiteBackground) {
    std::string path = WriteTempFile("run.pdb", "CRYST1   10.000   10.000   10.000\nATOM      1  C\n");
    ConsoleRun run = RunCaptured([&] { ReadConfig(path); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_FALSE(quat);
    EXPECT_EQ(species, 1);
    EXPECT_EQ(inname, path);
    EXPECT_EQ(run.output, path + " is a PDB trajectory. It is shown with this configuration:\nanisoufile " + path +
                              "\nbackground 1 1 1\nfit_view\n");
    EXPECT_TRUE(fitViewOnLoad);
}

}  // namespace

namespace {

TEST_F(TrajectoryConfig, HalfRadiiMayComeFromTheDumpsShapeColumns) {
    std::string dump = WriteTempFile("shapes.dump", "ITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS id type x y z quatw quati quatj "
                                                    "quatk shapex shapey shapez\n1 1 0 0 0 1 0 0 0 3 1 1\n"
                                                    "2 2 0 0 0 1 0 0 0 2 2 2\n");
    std::string config = "dumpfile " + dump + "\nspecies 2\nhalf_radii 2 0.1 0.2 0.3\ncolor 1 1 0 0\ncolor 2 0 0 1\n"
                         "bond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 1 1 1\n";
    // With one half_radii line, and with none: the file's shapes fill in; a given line wins.
    for (const std::string& text : {config, config.substr(0, config.find("half_radii")) +
                                                config.substr(config.find("color 1"))}) {
        ResetScene();
        ConsoleRun run = RunCaptured([&] { ReadConfig(WriteTempFile("shapes.cfg", text)); });
        ASSERT_FALSE(run.exited) << run.output;
        run = RunCaptured([] { OpenQuatFile(); });
        ASSERT_FALSE(run.exited) << run.output;
        const bool given = text.find("half_radii") != std::string::npos;
        EXPECT_EQ(shape, (std::vector<double>{1.5, 0.5, 0.5, given ? 0.1 : 1, given ? 0.2 : 1, given ? 0.3 : 1}));
    }
    // Without shape columns the line is still required.
    ResetScene();
    std::string plain = WriteTempFile("plain.dump", "ITEM: NUMBER OF ATOMS\n1\nITEM: ATOMS id type x y z\n1 1 0 0 0 1 0 0 0\n");
    std::string text = "dumpfile " + plain + "\nspecies 1\ncolor 1 1 0 0\nbond_vector 1 1 0 0 0\nbackground 1 1 1\n";
    ConsoleRun run = RunCaptured([&] { ReadConfig(WriteTempFile("plain.cfg", text)); });
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The value of the half_radii is missing in the input."), std::string::npos);
}

// A dump without shape columns (LAMMPS' Gay-Berne example) says once, after the configuration, why its
// particles are spheres; shapes 0 0 0 (point particles) are sized as a configuration without half_radii sizes them.
TEST_F(TrajectoryConfig, DumpWithoutShapesSaysSoAndPointShapesAreSized) {
    const std::string top = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS id type x y z c_q[1] c_q[2] c_q[3] c_q[4]";
    std::string path = WriteTempFile("gb.dump", top + "\n1 1 1 1 1 1 0 0 0\n2 2 5 5 5 0 0 0 1\n");
    ConsoleRun run = RunCaptured([&] { LoadScene(path); });
    const std::size_t at = run.output.find(path + " holds no particle shapes (no shapex shapey shapez columns): every "
                                                  "species is drawn as a sphere of half radius 0.5.");
    EXPECT_TRUE(at != std::string::npos && at > run.output.find("fit_view\n")) << run.output;
    EXPECT_EQ(run.output.find("holds no particle shapes", at + path.size() + 2), std::string::npos) << "said once";

    const std::string points = WriteTempFile("points.dump", top + " shapex shapey shapez\n1 1 1 1 1 1 0 0 0 0 0 0\n"
                                                                  "2 2 5 5 5 1 0 0 0 2 2 2\n");
    const std::string config = "dumpfile " + points + "\nspecies 2\ncolor 1 1 0 0\ncolor 2 0 0 1\n"
                               "bond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 1 1 1\n";
    for (const std::string& name : {points, WriteTempFile("points.cfg", config)}) {
        ResetScene();
        run = RunCaptured([&] { LoadScene(name); });
        EXPECT_NE(run.output.find("Species 1 has no size (half radii 0 0 0: point particles) and is drawn as spheres "
                                  "of radius 0.5.\n"), std::string::npos) << run.output;
        EXPECT_EQ(shape, (std::vector<double>{0.5, 0.5, 0.5, 1, 1, 1}));
    }
}

}  // namespace
