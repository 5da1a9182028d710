// Child processes of the benchmarks: each measurement runs in a fresh process of its own.
#pragma once

#include <string>
#include <vector>

std::string SelfPath();  // path of the running program
// Runs args with standard input from /dev/null; returns its standard output (and standard error when
// keepErrors); status is its exit status, -1 if it did not run.
std::string RunChild(const std::vector<std::string>& args, int& status, bool keepErrors = true);
