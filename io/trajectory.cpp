// Chooses the dump, GSD or PDB reader by quat and gsd, so callers never need to know the trajectory's kind.
#include "io/trajectory.h"

#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "core/unwrap.h"
#include "io/dump/dump_reader.h"
#include "io/file_series.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/line_reader.h"
#include "io/pdb/pdb_reader.h"
#include "io/trajectory_summary.h"

// Whether unwrapping applies to this trajectory, said in one line when it was asked for.
static void ReportUnwrap() {
    const std::string& names = dumpColumns.positionNames;
    std::string line = PrepareUnwrap(quat && (names == "xu yu zu" || names == "xsu ysu zsu"));
    if (!line.empty()) std::cout << line << std::endl;
}

void OpenFile() {
    frameAtoms.clear();
    bondsLeftOutShown = false;
    quantityNames.clear();
    quantityFullNames.clear();
    quantities.clear();
    frameBox.exists = false;
    ForgetSeries();
    if (SeriesNamed()) OpenSeries();
    else if (gsd) OpenGsdTrajectory();
    else if (quat) OpenQuatFile();
    else OpenAnisouFile();
    if (frameAtoms.empty()) mostAtoms = atoms;  // one count for every frame
    ReportUnwrap();
}

void StartUnwrapping() {
    unwrap = true;
    ReportUnwrap();
}

void ReadFrame() {
    frameStep = -1;  // the dump reader gives the step its frame names
    if (!seriesFiles.empty()) ReadSeriesFrame();
    else if (gsd) ReadGsdTrajectoryFrame();
    else if (quat) ReadQuatFrame();
    else ReadAnisouFrame();
    UnwrapFrame();
    orderFrameChanged = true;
    animationEnded = false;  // a frame read, by a key or a reload: an animation has something to show again
    JoinBondsToFrame();
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
    if (gsd) CloseGsdTrajectory();
}
