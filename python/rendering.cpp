// ovalix.render, images and the order parameter.
#include "module_parts.h"

void RegisterRendering(pybind11::module_&) {}
