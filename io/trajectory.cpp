// Opening, reading and closing the trajectory through the row of its kind (io/trajectory_kinds.h), so callers
// never need to know the trajectory's kind.
#include "io/trajectory.h"

#include <iostream>

#include "core/exit_sequence.h"
#include "core/periodic_images.h"
#include "core/scene.h"
#include "core/unwrap.h"
#include "core/wrap.h"
#include "io/file_series.h"
#include "io/trajectory_kinds.h"
#include "io/trajectory_summary.h"

// Whether unwrapping applies to this trajectory, said in one line when it was asked for.
static void ReportUnwrap() {
    std::string line = PrepareUnwrap(OpenKindRow().positionsUnwrapped());
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
    if (SeriesNamed()) {
        OpenSeries();
    } else {
        const TrajectoryKindRow& kind = OpenKindRow();
        kind.index(false);
        kind.finishOpening();
    }
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
    else OpenKindRow().readFrame();
    UnwrapFrame();
    WrapFrame();
    orderFrameChanged = true;
    animationEnded = false;  // a frame read, by a key or a reload: an animation has something to show again
    JoinBondsToFrame();
    ++particleDataVersion;
}

void SwitchWrapping(bool on) {
    if (on == wrapIntoBox) return;
    wrapIntoBox = on;
    std::string excluded = on ? ExcludeUnwrap() : "";
    if (!excluded.empty()) std::cout << excluded << std::endl;
    std::string noBox = WrapWithoutBoxLine();
    if (!noBox.empty()) std::cout << noBox << std::endl;
    infile.clear();  // the frame held, read again as the switch now asks
    ReadFrame();
}

bool TrajectoryOpen() { return OpenKindRow().isOpen(); }

void CloseFile() {
    if (!TrajectoryOpen()) {
        std::cout << "Something is seriously wrong. The file is already closed." << std::endl;
        std::cout << "But we were going to quit anyway, so that's ok. For now." << std::endl;
        ExitSequence();
    }
    OpenKindRow().close();
}
