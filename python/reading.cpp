// ovalix.open, trajectories and frames.
#include "module_parts.h"

void RegisterReading(pybind11::module_&) {}
