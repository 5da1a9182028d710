// ovalix.open, trajectories, frames, species, boxes and ovalix.order.
#include "module_parts.h"

#include <unistd.h>  // Required for: access()

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/stl.h>

#include "array_columns.h"
#include "console_capture.h"
#include "core/exit_sequence.h"
#include "core/local_order.h"
#include "core/order.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/frame_step.h"
#include "io/load.h"
#include "io/run_state.h"
#include "io/trajectory.h"
#include "io/trajectory_kinds.h"

namespace py = pybind11;

namespace {

// ---- Reading, with the program held -------------------------------------------------------------------

long long loadsMade = 0;  // loads of a run, numbering them program-wide; guarded by CallProgram

// While it lives, the program works on `run`; then the run goes back into its holder, with what was done to it.
struct RunMadeCurrent {
    RunState& run;
    explicit RunMadeCurrent(RunState& parked) : run(parked) { SwapRunState(run); }
    ~RunMadeCurrent() { SwapRunState(run); }
};

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

// Reads the configuration (or trajectory) afresh into the current run, which is t's.
void LoadRun(TrajectoryHandle& t) {
    t.loadNumber = -1;  // a load that fails is made again by the next call
    if (TrajectoryOpen()) CloseFile();
    ResetScene();
    headless = true;  // messages name no window keys
    LoadScene(t.path);
    t.loadNumber = ++loadsMade;
}

// A run of t's own, loaded: a failed one is deleted with its files when t is.
void OpenRun(TrajectoryHandle& t) {
    t.run.reset(NewRunState(), DeleteRunState);
    RunMadeCurrent current(*t.run);
    LoadRun(t);
    t.frames = FrameCount();
    CopySpecies(t);
}

// One frame's numbers, copied once out of the program's tables; numpy arrays take them over without copying.
struct FrameTables {
    int index = 0;
    long long step = -1;
    std::vector<double> positions;     // 3 per atom
    std::vector<double> orientations;  // 4 per atom, scalar part first
    Column<int32_t> species;           // species number of each atom, from 1
    Column<int64_t> labels;            // none where the labels are 1 to N (made when first asked for)
    std::vector<double> speciesShape;  // the half radii of every species when the frame was read
    std::vector<std::string> quantityNames;
    std::vector<Column<double>> quantityColumns;  // one column of atoms per name
    SimulationBox box{};
};

// A table's number as a whole number of T; `none` for one that is not whole or lies beyond T (a label of
// 1e300 or 2.5 in a dump is read, and must not become an arbitrary integer).
template <typename T>
T WholeNumber(double value, T none) {
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double high = -low;  // 2^31 or 2^63: the first value beyond T, exactly
    return value >= low && value < high && value == std::trunc(value) ? static_cast<T>(value) : none;
}

void MakeParticleColumns(FrameTables& out, std::size_t n) {
    out.species = Column<int32_t>(n);
}

// The frame's step, box, species shapes and quantities (n rows) from the scene.
void CopyFrameDetails(FrameTables& out, std::size_t n) {
    out.index = frame;
    out.step = frameStep;
    out.box = frameBox;
    out.speciesShape = shape;
    out.quantityNames = quantityNames;
    const std::size_t stride = quantityNames.size();
    if (n > 0 && stride > 0) entry(quantities, static_cast<long long>(n * stride - 1), "quantities");
    out.quantityColumns.clear();
    for (std::size_t q = 0; q < stride; ++q) {
        out.quantityColumns.push_back(Column<double>(n));
        for (std::size_t i = 0; i < n; ++i) out.quantityColumns[q].values[i] = quantities[i * stride + q];
    }
}

// The frame in the scene's geom.
void CopyFrame(FrameTables& out) {
    const std::size_t n = static_cast<std::size_t>(atoms);
    MakeParticleColumns(out, n);
    out.labels = Column<int64_t>(n);
    out.positions = TakeSpareTable(3 * n);
    out.orientations = TakeSpareTable(4 * n);
    out.positions.resize(3 * n);
    out.orientations.resize(4 * n);
    if (n > 0) entry(geom, static_cast<long long>(n * GEOM_STRIDE - 1), "geom");  // every row below is there
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = geom.data() + i * GEOM_STRIDE;
        for (int k = 0; k < 3; ++k) out.positions[3 * i + k] = row[GEOM_X + k];
        for (int k = 0; k < 4; ++k) out.orientations[4 * i + k] = row[GEOM_QW + k];
        out.species.values[i] = WholeNumber<int32_t>(row[GEOM_TYPE], 0);
        out.labels.values[i] = WholeNumber<int64_t>(row[GEOM_LABEL], -1);
    }
    CopyFrameDetails(out, n);
}

