// Column names of dump atom lines: LAMMPS writes whatever `dump custom` was given, so the names decide
// which column is which. A header without names this reader knows keeps the fixed layout of columns 1 to 9.
#include "io/dump/dump_columns.h"

#include <algorithm>
#include <cmath>  // Required for: std::isfinite
#include <limits>  // Required for: quiet_NaN
#include <map>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/numbers.h"


namespace {

// Slots of one atom line: the nine geom values, then the three shape values.
constexpr int SHAPE_SLOT = GEOM_STRIDE;
constexpr int SLOTS = GEOM_STRIDE + 3;

// Position names, in the order of precedence; the second and fourth are fractions of the box.
const char* const POSITION_GROUPS[4][3] = {{"xu", "yu", "zu"}, {"xsu", "ysu", "zsu"}, {"x", "y", "z"}, {"xs", "ys", "zs"}};
const bool POSITION_SCALED[4] = {false, true, false, true};
const char* const QUATERNION_NAMES[4] = {"quatw", "quati", "quatj", "quatk"};
const char* const SHAPE_NAMES[3] = {"shapex", "shapey", "shapez"};

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> words;
    const char* p = text.data();
    const char* end = p + text.size();
    for (;;) {
        SkipSpace(p, end);
        if (p == end) return words;
        const char* start = p;
        while (p != end && !IsSpace(*p)) ++p;
        words.emplace_back(start, static_cast<std::size_t>(p - start));
    }
}

int ColumnOf(const std::vector<std::string_view>& words, std::string_view name) {
    for (std::size_t k = 0; k < words.size(); ++k)
        if (words[k] == name) return static_cast<int>(k);
    return -1;
}

// Looks up every name of a group; returns how many were found, the columns in out (-1 for absent ones).
int FindGroup(const std::vector<std::string_view>& words, const char* const* names, int count, int* out) {
    int found = 0;
    for (int k = 0; k < count; ++k) {
        out[k] = ColumnOf(words, names[k]);
        found += out[k] >= 0;
    }
    return found;
}

std::string JoinNames(const char* const* names, int count) {
    std::string joined;
    for (int k = 0; k < count; ++k) joined += (k ? " " : "") + std::string(names[k]);
    return joined;
}

// The names of a group that the header lacks, for the explanation.
std::string AbsentNames(const char* const* names, const int* columns, int count) {
    std::string absent;
    for (int k = 0; k < count; ++k)
        if (columns[k] < 0) absent += (absent.empty() ? "" : " ") + std::string(names[k]);
    return absent;
}

// Columns "c_ID[k]" by compute ID: the column of each index k, for the groups a compute writes.
std::map<std::string, std::map<int, int>> ComputeGroups(const std::vector<std::string_view>& words) {
    std::map<std::string, std::map<int, int>> groups;
    for (std::size_t k = 0; k < words.size(); ++k) {
        std::string_view word = words[k];
        std::size_t open = word.find('[');
        if (word.size() < 6 || word.compare(0, 2, "c_") != 0 || open == std::string_view::npos || open < 3 ||
            word.back() != ']')
            continue;
        const char* p = word.data() + open + 1;
        const char* end = word.data() + word.size() - 1;
        int index = 0;
        if (!ParseInteger(p, end, index) || p != end) continue;
        groups[std::string(word.substr(2, open - 2))][index] = static_cast<int>(k);
    }
    return groups;
}

// A named group of the given compute, "c_ID[1]" .. "c_ID[size]", all of it or none.
int FindComputeGroup(const std::map<std::string, std::map<int, int>>& groups, const std::string& id, int size,
                     int* out, std::string& absent) {
    int found = 0;
    auto group = groups.find(id);
    for (int k = 1; k <= size; ++k) {
        bool present = group != groups.end() && group->second.count(k) == 1;
        out[k - 1] = present ? group->second.at(k) : -1;
        if (present) ++found;
        else absent += (absent.empty() ? "" : " ") + std::string("c_") + id + "[" + std::to_string(k) + "]";
    }
    return found;
}

