// The kinds of trajectory: each file is opened once on its way to frame 0 (a GSD file once more for its own
// reader), and a GSD file is read through its own file alone, its frames placed by their bytes.
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>
#include <zlib.h>

#include "core/scene.h"
#include "io/gsd/gsd_file.h"
#include "io/load.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

const std::string DUMP =
    "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 9\n0 9\n0 9\n"
    "ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez\n"
    "1 1 1 2 3 1 0 0 0 1 1 2\n2 2 4 5 6 1 0 0 0 2 2 2\n"
    "ITEM: TIMESTEP\n10\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 9\n0 9\n0 9\n"
    "ITEM: ATOMS id type x y z quatw quati quatj quatk shapex shapey shapez\n"
    "1 1 1.5 2 3 1 0 0 0 1 1 2\n2 2 4.5 5 6 1 0 0 0 2 2 2\n";

const std::string PDB =
    "CRYST1    9.643    9.609   19.029  90.00 101.22  90.00 P 1 21 1      2\n"
    "ATOM      1  N   LEU A   1       0.500   1.000  -1.500  1.00  0.00           N\n"
    "ANISOU    1  N   LEU A   1      100    200    300      5     -1      0       N\n"
    "CRYST1    9.643    9.609   19.029  90.00 101.22  90.00 P 1 21 1      2\n"
    "ATOM      1  N   LEU A   1       0.750   1.000  -1.500  1.00  0.00           N\n"
    "ANISOU    1  N   LEU A   1      101    200    303      5     -1      1       N\n";

std::string Gzip(const std::string& text) {
    std::string out(compressBound(static_cast<uLong>(text.size())) + 64, '\0');
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string GsdFixture() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd/frames.gsd"; }

// How often each of the files is opened while body runs, as the kernel tells it (opens, reads and closes are
// watched, so that two opens in a row are never merged into one event).
std::vector<int> OpensDuring(const std::vector<std::string>& paths, const std::function<void()>& body) {
    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watcher < 0) return {};
    std::vector<int> watches;
    for (const std::string& path : paths)
        watches.push_back(inotify_add_watch(watcher, path.c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE));
    body();
    std::vector<int> opens(paths.size(), 0);
    alignas(inotify_event) char events[1 << 16];
    for (ssize_t got; (got = read(watcher, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(at);
            for (std::size_t k = 0; k < watches.size(); ++k)
                if (event->wd == watches[k] && (event->mask & IN_OPEN)) ++opens[k];
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watcher);
    return opens;
}

class TrajectoryKinds : public SceneTest {
  protected:
    void TearDown() override {
        if (TrajectoryOpen()) RunCaptured([] { CloseFile(); });
        SceneTest::TearDown();
    }
};

// Recognised, configured, indexed and frame 0 read: a dump, gzip dump or PDB file given alone is opened once;
// a GSD file once to be told from a configuration and once as a GSD file; a configuration's dump once.
TEST_F(TrajectoryKinds, EachFileIsOpenedOnceOnItsWayToFrameZero) {
    const std::string dump = WriteTempFile("once.dump", DUMP);
    const std::string gzip = WriteTempFile("once.dump.gz", Gzip(DUMP));
    const std::string pdb = WriteTempFile("once.pdb", PDB);
    const std::string config = WriteTempFile("once.cfg", "dumpfile " + dump + "\nspecies 2\ncolor 1 1 0 0\ncolor 2 0 1 0\n"
                                                         "bond_vector 1 1 0 0 0\nbond_vector 2 1 0 0 0\nbackground 0 0 0\n");
    const std::vector<std::pair<std::string, int>> alone = {{dump, 1}, {gzip, 1}, {pdb, 1}, {GsdFixture(), 2}};
    for (const auto& [path, expected] : alone) {
        ResetScene();
        ConsoleRun run;
        std::vector<int> opens = OpensDuring({path}, [&] { run = RunCaptured([&] { LoadScene(path); }); });
        if (opens.empty()) GTEST_SKIP() << "no inotify here";
        ASSERT_FALSE(run.exited) << run.output;
        EXPECT_EQ(opens[0], expected) << path;
        RunCaptured([] { CloseFile(); });
    }
    ResetScene();
    ConsoleRun run;
    std::vector<int> opens = OpensDuring({config, dump}, [&] { run = RunCaptured([&] { LoadScene(config); }); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_EQ(opens, (std::vector<int>{1, 1})) << "configuration, then its dump (whose shape columns give half radii)";
}

// The GSD file alone is open for its frames: the text stream stays closed, and each frame's entry in the frame
// table is where its data begins in the file.
TEST_F(TrajectoryKinds, GsdFileIsReadThroughItsOwnFileAlone) {
    ConsoleRun run = RunCaptured([] { LoadScene(GsdFixture()); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_FALSE(infile.is_open());
    EXPECT_TRUE(TrajectoryOpen());
    const int64_t size = static_cast<int64_t>(FileBytes(GsdFixture()).size());
    ASSERT_GE(FrameCount(), 3);
    EXPECT_GE(counter[0], static_cast<int64_t>(GSD_HEADER_BYTES));
    for (int f = 1; f < FrameCount(); ++f) {
        EXPECT_GT(counter[static_cast<std::size_t>(f)], counter[static_cast<std::size_t>(f) - 1]) << f;
        EXPECT_LT(counter[static_cast<std::size_t>(f)], size) << f;
    }
    run = RunCaptured([] { CloseFile(); });
    EXPECT_FALSE(run.exited) << run.output;
    EXPECT_FALSE(TrajectoryOpen());
    frame = 1;
    run = RunCaptured([] { ReadFrame(); });
    EXPECT_TRUE(run.exited);
    EXPECT_NE(run.output.find("The input file seems to be closed."), std::string::npos) << run.output;
}

}  // namespace
