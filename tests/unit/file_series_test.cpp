// Trajectory series: files named by a pattern (or listed together) read as one trajectory in step order, one
// file open at a time, with bad files named.
#include <dirent.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/scene.h"
#include "export/image_names.h"
#include "io/file_series.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"

namespace {

class FileSeries : public SceneTest {
  protected:
    void TearDown() override {
        ListSeriesFiles({});
        if (infile.is_open()) CloseFile();
        SceneTest::TearDown();
    }
};

// Frames of `count` atoms; atom 1 sits at x = step / 100, so a frame read tells its step.
std::string Frames(std::initializer_list<int> steps, const std::string& xyz = "x y z", int count = 2) {
    std::string text;
    for (int step : steps) {
        text += "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(count) +
                "\nITEM: BOX BOUNDS pp pp pp\n0 50\n0 50\n0 50\nITEM: ATOMS id type " + xyz + " quatw quati quatj "
                "quatk\n1 1 " + std::to_string(step / 100.0) + " 0 0 1 0 0 0\n";
        for (int i = 2; i <= count; ++i) text += std::to_string(i) + " 2 1 0 0 1 0 0 0\n";
    }
    return text;
}

// Loads `name` (frame 0 first, as a reload does), then reads the frames in the order given; their steps.
std::vector<int> StepsRead(const std::string& name, std::initializer_list<int> frames) {
    frame = 0;
    ConsoleRun run = RunCaptured([&] { LoadScene(name); });
    EXPECT_FALSE(run.exited) << run.output;
    std::vector<int> steps;
    for (int f : frames) {
        frame = f;
        EXPECT_FALSE(RunCaptured([] { ReadFrame(); }).exited);
        steps.push_back(static_cast<int>(geom[GEOM_X] * 100 + 0.5));
    }
    return steps;
}

int OpenDescriptors() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
}

TEST_F(FileSeries, DumpFilesInStepOrderOneOpenAtATime) {
    const std::string folder = TempDir() + "/steps";
    mkdir(folder.c_str(), 0755);
    WriteTempFile("steps/dump.0", Frames({0, 100}));
    WriteTempFile("steps/dump.500", Frames({500, 600}));
    gzFile gz = gzopen((folder + "/dump.1000.gz").c_str(), "wb");  // before dump.500 by name
    gzputs(gz, Frames({1000}).c_str());
    gzclose(gz);
    WriteTempFile("steps/dump.series_0003.png", "image");  // written for the series: not one of its files
    WriteTempFile("steps/dump.series.view", "view");
    const int descriptors = OpenDescriptors();
    EXPECT_EQ(StepsRead(folder + "/dump.*", {4, 0, 3, 1, 2}), (std::vector<int>{1000, 0, 600, 100, 500}));
    EXPECT_EQ(frameMember, (std::vector<int>{0, 0, 1, 1, 2}));
    EXPECT_EQ(OpenDescriptors(), descriptors + 1) << "only the file of the frame shown is open";
    format = ".png";
    EXPECT_EQ(SequenceName(7), folder + "/dump.series_0007.png");  // no '*' in a written name

    // Listed files with the same first step follow their names.
    WriteTempFile("steps/also.0", Frames({0}, "x y z", 3));
    ListSeriesFiles({folder + "/dump.500", folder + "/dump.0", folder + "/also.0"});
    EXPECT_EQ(StepsRead(folder + "/dump.500", {1, 3}), (std::vector<int>{0, 500}));
    EXPECT_EQ(frameAtoms, (std::vector<int>{3, 2, 2, 2, 2})) << "a made configuration lets counts vary";
}

TEST_F(FileSeries, BadFilesAreNamed) {
    const std::string folder = TempDir() + "/bad";
    mkdir(folder.c_str(), 0755);
    for (const char* name : {"bad/layout.0", "bad/junk.0", "bad/count.0"}) WriteTempFile(name, Frames({0}));
    WriteTempFile("bad/layout.5", Frames({5}, "y x z"));
    WriteTempFile("bad/junk.5", "this is no dump\n");
    WriteTempFile("bad/count.5", Frames({5}, "x y z", 1));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"none.*", "Error. No file matches " + folder + "/none.*.\n"},
        {"layout.*", "The atom columns of " + folder + "/layout.5 differ from those of " + folder + "/layout.0.\n"},
        {"junk.*", "Are you sure " + folder + "/junk.5 is a dump file?\n"},
        {"count.*", "Incorrect number of atoms in time step 1 of " + folder + "/count.5.\n"}};
    for (const auto& [pattern, message] : cases) {
        const std::string config = WriteTempFile("bad/series.cfg", "dumpfile " + folder + "/" + pattern +
            "\nspecies 2\nhalf_radii 1 1 1 1\nhalf_radii 2 1 1 1\ncolor 1 1 0 0\ncolor 2 0 0 1\n"
            "bond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 0 0 0\n");
        ConsoleRun run = RunCaptured([&] { LoadScene(config); });
        EXPECT_TRUE(run.exited && run.output.find(message) != std::string::npos) << run.output;
    }
    // A file gone after opening is named when one of its frames is wanted.
    ListSeriesFiles({folder + "/layout.0", folder + "/junk.0"});
    StepsRead(folder + "/layout.0", {});
    ASSERT_EQ(std::remove((folder + "/layout.0").c_str()), 0);
    frame = 1;
    ConsoleRun run = RunCaptured([] { ReadFrame(); });
    EXPECT_TRUE(run.exited && run.output == "Error. Dump file " + folder + "/layout.0 not found.\n"
                "Please enter the correct name of the dump file in the input file. \nPress Enter to exit.") << run.output;
}

TEST_F(FileSeries, GsdFilesInStepOrderWithTheirTypes) {
    const std::string folder = std::string(OVALIX_SOURCE_DIR) + "/tests/unit/series/";
    EXPECT_EQ(StepsRead(folder + "run_*.gsd", {2, 0, 1}), (std::vector<int>{2000, 500, 700}));
    StepsRead(folder + "grow_*.gsd", {});
    EXPECT_EQ(frameAtoms, (std::vector<int>{2, 3}));
    EXPECT_EQ(mostAtoms, 3) << "the largest frame of any file, not of the last one indexed";
    ConsoleRun run = RunCaptured([&] { LoadScene(folder + "swapped_*.gsd"); });
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The particle types of " + folder + "swapped_1.gsd (B, A) differ from those of " +
                              folder + "swapped_0.gsd (A, B).\n"), std::string::npos) << run.output;
}

}  // namespace
