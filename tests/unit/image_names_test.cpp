// File names of snapshots and sequence images.
#include "export/image_names.h"

#include <unistd.h>  // Required for: chdir, getcwd

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/scene.h"
#include "tests/support/test_support.h"

using ImageNames = SceneTest;

TEST_F(ImageNames, LeadingZerosUpToFourDigits) {
    EXPECT_EQ(ImageNumber(0), "0000");
    EXPECT_EQ(ImageNumber(7), "0007");
    EXPECT_EQ(ImageNumber(12), "0012");
    EXPECT_EQ(ImageNumber(999), "0999");
    EXPECT_EQ(ImageNumber(9999), "9999");
    EXPECT_EQ(ImageNumber(10000), "10000");
    EXPECT_EQ(ImageNumber(12345), "12345");
}

TEST_F(ImageNames, SnapshotAndSequenceNames) {
    EXPECT_EQ(SnapshotName(0, 12), "Screen_0000_0012.jpg");
    EXPECT_EQ(SnapshotName(12345, 3), "Screen_12345_0003.jpg");
    inname = "run/traj.dump";
    format = ".png";
    EXPECT_EQ(SequenceName(7), "run/traj.dump_0007.png");
    EXPECT_EQ(SequenceName(10000), "run/traj.dump_10000.png");
}

TEST_F(ImageNames, SnapshotSkipsNamesThatExist) {
    char* here = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(TempDir().c_str()), 0);
    for (const char* name : {"Screen_0000_0003.jpg", "Screen_0001_0003.jpg", "Screen_0003_0003.jpg"})
        std::ofstream(name) << "an earlier run";
    EXPECT_EQ(NextSnapshotName(3), "Screen_0002_0003.jpg");
    EXPECT_EQ(NextSnapshotName(3), "Screen_0004_0003.jpg");  // 0003 is taken too
    EXPECT_EQ(printcount, 5);
    EXPECT_EQ(NextSnapshotName(4), "Screen_0005_0004.jpg");  // another frame: the number only goes on
    for (const char* name : {"Screen_0000_0003.jpg", "Screen_0001_0003.jpg", "Screen_0003_0003.jpg"}) std::remove(name);
    ASSERT_EQ(chdir(here), 0);
    std::free(here);
}

TEST_F(ImageNames, SequenceInTheWorkingDirectoryAfterAFallback) {
    inname = "run/traj.dump";
    format = ".png";
    EXPECT_EQ(SequencePattern(), "run/traj.dump_NNNN.png");
    sequenceFallback = "other/traj.dump";  // another trajectory's fallback does not apply
    EXPECT_EQ(SequenceName(7), "run/traj.dump_0007.png");
    sequenceFallback = inname;
    EXPECT_EQ(SequenceName(7), "traj.dump_0007.png");
    EXPECT_EQ(SequencePattern(), "traj.dump_NNNN.png");
    EXPECT_EQ(FileNameOnly("a/b/c.dump"), "c.dump");
    EXPECT_EQ(FileNameOnly("c.dump"), "c.dump");
}
