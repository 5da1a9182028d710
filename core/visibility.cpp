// Which atoms a drawing shows: a species switched off, or a centre outside the slab, hides an atom.
#include "core/visibility.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/geometry.h"
#include "core/transparency.h"

bool SpeciesHidden(long long n) {
    if (n < 1 || static_cast<unsigned long long>(n) > hiddenSpecies.size()) return false;
    return entry(hiddenSpecies, n - 1, "hiddenSpecies") != 0;
}

void SetSpeciesHidden(long long n, bool hidden) {
    if (n < 1) return;
    if (static_cast<unsigned long long>(n) > hiddenSpecies.size()) {
        if (!hidden) return;
        hiddenSpecies.resize(static_cast<std::size_t>(n), 0);
    }
    entry(hiddenSpecies, n - 1, "hiddenSpecies") = hidden ? 1 : 0;
}

std::vector<int> HiddenSpeciesBeyond(int count) {
    std::vector<int> beyond;
    for (long long n = static_cast<long long>(count) + 1; n <= static_cast<long long>(hiddenSpecies.size()); ++n)
        if (entry(hiddenSpecies, n - 1, "hiddenSpecies") != 0) beyond.push_back(static_cast<int>(n));
    return beyond;
}

bool InsideSlab(const double* position, const SlabCut& cut) {
    double along = 0;
    for (int k = 0; k < 3; ++k) along += cut.normal[k] * position[k];
    return std::fabs(along - cut.offset) <= 0.5 * cut.width;
}

bool AtomShown(long long atom, const std::vector<double>& centre) {
    const double* row = GeomRow(atom);
    if (!hiddenSpecies.empty() && SpeciesHidden(static_cast<long long>(row[GEOM_TYPE]))) return false;
    if (!slab.on) return true;
    double position[3];
    for (int k = 0; k < 3; ++k) position[k] = row[GEOM_X + k] - centre[k];
    return InsideSlab(position, slab);
}

bool BondShown(int bond, const std::vector<double>& centre) {
    if (!slab.on && hiddenSpecies.empty()) return true;
    return AtomShown(BondAtomRow(bond, 0), centre) && AtomShown(BondAtomRow(bond, 1), centre);
}

double ExtentAlong(const double* direction) {
    double low = 0, high = 0;
    bool any = false;
    for (long long i = 0; i < atoms; ++i) {
        const double* row = GeomRow(i);
        double along = 0;
        for (int k = 0; k < 3; ++k) along += direction[k] * row[GEOM_X + k];
        if (!std::isfinite(along)) continue;  // a broken position says nothing about the spread
        low = any ? std::min(low, along) : along;
        high = any ? std::max(high, along) : along;
        any = true;
    }
    return high - low;
}

bool NormaliseSlabNormal(SlabCut& cut) {
    double length = std::sqrt(cut.normal[0] * cut.normal[0] + cut.normal[1] * cut.normal[1] + cut.normal[2] * cut.normal[2]);
    if (!(length > 0) || !std::isfinite(length)) return false;
    for (double& component : cut.normal) component /= length;
    return true;
}

std::string SlabLine(const SlabCut& cut) {
    char text[200];
    std::snprintf(text, sizeof text, "Slab cut on: normal (%.4g, %.4g, %.4g), centre offset %.4g, width %.4g.",
                  cut.normal[0] + 0.0, cut.normal[1] + 0.0, cut.normal[2] + 0.0, cut.offset + 0.0, cut.width);  // no "-0"
    return text;
}

std::string HiddenSpeciesList() {
    std::string list;
    for (std::size_t n = 1; n <= hiddenSpecies.size(); ++n)
        if (hiddenSpecies[n - 1]) list += (list.empty() ? "" : ",") + std::to_string(n);
    return list;
}

void ResetLookInside() {
    showBox = false;
    boxAbsenceTold = false;
    slab.on = false;
    hiddenSpecies.clear();
    pickedLabels.clear();
    fitViewOnLoad = false;
    fixedCentre = false;
    ResetTransparency();
}
