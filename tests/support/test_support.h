// Helpers for the unit tests: inline files in a temporary directory, captured console, fed standard input.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

// Writes contents to a file of that name in a fresh per-process temporary directory; returns its path.
std::string WriteTempFile(const std::string& name, const std::string& contents);

// The same text with a carriage return before every line feed.
std::string WithCrLf(const std::string& text);

// Directory that WriteTempFile writes into.
std::string TempDir();

// What a call printed on standard output, and whether it ended through the exit sequence.
struct ConsoleRun {
    std::string output;
    bool exited = false;       // the exit sequence ("Press Enter to exit.") ran
    bool endedQuietly = false;  // the process would have ended without a message
};

// Runs body with standard output captured and `input` as standard input.
ConsoleRun RunCaptured(const std::function<void()>& body, const std::string& input = "");

// Every test starts from the program's start-up state.
class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};