// The position: the first complete group in the order of precedence. A partial group is a problem.
void MapPosition(const std::vector<std::string_view>& words, DumpColumns& columns) {
    std::string partial;
    for (int g = 0; g < 4; ++g) {
        int found[3];
        int count = FindGroup(words, POSITION_GROUPS[g], 3, found);
        if (count == 3) {
            for (int k = 0; k < 3; ++k) columns.position[k] = found[k];
            columns.scaled = POSITION_SCALED[g];
            columns.positionNames = JoinNames(POSITION_GROUPS[g], 3);
            return;
        }
        if (count > 0 && partial.empty())
            partial = "It names part of the position (" + JoinNames(POSITION_GROUPS[g], 3) + ") but not " +
                      AbsentNames(POSITION_GROUPS[g], found, 3) + ".";
    }
    columns.position[0] = -1;
    columns.problem = partial;
}

// Compute IDs that say they hold a quaternion: q, quat..., orient...
bool QuaternionLikeId(const std::string& id) {
    return id == "q" || id.rfind("quat", 0) == 0 || id.rfind("orient", 0) == 0;
}

// Plain names a writer may give the quaternion's components (besides LAMMPS's quatw quati quatj quatk): w i j k, qw qx qy qz...
bool QuaternionLikeWord(std::string_view word) {
    for (const char* name : {"w", "qw", "qx", "qy", "qz", "q0", "q1", "q2", "q3", "qi", "qj", "qk", "qr", "i", "j", "k"})
        if (word == name) return true;
    return false;
}

// Every compute that writes exactly the columns [1] .. [size], by ID.
std::vector<std::string> ComputesOfSize(const std::map<std::string, std::map<int, int>>& groups, int size) {
    std::vector<std::string> ids;
    for (const auto& [id, columns] : groups) {
        bool exact = static_cast<int>(columns.size()) == size;
        for (int k = 1; k <= size && exact; ++k) exact = columns.count(k) == 1;
        if (exact) ids.push_back(id);
    }
    return ids;
}

std::string ComputeRange(const std::string& id, int size) { return "c_" + id + "[1.." + std::to_string(size) + "]"; }

// "c_a[1..4] and c_b[1..4]", or "c_a[1..3], c_b[1..3] and c_c[1..3]".
std::string ComputeList(const std::vector<std::string>& ids, int size) {
    std::string list;
    for (std::size_t k = 0; k < ids.size(); ++k)
        list += (k == 0 ? "" : k + 1 == ids.size() ? " and " : ", ") + ComputeRange(ids[k], size);
    return list;
}

std::string ComputeNames(const std::string& id, int size) {
    std::string names;
    for (int k = 1; k <= size; ++k) names += (k > 1 ? " " : "") + std::string("c_") + id + "[" + std::to_string(k) + "]";
    return names;
}

void TakeCompute(const std::map<std::string, std::map<int, int>>& groups, const std::string& id, int size, int* out) {
    for (int k = 1; k <= size; ++k) out[k - 1] = groups.at(id).at(k);
}

