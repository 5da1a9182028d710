// Images and view files written whole or not at all.
#include "export/image_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>  // Required for: fsync(), unlink()

#include "render/devil.h"

namespace {

// The temporary file being written, for a signal handler: a fixed buffer, no allocation there.
char pendingTemporary[4096] = "";

ILenum ImageTypeOf(const std::string& name) {
    std::size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".png") return IL_PNG;
    if (extension == ".bmp") return IL_BMP;
    return IL_JPG;
}

// A system error says why (a full disk: "No space left on device"); without one the encoder refused the image.
std::string Reason(int code) { return code != 0 ? std::strerror(code) : "the image library could not encode it"; }

// Opens the temporary file; the caller writes into it, then FinishFile checks and renames.
std::FILE* StartFile(const char* noun, const std::string& name, std::string& temporary, std::string& error) {
    temporary = TemporaryName(name);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = std::string(noun) + " " + name + " cannot be written: " + std::strerror(errno) + ".";
        return nullptr;
    }
    HoldTemporary(temporary);
    return file;
}

// Every write went through (no error flag), the data reached the disk and the close succeeded: then the rename.
// `writeError` is errno as the writing left it: a write cut short by a full disk names its cause even where
// the encoder reported success.
bool FinishFile(std::FILE* file, bool written, int writeError, const char* noun, const std::string& name,
                const std::string& temporary, std::string& error) {
    int code = 0;
    if (std::ferror(file)) code = writeError != 0 ? writeError : EIO;
    if (std::fflush(file) != 0 && code == 0) code = errno;
    if (fsync(fileno(file)) != 0 && code == 0 && errno != EINVAL) code = errno;
    if (std::fclose(file) != 0 && code == 0) code = errno;
    int renameError = 0;
    if (RenameIfComplete(temporary, name, code == 0 && written, renameError)) return true;
    if (code == 0) code = renameError;
    error = std::string(noun) + " " + name + " cannot be written: " + Reason(code) + ".";
    return false;
}

// The bound DevIL image encoded into the temporary file of `name`, checked, and renamed.
bool SaveBoundImage(const std::string& name, std::FILE* file, const std::string& temporary, std::string& error) {
    errno = 0;
    // NOTE: ilSaveF's result is the encoded size squeezed through a one-byte boolean inside DevIL, so an image of
    // a multiple of 256 bytes reads as 0. The encoder's own error state and the bytes in the file tell instead.
    ilSaveF(ImageTypeOf(name), file);
    int writeError = errno;
    bool written = ilGetError() == IL_NO_ERROR && std::ftell(file) > 0;
    return FinishFile(file, written, writeError, "The image", name, temporary, error);
}

}  // namespace

std::string TemporaryName(const std::string& name) {
    std::size_t slash = name.find_last_of('/');
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return name.substr(0, base) + "." + name.substr(base) + "." + std::to_string(getpid()) + ".part";
}

void HoldTemporary(const std::string& temporary) {
    if (temporary.size() >= sizeof pendingTemporary) return;
    std::memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
}

bool RenameIfComplete(const std::string& temporary, const std::string& name, bool complete, int& renameError) {
    renameError = 0;
    if (complete && std::rename(temporary.c_str(), name.c_str()) == 0) {
        pendingTemporary[0] = '\0';
        return true;
    }
    if (complete) renameError = errno;
    std::remove(temporary.c_str());
    pendingTemporary[0] = '\0';
    return false;
}

namespace {

// Saves the image that fill puts into a bound DevIL image: the framebuffer, or RGB rows in memory.
template <typename Fill>
bool WriteFilledImage(const std::string& name, std::string& error, Fill fill) {
    std::string temporary;
    std::FILE* file = StartFile("The image", name, temporary, error);
    if (file == nullptr) return false;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    fill();
    while (ilGetError() != IL_NO_ERROR) {
    }
    bool saved = SaveBoundImage(name, file, temporary, error);
    ilDeleteImages(1, &image);
    return saved;
}

}  // namespace

bool WriteImageFile(const std::string& name, std::string& error) {
    return WriteFilledImage(name, error, [] { ilutGLScreen(); });
}

bool WriteImagePixels(const std::string& name, int width, int height, const unsigned char* rgb, std::string& error) {
    return WriteFilledImage(name, error, [&] {
        // As ilutGLScreen holds what it reads: RGB bytes, rows from the bottom.
        ilTexImage(static_cast<ILuint>(width), static_cast<ILuint>(height), 1, 3, IL_RGB, IL_UNSIGNED_BYTE,
                   const_cast<unsigned char*>(rgb));
        ilRegisterOrigin(IL_ORIGIN_LOWER_LEFT);
    });
}

bool WriteTextFile(const std::string& name, const std::string& text, std::string& error) {
    std::string temporary;
    std::FILE* file = StartFile("The file", name, temporary, error);
    if (file == nullptr) return false;
    errno = 0;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int writeError = errno;
    return FinishFile(file, written, writeError, "The file", name, temporary, error);
}

void RemovePendingTemporary() {
    if (pendingTemporary[0] != '\0') unlink(pendingTemporary);
    pendingTemporary[0] = '\0';
}
