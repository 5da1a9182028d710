// A configuration made for a trajectory: every species gets a colour of a palette, half radii from the
// file's shapes where it has them, and the user is shown the lines to save and edit.
#include "io/config/trajectory_config.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string_view>

#include "core/scene.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/dump/dump_columns.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/reader_state.h"
#include "io/dump/file_shapes.h"
#include "io/gsd/gsd_file.h"
#include "io/gsd/gsd_trajectory.h"

namespace {

// Lines looked at for a trajectory's first record.
constexpr int LINES_LOOKED_AT = 64;

// Particles in a frame above which the default drawing takes seconds a redraw, and how much faster ray-casting
// redraws 10,000 to 1,000,000 ellipsoids than adaptive detail: 4.7 to 5.1 times (docs/drawing-and-performance.md).
constexpr int RAYCAST_PARTICLES = 20000;
constexpr int RAYCAST_SPEED_UP = 5;

// Paul Tol's "muted" scheme: nine colours that stay apart for colour-blind viewers, and its pale grey,
// written with the three decimals printed for them.
constexpr int PALETTE_SIZE = 10;
constexpr double PALETTE[PALETTE_SIZE][3] = {
    {0.200, 0.133, 0.533},  // indigo
    {0.533, 0.800, 0.933},  // cyan
    {0.267, 0.667, 0.600},  // teal
    {0.067, 0.467, 0.200},  // green
    {0.600, 0.600, 0.200},  // olive
    {0.867, 0.800, 0.467},  // sand
    {0.800, 0.400, 0.467},  // rose
    {0.533, 0.133, 0.333},  // wine
    {0.667, 0.267, 0.600},  // purple
    {0.867, 0.867, 0.867},  // pale grey
};

bool IsBlank(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return IsSpace(c); });
}

// What recognition sees of the file infile holds: its first bytes, then (unless it is a GSD file) the first
// line that is not blank, read through the line reader, which sees through gzip.
FileStart LookAtOpenFile() {
    FileStart start;
    unsigned char bytes[8] = {};
    infile.clear();
    infile.seekg(0, std::ios::beg);
    infile.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const std::streamsize got = infile.gcount();
    infile.clear();
    infile.seekg(0, std::ios::beg);
    start.gsdMagic = got == static_cast<std::streamsize>(sizeof bytes) && IsGsdFile(bytes, sizeof bytes);
    start.gzipMagic = got >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
    if (start.gsdMagic) return start;
    OpenLineSource();
    std::string_view line;
    for (int k = 0; k < LINES_LOOKED_AT && ReadLine(line); ++k) {
        if (IsBlank(line)) continue;
        start.firstLine = std::string(line);
        break;
    }
    return start;
}

// The kind of the file name, looked at through the trajectory stream (infile), which ReadConfig may have
// opened already.
TrajectoryKind LookAtTrajectory(const std::string& name) {
    const std::string kept = inname;
    inname = name;  // the line reader names the file in its messages
    const TrajectoryKind kind = OpenTextFile(name) ? RecogniseStart(LookAtOpenFile()) : NOT_A_TRAJECTORY;
    inname = kept;
    return kind;
}

// The same, taking the file ReadConfig opened as it is. A dump or PDB file stays open for its reader, a GSD
// file is closed (it has its own), any other file stays open for ReadConfig to read as a configuration.
TrajectoryKind RecogniseKeepingOpen(const std::string& name) {
    KeepTextFile();
    const TrajectoryKind kind = LookAtTrajectory(name);
    if (kind == GSD_TRAJECTORY) CloseTextFile();
    else if (kind != NOT_A_TRAJECTORY) KeepTextFile();
    return kind;
}

// The scene state that any configuration read sets, as a file with only the trajectory would set it.
void ClearConfiguration(const std::string& name, bool dump) {
    inname = name;
    quat = dump;
    gsd = false;
    varyingAtoms = true;  // nothing to check a count against: each frame says its own
    speciesFromTrajectory = dump;  // the opening scan adds the types that appear after frame 0
    shape.clear();
    bondvec.clear();
    color.clear();
    ForgetHalfRadii();
    solidBonds = false;
    ellipsoidtexture.clear();
    bondtexture.clear();
    colourByName.clear();
    colourByFixed = false;
    colourByWholeRun = false;
    unwrap = false;
    wrapIntoBox = false;
    for (int& count : imageCounts) count = 1;
    for (int k = 0; k < 3; ++k) BGColor[k] = FogColor[k] = 1.0f;
    BGColor[3] = 1.0f;
}

void PrintBackground() { std::cout << "background 1 1 1" << std::endl; }

