// Colouring by a quantity the file gives per particle (a velocity, an energy, a cluster id, a B-factor).
#include "core/quantity_colour.h"

#include <cmath>
#include <cstdio>

#include "core/derived_quantities.h"
#include "core/order.h"
#include "core/scene.h"

namespace {

// A particle whose value is not a number is grey, apart from every colour of the map.
constexpr float NO_VALUE_GREY = 0.5f;

std::string Number(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

// The one-colour cases: the lines that say why every particle looks the same.
std::string SameColourLine(int quantity, bool finite, double low) {
    const std::string name = QuantityName(quantity);
    if (!finite)
        return name + " has no finite value in frame " + std::to_string(frame) + ": every atom is drawn grey.";
    return name + " is " + Number(low, 6) + " for every atom of frame " + std::to_string(frame) +
           ": every atom takes one colour.";
}

// The full names, shown in full because their last part is shared, that end in /name; empty for none.
std::string FullNamesEndingIn(const std::string& name) {
    std::string names;
    for (std::size_t k = 0; k < quantityNames.size() && k < quantityFullNames.size(); ++k) {
        const std::string& full = quantityFullNames[k];
        if (quantityNames[k] == full && full.size() > name.size() &&
            full.compare(full.size() - name.size() - 1, std::string::npos, "/" + name) == 0)
            names += (names.empty() ? "" : ", ") + full;
    }
    return names;
}

// Colours of groups 1, 2, ... (then again from the first): far apart in hue and lightness, none of them grey.
constexpr float CATEGORY_COLOURS[][3] = {
    {0.12f, 0.47f, 0.71f}, {1.00f, 0.50f, 0.05f}, {0.17f, 0.63f, 0.17f}, {0.84f, 0.15f, 0.16f},
    {0.58f, 0.40f, 0.74f}, {0.55f, 0.34f, 0.29f}, {0.89f, 0.47f, 0.76f}, {0.74f, 0.74f, 0.13f},
    {0.09f, 0.75f, 0.81f}, {0.68f, 0.78f, 0.91f}, {1.00f, 0.73f, 0.47f}, {0.60f, 0.87f, 0.54f},
};
constexpr long long CATEGORY_COUNT = sizeof CATEGORY_COLOURS / sizeof CATEGORY_COLOURS[0];

}  // namespace

void CategoryColour(double value, float* rgb) {
    if (!(value >= 1) || value != std::floor(value) || value > 9e15) {
        rgb[0] = rgb[1] = rgb[2] = NO_VALUE_GREY;
        return;
    }
    const float* colour = CATEGORY_COLOURS[(static_cast<long long>(value) - 1) % CATEGORY_COUNT];
    for (int k = 0; k < 3; ++k) rgb[k] = colour[k];
}

bool QuantityRange(int quantity, double& low, double& high) {
    bool any = false;
    for (long long i = 0; i < atoms; ++i) {
        double value = QuantityValue(i, quantity);
        if (!std::isfinite(value)) continue;
        if (!any || value < low) low = value;
        if (!any || value > high) high = value;
        any = true;
    }
    return any;
}

int FindQuantity(const std::string& name) {
    for (std::size_t k = 0; k < quantityNames.size(); ++k)
        if (quantityNames[k] == name || (k < quantityFullNames.size() && quantityFullNames[k] == name))
            return static_cast<int>(k);
    int derived = DerivedQuantityIndex(name);
    return derived >= 0 ? derived : SPECIES_COLOURS;
}

std::string RangeText(double low, double high) {
    int digits = low == high ? 6 : 3;  // one value is shown as exactly as the file gives it
    while (digits < 12 && low != high && Number(low, digits) == Number(high, digits)) ++digits;
    return Number(low, digits) + " to " + Number(high, digits);
}

std::string ChooseQuantity(int quantity) {
    colourQuantity = quantity;
    if (quantity == SPECIES_COLOURS) return "Colouring by species.";
    colourByOrientation = false;  // the last colouring chosen wins
    const std::string name = QuantityName(quantity);
    double low = 0, high = 0;
    const bool finite = QuantityRange(quantity, low, high);
    if ((colourByFixed || colourByWholeRun) && FindQuantity(colourByName) == quantity) {
        quantityLow = colourByLow;
        quantityHigh = colourByHigh;
    } else {
        quantityLow = finite ? low : 0;
        quantityHigh = finite ? high : 0;
    }
    std::string lines = "Colouring by " + name + " (" + RangeText(quantityLow, quantityHigh) + ").";
    if (!finite || low == high) lines += "\n" + SameColourLine(quantity, finite, low);
    return lines;
}

std::string CycleQuantity() {
    if (QuantityCount() == 0)
        return "Colouring by species: " + inname + " gives no per-particle quantity to colour by.";
    int next = colourByOrientation ? 0 : colourQuantity + 1;  // SPECIES_COLOURS + 1 is the first quantity
    if (next >= QuantityCount()) next = SPECIES_COLOURS;
    return ChooseQuantity(next);
}

std::string ApplyColourBy() {
    colourQuantity = SPECIES_COLOURS;
    if (colourByName.empty()) return "";
    int quantity = FindQuantity(colourByName);
    if (quantity != SPECIES_COLOURS) return ChooseQuantity(quantity);
    std::string sharing = FullNamesEndingIn(colourByName);
    if (!sharing.empty())
        return "Several quantities of " + inname + " end in " + colourByName + " (" + sharing +
               "): give the full name; colouring by species.";
    return MissingQuantityText() + ": colouring by species.";
}

std::string MissingQuantityText() {
    std::string known;
    for (int k = 0; k < QuantityCount(); ++k) known += (known.empty() ? "" : " ") + QuantityName(k);
    return "No quantity " + colourByName + " in " + inname + " (" + (known.empty() ? "it gives none" : "it gives " + known) +
           ")";
}

bool QuantityColour(long long atom, float* rgb) {
    if (colourQuantity == SPECIES_COLOURS || colourQuantity >= QuantityCount()) return false;  // a switch went off
    const double value = QuantityValue(atom, colourQuantity);
    if (QuantityCategorical(colourQuantity)) {
        CategoryColour(value, rgb);
        return true;
    }
    if (std::isnan(value)) {
        rgb[0] = rgb[1] = rgb[2] = NO_VALUE_GREY;
        return true;
    }
    const double span = quantityHigh - quantityLow;
    double t = 0.5;  // a range of one value: the middle of the map
    if (span > 0) t = (value - quantityLow) / span;
    else if (span == 0 && value != quantityLow) t = value < quantityLow ? 0 : 1;
    Viridis(t, rgb);
    return true;
}

void FrameBeyondRange(bool& below, bool& above) {
    below = above = false;
    double low = 0, high = 0;
    if (colourQuantity == SPECIES_COLOURS || colourQuantity >= QuantityCount() || !QuantityRange(colourQuantity, low, high)) return;
    below = low < quantityLow;
    above = high > quantityHigh;
}
