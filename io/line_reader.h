// Buffered line reading from infile, with the stream's end-of-file rules and fast line skipping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// NOTE: a line handed out stays valid only until the next read or seek.
// The LINE_SLACK bytes after the end of a handed-out line can always be read (their contents are arbitrary),
// so a parser may load whole words at a time near the end of a line.
constexpr std::size_t LINE_SLACK = 32;

// Longest line ReadLine hands out. A longer one (a file without line feeds) is explained and ends the program
// instead of growing the buffer to the size of the file; SkipLines has no limit, since it keeps no line.
constexpr int64_t MAX_LINE_BYTES = int64_t(1) << 24;

bool OpenTextFile(const std::string& name);  // infile holds name, read from its first byte through OpenLineSource;
                                          // false, infile closed, when it cannot be opened (or is a folder). A file
                                          // kept open for that name is taken as it is instead of opened again
void KeepTextFile();                      // the next OpenTextFile of the name infile holds takes it as it is
void CloseTextFile();                     // close infile and give back the buffers (and a gzip index)
void OpenLineSource();                    // start reading the newly opened infile from its first byte; a gzip file
                                          // (by its magic bytes) is read as its text, offsets are offsets in that text
void SeekLines(int64_t offset);           // clear infile's error state, seek to offset, forget the buffer
                                          // and the open console line
bool ReadLine(std::string_view& line);    // next line without its line feed; false once the end had been reached
// For a reader that converts its lines on other threads and must tell what went wrong in the order of the lines:
bool ReadLineUnlessLong(std::string_view& line, bool& tooLong);  // ReadLine, but a line that would end the program
                                          // for its length is left unread: false, tooLong (ReadLine then ends it)
void HoldDamageNews(bool hold);           // damage of compressed text found from now on is not told (SeekLines ends
                                          // the hold); the news stays with the source as if not yet come upon
bool DamageNewsHeld();                    // damage was come upon while held back
void TellHeldDamage();                    // end the hold and tell the damage come upon, where ReadLine would have
int64_t SkipLines(int64_t count);         // read and drop up to count lines; returns how many were really there
bool EndReached();                        // a read has run into the end of the file
int64_t ReadPosition();                   // file offset of the next unread byte
void ReleaseLineBuffer();                 // give the buffer's (and a gzip index's) memory back
bool TextLooksBinary();                   // the first text bytes (inflated, for a gzip file) are binary; reads none
bool ReadOnForDamage();                   // compressed text: inflate to its end, so that damage is told before a
                                          // complaint about the frames it may have caused; true if it was told
void ConsoleLineOpen(bool open);          // a console line is open: the long-line error ends it first