// The quaternion, in this order: quatw quati quatj quatk; c_orient[1..4]; a compute writing four columns,
// when it is the only one or the only one whose ID reads like a quaternion (q, quat..., orient...); the four columns after z when the header
// does not name them. Anything else is no orientation: a named column is never taken for what it is not.
void MapQuaternion(const std::vector<std::string_view>& words, const std::map<std::string, std::map<int, int>>& groups,
                   DumpColumns& columns) {
    int found[4];
    int count = FindGroup(words, QUATERNION_NAMES, 4, found);
    if (count > 0) {
        if (count < 4) {
            columns.problem = "It names part of the quaternion (" + JoinNames(QUATERNION_NAMES, 4) + ") but not " +
                              AbsentNames(QUATERNION_NAMES, found, 4) + ".";
            return;
        }
        for (int k = 0; k < 4; ++k) columns.quaternion[k] = found[k];
        columns.quaternionNames = JoinNames(QUATERNION_NAMES, 4);
        return;
    }
    std::string absent;
    count = FindComputeGroup(groups, "orient", 4, found, absent);
    if (count > 0 && count < 4) {
        columns.problem = "It names part of the quaternion c_orient[1..4] but not " + absent + ".";
        return;
    }
    std::vector<std::string> computes = ComputesOfSize(groups, 4);
    if (count == 4) computes = {"orient"};  // named for what it holds: no other compute is looked at
    std::vector<std::string> quaternionLike;
    for (const std::string& id : computes)
        if (QuaternionLikeId(id)) quaternionLike.push_back(id);
    std::string chosen = computes.size() == 1 ? computes[0] : quaternionLike.size() == 1 ? quaternionLike[0] : "";
    if (!chosen.empty()) {
        TakeCompute(groups, chosen, 4, columns.quaternion);
        columns.quaternionNames = ComputeNames(chosen, 4);
        std::string others;
        if (computes.size() > 1) others = " (the only four-column compute named like a quaternion)";
        columns.notes.push_back("Orientation from the columns " + columns.quaternionNames + others + ".");
        return;
    }
    for (int k = 0; k < 4; ++k) columns.quaternion[k] = -1;
    if (computes.size() > 1) {
        columns.notes.push_back("The four-column computes " + ComputeList(computes, 4) +
                                " could each be the orientation; none is used: the particles are drawn unturned.");
        return;
    }
    const int afterZ = columns.position[2] + 1;
    const int named = static_cast<int>(words.size()) - afterZ;
    bool plainNames = named >= 4;
    for (int k = 0; k < 4 && plainNames; ++k) plainNames = QuaternionLikeWord(words[static_cast<std::size_t>(afterZ + k)]);
    if (named <= 0 || plainNames) {
        for (int k = 0; k < 4; ++k) columns.quaternion[k] = afterZ + k;
        columns.quaternionNames = std::string(UNNAMED_QUATERNION) + std::string(words[static_cast<std::size_t>(afterZ - 1)]);
        if (named <= 0) columns.notes.push_back("Orientation from " + columns.quaternionNames + ", which the header does not name.");
        return;
    }
    columns.notes.push_back("The atom columns name no orientation (quatw quati quatj quatk, or a compute's c_ID[1..4]): "
                            "the particles are drawn unturned.");
}

// The shape: shapex shapey shapez; else c_shape[1..3]; else a compute writing three columns when it is the
// only one. Several such computes are named, and none is used.
void MapShape(const std::vector<std::string_view>& words, const std::map<std::string, std::map<int, int>>& groups,
              DumpColumns& columns) {
    int found[3];
    int count = FindGroup(words, SHAPE_NAMES, 3, found);
    std::string absent;
    if (count == 0) {
        count = FindComputeGroup(groups, "shape", 3, found, absent);
        if (count == 3) columns.shapeNames = "c_shape[1] c_shape[2] c_shape[3]";
    } else {
        absent = AbsentNames(SHAPE_NAMES, found, 3);
        columns.shapeNames = JoinNames(SHAPE_NAMES, 3);
    }
    if (count > 0 && count < 3) {
        columns.problem = "It names part of the shape but not " + absent + ".";
        return;
    }
    if (count == 0) {
        std::vector<std::string> computes = ComputesOfSize(groups, 3);
        if (computes.size() > 1)
            columns.notes.push_back("The three-column computes " + ComputeList(computes, 3) +
                                    " could each be the shape; none is used.");
        if (computes.size() != 1) return;
        TakeCompute(groups, computes[0], 3, found);
        columns.shapeNames = ComputeNames(computes[0], 3);
    }
    for (int k = 0; k < 3; ++k) columns.shape[k] = found[k];
    if (columns.shapeNames.compare(0, 2, "c_") == 0)
        columns.notes.push_back("Shape from the columns " + columns.shapeNames + ".");
}

// Every other named column is a per-particle quantity, except text such as an element name.
void MapQuantities(const std::vector<std::string_view>& words, DumpColumns& columns) {
    for (std::size_t k = 0; k < words.size(); ++k) {
        const int column = static_cast<int>(k);
        bool used = column == columns.label || column == columns.type || words[k] == "element";
        for (int j = 0; j < 3; ++j) used = used || column == columns.position[j] || column == columns.shape[j];
        for (int j = 0; j < 4; ++j) used = used || column == columns.quaternion[j];
        if (used) continue;
        columns.quantityColumns.push_back(column);
        columns.quantityNames.emplace_back(words[k]);
    }
}

// Every column a slot reads, to find a name that stands for two values.
bool NamedTwice(const std::vector<std::string_view>& words, std::string& name) {
    for (std::size_t a = 0; a < words.size(); ++a)
        for (std::size_t b = a + 1; b < words.size(); ++b)
            if (words[a] == words[b]) {
                name = std::string(words[a]);
                return true;
            }
    return false;
}

