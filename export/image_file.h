// The one way an image (or a view file) reaches the disk: written under a hidden temporary name in the same
// folder, every write, the flush and the close checked, and renamed to its final name only when complete.
// A failure leaves nothing under either name.
#pragma once

#include <string>

// The colour buffer being read (the window's back buffer, the offscreen framebuffer) as the image `name`;
// its type from the name's extension (.png, .bmp, else JPG). False with the system's reason in `error`.
bool WriteImageFile(const std::string& name, std::string& error);

// width x height RGB pixels, rows from the bottom as OpenGL reads them, as the image `name`, the same way.
bool WriteImagePixels(const std::string& name, int width, int height, const unsigned char* rgb, std::string& error);

// `text` as the file `name`, the same way.
bool WriteTextFile(const std::string& name, const std::string& text, std::string& error);

// The hidden temporary name beside `name`: ".NAME.PID.part".
std::string TemporaryName(const std::string& name);

// `temporary` is being written: a signal or a failure removes it (one file at a time, an image or a movie).
void HoldTemporary(const std::string& temporary);

// A complete temporary renamed to `name`; an incomplete one, or one that cannot be renamed (errno in
// `renameError`, else 0), removed. Either way it is no longer held. True when renamed.
bool RenameIfComplete(const std::string& temporary, const std::string& name, bool complete, int& renameError);

// Removes the temporary file being written, if any; safe inside a signal handler.
void RemovePendingTemporary();
