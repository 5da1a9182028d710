// Helpers for the unit tests.
#include "tests/support/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "core/scene.h"

namespace {
// Each test runs in a process of its own (ctest), so the folder goes when the process ends.
struct TempFolder {
    std::string path;
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};
TempFolder tempFolder;
}  // namespace

std::string TempDir() {
    std::string& dir = tempFolder.path;
    if (dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ovalix_unit_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data())) throw std::runtime_error("cannot make a temporary directory");
        dir = buffer.data();
    }
    return dir;
}

std::string WriteTempFile(const std::string& name, const std::string& contents) {
    std::string path = TempDir() + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    return path;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

ConsoleRun RunCaptured(const std::function<void()>& body, const std::string& input) {
    ConsoleRun run;
    std::istringstream fed(input);
    std::streambuf* original = std::cin.rdbuf(fed.rdbuf());
    std::cin.clear();
    testing::internal::CaptureStdout();
    try {
        body();
    } catch (const std::runtime_error& error) {
        std::string what = error.what();
        if (what == "exit sequence") run.exited = true;
        else if (what == "end process") run.endedQuietly = true;
        else {
            std::cin.rdbuf(original);
            run.output = testing::internal::GetCapturedStdout();
            throw;
        }
    }
    std::cout << std::flush;
    run.output = testing::internal::GetCapturedStdout();
    std::cin.rdbuf(original);
    std::cin.clear();
    return run;
}

void SceneTest::SetUp() { ResetScene(); }

void SceneTest::TearDown() { ResetScene(); }
