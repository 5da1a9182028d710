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

// Frame k holds two atoms at x = 10 k + 1 and 10 k + 2.
void ExpectHolds(int k) {
    EXPECT_EQ(frame, k);
    for (int atom = 0; atom < 2; ++atom) EXPECT_EQ(geom[atom * GEOM_STRIDE + GEOM_X], 10 * k + atom + 1) << k;
}

TEST_F(GoToFrame, ReadsTheFrameAskedForAndRefusesOneTheRunLacks) {
    std::string dump;
    for (int k = 0; k < 4; ++k)
        dump += "ITEM: TIMESTEP\n" + std::to_string(k) + "\nITEM: NUMBER OF ATOMS\n2\nITEM: ATOMS id type x y z\n1 1 " +
                std::to_string(10 * k + 1) + " 0 0\n2 1 " + std::to_string(10 * k + 2) + " 0 0\n";
    ASSERT_FALSE(RunCaptured([&] { LoadScene(WriteTempFile("steps.dump", dump)); }).exited);
    for (int k : {3, 0, 2, 2, 1, 3}) {
        ::GoToFrame(k);
        ExpectHolds(k);
    }
    std::string_view line;  // the stream run into the end of the file, as a damaged frame may leave it
    while (ReadLine(line)) {
    }
    infile.get();
    ::GoToFrame(1);
    ExpectHolds(1);
    for (int bad : {-1, 4}) {
        ConsoleRun run = RunCaptured([bad] { ::GoToFrame(bad); });
        EXPECT_TRUE(run.exited);
        EXPECT_NE(run.output.find("Entry " + std::to_string(bad) + " of the table counter"), std::string::npos);
        ExpectHolds(1);  // the frame shown stays shown and named
    }
}

}  // namespace
