// Trajectory series: files named by a pattern (or listed together) read as one trajectory in the order of
// their MD steps, one file open at a time, with bad files named.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
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

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Frames of two atoms; atom 1 sits at x = step / 100, so a frame read tells its step.
std::string Frames(std::initializer_list<int> steps, const std::string& columns = "id type x y z quatw quati quatj quatk") {
    std::string text;
    for (int step : steps)
        text += "ITEM: TIMESTEP\n" + std::to_string(step) + "\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n"
                "0 50\n0 50\n0 50\nITEM: ATOMS " + columns + "\n1 1 " + std::to_string(step / 100.0) +
                " 0 0 1 0 0 0\n2 2 -1 0 0 1 0 0 0\n";
    return text;
}

// A fresh folder for one series, so that patterns see only its files.
std::string SeriesFolder(const std::string& name) {
    std::string folder = TempDir() + "/" + name;
    mkdir(folder.c_str(), 0755);
    return folder;
}

void WriteGzip(const std::string& path, const std::string& text) {
    gzFile file = gzopen(path.c_str(), "wb");
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
}

int OpenDescriptors() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
}

// The step of each frame, read in the order given (as G would jump), from atom 1's position.
std::vector<int> StepsRead(std::initializer_list<int> frames) {
    std::vector<int> steps;
    for (int f : frames) {
        frame = f;
        infile.clear();
        ConsoleRun read = RunCaptured([] { ReadFrame(); });
        EXPECT_FALSE(read.exited) << read.output;
        steps.push_back(static_cast<int>(geom[GEOM_X] * 100 + 0.5));
    }
    return steps;
}

TEST_F(FileSeries, DumpPatternOpensInStepOrderOneFileAtATime) {
    const std::string folder = SeriesFolder("steps");
    WriteTempFile("steps/dump.0", Frames({0, 100}));
    WriteTempFile("steps/dump.500", Frames({500, 600}));
    WriteGzip(folder + "/dump.1000.gz", Frames({1000}));  // before dump.500 by name
    const std::string pattern = folder + "/dump.*";
    const int descriptors = OpenDescriptors();

    ConsoleRun run = RunCaptured([&] { LoadScene(pattern); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "dumpfile " + pattern + "\nspecies 2\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Number of atoms:      2\nNumber of time steps: 5 (0 - 4)\nNumber of files:      3 (" +
                                         folder + "/dump.0 to " + folder + "/dump.1000.gz)\n"))
        << run.output;
    EXPECT_EQ(inname, pattern);
    EXPECT_EQ(frameMember, (std::vector<int>{0, 0, 1, 1, 2}));
    EXPECT_EQ(StepsRead({4, 0, 3, 1, 2, 4}), (std::vector<int>{1000, 0, 600, 100, 500, 1000}));
    EXPECT_EQ(OpenDescriptors(), descriptors + 1) << "only the file of the frame shown stays open";

    // Written names hold no '*'; a single file keeps its own name.
    format = ".png";
    EXPECT_EQ(SequenceName(7), folder + "/dump.series_0007.png");
    inname = folder + "/dump.0";
    EXPECT_EQ(SequenceName(7), folder + "/dump.0_0007.png");

    // Listed files (the offscreen mode's several names) give the same series.
    ListSeriesFiles({folder + "/dump.500", folder + "/dump.1000.gz", folder + "/dump.0"});
    frame = 0;
    run = RunCaptured([&] { LoadScene(folder + "/dump.500"); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(seriesFiles, (std::vector<std::string>{folder + "/dump.0", folder + "/dump.500", folder + "/dump.1000.gz"}));
    EXPECT_EQ(StepsRead({2, 4}), (std::vector<int>{500, 1000}));
}

TEST_F(FileSeries, BadFilesAreNamed) {
    const std::string folder = SeriesFolder("bad");
    WriteTempFile("bad/layout.0", Frames({0}));
    WriteTempFile("bad/layout.5", Frames({5}, "id type xs ys zs quatw quati quatj quatk"));
    WriteTempFile("bad/junk.0", Frames({0}));
    WriteTempFile("bad/junk.5", "this is no dump\n");
    WriteTempFile("bad/count.0", Frames({0}));
    WriteTempFile("bad/count.5", Frames({5}).replace(Frames({5}).find("\n2\n"), 3, "\n1\n"));
    struct Case {
        std::string name;
        std::string message;
    };
    const std::vector<Case> cases = {
        {folder + "/none.*", "Error. No file matches " + folder + "/none.*.\n"},
        {folder + "/layout.*", "The atom columns of " + folder + "/layout.5 differ from those of " + folder + "/layout.0.\n"},
        {folder + "/junk.*", "Are you sure " + folder + "/junk.5 is a dump file?\n"},
        {folder + "/count.*", "Incorrect number of atoms in time step 1 of " + folder + "/count.5.\n"},
    };
    for (const Case& c : cases) {
        const std::string config = WriteTempFile("bad/series.cfg", "dumpfile " + c.name + "\nspecies 2\nhalf_radii 1 1 1 1\n"
                                                 "half_radii 2 1 1 1\ncolor 1 1 0 0\ncolor 2 0 0 1\nbond_vector 1 1 0 0 0\n"
                                                 "bond_vector 2 1 0 0 0\nbackground 0 0 0\n");
        ConsoleRun run = RunCaptured([&] { LoadScene(config); });
        EXPECT_TRUE(run.exited) << c.name;
        EXPECT_TRUE(Contains(run.output, c.message)) << run.output;
        ListSeriesFiles({});
    }

    // A file gone after the series was opened is named when one of its frames is wanted.
    ListSeriesFiles({folder + "/layout.0", folder + "/junk.0"});
    ConsoleRun run = RunCaptured([&] { LoadScene(folder + "/layout.0"); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(seriesFiles, (std::vector<std::string>{folder + "/junk.0", folder + "/layout.0"})) << "same step: by name";
    ASSERT_EQ(std::remove((folder + "/layout.0").c_str()), 0);
    frame = 1;
    run = RunCaptured([] { ReadFrame(); });
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "Error. Dump file " + folder + "/layout.0 not found.\n")) << run.output;
}

TEST_F(FileSeries, GsdPatternInStepOrderWithTheSameTypes) {
    const std::string folder = std::string(OVALIX_SOURCE_DIR) + "/tests/unit/series";
    ConsoleRun run = RunCaptured([&] { LoadScene(folder + "/run_*.gsd"); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_TRUE(Contains(run.output, "gsdfile " + folder + "/run_*.gsd\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Number of time steps: 3 (0 - 2)\nNumber of files:      2 (" + folder +
                                         "/run_500.gsd to " + folder + "/run_2000.gsd)\n"))
        << run.output;
    EXPECT_EQ(StepsRead({2, 0, 1, 2}), (std::vector<int>{2000, 500, 700, 2000}));

    // Counts may differ from file to file; the largest frame is that of any file, not of the last one indexed.
    frame = 0;  // as a reload starts
    run = RunCaptured([&] { LoadScene(folder + "/grow_*.gsd"); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(frameAtoms, (std::vector<int>{2, 3}));
    EXPECT_EQ(mostAtoms, 3);

    run = RunCaptured([&] { LoadScene(folder + "/swapped_*.gsd"); });
    EXPECT_TRUE(run.exited);
    EXPECT_TRUE(Contains(run.output, "The particle types of " + folder + "/swapped_1.gsd (B, A) differ from those of " +
                                         folder + "/swapped_0.gsd (A, B).\n"))
        << run.output;
}

}  // namespace
