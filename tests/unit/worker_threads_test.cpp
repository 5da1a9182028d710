// Frames read and records filled on several threads: the very tables, records and messages of one thread.
#include <zlib.h>

#include <cstring>  // Required for: memcmp, memcpy
#include <limits>
#include <string>
#include <vector>

#include "core/raycast_records.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "io/dump/dump_reader.h"
#include "io/gsd/gsd_hoomd.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/line_reader.h"
#include "tests/support/random_scene.h"
#include "tests/support/test_support.h"

namespace {

using WorkerThreads = SceneTest;

constexpr int ATOMS = 70000;  // enough for several workers and many chunks

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Two frames; numbers in the forms files use (short decimals, long ones, exponents, signs, a word that is no
// number). `columns` follows "ITEM: ATOMS"; `line(i, f)` is atom i's line in frame f.
template <typename Line>
std::string Dump(const std::string& columns, Line line) {
    std::string text;
    for (int f = 0; f < 2; ++f) {
        text += "ITEM: TIMESTEP\n" + std::to_string(10 * f) + "\nITEM: NUMBER OF ATOMS\n" + std::to_string(ATOMS) +
                "\nITEM: BOX BOUNDS pp pp pp\n0 40\n0 40\n0 40\nITEM: ATOMS " + columns + "\n";
        for (int i = 1; i <= ATOMS; ++i) text += line(i, f) + "\n";
    }
    return text;
}

std::string Number(int i, int f) {
    switch ((i + f) % 5) {
        case 0: return std::to_string(i % 40) + "." + std::to_string(i % 997);
        case 1: return "-" + std::to_string(i % 13) + ".123456789012345678";
        case 2: return std::to_string(i % 9) + ".5e-" + std::to_string(i % 30);
        case 3: return "+" + std::to_string(i % 31);
        default: return i % 1000 == 4 ? "x" : std::to_string(i % 17) + ".25";
    }
}

std::string CanonicalLine(int i, int f) {
    return std::to_string(i) + " " + std::to_string(1 + i % 2) + " " + Number(i, f) + " " + Number(i + 1, f) + " " +
           Number(i + 2, f) + " 0.5 " + Number(i + 3, f) + " -0.5 0.5";
}

// Columns in another order with a quantity: the mapped reading, with its quantity rows.
std::string MappedLine(int i, int f) {
    return std::to_string(i) + " " + Number(i + 4, f) + " " + std::to_string(1 + i % 2) + " " + Number(i, f) + " " +
           Number(i + 1, f) + " " + Number(i + 2, f);
}

void WriteGzipFile(const std::string& path, const std::string& text) {
    gzFile file = gzopen(path.c_str(), "wb1");
    ASSERT_NE(file, nullptr);
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
}

struct FrameRead {
    ConsoleRun run;
    std::vector<double> geom, quantities;
};

// Frame `which` of the dump at path, read on `threads` threads.
FrameRead ReadDumpFrame(const std::string& path, int which, int threads) {
    ResetScene();
    inname = path;
    quat = true;
    species = 2;
    FrameRead read;
    read.run = RunCaptured(OpenQuatFile);
    EXPECT_FALSE(read.run.exited) << read.run.output;
    workerThreads = threads;
    frame = which;
    read.run = RunCaptured(ReadQuatFrame);
    read.geom = geom;
    read.quantities = quantities;
    ReleaseLineBuffer();
    return read;
}

void ExpectSameFrames(const std::string& path) {
    for (int which : {1, 0}) {
        FrameRead one = ReadDumpFrame(path, which, 1);
        for (int threads : {2, 5}) {
            FrameRead several = ReadDumpFrame(path, which, threads);
            EXPECT_EQ(several.run.output, one.run.output) << path << " frame " << which;
            EXPECT_EQ(several.run.exited, one.run.exited);
            EXPECT_TRUE(SameBits(several.geom, one.geom)) << path << " frame " << which << ", " << threads << " threads";
            EXPECT_TRUE(SameBits(several.quantities, one.quantities)) << path << " frame " << which;
        }
    }
}

// Plain and gzip dumps, canonical and mapped columns: geom and quantities equal one thread's bit for bit.
TEST_F(WorkerThreads, DumpFramesEqualOneThreadsPlainAndGzip) {
    const std::string canonical = Dump("id type x y z quatw quati quatj quatk", CanonicalLine);
    const std::string mapped = Dump("id c_energy type x y z", MappedLine);
    ExpectSameFrames(WriteTempFile("canonical.dump", canonical));
    ExpectSameFrames(WriteTempFile("mapped.dump", mapped));
    const std::string gzipped = TempDir() + "/canonical.dump.gz";
    WriteGzipFile(gzipped, canonical);
    ExpectSameFrames(gzipped);
}

// Bad lines late in the frame: the first in file order is named, as one thread names it, whether a second bad
// type or a line too long for any reader follows it; without the bad type, the long line is told.
TEST_F(WorkerThreads, FirstBadLineOfTheFrameIsTheOneTold) {
    const std::string longLine(static_cast<std::size_t>(MAX_LINE_BYTES) + 10, '7');
    for (bool typeFirst : {true, false}) {
        auto line = [&](int i, int f) {
            if (f == 1 && typeFirst && i == ATOMS - 9000) return std::to_string(i) + " 3 1 2 3 1 0 0 0";
            if (f == 1 && typeFirst && i == ATOMS - 5000) return std::to_string(i) + " 5 1 2 3 1 0 0 0";
            if (f == 1 && i == ATOMS - 100) return longLine;
            return CanonicalLine(i, f);
        };
        const std::string path = WriteTempFile("bad.dump", Dump("id type x y z quatw quati quatj quatk", line));
        FrameRead one = ReadDumpFrame(path, 1, 1);
        ASSERT_TRUE(one.run.exited);
        EXPECT_NE(one.run.output.find(typeFirst ? "Illegal entry for atom no 61000 " : "longer than"), std::string::npos)
            << one.run.output;
        FrameRead several = ReadDumpFrame(path, 1, 3);
        EXPECT_TRUE(several.run.exited);
        EXPECT_EQ(several.run.output, one.run.output);
    }
}

// A GSD frame's rows and quantities, converted on several threads.
TEST_F(WorkerThreads, GsdFramesEqualOneThreads) {
    GsdFrame read;
    read.N = ATOMS;
    read.types = {"A", "B"};
    for (uint32_t i = 0; i < read.N; ++i) {
        read.typeId.push_back(i % 3 == 0);
        for (int k = 0; k < 3; ++k) read.position.push_back(0.001 * i - k);
        for (int k = 0; k < 4; ++k) read.orientation.push_back(k == 0 ? 1.0 : 1e-7 * i * k);
    }
    read.quantities = {{"particles/velocity", 3, std::vector<double>(3 * read.N)}, {"log/particles/e", 1, {}}};
    for (std::size_t k = 0; k < read.quantities[0].values.size(); ++k) read.quantities[0].values[k] = 0.5 * k;
    read.quantities[1].values.assign(read.N, -2.0);
    std::vector<double> oneGeom, oneQuantities;
    for (int threads : {1, 4}) {
        ResetScene();
        species = 2;
        workerThreads = threads;
        ConsoleRun run = RunCaptured([&] { GsdFrameToScene(read); });
        ASSERT_FALSE(run.exited) << run.output;
        if (threads == 1) {
            oneGeom = geom;
            oneQuantities = quantities;
            continue;
        }
        EXPECT_TRUE(SameBits(geom, oneGeom));
        EXPECT_TRUE(SameBits(quantities, oneQuantities));
    }
}

// A GSD chunk of floats widened in place, where the floats lie in the upper half of the doubles' room: every
// value, and the verdict on a value that is no finite number, as on one thread.
TEST_F(WorkerThreads, GsdFloatsWidenInPlaceAsOnOneThread) {
    const std::size_t count = 700001;
    for (bool withNan : {false, true}) {
        std::vector<double> one(count), several(count);
        std::vector<float> floats(count);
        for (std::size_t k = 0; k < count; ++k) floats[k] = 1.0f / static_cast<float>(k + 1) - 0.25f * static_cast<float>(k % 7);
        if (withNan) floats[count - 3] = std::numeric_limits<float>::quiet_NaN();
        bool finite[2];
        for (int threads : {1, 3}) {
            std::vector<double>& out = threads == 1 ? one : several;
            unsigned char* room = reinterpret_cast<unsigned char*>(out.data());
            std::memcpy(room + count * sizeof(float), floats.data(), count * sizeof(float));
            workerThreads = threads;
            finite[threads == 1 ? 0 : 1] = WidenFloatsInPlace(room + count * sizeof(float), count, out.data());
        }
        EXPECT_EQ(finite[0], !withNan);
        EXPECT_EQ(finite[1], finite[0]);
        EXPECT_TRUE(SameBits(several, one));
        EXPECT_EQ(one[count / 2], static_cast<double>(floats[count / 2]));
    }
}

// The ray-cast records of a frame with a slab cut and a transparent species (atoms left out all along: the
// transparent ones are drawn apart), coloured by a quantity and darkened by ambient occlusion: the same records
// in the same order; a broken species stops the program as on one thread.
TEST_F(WorkerThreads, RaycastRecordsEqualOneThreads) {
    auto fill = [](int threads, std::vector<RaycastRecord>& records) {
        workerThreads = threads;
        records.assign(static_cast<std::size_t>(atoms), RaycastRecord{});
        long long count = 0;
        ConsoleRun run = RunCaptured([&] { count = FillRaycastRecords(records.data()); });
        records.resize(static_cast<std::size_t>(count));
        return run;
    };
    FillRandomScene(ATOMS);
    slab = {true, {0.0, 0.6, 0.8}, 1.0, 30.0};
    SetSpeciesOpacity(2, 0.5);
    ambientOcclusion = true;
    quantityNames = {"e"};
    quantities.resize(static_cast<std::size_t>(atoms));
    for (int i = 0; i < atoms; ++i) quantities[static_cast<std::size_t>(i)] = (i * 37) % 101;
    colourQuantity = 0;
    quantityLow = 10;
    quantityHigh = 90;
    std::vector<RaycastRecord> one, several;
    fill(1, one);
    fill(3, several);
    ASSERT_GT(one.size(), 1000u);
    EXPECT_LT(one.size(), static_cast<std::size_t>(atoms) / 2);
    EXPECT_TRUE(SameBits(several, one));
    for (const RaycastRecord& record : several) EXPECT_EQ(record.colour[3], 255);  // transparent ones drawn apart
    ambientOcclusion = false;
    ResetTransparency();

    geom[static_cast<std::size_t>(GEOM_STRIDE * (ATOMS - 10) + GEOM_TYPE)] = 7;
    ConsoleRun oneRun = fill(1, one);
    ConsoleRun severalRun = fill(3, several);
    EXPECT_TRUE(severalRun.exited);
    EXPECT_EQ(severalRun.output, oneRun.output);
}

}  // namespace
