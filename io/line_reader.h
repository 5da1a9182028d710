// Buffered line reading from infile, with the stream's end-of-file rules and fast line skipping.
#pragma once

#include <cstdint>
#include <string_view>

// NOTE: a line handed out stays valid only until the next read or seek.

void SeekLines(int64_t offset);           // clear infile's error state, seek to offset, forget the buffer
bool ReadLine(std::string_view& line);    // next line without its line feed; false once the end had been reached
int64_t SkipLines(int64_t count);         // read and drop up to count lines; returns how many were really there
bool EndReached();                        // a read has run into the end of the file
int64_t ReadPosition();                   // file offset of the next unread byte
void ReleaseLineBuffer();                 // give the buffer's memory back
