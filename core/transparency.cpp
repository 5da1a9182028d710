// Opacities by species and the far-to-near order of transparent atoms.
#include "core/transparency.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/geometry.h"
#include "core/periodic_images.h"
#include "core/scene.h"
#include "core/visibility.h"

double SpeciesOpacity(long long n) {
    if (!transparencyOn || n < 1 || static_cast<unsigned long long>(n) > speciesOpacity.size()) return 1.0;
    return entry(speciesOpacity, n - 1, "speciesOpacity");
}

// Every change bumps particleDataVersion: the ray-cast records hold the opacity and which atoms are opaque.
void SetSpeciesOpacity(long long n, double opacity) {
    if (n < 1) return;
    if (static_cast<unsigned long long>(n) > speciesOpacity.size()) speciesOpacity.resize(static_cast<std::size_t>(n), 1.0);
    entry(speciesOpacity, n - 1, "speciesOpacity") = std::clamp(opacity, 0.0, 1.0);
    ++particleDataVersion;
}

bool TransparencyConfigured() {
    return std::any_of(speciesOpacity.begin(), speciesOpacity.end(), [](double opacity) { return opacity < 1; });
}

bool TransparencyDrawn() { return transparencyOn && TransparencyConfigured(); }

void SetTransparencyOn(bool on) {
    if (on != transparencyOn) ++particleDataVersion;
    transparencyOn = on;
}

double AtomOpacity(long long atom) {
    if (speciesOpacity.empty() || !transparencyOn) return 1.0;
    return SpeciesOpacity(static_cast<long long>(GeomRow(atom)[GEOM_TYPE]));
}

bool AtomDrawnOpaque(long long atom) { return AtomOpacity(atom) >= 1; }

bool AtomInvisible(long long atom) { return AtomOpacity(atom) <= 0; }

unsigned char OpacityByte(double opacity) {
    return static_cast<unsigned char>(std::lround(255.0 * std::clamp(opacity, 0.0, 1.0)));
}

// By the distance of each centre from the eye, which keeps atoms that do not overlap on screen in the right
// order under perspective; equal distances keep the order of images and atoms, so the picture does not flicker.
std::vector<TransparentPiece> TransparentAtomsFarToNear(const double* modelview, const std::vector<double>& centre) {
    std::vector<TransparentPiece> pieces;
    std::vector<double> distance;
    if (!TransparencyDrawn()) return pieces;
    std::vector<long long> transparent;
    for (long long i = 0; i < atoms; ++i) {
        double opacity = AtomOpacity(i);
        if (opacity > 0 && opacity < 1 && AtomShown(i, centre)) transparent.push_back(i);
    }
    for (int image = 0; image < ImageTotal(); ++image) {
        double shift[3];
        ImageShift(image, shift);
        for (long long i : transparent) {
            const double* row = GeomRow(i);
            double eye2 = 0;
            for (int r = 0; r < 3; ++r) {
                double eye = modelview[12 + r];
                for (int k = 0; k < 3; ++k) eye += modelview[4 * k + r] * (row[GEOM_X + k] - centre[k] + shift[k]);
                eye2 += eye * eye;
            }
            pieces.push_back({i, image});
            distance.push_back(std::isnan(eye2) ? 0.0 : eye2);
        }
    }
    std::vector<std::size_t> place(pieces.size());
    for (std::size_t k = 0; k < place.size(); ++k) place[k] = k;
    std::stable_sort(place.begin(), place.end(), [&](std::size_t a, std::size_t b) { return distance[a] > distance[b]; });
    std::vector<TransparentPiece> sorted(pieces.size());
    for (std::size_t k = 0; k < place.size(); ++k) sorted[k] = pieces[place[k]];
    return sorted;
}

long long FillRaycastRecordsOf(const std::vector<TransparentPiece>& order, RaycastRecord* records) {
    std::vector<double> centre = FrameCentre();
    long long count = 0;
    for (const TransparentPiece& piece : order) {
        double shift[3], moved[3];  // the frame centre moved against the image, so the record lands in it
        ImageShift(piece.image, shift);
        for (int k = 0; k < 3; ++k) moved[k] = centre[k] - shift[k];
        AtomSpecies(piece.atom);
        if (FillRaycastRecord(piece.atom, moved, records[count])) ++count;
    }
    return count;
}

static std::string OpacityText(double opacity) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", opacity);
    return text;
}

std::string TransparencyLine() {
    if (!TransparencyConfigured()) return "No transparency is configured (transparency SPECIES OPACITY in the configuration).";
    if (!transparencyOn) return "Transparency off.";
    std::string list;
    for (std::size_t n = 1; n <= speciesOpacity.size(); ++n)
        if (speciesOpacity[n - 1] < 1)
            list += (list.empty() ? "" : ", ") + std::string("species ") + std::to_string(n) + " at opacity " +
                    OpacityText(speciesOpacity[n - 1]);
    return "Transparency on: " + list + ".";
}

void ResetTransparency() {
    if (!speciesOpacity.empty() || !transparencyOn) ++particleDataVersion;
    speciesOpacity.clear();
    transparencyOn = true;
}
