// Images of the render mode encoded and written on a worker while the next frame is read and drawn. The console
// text of that next frame is held back until the image before it is written, so that the run tells everything in
// the order of one thread: a write that fails ends the run before anything of the frames after it is told.
#pragma once

#include <string>

void StartImageWrite(const std::string& name);   // the picture read back now, written as `name` on a worker; the
                                                 // console held from here until FinishImageWrite
bool ImageWritePending();                        // an image is being written
bool FinishImageWrite(std::string& error);       // waits for it; false with the write's message
void StopHoldingConsole();                       // the streams print again; what was held is kept
void TellHeldConsole();                          // print what was held, in its order, on its streams
void DropConsole();                              // stop holding and forget what was held (after a failed write)
