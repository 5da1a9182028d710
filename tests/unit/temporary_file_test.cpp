// The writer's temporary files: renamed only when complete, removed otherwise or on a stop, then forgotten.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "export/image_file.h"
#include "tests/support/test_support.h"

namespace {

bool Exists(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0;
}

// The temporary beside `name`, written and held as a writer holds it.
std::string StartTemporary(const std::string& name) {
    std::string temporary = TemporaryName(name);
    WriteTempFile(temporary.substr(TempDir().size() + 1), "bytes");
    HoldTemporary(temporary);
    return temporary;
}

TEST(RenameIfComplete, KeepsOnlyACompleteFileAndForgetsItsTemporary) {
    const std::string movie = TempDir() + "/film.mp4", cut = TempDir() + "/cut.mp4", folder = TempDir() + "/taken";
    int renameError = -1;
    std::string temporary = StartTemporary(movie);
    EXPECT_TRUE(RenameIfComplete(temporary, movie, true, renameError));
    EXPECT_EQ(renameError, 0);
    EXPECT_TRUE(Exists(movie));
    EXPECT_FALSE(Exists(temporary));
    // An unfinished file never reaches its final name.
    temporary = StartTemporary(cut);
    EXPECT_FALSE(RenameIfComplete(temporary, cut, false, renameError));
    EXPECT_EQ(renameError, 0);
    EXPECT_FALSE(Exists(cut) || Exists(temporary));
    // A final name that cannot be taken: the reason is given and the temporary goes.
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteTempFile("taken/inside", "");
    temporary = StartTemporary(folder);
    EXPECT_FALSE(RenameIfComplete(temporary, folder, true, renameError));
    EXPECT_EQ(renameError, EISDIR);
    EXPECT_FALSE(Exists(temporary));
    // Nothing is held any more: a stop removes no file that has come to carry the name since.
    WriteTempFile(temporary.substr(TempDir().size() + 1), "another writer's");
    RemovePendingTemporary();
    EXPECT_TRUE(Exists(temporary));
    HoldTemporary(temporary);
    RemovePendingTemporary();
    EXPECT_FALSE(Exists(temporary));
}

}  // namespace
