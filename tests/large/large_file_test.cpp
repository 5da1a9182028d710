// Dump files past 2 GiB and 4 GiB: frame offsets are 64-bit, found by the scan and used by frame reads.
// The file is sparse: each frame's last atom line runs on through a hole of zero bytes, so it costs
// almost no disk space and the scan skips the hole at memory speed.
#include <sys/stat.h>   // Required for: fstat (allocated blocks)
#include <stdlib.h>     // Required for: mkstemp
#include <unistd.h>     // Required for: pwrite, ftruncate, close, unlink

#include <cstdint>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/dump/dump_reader.h"
#include "tests/support/test_support.h"

namespace {

using OpenQuatFile = SceneTest;

constexpr int64_t TWO_GIB = int64_t(1) << 31;
constexpr int64_t FOUR_GIB = int64_t(1) << 32;

std::string Frame(int step, const std::string& atom1, const std::string& atom2) {
    return "ITEM: TIMESTEP\n" + std::to_string(step) +
           "\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 10\n0 10\n0 10\n"
           "ITEM: ATOMS id type x y z quatw quati quatj quatk\n" +
           atom1 + "\n" + atom2;  // the last atom line is ended by the caller, after a hole
}

// A file that removes itself.
struct ScratchFile {
    std::string path;
    ~ScratchFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

// Creates an empty file for the test, in shared memory where there is some: reading a hole there costs
// nothing, while a disk file system fills page after page of zeros (about 10 s of CPU for 4 GiB).
int CreateScratchIn(const std::string& dir, ScratchFile& file) {
    std::string pattern = dir + "/ovalix_large_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd >= 0) file.path = name.data();
    return fd;
}

int CreateScratch(ScratchFile& file) {
    int fd = CreateScratchIn("/dev/shm", file);
    return fd >= 0 ? fd : CreateScratchIn(TempDir(), file);
}

bool WriteAt(int fd, const std::string& text, int64_t offset) {
    return ::pwrite(fd, text.data(), text.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(text.size());
}

// Bytes the file really occupies on disk.
int64_t AllocatedBytes(int fd) {
    struct stat info;
    return ::fstat(fd, &info) == 0 ? static_cast<int64_t>(info.st_blocks) * 512 : -1;
}

TEST_F(OpenQuatFile, StoresAndSeeksOffsetsPastTwoAndFourGiB) {
    static_assert(sizeof(off_t) >= 8, "the test needs 64-bit file offsets");
    ScratchFile file;
    int fd = CreateScratch(file);
    ASSERT_GE(fd, 0) << "cannot create a file in /dev/shm or " << TempDir();

    // A file system that writes holes out as zeros would need gigabytes here: probe it with 64 MiB first.
    bool sparse = ::ftruncate(fd, 64 << 20) == 0 && AllocatedBytes(fd) >= 0 && AllocatedBytes(fd) < (1 << 20);
    if (!sparse) {
        ::close(fd);
        GTEST_SKIP() << "the file system of " << file.path << " cannot make sparse files";
    }

    // Frames 0 and 2 end in a line that runs on through a hole: frame 1 begins past 2 GiB, frame 3 past 4 GiB.
    const std::string frame0 = Frame(0, "1 1 0.5 0.5 0.5 1 0 0 0", "2 2 1.5 0.5 0.5 1 0 0 0 ");
    const std::string frame1 = Frame(100, "1 1 2.25 -3.5 1e-3 0.5 -0.5 0.5 -0.5", "2 2 4.125 6 -7.75 0 0 0 1") + "\n";
    const std::string frame2 = Frame(200, "1 2 3 3 3 1 0 0 0", "2 1 4 4 4 1 0 0 0 ");
    const std::string frame3 = Frame(300, "1 2 9 8 7 0 1 0 0", "2 1 -9 -8 -7 0 0 1 0") + "\n";
    const int64_t frame1At = TWO_GIB + 123;
    const int64_t frame2At = frame1At + static_cast<int64_t>(frame1.size());
    const int64_t frame3At = FOUR_GIB + 4567;
    // Blanks after frame 0's last line keep the holes out of the first bytes, which tell text from binary data.
    bool written = ::ftruncate(fd, 0) == 0 && WriteAt(fd, frame0 + std::string(8192, ' '), 0) && WriteAt(fd, "\n", frame1At - 1) &&
                   WriteAt(fd, frame1 + frame2, frame1At) && WriteAt(fd, "\n", frame3At - 1) &&
                   WriteAt(fd, frame3, frame3At);
    int64_t allocated = AllocatedBytes(fd);
    ::close(fd);
    if (!written) GTEST_SKIP() << "the file system of " << file.path << " refuses files over 4 GiB";
    ASSERT_LT(allocated, int64_t(16) << 20) << "the holes were written out";

    inname = file.path;
    quat = true;
    species = 2;
    ConsoleRun run = RunCaptured([] { ::OpenQuatFile(); });
    ASSERT_FALSE(run.exited) << run.output;
    ASSERT_EQ(counter.size(), 4u);
    EXPECT_EQ(counter[0], 0);
    EXPECT_GT(counter[1], TWO_GIB);
    EXPECT_EQ(counter[1], frame1At);
    EXPECT_EQ(counter[2], frame2At);
    EXPECT_GT(counter[3], FOUR_GIB);
    EXPECT_EQ(counter[3], frame3At);
    EXPECT_EQ(atoms, 2);
    EXPECT_EQ(run.output, "Infile " + file.path + " opened\nReading...\nNumber of atoms:      2\n"
                          "Number of time steps: 4 (0 - 3)\n");

    // Frames 0 and 2 are never read: their last lines are gigabytes long. Frame 1, 3, then 1 again.
    const std::vector<double> expected1 = {1, 1, 2.25, -3.5, 1e-3, 0.5, -0.5, 0.5, -0.5,
                                           2, 2, 4.125, 6, -7.75, 0, 0, 0, 1};
    const std::vector<double> expected3 = {1, 2, 9, 8, 7, 0, 1, 0, 0, 2, 1, -9, -8, -7, 0, 0, 1, 0};
    for (int which : {1, 3, 1}) {
        frame = which;
        infile.clear();
        ConsoleRun read = RunCaptured([] { ::ReadQuatFrame(); });
        ASSERT_FALSE(read.exited) << read.output;
        EXPECT_EQ(geom, which == 1 ? expected1 : expected3) << "frame " << which;
    }
    infile.close();
}

}  // namespace