void PrintColors() {
    for (int n = 1; n <= species; ++n) {
        const double* rgb = PALETTE[(n - 1) % PALETTE_SIZE];
        for (int k = 0; k < 3; ++k) color[static_cast<std::size_t>(n - 1) * SPECIES_STRIDE + k] = rgb[k];
        char text[64];
        std::snprintf(text, sizeof text, "%.3f %.3f %.3f", rgb[0], rgb[1], rgb[2]);
        std::cout << "color " << n << " " << text << std::endl;
    }
}

// The lines of a made dump configuration, from "dumpfile" to "fit_view", for the tables as they are.
void PrintDumpConfiguration(const std::string& name) {
    std::cout << "dumpfile " << name << std::endl;
    std::cout << "species " << species << std::endl;
    for (int n = 1; n <= species; ++n) {
        const double* radii = &shape[static_cast<std::size_t>(n - 1) * SPECIES_STRIDE];
        std::cout << "half_radii " << n << " " << radii[0] << " " << radii[1] << " " << radii[2] << std::endl;
    }
    PrintColors();
    for (int n = 1; n <= species; ++n) std::cout << "bond_vector " << n << " 1 0 0 0" << std::endl;
    PrintBackground();
    std::cout << "fit_view" << std::endl;  // it is shown fitted: saved, the configuration shows the same
}

// A species whose atoms all have the shape 0 0 0 in the file (point particles) is sized as a configuration
// without its half_radii line would size it; every other species keeps the half radii printed for it.
void NoteMadeHalfRadii(const FrameZeroSpecies& found) {
    for (int n = 1; n <= species; ++n) {
        const double* radii = &shape[static_cast<std::size_t>(n - 1) * SPECIES_STRIDE];
        const bool fromFile = static_cast<std::size_t>(n) <= found.shapeFound.size() && found.shapeFound[n - 1];
        if (!(fromFile && radii[0] == 0 && radii[1] == 0 && radii[2] == 0)) NoteHalfRadii(n);
    }
}

// `look` is the file looked at: name itself, or the first file of the series that name is a pattern of.
void ConfigureDump(const std::string& name, const std::string& look) {
    ClearConfiguration(name, true);
    readers->config.madeDumpName = name;
    FrameZeroSpecies found;
    if (OpenTextFile(look)) {
        found = ReadFrameZeroSpecies(MAX_MADE_SPECIES);
        KeepTextFile();  // for the opening scan
    }
    species = std::max(1, found.largestType);
    std::size_t size = static_cast<std::size_t>(species) * SPECIES_STRIDE;
    shape.assign(size, 0.5);
    color.assign(size, 0.0);
    bondvec.assign(size, 0.0);
    for (std::size_t k = 0; k < found.halfRadii.size() && k < size; ++k)
        if (found.shapeFound[k / 3]) shape[k] = found.halfRadii[k];
    std::cout << name << " is a dump trajectory. It is shown with this configuration:" << std::endl;
    PrintDumpConfiguration(name);
    NoteMadeHalfRadii(found);
    for (const std::string& note : found.notes) std::cout << note << std::endl;
    if (found.noShapeColumns) {
        std::cout << name << " holds no particle shapes (no shapex shapey shapez columns): every species is drawn as a "
                  << "sphere of half radius 0.5. Give each species its half radii with a half_radii line in a saved "
                  << "configuration, or dump the shapes (compute property/atom shapex shapey shapez)." << std::endl;
    }
}

// Each particle type of frame 0 is a species, named in a comment; half radii from the type shapes.
void ConfigureGsd(const std::string& name, const std::string& look) {
    ClearConfiguration(name, false);
    gsd = true;
    GsdFrame zero;
    std::string error;
    if (!ReadGsdFrameZero(look, zero, error)) zero.types.assign(1, "A");  // the opener reports the damage
    std::vector<double> halfRadii;
    std::vector<std::string> notes;
    GsdTypeHalfRadii(zero, halfRadii, notes);
    species = std::max<int>(1, static_cast<int>(std::min<std::size_t>(zero.types.size(), MAX_MADE_SPECIES)));
    std::size_t size = static_cast<std::size_t>(species) * SPECIES_STRIDE;
    shape.assign(size, 0.5);
    color.assign(size, 0.0);
    bondvec.assign(size, 0.0);
    for (std::size_t k = 0; k < halfRadii.size() && k < size; ++k) shape[k] = halfRadii[k];
    std::cout << name << " is a GSD trajectory. It is shown with this configuration:" << std::endl;
    std::cout << "gsdfile " << name << std::endl;
    std::cout << "species " << species << std::endl;
    for (int n = 1; n <= species; ++n) {
        const double* radii = &shape[static_cast<std::size_t>(n - 1) * SPECIES_STRIDE];
        if (static_cast<std::size_t>(n) <= zero.types.size()) std::cout << "# species " << n << ": type " << zero.types[n - 1] << std::endl;
        std::cout << "half_radii " << n << " " << radii[0] << " " << radii[1] << " " << radii[2] << std::endl;
        NoteHalfRadii(n);
    }
    PrintColors();
    PrintBackground();
    std::cout << "fit_view" << std::endl;  // shown fitted, as a dump opened alone is
    for (const std::string& note : notes)
        if (!note.empty()) std::cout << note << std::endl;
}

