// The text of a gzip-compressed infile (one member or several one after another), read by its
// uncompressed offsets: the first pass inflates the file once and keeps restart points, so that a later
// seek inflates only from the nearest one instead of from the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/scene.h"  // Required for: gzipRestartSpacing

struct GzipState;  // io/reader_state.h

bool StartGzipSource();                              // infile begins with the gzip magic bytes: a fresh index
                                                     // and inflater for it (else false, infile unread)
void SeekGzipText(int64_t offset);                   // the next text byte handed out is the one at offset
std::size_t ReadGzipText(char* into, std::size_t room);  // up to room text bytes; 0 at the end or the damage
bool TakeGzipDamageNews(std::string& message);       // true once, with its console line, when the data
                                                     // first ended early or turned out damaged
bool GzipDamageNewsWaiting();                       // TakeGzipDamageNews would take news now
int64_t GzipIndexBytes();                            // memory the restart points hold
void StopGzipSource();                               // give back the index and the inflater
void DeleteGzipState(GzipState* state);              // end its inflaters and free it (part of a run's readers)
