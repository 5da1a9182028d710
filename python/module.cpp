// import ovalix: the readers and the offscreen renderer with numpy arrays.
#include <pybind11/pybind11.h>

#include "console_capture.h"
#include "module_parts.h"

#ifndef OVALIX_VERSION
#define OVALIX_VERSION "unknown"
#endif

PYBIND11_MODULE(_ovalix, m) {
    m.doc() = "Ovalix: trajectories of ellipsoids read into numpy arrays and drawn offscreen.";
    m.attr("__version__") = OVALIX_VERSION;
    RegisterErrors(m);
    RegisterReading(m);
    RegisterRendering(m);
}