void ConfigurePdb(const std::string& name) {
    ClearConfiguration(name, false);
    species = 1;
    std::cout << name << " is a PDB trajectory. It is shown with this configuration:" << std::endl;
    std::cout << "anisoufile " << name << std::endl;
    PrintBackground();
    std::cout << "fit_view" << std::endl;
}

}  // namespace

bool IsGzipFile(const std::string& name) {
    std::ifstream file;
    if (!OpenForReading(file, name, std::ios::in | std::ios::binary)) return false;
    char magic[2] = {0, 0};
    file.read(magic, 2);
    return file.gcount() == 2 && static_cast<unsigned char>(magic[0]) == 0x1f &&
           static_cast<unsigned char>(magic[1]) == 0x8b;
}

TrajectoryKind RecogniseTrajectory(const std::string& name) {
    const TrajectoryKind kind = LookAtTrajectory(name);
    CloseTextFile();
    return kind;
}

bool DumpHasShapeColumns(const std::string& name) {
    const std::string kept = inname;
    inname = name;
    bool shapes = false;
    if (OpenTextFile(name)) {
        std::string_view line;
        for (int k = 0; k < LINES_LOOKED_AT && ReadLine(line); ++k) {
            if (line.compare(0, 11, "ITEM: ATOMS") != 0) continue;
            DumpColumns columns = MapDumpColumns(line.substr(11));
            shapes = columns.problem.empty() && columns.shape[0] >= 0;
            break;
        }
        KeepTextFile();  // for the opening scan
    }
    inname = kept;
    return shapes;
}

void AddLateSpecies(int largest) {
    const int first = species + 1;
    std::cout << "Frame 0 holds types up to " << species << "; later frames hold types up to " << largest << ". "
              << readers->config.madeDumpName << " is shown with this configuration:" << std::endl;
    species = largest;
    std::size_t size = static_cast<std::size_t>(species) * SPECIES_STRIDE;
    shape.resize(size, 0.5);
    color.resize(size, 0.0);
    bondvec.resize(size, 0.0);  // the one bond-origin block of a made configuration
    for (int n = first; n <= species; ++n) NoteHalfRadii(n);
    PrintDumpConfiguration(readers->config.madeDumpName);
}

bool ConfigureFromTrajectory(const std::string& name) {
    const std::string look = SeriesLookName(name);
    if (look.empty()) FailNoMatch(name);
    TrajectoryKind kind = RecogniseKeepingOpen(look);
    if (kind == NOT_A_TRAJECTORY && HasPattern(name)) CloseTextFile();
    if (kind == DUMP_TRAJECTORY) ConfigureDump(name, look);
    else if (kind == PDB_TRAJECTORY) ConfigurePdb(name);
    else if (kind == GSD_TRAJECTORY) ConfigureGsd(name, look);
    readers->config.madeForTrajectory = kind != NOT_A_TRAJECTORY;
    return readers->config.madeForTrajectory;
}

void CompleteMadeConfiguration() {
    if (!readers->config.madeForTrajectory || OpenKind() != DUMP_TRAJECTORY || frameAtoms.empty()) return;
    // A made configuration lets the count vary; saved, it must say so, or the count check would refuse the run.
    if (std::equal(frameAtoms.begin() + 1, frameAtoms.end(), frameAtoms.begin())) return;
    std::cout << "The number of atoms changes between frames, so its configuration also has:" << std::endl;
    std::cout << "varying_atoms" << std::endl;
}

void ChooseDrawingForSize() {
    if (mostAtoms <= RAYCAST_PARTICLES) return;
    if (readers->config.madeForTrajectory) {  // the line that completes the configuration printed before the
                                              // trajectory was read
        raycastEllipsoids = true;
        std::cout << "With up to " << mostAtoms << " particles in a frame, its configuration also has:" << std::endl;
        std::cout << "raycast" << std::endl;
    } else if (!raycastEllipsoids) {
        std::cout << "With up to " << mostAtoms << " particles in a frame, the ray-cast drawing ("
                  << (headless ? "--raycast" : "key i") << ") draws about " << RAYCAST_SPEED_UP << " times faster."
                  << std::endl;
    }
}
