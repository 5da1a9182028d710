// Where the unit tests find the real input files: $OVALIX_DATA, else ../shared/data beside the source tree.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// Path of a file under the data directory; empty when the file is not there (the test then skips).
inline std::string DataFile(const std::string& relative) {
    const char* fromEnvironment = std::getenv("OVALIX_DATA");
    std::string dir;
    if (fromEnvironment && *fromEnvironment) {
        dir = fromEnvironment;
    } else {
        std::string source = __FILE__;  // <source>/tests/unit/test_data.h
        std::string::size_type cut = source.rfind("/tests/unit/");
        dir = (cut == std::string::npos ? std::string("..") : source.substr(0, cut)) + "/../shared/data";
    }
    std::string path = dir + "/" + relative;
    return std::ifstream(path).good() ? path : std::string();
}

// Whole contents of a file as bytes.
inline std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
