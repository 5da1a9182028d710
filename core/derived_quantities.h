// Per-particle quantities the program works out from the frame instead of reading them (occlusion, local
// order...). While its switch is on, each is listed after the file's own quantities: colour by it, cycle to it
// with C, see it in the pick line. Quantity numbers 0 .. QuantityCount() - 1 cover both. Free of OpenGL.
#pragma once

#include <string>
#include <vector>

// One derived quantity: its name, whether it is listed now, and its values for the frame in geom's atom order
// (one per atom, worked out when first asked for and kept until what it depends on changes). A categorical
// quantity holds whole numbers that name groups (0: none): each group gets a colour of its own, not a map's.
struct DerivedQuantity {
    const char* name;
    bool (*listed)();
    const std::vector<double>& (*values)();
    bool categorical;
};

int QuantityCount();                             // the file's quantities, then the derived ones listed now
std::string QuantityName(int quantity);          // its name; index-checked
double QuantityValue(long long atom, int quantity);  // the atom's value; index-checked
int DerivedQuantityIndex(const std::string& name);   // its quantity number while listed, or -1
bool QuantityCategorical(int quantity);              // its values name groups (domain numbers); index-checked
