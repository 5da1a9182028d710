// Colours from a per-particle quantity: the range of a frame, the viridis colour of a particle, choosing
// and cycling the quantity. Free of OpenGL.
#pragma once

#include <string>

bool QuantityRange(int quantity, double& low, double& high);  // finite min and max over the frame; false: none finite
int FindQuantity(const std::string& name);                    // index in quantityNames, or SPECIES_COLOURS
std::string RangeText(double low, double high);               // "-4.12 to 0.87", digits enough to tell the ends apart
std::string ChooseQuantity(int quantity);  // colour by it (or by species), range from the frame or colour_by; the lines to print
std::string CycleQuantity();               // key C: species -> each quantity in file order -> species; the lines to print
std::string ApplyColourBy();               // after a load: the quantity colour_by or --colour-by asked for; the lines to print
std::string MissingQuantityText();         // "No quantity NAME in FILE (it gives ...)" for a colour_by name the file lacks
void CategoryColour(double value, float* rgb);  // a group number's own colour (domain numbers); 0 or none: grey
bool QuantityColour(long long atom, float* rgb);  // viridis of the atom's value in the range; false in species colours
void FrameBeyondRange(bool& below, bool& above);  // the frame shown has values below quantityLow / above quantityHigh
