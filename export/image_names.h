// Names of snapshot and sequence image files.
#pragma once

#include <string>

std::string ImageNumber(int value);                   // "0007", "0012", "9999"; 10000 and above in full
std::string SnapshotName(int count, int frameNumber); // "Screen_" + N(count) + "_" + N(frame) + format
std::string SequenceName(int frameNumber);            // inname + "_" + N(frame) + format
