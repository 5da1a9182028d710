// Every seed and every input that once crashed a fuzz target, replayed through the same entry functions
// under this build's sanitizers: the readers must read them or explain them, never crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/scene.h"
#include "tests/fuzz/fuzz_entries.h"

namespace {

using Entry = void (*)(const uint8_t*, std::size_t);

// Files of tests/fuzz/<kind>/<target>/, sorted by name.
std::vector<std::filesystem::path> Inputs(const std::string& kind, const std::string& target) {
    std::vector<std::filesystem::path> files;
    std::filesystem::path dir = std::filesystem::path(OVALIX_FUZZ_DIR) / kind / target;
    if (!std::filesystem::is_directory(dir)) return files;
    for (const auto& item : std::filesystem::directory_iterator(dir))
        if (item.is_regular_file()) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string Bytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Replays the seeds and the regressions of target; returns how many files were replayed.
std::size_t Replay(const std::string& target, Entry entry) {
    std::size_t replayed = 0;
    for (const std::string kind : {"corpus", "regressions"}) {
        for (const auto& path : Inputs(kind, target)) {
            std::string bytes = Bytes(path);
            SCOPED_TRACE(path.string());
            try {
                entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            } catch (const std::exception& error) {
                ADD_FAILURE() << path << ": " << error.what();
            }
            ++replayed;
        }
    }
    ResetScene();
    return replayed;
}

}  // namespace

TEST(FuzzReplay, ConfigurationInputs) { EXPECT_GE(Replay("config", FuzzConfigInput), 1u); }

TEST(FuzzReplay, DumpInputs) { EXPECT_GE(Replay("dump", FuzzDumpInput), 1u); }

TEST(FuzzReplay, DumpHeaderInputs) { EXPECT_GE(Replay("dump_header", FuzzDumpHeaderInput), 1u); }

TEST(FuzzReplay, PdbInputs) { EXPECT_GE(Replay("pdb", FuzzPdbInput), 1u); }

TEST(FuzzReplay, BondInputs) { EXPECT_GE(Replay("bonds", FuzzBondInput), 1u); }

TEST(FuzzReplay, AtomLineInputs) { EXPECT_GE(Replay("atom_line", FuzzAtomLineInput), 1u); }

TEST(FuzzReplay, GzipInputs) { EXPECT_GE(Replay("gzip", FuzzGzipInput), 1u); }

TEST(FuzzReplay, GsdViewerInputs) { EXPECT_GE(Replay("gsd", FuzzGsdViewInput), 2u); }