// Whether a frame of the current run can be taken from the GSD reader's tables as they are: a single GSD
// file whose positions are neither unwrapped nor wrapped (the viewer's geom then holds the same numbers, row by row).
bool GsdTablesServe() { return OpenKind() == GSD_TRAJECTORY && seriesFiles.empty() && !unwrapActive && !wrapIntoBox; }

// Frame `index` of a GSD run with its step, box and quantities in the scene; its positions and orientations are
// the GSD reader's own tables, taken over (the reader gets spare ones to fill next). geom is left as it was:
// every call that draws or measures reads its frame again.
void CopyGsdFrame(int index, FrameTables& out) {
    frame = index;
    GsdFrame& read = ReadGsdFrameTables();
    GsdFrameDetailsToScene(read);
    const std::size_t n = read.N;
    MakeParticleColumns(out, n);
    out.positions = TakeSpareTable(read.position.size());
    out.orientations = TakeSpareTable(read.orientation.size());
    TakeGsdPlaces(read, out.positions, out.orientations);
    for (std::size_t i = 0; i < n; ++i) out.species.values[i] = static_cast<int32_t>(read.typeId[i] + 1);  // checked
    CopyFrameDetails(out, n);
}

// ---- Python objects -----------------------------------------------------------------------------------

py::array RowsOf(Column<double>&& values, py::ssize_t columns) {
    const py::ssize_t rows = static_cast<py::ssize_t>(values.size) / columns;
    return OwningArray(std::move(values), {rows, columns});
}

py::array RowsOf(const std::vector<double>& values, py::ssize_t columns) {
    return ArrayCopy(values, {static_cast<py::ssize_t>(values.size()) / columns, columns});
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
    py::array positions, orientations, species;
    py::object labels;  // (N,); None until first asked for where they are 1 to N
    std::vector<double> speciesShape;  // half radii of every species as the frame was read
    py::object halfRadii;   // (N, 3), made from speciesShape when first asked for
    py::object box;         // BoxObject, or None
    py::object quantities;  // read-only mapping name -> (N,) array
    py::object trajectory;  // the Trajectory it was read from
};

py::object MakeBox(const SimulationBox& box) {
    if (!box.exists) return py::none();
    const std::vector<double> vectors(&box.edges[0][0], &box.edges[0][0] + 9);
    const std::vector<double> origin(box.origin, box.origin + 3);
    return py::cast(BoxObject{ArrayCopy(vectors, {3, 3}), ArrayCopy(origin, {3})});
}

py::object MakeFrame(FrameTables&& tables, py::object trajectory) {
    FrameObject f;
    const py::ssize_t n = static_cast<py::ssize_t>(tables.species.size);
    f.index = tables.index;
    f.timestep = tables.step >= 0 ? py::object(py::int_(tables.step)) : py::object(py::none());
    f.positions = OwningTableArray(std::move(tables.positions), {n, 3});
    f.orientations = OwningTableArray(std::move(tables.orientations), {n, 4});
    f.speciesShape = std::move(tables.speciesShape);
    f.species = OwningArray(std::move(tables.species), {n});
    if (tables.labels.values != nullptr) f.labels = OwningArray(std::move(tables.labels), {n});
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
    s.halfRadii = RowsOf(t.speciesHalfRadii, 3);
    s.colours = RowsOf(t.speciesColours, 3);
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
    TrajectoryHandle t;
    t.path = PathName(path);
    if (t.path.empty()) throw py::value_error("ovalix.open: the path is empty");
    CallProgram([&] {
        CheckReadable(t.path);
        OpenRun(t);
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
        if (GsdTablesServe()) {
            CopyGsdFrame(i, tables);
            return;
        }
        GoToFrame(i);
        CopyFrame(tables);
    });
    return MakeFrame(std::move(tables), std::move(self));
}

// S and the director of a frame, read again from its trajectory; None for a frame of spheres only.
py::object FrameOrderOf(const FrameObject& f) {
    TrajectoryHandle& t = f.trajectory.cast<TrajectoryHandle&>();
    OrderParameter order{};
    CallWithTrajectory(t, [&] {
        GoToFrame(f.index);
        order = FrameOrder();
    });
    if (!order.exists) return py::none();
    const std::vector<double> director(order.director, order.director + 3);
    return py::make_tuple(order.S, ArrayCopy(director, {3}));
}