bool IsCanonical(const DumpColumns& c) {
    if (c.scaled || c.label != 0 || c.type != 1) return false;
    for (int k = 0; k < 3; ++k)
        if (c.position[k] != 2 + k) return false;
    for (int k = 0; k < 4; ++k)
        if (c.quaternion[k] != 5 + k) return false;
    return true;
}

int SlotColumn(const DumpColumns& c, int slot) {
    if (slot == GEOM_LABEL) return c.label;
    if (slot == GEOM_TYPE) return c.type;
    if (slot < GEOM_QW) return c.position[slot - GEOM_X];
    if (slot < SHAPE_SLOT) return c.quaternion[slot - GEOM_QW];
    return c.shape[slot - SHAPE_SLOT];
}

// Reads the word as a whole number; false, leaving value alone, when it is not one.
bool ParseWord(std::string_view word, double& value) {
    const char* p = word.data();
    const char* end = p + word.size();
    double parsed = 0;
    if (!ParseReal(p, end, parsed) || p != end) return false;
    value = parsed;
    return true;
}

}  // namespace

DumpColumns MapDumpColumns(std::string_view names) {
    std::vector<std::string_view> words = SplitWords(names);
    DumpColumns columns;
    std::string twice;
    int label = ColumnOf(words, "id");
    int type = ColumnOf(words, "type");
    MapPosition(words, columns);
    if (columns.position[0] < 0) {
        columns.position[0] = 2;
        // No position named: the fixed layout, unless the names place the label or type elsewhere.
        const bool elsewhere = (label >= 0 && label != 0) || (type >= 0 && type != 1);
        if (columns.problem.empty() && elsewhere)
            columns.problem = "It names no position (xu yu zu, xsu ysu zsu, x y z or xs ys zs).";
        if (columns.problem.empty()) return columns;
        columns.names = static_cast<int>(words.size());
        return columns;
    }
    columns.names = static_cast<int>(words.size());
    if (NamedTwice(words, twice)) {
        columns.problem = "It names the column " + twice + " twice.";
        return columns;
    }
    if (type < 0) {
        columns.problem = "It names a position (" + columns.positionNames + ") but no column type.";
        return columns;
    }
    columns.label = label;
    columns.type = type;
    std::map<std::string, std::map<int, int>> groups = ComputeGroups(words);
    MapQuaternion(words, groups, columns);
    if (!columns.problem.empty()) return columns;
    MapShape(words, groups, columns);
    if (!columns.problem.empty()) return columns;
    MapQuantities(words, columns);
    columns.canonical = IsCanonical(columns) && columns.quantityColumns.empty();
    return columns;
}

bool SameColumns(const DumpColumns& a, const DumpColumns& b) {
    if (a.scaled != b.scaled || a.problem != b.problem) return false;
    for (int slot = 0; slot < SLOTS; ++slot)
        if (SlotColumn(a, slot) != SlotColumn(b, slot)) return false;
    return true;
}

