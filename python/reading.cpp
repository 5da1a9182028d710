// ovalix.open, trajectories, frames, species, boxes and ovalix.order.
#include "module_parts.h"

#include <unistd.h>  // Required for: access()

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "console_capture.h"
#include "core/exit_sequence.h"
#include "core/order.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/load.h"
#include "io/trajectory.h"

namespace py = pybind11;

namespace {

long long loadsMade = 0;   // loads of a run into the program; guarded by CallProgram
long long currentLoad = 0; // the load the program's state holds now

// ---- Reading, with the program held -------------------------------------------------------------------

// Reads the configuration (or trajectory) afresh into the program's state.
void LoadRun(TrajectoryHandle& t) {
    if (infile.is_open()) CloseFile();
    currentLoad = 0;  // a load that fails leaves no run current
    ResetScene();
    LoadScene(t.path);
    t.loadNumber = currentLoad = ++loadsMade;
}

// Reads frame `index` of the current run into the scene, as the frame keys do.
void ReadFrameAt(int index) {
    frame = index;
    infile.clear();
    infile.seekg(entry(counter, frame, "counter"), std::ios::beg);
    ReadFrame();
}

// The species of the current run: names (GSD type names, else numbers from 1), half radii and colours.
void CopySpecies(TrajectoryHandle& t) {
    std::vector<std::string> names;
    if (gsd && seriesFiles.empty()) names = GsdTypeNames();
    names.resize(static_cast<std::size_t>(species));
    for (int n = 1; n <= species; ++n)
        if (names[n - 1].empty()) names[n - 1] = std::to_string(n);
    t.speciesNames = std::move(names);
    const std::size_t rows = static_cast<std::size_t>(species) * SPECIES_STRIDE;
    t.speciesHalfRadii.assign(shape.begin(), shape.begin() + static_cast<std::ptrdiff_t>(std::min(rows, shape.size())));
    t.speciesColours.assign(color.begin(), color.begin() + static_cast<std::ptrdiff_t>(std::min(rows, color.size())));
    t.speciesHalfRadii.resize(rows, 0.0);
    t.speciesColours.resize(rows, 0.0);
}

// One frame's numbers, copied once out of the program's tables; numpy arrays take them over without copying.
struct FrameTables {
    int index = 0;
    long long step = -1;
    std::vector<double> positions;     // 3 per atom
    std::vector<double> orientations;  // 4 per atom, scalar part first
    std::vector<double> halfRadii;     // 3 per atom, its species' half radii
    std::vector<int32_t> species;      // species number of each atom, from 1
    std::vector<int64_t> labels;
    std::vector<std::string> quantityNames;
    std::vector<std::vector<double>> quantityColumns;  // one column of atoms per name
    SimulationBox box{};
};

void CopyFrame(FrameTables& out) {
    const std::size_t n = static_cast<std::size_t>(atoms);
    out.index = frame;
    out.step = frameStep;
    out.box = frameBox;
    out.positions.resize(3 * n);
    out.orientations.resize(4 * n);
    out.halfRadii.resize(3 * n);
    out.species.resize(n);
    out.labels.resize(n);
    const long long rows = static_cast<long long>(shape.size() / SPECIES_STRIDE);
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = &entry(geom, static_cast<long long>(i * GEOM_STRIDE + GEOM_STRIDE - 1), "geom") - (GEOM_STRIDE - 1);
        for (int k = 0; k < 3; ++k) out.positions[3 * i + k] = row[GEOM_X + k];
        for (int k = 0; k < 4; ++k) out.orientations[4 * i + k] = row[GEOM_QW + k];
        const long long type = static_cast<long long>(row[GEOM_TYPE]);
        out.species[i] = static_cast<int32_t>(type);
        out.labels[i] = static_cast<int64_t>(row[GEOM_LABEL]);
        for (int k = 0; k < 3; ++k)  // the readers keep every type within the species
            out.halfRadii[3 * i + k] = type >= 1 && type <= rows ? shape[SPECIES_STRIDE * (type - 1) + k] : 0.0;
    }
    out.quantityNames = quantityNames;
    const std::size_t stride = quantityNames.size();
    out.quantityColumns.assign(stride, std::vector<double>(n));
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t q = 0; q < stride; ++q)
            out.quantityColumns[q][i] = entry(quantities, static_cast<long long>(i * stride + q), "quantities");
}

