// Opening a named file for reading, refusing folders up front.
#include "io/file_open.h"

#include <sys/stat.h>
#include <unistd.h>  // Required for: access()

#include <cstring>  // Required for: std::memcmp

bool IsFolderPath(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MayOpenForReading(const std::string& name) { return access(name.c_str(), R_OK) == 0; }

bool OpenForReading(std::ifstream& file, const std::string& name, std::ios::openmode mode) {
    if (file.is_open()) file.close();
    if (IsFolderPath(name)) return false;
    file.open(name, mode);
    return file.is_open();
}

namespace {

constexpr std::streamsize SNIFFED_BYTES = 4096;
constexpr unsigned char GZIP_MAGIC[2] = {0x1f, 0x8b};
constexpr unsigned char GSD_MAGIC[8] = {0xdf, 0x65, 0xdf, 0x65, 0xdf, 0x65, 0xdf, 0x65};  // 0x65DF65DF65DF65DF, little-endian

bool StartsWithBytes(const char* bytes, std::streamsize size, const unsigned char* magic, std::streamsize length) {
    return size >= length && std::memcmp(bytes, magic, static_cast<std::size_t>(length)) == 0;
}

}  // namespace

bool LooksBinary(std::ifstream& file) {
    char bytes[SNIFFED_BYTES];
    file.clear();
    file.seekg(0, std::ios::beg);
    file.read(bytes, SNIFFED_BYTES);
    const std::streamsize size = file.gcount();
    file.clear();
    file.seekg(0, std::ios::beg);
    if (StartsWithBytes(bytes, size, GZIP_MAGIC, 2) || StartsWithBytes(bytes, size, GSD_MAGIC, 8)) return false;
    return BytesLookBinary(bytes, size);
}

bool BytesLookBinary(const char* bytes, long long size) {
    long long control = 0;
    for (long long k = 0; k < size; ++k) {
        const unsigned char c = static_cast<unsigned char>(bytes[k]);
        if (c == 0) return true;
        if ((c < 0x20 && !(c >= '\t' && c <= '\r')) || c == 0x7f) ++control;
    }
    return control * 100 > size;
}

std::string BinaryFileLine(const std::string& name) {
    return "The file " + name + " holds binary data: it is neither text the viewer reads nor a GSD file.";
}
