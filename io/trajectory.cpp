// Chooses the dump or the PDB reader by quat, so callers never need to know the trajectory's kind.
#include "io/trajectory.h"

#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "core/unwrap.h"
#include "io/dump_reader.h"
#include "io/line_reader.h"
#include "io/pdb_reader.h"

// Whether unwrapping applies to this trajectory, said in one line when it was asked for.
static void ReportUnwrap() {
    const std::string& names = dumpColumns.positionNames;
    std::string line = PrepareUnwrap(quat && (names == "xu yu zu" || names == "xsu ysu zsu"));
    if (!line.empty()) std::cout << line << std::endl;
}

void OpenFile() {
    quantityNames.clear();
    quantities.clear();
    frameBox.exists = false;
    if (quat) OpenQuatFile();
    else OpenAnisouFile();
    ReportUnwrap();
}

void StartUnwrapping() {
    unwrap = true;
    ReportUnwrap();
}

void ReadFrame() {
    if (quat) ReadQuatFrame();
    else ReadAnisouFrame();
    UnwrapFrame();
    orderFrameChanged = true;
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
