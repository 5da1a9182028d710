// Image file names with the leading-zero rule.
#include "export/image_names.h"

#include <sys/stat.h>  // Required for: lstat

#include "core/scene.h"
#include "io/file_series.h"

std::string ImageNumber(int value) {
    std::string text;
    if (value <= 999) text += "0";
    if (value <= 99) text += "0";
    if (value <= 9) text += "0";
    return text + std::to_string(value);
}

std::string SnapshotName(int count, int frameNumber) {
    return "Screen_" + ImageNumber(count) + "_" + ImageNumber(frameNumber) + format;
}

std::string FileNameOnly(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// After the trajectory's folder refused an image, its sequence goes to the working directory. A series' pattern
// gives its stem without '*'.
static std::string SequenceStem() { return inname == sequenceFallback ? FileNameOnly(OutputStem()) : OutputStem(); }

std::string SequenceName(int frameNumber) { return SequenceStem() + "_" + ImageNumber(frameNumber) + format; }

std::string SequencePattern() { return SequenceStem() + "_NNNN" + format; }

static bool FileExists(const std::string& name) {
    struct stat status;
    return lstat(name.c_str(), &status) == 0;
}

std::string NextSnapshotName(int frameNumber) {
    std::string name = SnapshotName(printcount++, frameNumber);
    while (FileExists(name)) name = SnapshotName(printcount++, frameNumber);
    return name;
}
