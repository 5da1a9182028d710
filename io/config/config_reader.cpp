// The configuration file: keyword lines read into the scene state, checked, and reported on the console.
#include "io/config/config_reader.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <string_view>

#include "core/exit_sequence.h"
#include "core/local_order.h"
#include "core/occlusion.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/visibility.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/numbers.h"
#include "io/dump/file_shapes.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/config/trajectory_config.h"
#include "io/line_reader.h"
#include "io/trajectory_kinds.h"

namespace {

// In this order: the order of the seen flags and of the missing-value check.
enum Keyword {
    DUMPFILE, BONDFILE, SPECIES, HALF_RADII, BOND_VECTOR, COLOR,
    BACKGROUND, SOLID_BONDS, TEXTURE, TEXTURE_BONDS, ANISOUFILE, ADAPTIVE_DETAIL, GSDFILE, VARYING_ATOMS,
    SHOW_BOX, SLAB, HIDE_SPECIES, FIT_VIEW, COLOUR_BY, UNWRAP, RAYCAST, FIXED_CENTRE, TRANSPARENCY, IMAGES, WRAP,
    AMBIENT_OCCLUSION, NO_CULLING, LOCAL_ORDER, KEYWORD_COUNT
};
// Optional keywords that only switch on a way of looking (or set its parameters): absent, they are off.
constexpr Keyword VIEW_KEYWORDS[] = {SHOW_BOX, SLAB, HIDE_SPECIES, FIT_VIEW, FIXED_CENTRE, TRANSPARENCY, LOCAL_ORDER};
// Limits that keep the species tables within a sane size (each species needs lines in the file anyway).
constexpr unsigned long long MAX_SPECIES = 1000000;
constexpr long long MAX_TABLE_ENTRIES = 30000000;

const char* const KEYWORDS[KEYWORD_COUNT] = {
    "dumpfile", "bondfile", "species", "half_radii", "bond_vector", "color",
    "background", "solid_bonds", "texture", "texture_bonds", "anisoufile", "adaptive_detail", "gsdfile",
    "varying_atoms", "show_box", "slab", "hide_species", "fit_view", "colour_by", "unwrap", "raycast", "fixed_centre",
    "transparency", "images", "wrap", "ambient_occlusion", "no_culling", "local_order"};

// What one read of a file keeps: its seen flags, the trajectory keyword met first, and its result.
struct ConfigRead {
    bool seen[KEYWORD_COUNT] = {};
    int trajectoryKeyword = -1;
    std::string bondFile;
};

[[noreturn]] void ConfigError(std::initializer_list<std::string> lines) {
    for (const std::string& line : lines) std::cout << line << std::endl;
    ExitSequence();
}

bool IsBlank(std::string_view line) {
    for (char c : line)
        if (!IsSpace(c)) return false;
    return true;
}

// The first whitespace-delimited word of values; empty when there is none.
std::string WordValue(std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    SkipSpace(p, end);
    const char* start = p;
    while (p != end && !IsSpace(*p)) ++p;
    return std::string(start, p);
}

// Reads up to `count` reals (after the indices) into out; stops at the first value that cannot be read.
template <typename Real>
void ReadReals(const char*& p, const char* end, Real* out, int count) {
    for (int k = 0; k < count; ++k) {
        SkipSpace(p, end);
        if (!ParseReal(p, end, out[k])) return;
    }
}

bool ReadIndex(const char*& p, const char* end, long long& index) {
    SkipSpace(p, end);
    return ParseInteger(p, end, index);
}

void ReadSpeciesCount(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    SkipSpace(p, end);
    if (p != end && IsDigit(*p)) {
        unsigned long long count = 0;
        bool readable = ParseInteger(p, end, count);
        // Checked before the tables grow, so an absurd count is explained instead of exhausting memory.
        if (!readable || count > MAX_SPECIES)
            ConfigError({"The number of species at the entry '" + std::string(line) + "' is too large.",
                         "At most " + std::to_string(MAX_SPECIES) + " species can be given.",
                         "Please correct the input file, and run the program again."});
        species = static_cast<int>(count);
    }
    std::cout << "The number of species is " << species << std::endl;
    std::size_t size = static_cast<std::size_t>(species) * SPECIES_STRIDE;
    shape.resize(size, 0.0);
    bondvec.resize(size, 0.0);
    color.resize(size, 0.0);
}

[[noreturn]] void SpeciesOrderError(Keyword keyword) {
    if (keyword == HALF_RADII)
        ConfigError({"The number of species is not set yet.", "This has to be done before the half radii are read.",
                     "Please move the number of species above the half radii in the input file",
                     "and run the program again."});
    if (keyword == BOND_VECTOR)
        ConfigError({"The number of species is not set yet.", "This has to be done before the bond vectors are read.",
                     "and run the program again."});
    ConfigError({"The number of species is not set yet.", "This has to be done before the color vectors are read.",
                 "Please move the number of species above the colors in the input file", "and run the program again."});
}

// half_radii or color: species index n, then three reals (missing ones are 0) into row n of table.
long long ReadSpeciesRow(std::string_view line, std::string_view values, std::vector<double>& table, const char* name) {
    const char* p = values.data();
    const char* end = p + values.size();
    long long n = 0;
    bool readable = ReadIndex(p, end, n);
    long long rows = static_cast<long long>(table.size() / SPECIES_STRIDE);
    if (rows > species) rows = species;
    if (!readable || n < 1 || n > rows) {
        std::string range = rows > 0 ? "The species index must lie between 1 and " + std::to_string(rows) + "."
                                     : "No species is defined at this point, so no species index is valid.";
        ConfigError({"Illegal species index at the entry '" + std::string(line) + "'.", range,
                     "Please correct the input file, and run the program again."});
    }
    double reals[3] = {0.0, 0.0, 0.0};
    ReadReals(p, end, reals, 3);
    for (int k = 0; k < 3; ++k) entry(table, SPECIES_STRIDE * (n - 1) + k, name) = reals[k];
    return n;
}

// bond_vector: species index n, bond-vector number m, then three reals into block m of bondvec.
void ReadBondVector(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    long long n = 0, m = 0;
    bool readable = ReadIndex(p, end, n) && ReadIndex(p, end, m);
    if (!readable || n < 1 || m < 1) {
        ConfigError({"Illegal species index or bond vector number at the entry '" + std::string(line) + "'.",
                     "Both must be whole numbers of at least 1.",
                     "Please correct the input file, and run the program again."});
    }
    // Checked before bondvec grows: the vector must land inside a table of sane size.
    long long position = n <= MAX_TABLE_ENTRIES && m <= MAX_TABLE_ENTRIES ? 3LL * species * (m - 1) + 3 * (n - 1) : -1;
    if (position < 0 || position + 3 > MAX_TABLE_ENTRIES) {
        ConfigError({"The species index or bond vector number at the entry '" + std::string(line) + "' is too large.",
                     "All bond vectors together may hold at most " + std::to_string(MAX_TABLE_ENTRIES) + " numbers.",
                     "Please correct the input file, and run the program again."});
    }
    double reals[3] = {0.0, 0.0, 0.0};
    ReadReals(p, end, reals, 3);
    if (static_cast<long long>(bondvec.size()) <= position) bondvec.resize(static_cast<std::size_t>(position) + 3, 0.0);
    for (int k = 0; k < 3; ++k) entry(bondvec, position + k, "bondvec") = reals[k];
}

void ReadBackground(std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    ReadReals(p, end, BGColor, 3);
    BGColor[3] = 1.0f;
    for (int k = 0; k < 3; ++k) FogColor[k] = BGColor[k];
}

// A trajectory keyword after one already given: name the kind that was set first.
[[noreturn]] void TrajectoryConflict(int earlier) {
    const char* kind = earlier == DUMPFILE ? "Quat" : earlier == GSDFILE ? "GSD" : "Anisou";
    ConfigError({std::string(kind) + " file already set. Which one do you want?",
                 "Please correct this, and run the program again."});
}

void SetTrajectory(ConfigRead& read, Keyword keyword, std::string_view values) {
    if (read.trajectoryKeyword >= 0) TrajectoryConflict(read.trajectoryKeyword);
    read.trajectoryKeyword = keyword;
    inname = WordValue(values);
    quat = keyword == DUMPFILE;
    gsd = keyword == GSDFILE;
    if (keyword == DUMPFILE || keyword == GSDFILE) {
        std::cout << (gsd ? "GSD File: " : "Dump File: ") << inname << std::endl;
        for (Keyword implied : {DUMPFILE, ANISOUFILE, GSDFILE}) read.seen[implied] = true;
    } else {
        species = 1;
        std::cout << "ANISOU File: " << inname << std::endl;
        for (Keyword implied : {DUMPFILE, GSDFILE, SPECIES, HALF_RADII, BOND_VECTOR, COLOR}) read.seen[implied] = true;
    }
}

// slab NX NY NZ OFFSET WIDTH: a normal that is not zero (made unit length), an offset and a width above 0.
void ReadSlab(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    double numbers[5] = {0, 0, 0, 0, 0};
    int read = 0;
    for (; read < 5; ++read) {
        SkipSpace(p, end);
        if (!ParseReal(p, end, numbers[read]) || !std::isfinite(numbers[read])) break;
    }
    SlabCut cut = {true, {numbers[0], numbers[1], numbers[2]}, numbers[3], numbers[4]};
    if (read < 5 || !NormaliseSlabNormal(cut) || !(cut.width > 0))
        ConfigError({"The slab at the entry '" + std::string(line) + "' cannot be used.",
                     "It needs a normal (three numbers, not all 0), the centre's offset along it and a width above 0.",
                     "Please correct the input file, and run the program again."});
    slab = cut;
}

// ambient_occlusion [STRENGTH]: switched on, with the strength given (0 to 1) or the default.
void ReadAmbientOcclusion(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    double strength = DEFAULT_OCCLUSION_STRENGTH;
    SkipSpace(p, end);
    if (p != end) {
        bool ok = ParseReal(p, end, strength) && strength >= 0 && strength <= 1;
        SkipSpace(p, end);
        if (!ok || p != end)
            ConfigError({"The ambient occlusion at the entry '" + std::string(line) + "' cannot be used.",
                         "It takes no value or a strength from 0 to 1.",
                         "Please correct the input file, and run the program again."});
    }
    ambientOcclusion = true;
    occlusionStrength = strength;
    std::cout << "Ambient occlusion will be used, strength " << OcclusionStrengthText(strength) << "." << std::endl;
}

// hide_species N...: species numbers from 1.
void ReadHiddenSpecies(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    SkipSpace(p, end);
    while (p != end) {
        long long n = 0;
        if (!ParseInteger(p, end, n) || n < 1 || n > static_cast<long long>(MAX_SPECIES) || (p != end && !IsSpace(*p)))
            ConfigError({"Illegal species number at the entry '" + std::string(line) + "'.",
                         "hide_species takes whole numbers from 1 to " + std::to_string(MAX_SPECIES) + ".",
                         "Please correct the input file, and run the program again."});
        SetSpeciesHidden(n, true);
        SkipSpace(p, end);
    }
}

// transparency N OPACITY: a species number from 1 and its opacity from 0 (not drawn) to 1 (opaque).
void ReadTransparency(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    long long n = 0;
    double opacity = -1;
    bool ok = ReadIndex(p, end, n) && n >= 1 && n <= static_cast<long long>(MAX_SPECIES) && p != end && IsSpace(*p);
    if (ok) {
        SkipSpace(p, end);
        ok = ParseReal(p, end, opacity) && opacity >= 0 && opacity <= 1;
        SkipSpace(p, end);
    }
    if (!ok || p != end)
        ConfigError({"Illegal entry '" + std::string(line) + "'.",
                     "transparency takes a species number from 1 to " + std::to_string(MAX_SPECIES) +
                         " and its opacity from 0 (not drawn) to 1 (opaque), such as transparency 2 0.4.",
                     "Please correct the input file, and run the program again."});
    SetSpeciesOpacity(n, opacity);
    std::cout << "Species " << n << " will be drawn with opacity " << opacity << "." << std::endl;
}

// colour_by NAME [MIN MAX | all]: the quantity to colour by, and a fixed range when both ends are given, or
// the range over every frame.
void ReadColourBy(std::string_view line, std::string_view values) {
    colourByName = WordValue(values);
    const char* p = values.data();
    const char* end = p + values.size();
    SkipSpace(p, end);
    while (p != end && !IsSpace(*p)) ++p;
    const bool wholeRun = WordValue(std::string_view(p, static_cast<std::size_t>(end - p))) == "all";
    if (wholeRun) {
        SkipSpace(p, end);
        p += 3;
    }
    double range[2] = {0, 0};
    int ends = 0;
    for (; ends < 2 && !wholeRun; ++ends) {
        SkipSpace(p, end);
        if (!ParseReal(p, end, range[ends])) break;
    }
    SkipSpace(p, end);
    if (colourByName.empty() || ends == 1 || p != end || (ends == 2 && !(range[0] < range[1]))) {
        ConfigError({"Illegal entry '" + std::string(line) + "'.",
                     "colour_by takes the name of a quantity of the trajectory, and may add the two ends of its range,",
                     "the lower first, or all for its range over every frame: colour_by c_pe, colour_by c_pe -5 1",
                     "or colour_by c_pe all.",
                     "Please correct the input file, and run the program again."});
    }
    colourByWholeRun = wholeRun;
    colourByFixed = ends == 2;
    colourByLow = range[0];
    colourByHigh = range[1];
}

// images NX NY NZ: periodic images along the edges a, b, c, each a positive odd count.
void ReadImageCounts(std::string_view line, std::string_view values) {
    const char* p = values.data();
    const char* end = p + values.size();
    long long counts[3] = {0, 0, 0};
    int read = 0;
    for (; read < 3; ++read) {
        SkipSpace(p, end);
        if (!ParseInteger(p, end, counts[read]) || counts[read] < 1 || counts[read] > 99 || counts[read] % 2 == 0) break;
    }
    SkipSpace(p, end);
    if (read < 3 || p != end)
        ConfigError({"Illegal entry '" + std::string(line) + "'.",
                     "images takes three odd counts from 1 to 99, the images along a, b and c centred on the box,",
                     "such as images 3 3 1; images 1 1 1 draws the frame once.",
                     "Please correct the input file, and run the program again."});
    for (int k = 0; k < 3; ++k) imageCounts[k] = static_cast<int>(counts[k]);
}

// local_order RC [ANGLE [MIN]]: the cut-off of the local order, the angle and smallest size of a domain.
void ReadLocalOrder(std::string_view line, std::string_view values) {
    LocalOrderSettings settings;
    const std::string problem = ParseLocalOrder(std::string(values), ' ', settings);
    if (!problem.empty())
        ConfigError({"Illegal entry '" + std::string(line) + "'.", "local_order " + problem + ": local_order 3 20 10.",
                     "Please correct the input file, and run the program again."});
    UseLocalOrderSettings(settings);
    localOrderAsked = true;
}

bool SpeciesDefined(const ConfigRead& read) { return read.seen[SPECIES]; }

void HandleKeywordLine(ConfigRead& read, Keyword keyword, std::string_view line, std::string_view values) {
    switch (keyword) {
        case DUMPFILE:
        case ANISOUFILE:
        case GSDFILE:
            SetTrajectory(read, keyword, values);
            break;
        case BONDFILE:
            read.bondFile = WordValue(values);
            std::cout << "Bond File: " << read.bondFile << std::endl;
            break;
        case SPECIES:
            ReadSpeciesCount(line, values);
            break;
        case HALF_RADII:
        case COLOR:
        case BOND_VECTOR:
            if (!SpeciesDefined(read)) SpeciesOrderError(keyword);
            if (keyword == HALF_RADII) NoteHalfRadii(ReadSpeciesRow(line, values, shape, "shape"));
            else if (keyword == COLOR) ReadSpeciesRow(line, values, color, "color");
            else ReadBondVector(line, values);
            break;
        case BACKGROUND:
            ReadBackground(values);
            break;
        case SOLID_BONDS: {
            const char* p = values.data();
            ReadReals(p, p + values.size(), &bondwidth, 1);
            if (bondwidth > 0) solidBonds = true;
            break;
        }
        case TEXTURE:
            if (texture.empty()) texture.push_back(0);
            ellipsoidtexture = WordValue(values);
            break;
        case TEXTURE_BONDS:
            while (texture.size() < 2) texture.push_back(0);
            bondtexture = WordValue(values);
            break;
        case ADAPTIVE_DETAIL:
            adaptiveDetail = true;
            std::cout << "Adaptive detail will be used." << std::endl;
            break;
        case VARYING_ATOMS:
            varyingAtoms = true;
            std::cout << "The number of atoms may change between time steps." << std::endl;
            break;
        case SHOW_BOX:
            showBox = true;
            break;
        case SLAB:
            ReadSlab(line, values);
            break;
        case HIDE_SPECIES:
            ReadHiddenSpecies(line, values);
            break;
        case FIT_VIEW:
            fitViewOnLoad = true;
            break;
        case COLOUR_BY:
            ReadColourBy(line, values);
            break;
        case UNWRAP:
            unwrap = true;
            break;
        case RAYCAST:
            raycastEllipsoids = true;
            std::cout << "Ray-cast ellipsoids will be used." << std::endl;
            break;
        case FIXED_CENTRE:
            fixedCentre = true;
            break;
        case TRANSPARENCY:
            ReadTransparency(line, values);
            break;
        case IMAGES:
            ReadImageCounts(line, values);
            break;
        case WRAP:
            wrapIntoBox = true;
            break;
        case AMBIENT_OCCLUSION:
            ReadAmbientOcclusion(line, values);
            break;
        case NO_CULLING:
            occlusionCulling = false;
            std::cout << "Every ray-cast ellipsoid will be drawn, hidden ones too." << std::endl;
            break;
        case LOCAL_ORDER:
            ReadLocalOrder(line, values);
            break;
        case KEYWORD_COUNT:
            break;
    }
    if (keyword == SOLID_BONDS) read.seen[SOLID_BONDS] = read.seen[SOLID_BONDS] || bondwidth > 0;
    else read.seen[keyword] = true;
}

void HandleLine(ConfigRead& read, std::string_view line) {
    if (IsBlank(line) || line[0] == '#') return;
    std::size_t length = 0;
    while (length < line.size() && !IsSpace(line[length])) ++length;
    std::string_view keyword = line.substr(0, length);
    if (keyword == "color_by") keyword = "colour_by";  // spelled as "color" beside it
    for (int k = 0; k < KEYWORD_COUNT; ++k) {
        if (keyword == KEYWORDS[k]) {
            HandleKeywordLine(read, static_cast<Keyword>(k), line, line.substr(length));
            return;
        }
    }
    ConfigError({"Wrong keyword at the entry '" + std::string(line) + "'.",
                 "Please correct the input file, and run the program again."});
}

// Pads bondvec to whole blocks of one vector per species.
void PadBondVectors() {
    std::size_t block = static_cast<std::size_t>(species) * VECTOR_STRIDE;
    if (species < 1 || bondvec.size() % block == 0) return;
    bondvec.resize(bondvec.size() + block - bondvec.size() % block, 0.0);
}

// Optional keywords that were left out get their defaults; a name not given this time is cleared.
void ApplyDefaults(ConfigRead& read) {
    if (!read.seen[BONDFILE]) {
        std::cout << "No file with bond information found." << std::endl;
        std::cout << "No bonds will be drawn." << std::endl;
        read.seen[BONDFILE] = true;
    }
    if (!read.seen[SOLID_BONDS]) {
        solidBonds = false;
        read.seen[SOLID_BONDS] = true;
    }
    if (!read.seen[TEXTURE]) {
        std::cout << "No texture will be used for the species." << std::endl;
        ellipsoidtexture.clear();
        read.seen[TEXTURE] = true;
    }
    if (!read.seen[TEXTURE_BONDS]) {
        bondtexture.clear();
        read.seen[TEXTURE_BONDS] = true;
    }
    if (!read.seen[VARYING_ATOMS]) {
        varyingAtoms = false;
        read.seen[VARYING_ATOMS] = true;
    }
    for (Keyword keyword : VIEW_KEYWORDS) read.seen[keyword] = true;
    if (!read.seen[ADAPTIVE_DETAIL]) {
        adaptiveDetail = false;
        read.seen[ADAPTIVE_DETAIL] = true;
    }
    if (!read.seen[COLOUR_BY]) {
        colourByName.clear();
        colourByFixed = false;
        colourByWholeRun = false;
        read.seen[COLOUR_BY] = true;
    }
    if (!read.seen[UNWRAP]) {
        unwrap = false;
        read.seen[UNWRAP] = true;
    }
    if (!read.seen[RAYCAST]) {
        raycastEllipsoids = false;
        read.seen[RAYCAST] = true;
    }
    if (!read.seen[IMAGES]) {
        for (int& count : imageCounts) count = 1;
        read.seen[IMAGES] = true;
    }
    if (!read.seen[WRAP]) {
        wrapIntoBox = false;
        read.seen[WRAP] = true;
    }
    if (!read.seen[NO_CULLING]) {
        occlusionCulling = true;
        read.seen[NO_CULLING] = true;
    }
    if (!read.seen[AMBIENT_OCCLUSION]) {
        ambientOcclusion = false;
        occlusionStrength = DEFAULT_OCCLUSION_STRENGTH;
        read.seen[AMBIENT_OCCLUSION] = true;
    }
}

void CheckRequired(const ConfigRead& read) {
    for (int k = 0; k < KEYWORD_COUNT; ++k) {
        if (read.seen[k]) continue;
        // Half radii may come from the file instead (a dump's shape columns, a GSD file's type shapes).
        if (k == HALF_RADII && OpenKindRow().givesHalfRadii(SeriesLookName(inname))) continue;
        if (k == BOND_VECTOR && OpenKindRow().bondsInFile) continue;  // the file's bonds join particle centres
        ConfigError({std::string("The value of the ") + KEYWORDS[k] + " is missing in the input.",
                     "Please add this to the input file (see the manual) and run the program again."});
    }
}

// The configuration in infile; infile is closed once its lines are read, before the checks look at the
// trajectory it names.
std::string ReadOpenedConfig(const std::string& name) {
    ConfigRead read;
    std::cout << "Input file " << name << " is opened." << std::endl;
    shape.clear();
    bondvec.clear();
    color.clear();
    ForgetHalfRadii();
    ResetLookInside();
    std::string line;
    infile.clear();
    infile.seekg(0, std::ios::beg);
    while (std::getline(infile, line)) HandleLine(read, line);
    CloseTextFile();
    PadBondVectors();
    ApplyDefaults(read);
    CheckRequired(read);
    return read.bondFile;
}

// Asks for another configuration name; an empty answer or the end of input ends the program.
std::string AskForAnotherName(const std::string& name) {
    std::cout << "The file " << name << " could not be found." << std::endl;
    std::cout << "Please supply a configuration filed named containing" << std::endl;
    std::cout << "information on half radii, bond vectors and colours:  (Enter to exit) " << std::flush;
    std::string answer;
    bool answered = static_cast<bool>(std::getline(std::cin, answer));
    title = "Ovalix - " + answer;
    if (!answered || answer.empty()) EndProcess();
    return answer;
}

}  // namespace

std::string ReadConfig(std::string name) {
    UseLocalOrderSettings(LocalOrderSettings{});  // a reload starts from the defaults, as from no local_order line
    localOrderAsked = false;
    // A pattern names a series of trajectories, never a configuration. The file is opened once: as the
    // trajectory stream, which a trajectory named here keeps for its reader.
    while (!HasPattern(name) && !OpenTextFile(name)) name = AskForAnotherName(name);
    if (!HasPattern(name) && LooksBinary(infile)) ConfigError({BinaryFileLine(name)});
    // A trajectory given in place of a configuration is shown with one made for it, fitted into the window.
    if (ConfigureFromTrajectory(name)) {
        ResetLookInside();
        fitViewOnLoad = true;
        return "";
    }
    if (HasPattern(name))
        ConfigError({"The first file that " + name + " matches, " + SeriesLookName(name) + ", is no trajectory."});
    speciesFromTrajectory = false;  // a configuration's species are checked, not added to
    return ReadOpenedConfig(name);
}
