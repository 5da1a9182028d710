// ovalix.open, trajectories and frames.
#include "module_parts.h"

#include "console_capture.h"
#include "core/scene.h"
#include "io/load.h"
#include "io/trajectory.h"

namespace py = pybind11;

namespace {

long long loadsMade = 0;           // loads of a run into the program; guarded by CallProgram
long long currentLoad = 0;         // the load the program's state holds now

// Reads the configuration (or trajectory) afresh into the program's state.
void LoadRun(TrajectoryHandle& t) {
    if (infile.is_open()) CloseFile();
    currentLoad = 0;  // a load that fails leaves no run current
    ResetScene();
    LoadScene(t.path);
    t.loadNumber = currentLoad = ++loadsMade;
}

}  // namespace

void CallWithTrajectory(TrajectoryHandle& t, const std::function<void()>& work) {
    CallProgram([&] {
        if (t.loadNumber != currentLoad) LoadRun(t);
        work();
    });
}

void RegisterReading(py::module_& m) {
    py::class_<TrajectoryHandle>(m, "Trajectory", "A trajectory read frame by frame (ovalix.open).")
        .def("__len__", [](TrajectoryHandle& t) {
            int frames = 0;
            CallWithTrajectory(t, [&] { frames = FrameCount(); });
            return frames;
        });
    m.def(
        "open",
        [](const std::string& path) {
            TrajectoryHandle t{path};
            CallProgram([&] { LoadRun(t); });
            return t;
        },
        py::arg("path"), "Opens a dump, gzip dump, GSD, PDB or configuration file as the viewer would.");
}