// ---- Python objects -----------------------------------------------------------------------------------

// Takes values over as a read-only numpy array of the given shape: the array owns them, nothing is copied.
template <typename T>
py::array OwningArray(std::vector<T>&& values, std::vector<py::ssize_t> extents) {
    auto* owned = new std::vector<T>(std::move(values));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    py::array_t<T> array(extents, owned->data(), owner);
    array.attr("setflags")(py::arg("write") = false);
    return std::move(array);
}

py::array RowsOf(std::vector<double>&& values, py::ssize_t columns) {
    const py::ssize_t rows = static_cast<py::ssize_t>(values.size()) / columns;
    return OwningArray(std::move(values), {rows, columns});
}

// A frame's box: its edge vectors as rows and the corner they start from.
struct BoxObject {
    py::array vectors;  // (3, 3): rows a, b, c
    py::array origin;   // (3,)
};

struct SpeciesObject {
    py::tuple names;
    py::array halfRadii;  // (S, 3)
    py::array colours;    // (S, 3), RGB from 0 to 1
};

struct FrameObject {
    int index = 0;
    py::object timestep;  // int, or None
    py::array positions, orientations, halfRadii, species, labels;
    py::object box;         // BoxObject, or None
    py::object quantities;  // read-only mapping name -> (N,) array
    py::object trajectory;  // the Trajectory it was read from
};

py::object MakeBox(const SimulationBox& box) {
    if (!box.exists) return py::none();
    std::vector<double> vectors(&box.edges[0][0], &box.edges[0][0] + 9);
    std::vector<double> origin(box.origin, box.origin + 3);
    return py::cast(BoxObject{OwningArray(std::move(vectors), {3, 3}), OwningArray(std::move(origin), {3})});
}

py::object MakeFrame(FrameTables&& tables, py::object trajectory) {
    FrameObject f;
    const py::ssize_t n = static_cast<py::ssize_t>(tables.species.size());
    f.index = tables.index;
    f.timestep = tables.step >= 0 ? py::object(py::int_(tables.step)) : py::object(py::none());
    f.positions = RowsOf(std::move(tables.positions), 3);
    f.orientations = RowsOf(std::move(tables.orientations), 4);
    f.halfRadii = RowsOf(std::move(tables.halfRadii), 3);
    f.species = OwningArray(std::move(tables.species), {n});
    f.labels = OwningArray(std::move(tables.labels), {n});
    f.box = MakeBox(tables.box);
    py::dict quantities;
    for (std::size_t q = 0; q < tables.quantityNames.size(); ++q)
        quantities[py::str(tables.quantityNames[q])] = OwningArray(std::move(tables.quantityColumns[q]), {n});
    f.quantities = py::module_::import("types").attr("MappingProxyType")(quantities);
    f.trajectory = std::move(trajectory);
    return py::cast(std::move(f));
}

py::object MakeSpecies(TrajectoryHandle& t) {
    SpeciesObject s;
    s.names = py::tuple(py::cast(t.speciesNames));
    s.halfRadii = RowsOf(std::vector<double>(t.speciesHalfRadii), 3);
    s.colours = RowsOf(std::vector<double>(t.speciesColours), 3);
    return py::cast(std::move(s));
}

// ---- The Python calls ---------------------------------------------------------------------------------

// A name from str, bytes or os.PathLike; TypeError for anything else.
std::string PathName(const py::object& path) {
    return py::str(py::module_::import("os").attr("fsdecode")(path)).cast<std::string>();
}

