// Looking inside the frame: each command changes the scene state the drawing reads and says so in one line.
#include "ui/inside_commands.h"

#include <GL/freeglut.h>
#include <cmath>
#include <iostream>

#include "core/geometry.h"
#include "core/periodic_images.h"
#include "core/pick.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/view_fit.h"
#include "core/visibility.h"
#include "render/camera.h"
#include "render/pick_ray.h"

void ToggleBox() {
    showBox = !showBox;
    std::cout << (showBox ? "Simulation box shown." : "Simulation box hidden.") << std::endl;
    if (showBox && !frameBox.exists && !boxAbsenceTold) {
        std::cout << "This frame gives no simulation box: nothing to draw." << std::endl;
        boxAbsenceTold = true;
    }
}

void ToggleTransparency() {
    if (TransparencyConfigured()) SetTransparencyOn(!transparencyOn);
    std::cout << TransparencyLine() << std::endl;
}

// A fifth of the spread of the atom centres along the normal; a flat system seen face on gets a fifth of
// its diameter instead.
static double StartingSlabWidth(const double* normal) {
    double extent = ExtentAlong(normal);
    if (!(extent > 0) || !std::isfinite(extent)) extent = 2 * SceneRadius();
    if (!(extent > 0) || !std::isfinite(extent)) extent = 1;
    return extent / 5;
}

void ToggleSlab() {
    if (slab.on) {
        slab.on = false;
        std::cout << "Slab cut off." << std::endl;
        return;
    }
    SlabCut cut = {true, {0, 0, 1}, 0.0, 1.0};
    ViewAxisInModel(cut.normal);
    if (!NormaliseSlabNormal(cut)) cut.normal[0] = 0, cut.normal[1] = 0, cut.normal[2] = 1;
    cut.width = StartingSlabWidth(cut.normal);
    slab = cut;
    std::cout << SlabLine(slab) << std::endl;
}

// The slab keys change nothing while there is no slab: they say how to make one.
static bool SlabIsOn() {
    if (!slab.on) std::cout << "Slab cut is off: x switches it on." << std::endl;
    return slab.on;
}

void MoveSlab(int direction) {
    if (!SlabIsOn()) return;
    slab.offset += direction * 0.1 * slab.width;
    std::cout << SlabLine(slab) << std::endl;
}

void ScaleSlab(double factor) {
    if (!SlabIsOn()) return;
    double width = slab.width * factor;
    if (std::isfinite(width) && width > 0) slab.width = width;  // stays a usable number at either end
    std::cout << SlabLine(slab) << std::endl;
}

void ToggleSpecies(int n) {
    if (n > species) {
        std::cout << "There is no species " << n << "." << std::endl;
        return;
    }
    bool hide = !SpeciesHidden(n);
    SetSpeciesHidden(n, hide);
    std::cout << "Species " << n << (hide ? " hidden." : " shown.") << std::endl;
}

void ShowAllSpecies() {
    hiddenSpecies.clear();
    std::cout << "All species shown." << std::endl;
}

void PickAt(int x, int y) {
    double origin[3], direction[3];
    if (!EyeRayAt(x, y, origin, direction)) return;
    long long atom = PickAtomInImages(origin, direction, FrameCentre());  // in any periodic image
    if (atom < 0) {
        if (!pickedLabels.empty()) std::cout << "Picks cleared." << std::endl;
        pickedLabels.clear();
    } else {
        for (const std::string& line : RecordPick(atom)) std::cout << line << std::endl;
    }
    glutPostRedisplay();
}
