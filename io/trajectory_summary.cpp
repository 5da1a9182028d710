// The opening summary and the open-file check of both trajectory readers.
#include "io/trajectory_summary.h"

#include <algorithm>  // Required for: std::minmax_element
#include <iostream>

#include "core/bond_rows.h"
#include "core/exit_sequence.h"
#include "core/scene.h"

void PrintTrajectorySummary() {
    int frames = FrameCount();
    if (frameAtoms.empty()) {
        std::cout << "Number of atoms:      " << atoms << std::endl;
    } else {
        auto [fewest, most] = std::minmax_element(frameAtoms.begin(), frameAtoms.end());
        std::cout << "Number of atoms:      " << *fewest;
        if (*most != *fewest) std::cout << " to " << *most << " (changes between frames)";
        std::cout << std::endl;
    }
    std::cout << "Number of time steps: " << frames << " (0 - " << frames - 1 << ")" << std::endl;
    if (!seriesFiles.empty())
        std::cout << "Number of files:      " << seriesFiles.size() << " (" << seriesFiles.front() << " to "
                  << seriesFiles.back() << ")" << std::endl;
    if (frames == 1) showTS = false;
}

void RequireOpenTrajectory(bool open) {
    if (open) return;
    std::cout << "Something is seriously wrong. The input file seems to be closed." << std::endl;
    ExitSequence();
}

void FitFrameTable(int count) {
    atoms = count;
    // Within the capacity taken for the largest frame: no reallocation. Rows a larger frame adds start at 0.
    geom.resize(static_cast<std::size_t>(count) * GEOM_STRIDE, 0.0);
}

std::string FrameAndStep(long long index, long long step, bool capital) {
    std::string name = (capital ? "Frame " : "frame ") + std::to_string(index);
    return step >= 0 ? name + " (step " + std::to_string(step) + ")" : name;
}

void ReportBondsOutsideFrame() {
    if (bondsLeftOutShown) return;
    for (int j = 0; j < BondCount(); ++j) {
        if (BondInFrame(j)) continue;
        const int* row = &topology[static_cast<std::size_t>(j) * TOPOLOGY_STRIDE];
        if (bondsByLabel) {
            std::cout << "Bond " << j + 1 << " goes to atom " << row[BondAtomRow(j, 0) < 0 ? 0 : 1] << ", which "
                      << FrameAndStep(frame, frameStep) << " does not hold: bonds to missing atoms are left out of such frames."
                      << std::endl;
        } else {
            std::cout << "Bond " << j + 1 << " goes to atom " << std::max(row[0], row[1]) << ", but "
                      << FrameAndStep(frame, frameStep) << " holds " << atoms
                      << " atoms: bonds to missing atoms are left out of such frames." << std::endl;
        }
        bondsLeftOutShown = true;
        return;
    }
}

void JoinBondsToFrame() {
    FindBondRows();
    if (bondsByLabel && !bondsByLabelShown) {
        std::cout << FrameAndStep(frame, frameStep, true) << " does not label its atoms 1 to " << atoms
                  << " in order: bonds join the atoms whose labels (ids) the bond file names." << std::endl;
        bondsByLabelShown = true;
    }
    ReportBondsOutsideFrame();
}
