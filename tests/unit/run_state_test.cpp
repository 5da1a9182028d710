// Several runs open at once: each read through the program's one current run, set aside between reads, gives
// the frames it gives when it is read alone.
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/load.h"
#include "io/run_state.h"
#include "io/trajectory.h"
#include "tests/support/test_support.h"

namespace {

constexpr int64_t SMALL_RESTART_SPACING = 512;  // many restart points in a small gzip file

// What a frame read leaves in the scene.
struct FrameTables {
    int atoms = 0;
    long long step = -1;
    std::vector<double> geom;
    std::vector<double> quantities;
    std::vector<double> box;  // exists, origin, edges
};

bool operator==(const FrameTables& a, const FrameTables& b) {
    return a.atoms == b.atoms && a.step == b.step && a.geom == b.geom && a.quantities == b.quantities && a.box == b.box;
}

FrameTables TablesOfFrame() {
    FrameTables tables;
    tables.atoms = atoms;
    tables.step = frameStep;
    tables.geom.assign(geom.begin(), geom.begin() + static_cast<long>(atoms) * GEOM_STRIDE);
    tables.quantities.assign(quantities.begin(),
                             quantities.begin() + static_cast<long>(atoms * quantityNames.size()));
    tables.box.push_back(frameBox.exists ? 1 : 0);
    tables.box.insert(tables.box.end(), frameBox.origin, frameBox.origin + 3);
    for (const double* edge : frameBox.edges) tables.box.insert(tables.box.end(), edge, edge + 3);
    return tables;
}

// A dump whose every number differs from atom to atom and frame to frame, with two quantities.
std::string Dump(int frames, int count, int seed) {
    std::string text;
    for (int f = 0; f < frames; ++f) {
        text += "ITEM: TIMESTEP\n" + std::to_string(10 * f + seed) + "\nITEM: NUMBER OF ATOMS\n" +
                std::to_string(count) + "\nITEM: BOX BOUNDS pp pp pp\n0 " + std::to_string(40 + f) +
                "\n0 50\n-5 50\nITEM: ATOMS id type x y z quatw quati quatj quatk vx c_pe\n";
        for (int i = 1; i <= count; ++i) {
            const int v = (i * 7919 + f * 104729 + seed * 31) % 100000;
            text += std::to_string(i) + " " + std::to_string(1 + i % 2) + " " + std::to_string(v / 2000.0) + " " +
                    std::to_string(i % 50) + ".25 -" + std::to_string(f) + ".5 1 0 0 0 " +
                    std::to_string(v % 97 / 10.0) + " " + std::to_string(-v % 89) + "\n";
        }
    }
    return text;
}

std::string Gzip(const std::string& text) {
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string GsdFixture() { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd/frames.gsd"; }

// Loads path into the program's current run, as start-up does.
void Load(const std::string& path) {
    ResetScene();
    gzipRestartSpacing = SMALL_RESTART_SPACING;
    ConsoleRun run = RunCaptured([&] { LoadScene(path); });
    ASSERT_FALSE(run.exited) << run.output;
}

// Every frame of path, read alone.
std::vector<FrameTables> ReadAlone(const std::string& path) {
    Load(path);
    std::vector<FrameTables> frames;
    for (int f = 0; f < FrameCount(); ++f) {
        frame = f;
        ReadFrame();
        frames.push_back(TablesOfFrame());
    }
    CloseFile();
    return frames;
}

// path loaded, then set aside: the program's current run is an empty one again.
RunState* OpenAside(const std::string& path) {
    Load(path);
    RunState* run = NewRunState();
    SwapRunState(*run);
    return run;
}

FrameTables ReadAside(RunState& run, int f) {
    SwapRunState(run);
    frame = f;
    ReadFrame();
    FrameTables tables = TablesOfFrame();
    SwapRunState(run);
    return tables;
}

int FramesAside(RunState& run) {
    SwapRunState(run);
    const int frames = FrameCount();
    SwapRunState(run);
    return frames;
}

class RunStateTest : public SceneTest {
  protected:
    void TearDown() override {
        if (infile.is_open()) CloseFile();
        SceneTest::TearDown();
    }

    // Reads frames of the two runs in turn, back and forth and out of order, against reading each alone.
    static void ExpectFramesReadInTurn(const std::string& pathA, const std::string& pathB) {
        const std::vector<FrameTables> aloneA = ReadAlone(pathA);
        const std::vector<FrameTables> aloneB = ReadAlone(pathB);
        ASSERT_GE(aloneA.size(), 3u);
        ASSERT_GE(aloneB.size(), 3u);
        ASSERT_FALSE(aloneA[0] == aloneB[0]);
        RunState* a = OpenAside(pathA);
        RunState* b = OpenAside(pathB);
        ASSERT_EQ(FramesAside(*a), static_cast<int>(aloneA.size()));
        ASSERT_EQ(FramesAside(*b), static_cast<int>(aloneB.size()));
        const int countA = static_cast<int>(aloneA.size()), countB = static_cast<int>(aloneB.size());
        for (int k = 0; k < 3 * (countA + countB); ++k) {
            const int fa = (k * 5 + 2) % countA, fb = (k * 3 + 1) % countB;
            EXPECT_TRUE(ReadAside(*a, fa) == aloneA[static_cast<std::size_t>(fa)]) << pathA << " frame " << fa;
            EXPECT_TRUE(ReadAside(*b, fb) == aloneB[static_cast<std::size_t>(fb)]) << pathB << " frame " << fb;
        }
        DeleteRunState(a);
        DeleteRunState(b);
    }
};

TEST_F(RunStateTest, DumpAndGsdReadInTurn) {
    ExpectFramesReadInTurn(WriteTempFile("turn.dump", Dump(7, 30, 1)), GsdFixture());
}

TEST_F(RunStateTest, DumpAndGzipDumpReadInTurn) {
    ExpectFramesReadInTurn(WriteTempFile("plain.dump", Dump(6, 25, 2)),
                           WriteTempFile("packed.dump.gz", Gzip(Dump(12, 2000, 3))));
}

// Closing and freeing one run leaves the other's files, inflater and tables as they were.
TEST_F(RunStateTest, RunSetAsideReadsAfterTheOtherIsClosed) {
    const std::string packed = WriteTempFile("kept.dump.gz", Gzip(Dump(8, 3000, 4)));
    const std::vector<FrameTables> alone = ReadAlone(packed);
    RunState* kept = OpenAside(packed);
    EXPECT_TRUE(ReadAside(*kept, 5) == alone[5]);
    for (const std::string& other : {GsdFixture(), WriteTempFile("other.dump.gz", Gzip(Dump(5, 3000, 5)))}) {
        RunState* closed = OpenAside(other);
        ReadAside(*closed, 2);
        SwapRunState(*closed);
        CloseFile();
        SwapRunState(*closed);
        DeleteRunState(closed);
    }
    for (int f = static_cast<int>(alone.size()) - 1; f >= 0; --f)
        EXPECT_TRUE(ReadAside(*kept, f) == alone[static_cast<std::size_t>(f)]) << "frame " << f;
    DeleteRunState(kept);
}

}  // namespace
