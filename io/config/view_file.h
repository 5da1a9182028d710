// View files: the window's view (modelview matrix, clip planes, lights, fog, overlay) saved with the key V, read by --render.
#pragma once

#include <string>
#include <vector>

constexpr int VIEW_FILE_VERSION = 3;  // 2 added the box, the slab and the hidden species, 3 transparency, images, wrap and
                                      // ambient occlusion; 1 and 2 are still read

struct ViewSettings {
    double modelview[16];  // column-major, as OpenGL returns it
    float light0[4];       // light positions in eye space, as OpenGL holds them
    float light1[4];
    int lightMode;         // rotating_light
    bool fog;              // gp
    bool overlay;          // showTS
    double clip[2];        // near and far plane (clipNear, clipFar), which a fit of the view moves
    bool box;              // showBox
    double slab[6];        // on (0 or 1), normal x, y, z, centre offset, width: slab
    std::vector<int> hiddenSpecies;  // species numbers not drawn
    bool transparency;     // transparencyOn: the configured opacities drawn
    bool periodicSaved = false;  // the file gives images and wrap (version 3): an older one leaves the configuration's
    int images[3] = {1, 1, 1};   // imageCounts
    bool wrap = false;           // wrapIntoBox
    double occlusion[2];   // ambient occlusion on (0 or 1) and its strength; on -1: not in the file (versions 1, 2)
};

std::string ViewFileText(const ViewSettings& view);  // the file's text, every number exact; the caller writes it
// Read and check a view file; false with a message in `error` when it is missing, damaged or of another version.
bool ReadViewFile(const std::string& name, ViewSettings& view, std::string& error);
