// File names of snapshots and sequence images.
#include "export/image_names.h"

#include "app/scene.h"
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
