// Chooses the dump or the PDB reader by quat, so callers never need to know the trajectory's kind.
#include "io/trajectory.h"

#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "io/dump_reader.h"
#include "io/line_reader.h"
#include "io/pdb_reader.h"

void OpenFile() {
    if (quat) OpenQuatFile();
    else OpenAnisouFile();
}

void ReadFrame() {
    if (quat) ReadQuatFrame();
    else ReadAnisouFrame();
    orderFrameChanged = true;
    ++particleDataVersion;
}

void CloseFile() {
    if (!infile.is_open()) {
        std::cout << "Something is seriously wrong. The file is already closed." << std::endl;
        std::cout << "But we were going to quit anyway, so that's ok. For now." << std::endl;
        ExitSequence();
    }
    infile.close();
    ReleaseLineBuffer();
}
