// Opening a named file for reading: a folder is a file that cannot be opened, never a stream that throws.
#pragma once

#include <fstream>
#include <string>

bool IsFolderPath(const std::string& name);  // name exists and is a folder
bool MayOpenForReading(const std::string& name);  // opening name for reading would succeed (a folder too), told
                                                  // without opening it
// Opens name into file; false, with file closed, when it cannot be opened or is a folder (reading a folder
// through a file stream throws "Is a directory").
bool OpenForReading(std::ifstream& file, const std::string& name, std::ios::openmode mode = std::ios::in);

// The file's first bytes are neither text nor gzip nor GSD: a NUL byte, or control characters other than
// white space in more than one byte of a hundred. The file is left at its start.
bool LooksBinary(std::ifstream& file);
bool BytesLookBinary(const char* bytes, long long size);  // the test above on bytes already read (a NUL, or over 1% control)
std::string BinaryFileLine(const std::string& name);  // the one line that names such a file
