// Going to a frame: any frame in any order, after a read ran into the end of the file, and a refused index.
#include "io/frame_step.h"

#include <string>
#include <string_view>

#include "core/scene.h"
#include "io/line_reader.h"
#include "io/load.h"
#include "tests/support/test_support.h"

namespace {

using GoToFrame = SceneTest;

constexpr int FRAMES = 4;

// Frame k holds two atoms at x = 10 k + 1 and 10 k + 2.
std::string Dump() {
    std::string text;
    for (int k = 0; k < FRAMES; ++k) {
        text += "ITEM: TIMESTEP\n" + std::to_string(100 * k) + "\nITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS id type x y z\n";
        for (int i = 1; i <= 2; ++i) text += std::to_string(i) + " 1 " + std::to_string(10 * k + i) + " 0 0\n";
    }
    return text;
}

double X(int atom) { return entry(geom, atom * GEOM_STRIDE + GEOM_X, "geom"); }

void ExpectHolds(int k) {
    EXPECT_EQ(frame, k);
    EXPECT_EQ(X(0), 10 * k + 1) << "frame " << k;
    EXPECT_EQ(X(1), 10 * k + 2) << "frame " << k;
}

TEST_F(GoToFrame, ReadsTheFrameAskedForAndRefusesOneTheRunLacks) {
    const std::string dump = WriteTempFile("steps.dump", Dump());
    ASSERT_FALSE(RunCaptured([&] { LoadScene(dump); }).exited);
    ASSERT_EQ(FrameCount(), FRAMES);
    for (int k : {3, 0, 2, 2, 1, 3}) {
        ::GoToFrame(k);
        ExpectHolds(k);
    }
    // Run the stream into the end of the file, as a scan or a damaged frame may leave it.
    std::string_view line;
    while (ReadLine(line)) {
    }
    infile.get();
    ::GoToFrame(1);
    ExpectHolds(1);
    for (int bad : {-1, FRAMES}) {
        ConsoleRun run = RunCaptured([bad] { ::GoToFrame(bad); });
        EXPECT_TRUE(run.exited) << bad;
        EXPECT_NE(run.output.find("Entry " + std::to_string(bad) + " of the table counter"), std::string::npos)
            << run.output;
        ExpectHolds(1);  // the frame shown stays shown and named
    }
}

}  // namespace