void ParseMappedRow(std::string_view line, const DumpColumns& columns, const DumpBox& box, int place, double* row,
                    double* halfRadii, double* quantityRow) {
    double values[SLOTS];
    bool read[SLOTS] = {};
    int lastColumn = 0;
    for (int slot = 0; slot < SLOTS; ++slot)
        if (SlotColumn(columns, slot) > lastColumn) lastColumn = SlotColumn(columns, slot);
    const std::size_t quantityCount = quantityRow ? columns.quantityColumns.size() : 0;
    if (quantityCount > 0 && columns.quantityColumns.back() > lastColumn) lastColumn = columns.quantityColumns.back();
    for (std::size_t k = 0; k < quantityCount; ++k) quantityRow[k] = std::numeric_limits<double>::quiet_NaN();
    std::size_t nextQuantity = 0;  // the quantity columns ascend, so one cursor finds each
    const char* p = line.data();
    const char* end = p + line.size();
    for (int column = 0; column <= lastColumn; ++column) {
        SkipSpace(p, end);
        if (p == end) break;
        const char* start = p;
        while (p != end && !IsSpace(*p)) ++p;
        std::string_view word(start, static_cast<std::size_t>(p - start));
        for (int slot = 0; slot < SLOTS; ++slot)
            if (SlotColumn(columns, slot) == column) read[slot] = ParseWord(word, values[slot]);
        if (nextQuantity < quantityCount && columns.quantityColumns[nextQuantity] == column)
            ParseWord(word, quantityRow[nextQuantity++]);
    }
    if (columns.label < 0) {
        values[GEOM_LABEL] = place;
        read[GEOM_LABEL] = true;
    }
    if (columns.quaternion[0] < 0) {  // no orientation columns: unturned
        for (int k = 0; k < 4; ++k) {
            values[GEOM_QW + k] = k == 0 ? 1.0 : 0.0;
            read[GEOM_QW + k] = true;
        }
    }
    if (columns.scaled && read[GEOM_X] && read[GEOM_X + 1] && read[GEOM_X + 2]) {
        const double xs = values[GEOM_X], ys = values[GEOM_X + 1], zs = values[GEOM_X + 2];
        values[GEOM_X] = box.lo[0] + xs * box.length[0] + ys * box.xy + zs * box.xz;
        values[GEOM_X + 1] = box.lo[1] + ys * box.length[1] + zs * box.yz;
        values[GEOM_X + 2] = box.lo[2] + zs * box.length[2];
        // A fraction far outside the box can leave the range of a double: such a position is not read.
        for (int k = 0; k < 3; ++k) read[GEOM_X + k] = std::isfinite(values[GEOM_X + k]);
        if (!(read[GEOM_X] && read[GEOM_X + 1] && read[GEOM_X + 2])) read[GEOM_X] = read[GEOM_X + 1] = read[GEOM_X + 2] = false;
    } else if (columns.scaled) {
        read[GEOM_X] = read[GEOM_X + 1] = read[GEOM_X + 2] = false;  // half a scaled position means nothing
    }
    for (int slot = 0; slot < GEOM_STRIDE; ++slot)
        if (read[slot]) row[slot] = values[slot];
    if (!halfRadii) return;
    for (int k = 0; k < 3; ++k)
        if (read[SHAPE_SLOT + k]) halfRadii[k] = 0.5 * values[SHAPE_SLOT + k];
}

bool ParseBoxBounds(std::string_view header, const std::string_view values[3], DumpBox& box) {
    const bool tilted = header.find("xy xz yz") != std::string_view::npos;
    double bounds[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (int axis = 0; axis < 3; ++axis) {
        const char* p = values[axis].data();
        const char* end = p + values[axis].size();
        for (int k = 0; k < (tilted ? 3 : 2); ++k) {
            SkipSpace(p, end);
            if (!ParseReal(p, end, bounds[axis][k])) return false;
        }
    }
    DumpBox read;
    if (tilted) {
        read.xy = bounds[0][2];
        read.xz = bounds[1][2];
        read.yz = bounds[2][2];
    }
    // The bounds lines of a tilted box hold the bounding box; the box itself lies inside it by the tilts.
    const double lowestTilt = std::min(std::min(0.0, read.xy), std::min(read.xz, read.xy + read.xz));
    const double highestTilt = std::max(std::max(0.0, read.xy), std::max(read.xz, read.xy + read.xz));
    const double lo[3] = {bounds[0][0] - lowestTilt, bounds[1][0] - std::min(0.0, read.yz), bounds[2][0]};
    const double hi[3] = {bounds[0][1] - highestTilt, bounds[1][1] - std::max(0.0, read.yz), bounds[2][1]};
    for (int axis = 0; axis < 3; ++axis) {
        read.lo[axis] = lo[axis];
        read.length[axis] = hi[axis] - lo[axis];
        if (!std::isfinite(read.lo[axis]) || !std::isfinite(read.length[axis])) return false;  // bounds of 1e308
    }
    box = read;
    return true;
}

int CountWords(std::string_view line) { return static_cast<int>(SplitWords(line).size()); }

bool LastWordWhole(std::string_view line) {
    std::vector<std::string_view> words = SplitWords(line);
    if (words.empty()) return false;
    std::string_view last = words.back();
    char first = last[0] == '+' || last[0] == '-' ? (last.size() > 1 ? last[1] : '.') : last[0];
    if (!IsDigit(first) && first != '.') return true;  // a word of text, such as an element name
    double value = 0;
    return ParseWord(last, value);
}
