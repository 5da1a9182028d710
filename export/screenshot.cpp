// Snapshots and sequence images: the window's back buffer saved through DevIL.
#include "export/screenshot.h"

#include <iostream>
#include <string>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "export/image_names.h"
#include "render/devil.h"
#include "render/picture.h"

[[noreturn]] static void ReportWriteFailure(const std::string& name) {
    std::cout << "Fail! No file of name " << name << " can be written." << std::endl;
    std::cout << "I don't know why. Do you have write permissions?" << std::endl;
    ExitSequence("Press Enter / Return to exit.");
}

static bool SaveWindow(const std::string& name) {
    std::string error;
    return WriteImageFile(name, error);
}

// A trajectory folder that cannot be written would end a movie export: its images go to the working directory.
static bool SaveInWorkingDirectory(std::string& name) {
    if (sequenceFallback == inname || FileNameOnly(inname) == inname) return false;
    sequenceFallback = inname;
    name = SequenceName(frame);
    std::cout << "The folder of " << inname << " cannot be written: the images go to the working directory as "
              << SequencePattern() << "." << std::endl;
    return SaveWindow(name);
}

void PrintImage(bool single) {
    // Snapshots never replace a file: the number goes on to the first name that is free.
    std::string name = single ? NextSnapshotName(frame) : SequenceName(frame);
    if (!print) return;
    if (single) DrawPicture();  // after a buffer swap the back buffer is undefined
    bool saved = SaveWindow(name);
    if (!saved && !single) saved = SaveInWorkingDirectory(name);
    if (!saved) ReportWriteFailure(name);
    if (single) std::cout << "Success! File " << name << " has been written." << std::endl;
}

// A snapshot in the middle of a movie export does not end it.
void PrintSnapshot() {
    bool printing = print;
    print = true;
    PrintImage(true);
    print = printing;
}
