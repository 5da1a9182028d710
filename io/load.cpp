// The one loading sequence of start-up, reload and the offscreen mode.
#include "io/load.h"

#include <iostream>

#include "core/periodic_images.h"
#include "core/quantity_colour.h"
#include "core/scene.h"
#include "core/visibility.h"
#include "io/config/bond_reader.h"
#include "io/config/config_reader.h"
#include "io/frame_step.h"
#include "io/trajectory.h"
#include "io/trajectory_kinds.h"
#include "io/config/trajectory_config.h"
#include "io/whole_run.h"

namespace {

// hide_species of a species the run does not have hides nothing: said once the species are known.
void TellHiddenSpeciesBeyondTheRun() {
    for (int n : HiddenSpeciesBeyond(species))
        std::cout << "hide_species " << n << ": the run has only " << species << " species, so it hides nothing."
                  << std::endl;
}

// images or wrap on a trajectory whose first frame has no box: one line each, and the picture stays as it was.
void TellPeriodicWithoutBox() {
    for (const std::string& line : {ImagesWithoutBoxLine(), WrapWithoutBoxLine()})
        if (!line.empty()) std::cout << line << std::endl;
}

}  // namespace

void LoadScene(const std::string& name, void (*afterConfig)()) {
    std::string bondFile = ReadConfig(name);
    std::cout << "Config file read." << std::endl;
    if (afterConfig != nullptr) afterConfig();
    topology.clear();
    trajectoryBonds = OpenKindRow().bondsInFile && bondFile.empty();  // a bond file named beside it replaces them
    OpenFile();
    CompleteMadeConfiguration();
    ChooseDrawingForSize();
    GoToFrame(0);
    TellHiddenSpeciesBeyondTheRun();
    TellPeriodicWithoutBox();
    if (fixedCentre) TakeFixedCentre();
    std::string runRange = TakeRunRange();
    if (!runRange.empty()) std::cout << runRange << std::endl;
    std::string colouring = ApplyColourBy();
    if (!colouring.empty()) std::cout << colouring << std::endl;
    if (!bondFile.empty()) ReadBonds(bondFile);
}

void StartScene(const std::string& name, void (*afterConfig)()) {
    title = "OvaLIX - " + name;
    LoadScene(name, afterConfig);
    std::cout << "Done reading. Rendering." << std::endl;
}
