// One entry per file reader: feed it bytes as a file, run it on a fresh scene, survive its explained errors.
// Shared by the libFuzzer targets and by the unit test that replays the corpus and every crash input.
#pragma once

#include <cstddef>
#include <cstdint>

// Each writes data to a scratch file, resets the scene, runs the reader(s) with standard output silenced and
// an empty standard input, and returns normally when the reader succeeds or ends through the exit sequence.
// A broken invariant after a successful read (a non-finite value, a table of the wrong size) throws
// std::logic_error; a sanitizer report or a crash needs no help.
void FuzzConfigInput(const uint8_t* data, std::size_t size);  // ReadConfig on the bytes
void FuzzDumpInput(const uint8_t* data, std::size_t size);    // OpenQuatFile, then the first, middle and last frame
void FuzzPdbInput(const uint8_t* data, std::size_t size);     // OpenAnisouFile, then the first, middle and last step
void FuzzBondInput(const uint8_t* data, std::size_t size);    // ReadBonds on a scene of 5 atoms, 2 species, 2 origins
void FuzzDumpHeaderInput(const uint8_t* data, std::size_t size);  // first line: atoms header names; the rest:
                                                                  // atom lines of two frames, one tilted box each
void FuzzAtomLineInput(const uint8_t* data, std::size_t size);  // ParseAtomRow against a field-by-field from_chars
void FuzzGzipInput(const uint8_t* data, std::size_t size);    // the line reader over gzip text made from the
                                                               // bytes, cut or damaged; then the dump reader on it

void FuzzGsdViewInput(const uint8_t* data, std::size_t size);  // the viewer's load of a GSD file named alone,
                                                                 // then its first, middle and last frame
const char* FuzzScratchPath(const char* target);  // file the bytes of target are written to, in /dev/shm if possible