// local_S and domain of every particle of a frame, worked out on its trajectory with the parameters given
// (the configuration's local_order is left as it was for the pictures).
py::object FrameLocalOrderOf(const FrameObject& f, const py::object& rc, double angle, long long minSize) {
    LocalOrderSettings settings;
    if (!rc.is_none()) settings.cutoff = rc.cast<double>();
    if (!rc.is_none() && !(settings.cutoff > 0 && std::isfinite(settings.cutoff)))
        throw py::value_error("local_order: rc takes a cut-off above 0, or None for twice the largest half radius");
    if (!(angle > 0 && angle <= 90)) throw py::value_error("local_order: angle takes degrees above 0, at most 90");
    if (minSize < 1 || minSize > 2000000000) throw py::value_error("local_order: min_size takes a whole number from 1");
    settings.angle = angle;
    settings.minimum = static_cast<int>(minSize);
    TrajectoryHandle& t = f.trajectory.cast<TrajectoryHandle&>();
    FrameAnalysis analysis;
    CallWithTrajectory(t, [&] {
        const LocalOrderSettings kept = {localOrderCutoff, localOrderAngle, localOrderMinimum};
        GoToFrame(f.index);
        UseLocalOrderSettings(settings);
        analysis = FrameLocalOrder();
        UseLocalOrderSettings(kept);
    });
    const py::ssize_t n = static_cast<py::ssize_t>(analysis.localS.size());
    std::vector<int32_t> domain(analysis.domain.begin(), analysis.domain.end());
    return py::make_tuple(ArrayCopy(analysis.localS, {n}), ArrayCopy(domain, {n}));
}

// The smectic order of a frame along its director: (tau, layer spacing), or None for a frame of spheres only.
py::object FrameSmecticOf(const FrameObject& f) {
    TrajectoryHandle& t = f.trajectory.cast<TrajectoryHandle&>();
    SmecticResult smectic;
    CallWithTrajectory(t, [&] {
        GoToFrame(f.index);
        smectic = FrameSmectic();
    });
    if (!smectic.exists) return py::none();
    return py::make_tuple(smectic.tau, smectic.spacing);
}

// Each particle's half radii, made on first use from its species (the frame's arrays are made once each).
py::object FrameHalfRadii(FrameObject& f) {
    if (f.halfRadii) return f.halfRadii;
    const py::ssize_t n = f.species.shape(0);
    const long long rows = static_cast<long long>(f.speciesShape.size() / SPECIES_STRIDE);
    const int32_t* species = static_cast<const int32_t*>(f.species.data());
    Column<double> radii = Column<double>(3 * static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k)  // the readers keep every type within the species
            radii.values[3 * i + k] =
                species[i] >= 1 && species[i] <= rows ? f.speciesShape[SPECIES_STRIDE * (species[i] - 1) + k] : 0.0;
    f.halfRadii = RowsOf(std::move(radii), 3);
    return f.halfRadii;
}

// The labels, made on first use where the file gives none (a GSD file: 1 to N in order).
py::object FrameLabels(FrameObject& f) {
    if (f.labels) return f.labels;
    const py::ssize_t n = f.species.shape(0);
    Column<int64_t> labels(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) labels.values[i] = i + 1;
    f.labels = OwningArray(std::move(labels), {n});
    return f.labels;
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

long long LoadsMade() { return loadsMade; }

void CallWithTrajectory(TrajectoryHandle& t, const std::function<void()>& work) {
    CallProgram([&] {
        RunMadeCurrent current(*t.run);
        if (t.loadNumber < 0) LoadRun(t);
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
        .def_property_readonly("half_radii", &FrameHalfRadii, "Each particle's half radii from its species, (N, 3).")
        .def_readonly("species", &FrameObject::species, "Species number of each particle, from 1, shape (N,).")
        .def_property_readonly("labels", &FrameLabels, "Label (atom number) of each particle, shape (N,).")
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
    m.def("local_order", &FrameLocalOrderOf, py::arg("frame"), py::arg("rc") = py::none(), py::arg("angle") = 20.0,
          py::arg("min_size") = 10,
          "Per-particle local nematic order and domains of a frame: (local_S, domain), arrays (N,). local_S is the\n"
          "largest eigenvalue of Q over the non-spherical neighbours within rc (default twice the largest half\n"
          "radius), NaN for a sphere; domain numbers the groups of neighbours whose axes lie within angle degrees,\n"
          "1 the largest, 0 for a sphere or a group under min_size particles.");
    m.def("smectic", &FrameSmecticOf, py::arg("frame"),
          "The smectic order along a frame's director: (tau, layer spacing), or None for spheres only.");
}
