// Captures and restores the view: the modelview matrix and what the lights and switches need to draw the same.
#include "render/view_state.h"

#include <GL/gl.h>
#include <algorithm>
#include <iostream>
#include <string>

#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "io/trajectory.h"
#include "render/gl_setup.h"

ViewSettings CaptureView() {
    ViewSettings view{};
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelview);
    // OpenGL keeps light positions in eye space: restored as such, they light the scene as they do now.
    glGetLightfv(GL_LIGHT0, GL_POSITION, view.light0);
    glGetLightfv(GL_LIGHT1, GL_POSITION, view.light1);
    view.lightMode = rotating_light;
    view.fog = gp;
    view.overlay = showTS;
    view.clip[0] = clipNear;
    view.clip[1] = clipFar;
    view.box = showBox;
    const double cut[6] = {slab.on ? 1.0 : 0.0, slab.normal[0], slab.normal[1], slab.normal[2], slab.offset, slab.width};
    std::copy(cut, cut + 6, view.slab);
    for (std::size_t n = 1; n <= hiddenSpecies.size(); ++n)
        if (hiddenSpecies[n - 1]) view.hiddenSpecies.push_back(static_cast<int>(n));
    view.transparency = transparencyOn;
    view.periodicSaved = true;
    std::copy(imageCounts, imageCounts + 3, view.images);
    view.wrap = wrapIntoBox;
    view.occlusion[0] = ambientOcclusion ? 1 : 0;
    view.occlusion[1] = occlusionStrength;
    return view;
}

void ApplyView(const ViewSettings& view) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, view.light0);
    glLightfv(GL_LIGHT1, GL_POSITION, view.light1);
    glLoadMatrixd(view.modelview);
    rotating_light = view.lightMode;
    gp = view.fog;
    if (gp) glEnable(GL_FOG);
    else glDisable(GL_FOG);
    showTS = view.overlay;
    clipNear = view.clip[0];
    clipFar = view.clip[1];
    ApplyPerspective();
    showBox = view.box;
    SlabCut cut = {view.slab[0] == 1, {view.slab[1], view.slab[2], view.slab[3]}, view.slab[4], view.slab[5]};
    if (NormaliseSlabNormal(cut)) slab = cut;
    else slab.on = false;
    hiddenSpecies.clear();
    for (int n : view.hiddenSpecies) SetSpeciesHidden(n, true);
    if (view.occlusion[0] >= 0) {
        ambientOcclusion = view.occlusion[0] == 1;
        occlusionStrength = view.occlusion[1];
    }
    SetTransparencyOn(view.transparency);
    if (!view.periodicSaved) return;  // an older file: the configuration's images and wrap stay
    std::copy(view.images, view.images + 3, imageCounts);
    SwitchWrapping(view.wrap);
}
