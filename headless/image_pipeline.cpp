// One image written on a worker thread at a time; standard output and standard error held meanwhile.
#include "headless/image_pipeline.h"

#include <GL/gl.h>  // Required for: glGetIntegerv()
#include <iostream>
#include <streambuf>
#include <thread>
#include <utility>
#include <vector>

#include "export/image_file.h"
#include "headless/frame_output.h"

namespace {

std::thread writer;                    // writes the pending image; joinable while one is pending
std::vector<unsigned char> pixels;     // the pending image's RGB rows, bottom up
bool writeSucceeded = false;
std::string writeError;

// Text of the held streams in the order it was written, a piece per stretch of one stream.
std::vector<std::pair<std::ostream*, std::string>> heldText;

// NOTE: a stream buffer is the one way to catch what std::cout and std::cerr are given.
struct HeldStream : std::streambuf {
    std::ostream* stream = nullptr;
    std::streambuf* original = nullptr;
    void Append(const char* text, std::size_t size) {
        if (heldText.empty() || heldText.back().first != stream) heldText.emplace_back(stream, std::string());
        heldText.back().second.append(text, size);
    }
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char character = static_cast<char>(c);
        Append(&character, 1);
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        Append(text, static_cast<std::size_t>(size));
        return size;
    }
};

HeldStream heldOut, heldErr;

void Hold(HeldStream& held, std::ostream& stream) {
    held.stream = &stream;
    held.original = stream.rdbuf(&held);
}

void Unhold(HeldStream& held) {
    if (held.original != nullptr) held.stream->rdbuf(held.original);
    held.original = nullptr;
}

}  // namespace

void StartImageWrite(const std::string& name) {
    // The size ilutGLScreen reads: the viewport.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    ReadPicture(viewport[2], viewport[3], pixels);
    Hold(heldOut, std::cout);
    Hold(heldErr, std::cerr);
    writer = std::thread([name, width = viewport[2], height = viewport[3]] {
        writeSucceeded = WriteImagePixels(name, width, height, pixels.data(), writeError);
    });
}

bool ImageWritePending() { return writer.joinable(); }

bool FinishImageWrite(std::string& error) {
    if (!writer.joinable()) return true;
    writer.join();
    if (!writeSucceeded) error = writeError;
    return writeSucceeded;
}

void StopHoldingConsole() {
    Unhold(heldOut);
    Unhold(heldErr);
}

void TellHeldConsole() {
    StopHoldingConsole();
    std::vector<std::pair<std::ostream*, std::string>> text;
    text.swap(heldText);
    for (const auto& piece : text) *piece.first << piece.second << std::flush;
}

void DropConsole() {
    StopHoldingConsole();
    heldText.clear();
}
