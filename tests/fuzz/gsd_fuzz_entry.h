// The GSD reader under arbitrary bytes: shared by fuzz_gsd.cpp and by the unit test that replays the corpus.
// The bytes live in an anonymous memory file (no scratch file to clean up); OpenGsd reads it by its
// /proc/self/fd path. A broken invariant after a successful read throws std::logic_error: the fuzzer stops on
// it (uncaught), the replay test reports it. A sanitizer report or a crash needs no help.
#pragma once

#include <sys/mman.h>  // Required for: memfd_create()
#include <unistd.h>    // Required for: write(), close()

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/gsd/gsd_hoomd.h"

constexpr uint64_t GSD_FUZZ_FRAMES = 8;  // frames read per input besides the first, middle and last

[[noreturn]] inline void GsdFuzzBroken(const std::string& what) {
    throw std::logic_error("broken invariant after a successful GSD read: " + what);
}

inline void GsdFuzzCheckMessage(const std::string& error) {
    if (error.empty() || error.find('\n') != std::string::npos) GsdFuzzBroken("error is not one line: " + error);
}

// Tables sized by N, finite geometry, indices inside the tables they index, shapes with usable half radii.
// A frame without bonds of its own takes frame 0's, whose members need only be frame 0's particles (zeroN).
inline void GsdFuzzCheckFrame(const GsdFrame& frame, size_t zeroN) {
    size_t n = frame.N;
    if (frame.position.size() != 3 * n || frame.orientation.size() != 4 * n || frame.diameter.size() != n ||
        frame.velocity.size() != 3 * n || frame.mass.size() != n || frame.charge.size() != n ||
        frame.image.size() != 3 * n || frame.typeId.size() != n || frame.bondGroup.size() != 2 * size_t(frame.bondN))
        GsdFuzzBroken("a table does not match N");
    for (const std::vector<double>* table : {&frame.position, &frame.orientation, &frame.diameter})
        for (double value : *table)
            if (!std::isfinite(value)) GsdFuzzBroken("non-finite geometry");
    for (uint32_t id : frame.typeId)
        if (id >= frame.types.size()) GsdFuzzBroken("type id past the types");
    for (uint32_t member : frame.bondGroup)
        if (member >= std::max(n, zeroN)) GsdFuzzBroken("bond member past the particles");
    for (const GsdQuantity& quantity : frame.quantities)
        if (quantity.values.size() != n * quantity.columns) GsdFuzzBroken("quantity " + quantity.name + " size");
    for (const std::string& shape : frame.typeShapes) {
        double half[3] = {0, 0, 0};
        std::string kind;
        if (ParseTypeShape(shape, half, kind) && !(half[0] > 0 && half[1] > 0 && half[2] > 0))
            GsdFuzzBroken("shape with a half radius that is not positive");
    }
}

// particles/N of frame 0 as the file stores it, which bonds carried from frame 0 are checked against even where
// frame 0's other chunks are damaged; 0 without one.
inline size_t GsdFuzzFrameZeroCount(GsdFile& file) {
    const GsdIndexEntry* entry = FindChunk(file, 0, "particles/N");
    std::vector<unsigned char> bytes;
    std::string error;
    if (!entry || entry->type == GSD_FLOAT || entry->type == GSD_DOUBLE || !ReadChunk(file, *entry, bytes, error))
        return 0;
    const size_t size = GsdTypeSize(entry->type);
    uint64_t value = 0;
    if (size == 0 || size > sizeof value || bytes.size() < size) return 0;
    std::memcpy(&value, bytes.data(), size);  // little-endian, as GSD files are; a negative count reads large
    return static_cast<size_t>(value);
}

// The bytes as type_shapes JSON, then as a GSD file: its first, middle and last frame and the first few others.
inline void FuzzGsdInput(const uint8_t* data, size_t size) {
    double half[3] = {0, 0, 0};
    std::string kind;
    if (ParseTypeShape(std::string(reinterpret_cast<const char*>(data), size), half, kind) &&
        !(half[0] > 0 && half[1] > 0 && half[2] > 0 && std::isfinite(half[0] + half[1] + half[2])))
        GsdFuzzBroken("shape from raw bytes with a half radius that is not positive");
    int fd = memfd_create("ovalix_fuzz_gsd", MFD_CLOEXEC);
    if (fd < 0) throw std::runtime_error("memfd_create failed");
    for (size_t done = 0; done < size;) {
        ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) {
            close(fd);
            throw std::runtime_error("cannot write the memory file");
        }
        done += static_cast<size_t>(wrote);
    }
    GsdFile file;
    std::string error;
    if (OpenGsd("/proc/self/fd/" + std::to_string(fd), file, error)) {
        std::vector<uint64_t> frames = {0, file.frameCount / 2, file.frameCount ? file.frameCount - 1 : 0};
        for (uint64_t f = 1; f <= GSD_FUZZ_FRAMES && f < file.frameCount; ++f) frames.push_back(f);
        const size_t zeroN = GsdFuzzFrameZeroCount(file);
        for (uint64_t f : frames) {
            GsdFrame frame;
            error.clear();
            if (ReadGsdFrame(file, f, frame, error)) GsdFuzzCheckFrame(frame, zeroN);
            else GsdFuzzCheckMessage(error);
        }
        CloseGsd(file);
    } else {
        GsdFuzzCheckMessage(error);
    }
    close(fd);
}