// What the offscreen mode checks before loading: a name that cannot be read is an error here, never a
// question on the console.
void CheckReadable(const std::string& name) {
    if (HasPattern(name)) {
        if (!MatchPattern(name).empty()) return;
        std::cout << "No file matches " << name << "." << std::endl;
        ExitSequence();
    }
    if (access(name.c_str(), R_OK) == 0 && !IsFolderPath(name)) return;
    std::cout << "The file " << name << " cannot be read." << std::endl;
    ExitSequence();
}

TrajectoryHandle OpenTrajectory(const py::object& path) {
    TrajectoryHandle t{PathName(path)};
    if (t.path.empty()) throw py::value_error("ovalix.open: the path is empty");
    CallProgram([&] {
        CheckReadable(t.path);
        LoadRun(t);
        t.frames = FrameCount();
        CopySpecies(t);
    });
    t.species = MakeSpecies(t);
    return t;
}

// The frame number an index means, negative ones counting from the end.
int FrameIndex(const TrajectoryHandle& t, const py::object& index) {
    if (!PyIndex_Check(index.ptr()))
        throw py::type_error(std::string("trajectory indices must be integers, not ") +
                             Py_TYPE(index.ptr())->tp_name);
    const py::ssize_t asked = PyNumber_AsSsize_t(index.ptr(), nullptr);  // beyond ssize_t: clipped, still out of range
    if (asked == -1 && PyErr_Occurred()) throw py::error_already_set();
    const py::ssize_t i = asked < 0 ? asked + t.frames : asked;
    if (i < 0 || i >= t.frames)
        throw py::index_error("frame index " + std::to_string(asked) + " is out of range: the trajectory has " +
                              std::to_string(t.frames) + " frames");
    return static_cast<int>(i);
}

py::object ReadTrajectoryFrame(py::object self, const py::object& index) {
    TrajectoryHandle& t = self.cast<TrajectoryHandle&>();
    const int i = FrameIndex(t, index);
    FrameTables tables;
    CallWithTrajectory(t, [&] {
        ReadFrameAt(i);
        CopyFrame(tables);
    });
    return MakeFrame(std::move(tables), std::move(self));
}

// S and the director of a frame, read again from its trajectory; None for a frame of spheres only.
py::object FrameOrderOf(const FrameObject& f) {
    TrajectoryHandle& t = f.trajectory.cast<TrajectoryHandle&>();
    OrderParameter order{};
    CallWithTrajectory(t, [&] {
        ReadFrameAt(f.index);
        order = FrameOrder();
    });
    if (!order.exists) return py::none();
    std::vector<double> director(order.director, order.director + 3);
    return py::make_tuple(order.S, OwningArray(std::move(director), {3}));
}

std::string FileName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string FrameRepr(const FrameObject& f) {
    const TrajectoryHandle& t = f.trajectory.cast<const TrajectoryHandle&>();
    std::string text = "<ovalix.Frame " + std::to_string(f.index) + " of " + FileName(t.path);
    if (!f.timestep.is_none()) text += ", step " + py::str(f.timestep).cast<std::string>();
    text += ", " + std::to_string(f.species.shape(0)) + " particles";
    text += f.box.is_none() ? ", no box" : "";
    const auto names = py::len(f.quantities);
    if (names > 0) text += ", " + std::to_string(names) + " quantities";
    return text + ">";
}

std::string TrajectoryRepr(const TrajectoryHandle& t) {
    return "<ovalix.Trajectory " + py::repr(py::str(t.path)).cast<std::string>() + ": " + std::to_string(t.frames) +
           " frames, " + std::to_string(t.speciesNames.size()) + " species>";
}

std::string SpeciesRepr(const SpeciesObject& s) {
    return "<ovalix.Species " + py::repr(s.names).cast<std::string>() + ", half_radii and colours (" +
           std::to_string(py::len(s.names)) + ", 3)>";
}

