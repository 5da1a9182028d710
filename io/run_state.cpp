// A run held aside: the scene variables that belong to one trajectory, exchanged with the program's own.
// Vectors, strings and the file stream exchange their storage, never copy it; the readers' state travels
// as one pointer, so nothing a zlib stream points at moves.
#include "io/run_state.h"

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/scene.h"
#include "io/reader_state.h"

struct RunState {
    ReaderState* readers = NewReaderState();

    // Files, and what the configuration chose for them
    std::string inname;
    std::ifstream infile;
    bool quat = false;
    bool gsd = false;
    std::string ellipsoidtexture;
    std::string bondtexture;
    float BGColor[4] = {0, 0, 0, 0};
    float FogColor[4] = {0, 0, 0, 0};
    bool adaptiveDetail = false;
    bool raycastEllipsoids = false;
    bool ambientOcclusion = false;
    double occlusionStrength = 0.6;
    bool fitViewOnLoad = false;

    // Frames and atoms
    std::vector<int64_t> counter = std::vector<int64_t>(100, 0);
    int frame = 0;
    int atoms = 0;
    std::vector<int> frameAtoms;
    int mostAtoms = 0;
    std::vector<int> frameMember;
    std::vector<std::string> seriesFiles;
    bool varyingAtoms = false;
    bool speciesFromTrajectory = false;
    long long frameStep = -1;
    std::vector<double> geom;
    DumpColumns dumpColumns;

    // Quantities, the box, colouring by a quantity, unwrapping
    std::vector<std::string> quantityNames;
    std::vector<std::string> quantityFullNames;
    std::vector<double> quantities;
    SimulationBox frameBox = {false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
    std::vector<double> cellOfStep;
    bool showBox = false;
    bool boxAbsenceTold = false;
    int colourQuantity = SPECIES_COLOURS;
    double quantityLow = 0, quantityHigh = 1;
    std::string colourByName;
    bool colourByFixed = false;
    bool colourByWholeRun = false;
    double colourByLow = 0, colourByHigh = 1;
    bool unwrap = false;
    bool unwrapActive = false;
    bool wrapIntoBox = false;
    int imageCounts[3] = {1, 1, 1};

    // Species, bonds, what is hidden, the centre
    int species = 0;
    std::vector<double> shape;
    std::vector<double> color;
    std::vector<double> bondvec;
    std::vector<int> topology;
    bool trajectoryBonds = false;
    bool bondsLeftOutShown = false;
    bool bondsByLabel = false;
    bool bondsByLabelShown = false;
    std::vector<int> bondRows;
    bool solidBonds = false;
    double bondwidth = 0.0;
    std::vector<unsigned char> hiddenSpecies;
    SlabCut slab = {false, {0, 0, 1}, 0.0, 1.0};
    bool fixedCentre = false;
    double fixedCentrePoint[3] = {0, 0, 0};
    std::vector<double> speciesOpacity;
    bool transparencyOn = true;
};

namespace {

template <typename T, std::size_t N>
void SwapArray(T (&a)[N], T (&b)[N]) {
    for (std::size_t k = 0; k < N; ++k) std::swap(a[k], b[k]);
}

void SwapFiles(RunState& run) {
    std::swap(::readers, run.readers);
    std::swap(::inname, run.inname);
    ::infile.swap(run.infile);
    std::swap(::quat, run.quat);
    std::swap(::gsd, run.gsd);
    std::swap(::ellipsoidtexture, run.ellipsoidtexture);
    std::swap(::bondtexture, run.bondtexture);
    SwapArray(::BGColor, run.BGColor);
    SwapArray(::FogColor, run.FogColor);
    std::swap(::adaptiveDetail, run.adaptiveDetail);
    std::swap(::raycastEllipsoids, run.raycastEllipsoids);
    std::swap(::ambientOcclusion, run.ambientOcclusion);
    std::swap(::occlusionStrength, run.occlusionStrength);
    std::swap(::fitViewOnLoad, run.fitViewOnLoad);
}

void SwapFrames(RunState& run) {
    std::swap(::counter, run.counter);
    std::swap(::frame, run.frame);
    std::swap(::atoms, run.atoms);
    std::swap(::frameAtoms, run.frameAtoms);
    std::swap(::mostAtoms, run.mostAtoms);
    std::swap(::frameMember, run.frameMember);
    std::swap(::seriesFiles, run.seriesFiles);
    std::swap(::varyingAtoms, run.varyingAtoms);
    std::swap(::speciesFromTrajectory, run.speciesFromTrajectory);
    std::swap(::frameStep, run.frameStep);
    std::swap(::geom, run.geom);
    std::swap(::dumpColumns, run.dumpColumns);
}

void SwapQuantities(RunState& run) {
    std::swap(::quantityNames, run.quantityNames);
    std::swap(::quantityFullNames, run.quantityFullNames);
    std::swap(::quantities, run.quantities);
    std::swap(::frameBox, run.frameBox);
    std::swap(::cellOfStep, run.cellOfStep);
    std::swap(::showBox, run.showBox);
    std::swap(::boxAbsenceTold, run.boxAbsenceTold);
    std::swap(::colourQuantity, run.colourQuantity);
    std::swap(::quantityLow, run.quantityLow);
    std::swap(::quantityHigh, run.quantityHigh);
    std::swap(::colourByName, run.colourByName);
    std::swap(::colourByFixed, run.colourByFixed);
    std::swap(::colourByWholeRun, run.colourByWholeRun);
    std::swap(::colourByLow, run.colourByLow);
    std::swap(::colourByHigh, run.colourByHigh);
    std::swap(::unwrap, run.unwrap);
    std::swap(::unwrapActive, run.unwrapActive);
    std::swap(::wrapIntoBox, run.wrapIntoBox);
    SwapArray(::imageCounts, run.imageCounts);
}

void SwapSpecies(RunState& run) {
    std::swap(::species, run.species);
    std::swap(::shape, run.shape);
    std::swap(::color, run.color);
    std::swap(::bondvec, run.bondvec);
    std::swap(::topology, run.topology);
    std::swap(::trajectoryBonds, run.trajectoryBonds);
    std::swap(::bondsLeftOutShown, run.bondsLeftOutShown);
    std::swap(::bondsByLabel, run.bondsByLabel);
    std::swap(::bondsByLabelShown, run.bondsByLabelShown);
    std::swap(::bondRows, run.bondRows);
    std::swap(::solidBonds, run.solidBonds);
    std::swap(::bondwidth, run.bondwidth);
    std::swap(::hiddenSpecies, run.hiddenSpecies);
    std::swap(::slab, run.slab);
    std::swap(::fixedCentre, run.fixedCentre);
    SwapArray(::fixedCentrePoint, run.fixedCentrePoint);
    std::swap(::speciesOpacity, run.speciesOpacity);
    std::swap(::transparencyOn, run.transparencyOn);
}

}  // namespace

RunState* NewRunState() { return new RunState(); }

void DeleteRunState(RunState* run) {
    if (run == nullptr) return;
    DeleteReaderState(run->readers);
    delete run;  // its stream closes with it
}

void SwapRunState(RunState& kept) {
    SwapFiles(kept);
    SwapFrames(kept);
    SwapQuantities(kept);
    SwapSpecies(kept);
    orderFrameChanged = true;  // the order parameter held was another run's
    ++particleDataVersion;     // copies of the other run's particles are stale
}
