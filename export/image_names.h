// Names of snapshot and sequence image files.
#pragma once

#include <string>

std::string ImageNumber(int value);                   // "0007", "0012", "9999"; 10000 and above in full
std::string SnapshotName(int count, int frameNumber); // "Screen_" + N(count) + "_" + N(frame) + format
std::string SequenceName(int frameNumber);            // inname + "_" + N(frame) + format; without folder after a fallback
std::string SequencePattern();                        // the sequence names as the user reads them: inname + "_NNNN" + format
std::string NextSnapshotName(int frameNumber);        // SnapshotName of the next printcount whose file does not exist yet
std::string FileNameOnly(const std::string& path);    // the path without its folder part