std::string BoxRepr(const BoxObject& b) {
    py::object lists = b.vectors.attr("tolist")();
    return "<ovalix.Box vectors " + py::str(lists).cast<std::string>() + ", origin " +
           py::str(b.origin.attr("tolist")()).cast<std::string>() + ">";
}

}  // namespace

void CallWithTrajectory(TrajectoryHandle& t, const std::function<void()>& work) {
    CallProgram([&] {
        if (t.loadNumber != currentLoad) LoadRun(t);
        work();
    });
}

void RegisterReading(py::module_& m) {
    py::class_<BoxObject>(m, "Box", "A frame's simulation box: edge vectors a, b, c as the rows of `vectors` (3, 3), "
                                    "starting at the corner `origin` (3,).")
        .def_readonly("vectors", &BoxObject::vectors, "Edge vectors a, b, c as rows, shape (3, 3).")
        .def_readonly("origin", &BoxObject::origin, "The corner the edges start from, shape (3,).")
        .def("__repr__", &BoxRepr);

    py::class_<SpeciesObject>(m, "Species", "The species of a trajectory: names, half radii and colours.")
        .def_readonly("names", &SpeciesObject::names, "Type names where the file gives them, else \"1\", \"2\", ...")
        .def_readonly("half_radii", &SpeciesObject::halfRadii, "Half radii of each species, shape (S, 3).")
        .def_readonly("colours", &SpeciesObject::colours, "RGB colour of each species from 0 to 1, shape (S, 3).")
        .def("__len__", [](const SpeciesObject& s) { return py::len(s.names); })
        .def("__repr__", &SpeciesRepr);

    py::class_<FrameObject>(m, "Frame", "One frame of a trajectory; its arrays are read-only and kept by the frame.")
        .def_readonly("index", &FrameObject::index, "The frame's place in the trajectory, from 0.")
        .def_readonly("timestep", &FrameObject::timestep, "The MD step the file gives for the frame, or None.")
        .def_readonly("positions", &FrameObject::positions, "Positions, shape (N, 3).")
        .def_readonly("orientations", &FrameObject::orientations, "Orientation quaternions w, x, y, z, shape (N, 4).")
        .def_readonly("half_radii", &FrameObject::halfRadii, "Each particle's half radii from its species, (N, 3).")
        .def_readonly("species", &FrameObject::species, "Species number of each particle, from 1, shape (N,).")
        .def_readonly("labels", &FrameObject::labels, "Label (atom number) of each particle, shape (N,).")
        .def_readonly("box", &FrameObject::box, "The frame's ovalix.Box, or None when the file gives none.")
        .def_readonly("quantities", &FrameObject::quantities, "Per-particle quantities: name -> array (N,).")
        .def_readonly("trajectory", &FrameObject::trajectory, "The trajectory the frame was read from.")
        .def("__len__", [](const FrameObject& f) { return f.species.shape(0); })
        .def("__repr__", &FrameRepr);

    py::class_<TrajectoryHandle>(m, "Trajectory", "A trajectory read frame by frame (ovalix.open).")
        .def("__len__", [](const TrajectoryHandle& t) { return t.frames; })
        .def("__getitem__", &ReadTrajectoryFrame, py::arg("index"))
        .def("__iter__",
             [](py::object self) {
                 py::object range = py::module_::import("builtins").attr("range")(py::len(self));
                 return py::module_::import("builtins").attr("map")(self.attr("__getitem__"), range);
             })
        .def_readonly("path", &TrajectoryHandle::path, "The name it was opened with.")
        .def_readonly("species", &TrajectoryHandle::species, "The trajectory's ovalix.Species.")
        .def("__repr__", &TrajectoryRepr);

    m.def("open", &OpenTrajectory, py::arg("path"),
          "Opens a dump, gzip dump, GSD, PDB or configuration file as the viewer would.");
    m.def("order", &FrameOrderOf, py::arg("frame"),
          "The nematic order of a frame: (S, director), or None when it holds no non-spherical particle.");
}
