// File series: each file is opened, indexed by its own reader and closed again, so a run of thousands of
// files holds one descriptor and one gzip index at a time; its frames then join the frame tables in the
// order of the MD steps, and a frame read opens the file it is in when another one is open.
#include "io/file_series.h"

#include <glob.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iostream>

#include "core/exit_sequence.h"
#include "core/scene.h"
#include "io/dump/dump_columns.h"
#include "io/dump/dump_reader.h"
#include "io/file_open.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/line_reader.h"
#include "io/reader_state.h"
#include "io/trajectory_kinds.h"

namespace {

// What a file adds to the series: its frames' offsets and counts, and the step its first frame begins at.
struct SeriesMember {
    std::string name;
    long long firstStep = 0;
    std::vector<int64_t> offsets;
    std::vector<int> counts;
};

[[noreturn]] void FailSeries(std::initializer_list<std::string> lines) {
    for (const std::string& line : lines) std::cout << line << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

void CloseMember() {
    const TrajectoryKindRow& kind = OpenKindRow();
    if (kind.isOpen()) kind.close();  // and a gzip index with it
}

// The step of a file's first frame; a dump whose first "ITEM: TIMESTEP" gives none cannot be placed.
long long MemberFirstStep() {
    const long long step = OpenKindRow().firstStep();
    if (step >= 0) return step;
    FailSeries({"The first time step of " + inname + " has no step number after 'ITEM: TIMESTEP':",
                "its place in the series cannot be told."});
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) text += (k > 0 ? ", " : "") + names[k];
    return text;
}

// Later files must read as the first: the same columns, the same count (unless counts may vary).
void CheckDumpLikeFirst(const SeriesMember& first, const DumpColumns& columns, const std::string& header,
                        const SeriesMember& member) {
    if (!SameColumns(dumpColumns, columns))
        FailSeries({"The atom columns of " + member.name + " differ from those of " + first.name + ".",
                    first.name + ": " + header, member.name + ": " + FirstAtomsHeader()});
    if (!varyingAtoms && member.counts.front() != first.counts.front())
        FailSeries({"Incorrect number of atoms in time step 1 of " + member.name + ".",
                    "Number of atoms read: " + std::to_string(member.counts.front()) + ", but " + first.name +
                        " has " + std::to_string(first.counts.front()) + "."});
}

// Type ids name species: files whose types differ would colour the same species differently.
void CheckGsdTypesLikeFirst(const SeriesMember& first, const std::vector<std::string>& firstTypes,
                            const SeriesMember& member) {
    std::vector<std::string> types = GsdTypeNames();
    std::size_t common = std::min(types.size(), firstTypes.size());
    if (std::equal(types.begin(), types.begin() + static_cast<long>(common), firstTypes.begin())) return;
    FailSeries({"The particle types of " + member.name + " (" + JoinedNames(types) + ") differ from those of " +
                first.name + " (" + JoinedNames(firstTypes) + ")."});
}

// Opens, indexes and closes every file; the checks compare each with the first one indexed.
std::vector<SeriesMember> IndexMembers(const std::vector<std::string>& names) {
    std::vector<SeriesMember> members;
    DumpColumns firstColumns;
    std::string firstHeader;
    std::vector<std::string> firstTypes;
    const TrajectoryKindRow& kind = OpenKindRow();
    const bool typesNamed = kind.typesNamed;  // type names give the species: else the columns must agree
    for (const std::string& name : names) {
        SeriesMember member;
        member.name = name;
        inname = name;  // the readers name the file in their messages
        kind.index(!members.empty());
        member.firstStep = MemberFirstStep();
        member.offsets = counter;
        member.counts = frameAtoms;
        if (members.empty()) {
            firstColumns = dumpColumns;
            firstHeader = FirstAtomsHeader();
            if (typesNamed) firstTypes = GsdTypeNames();
        } else if (typesNamed) {
            CheckGsdTypesLikeFirst(members.front(), firstTypes, member);
        } else {
            CheckDumpLikeFirst(members.front(), firstColumns, firstHeader, member);
        }
        CloseMember();
        members.push_back(std::move(member));
    }
    if (!typesNamed) dumpColumns = firstColumns;
    return members;
}

// Frames join the tables file by file, in the order of the files' first steps (ties by name).
void JoinMembers(std::vector<SeriesMember>& members) {
    std::stable_sort(members.begin(), members.end(), [](const SeriesMember& a, const SeriesMember& b) {
        return a.firstStep != b.firstStep ? a.firstStep < b.firstStep : a.name < b.name;
    });
    counter.clear();
    frameAtoms.clear();
    for (std::size_t m = 0; m < members.size(); ++m) {
        seriesFiles.push_back(members[m].name);
        counter.insert(counter.end(), members[m].offsets.begin(), members[m].offsets.end());
        frameAtoms.insert(frameAtoms.end(), members[m].counts.begin(), members[m].counts.end());
        frameMember.insert(frameMember.end(), members[m].offsets.size(), static_cast<int>(m));
    }
    atoms = frameAtoms.front();
    // Each GSD file's count checked and took the largest of its own frames; the series' is the largest of all.
    // (A dump's opening takes it for the whole table.)
    mostAtoms = *std::max_element(frameAtoms.begin(), frameAtoms.end());
}

// File `member` of the series is open, opened again without a scan.
void OpenMember(int member) {
    SeriesState& series = readers->series;
    if (member == series.openMember) return;
    CloseMember();
    OpenKindRow().reopen();
    series.openMember = member;
    series.openMemberStart = static_cast<int>(std::find(frameMember.begin(), frameMember.end(), member) - frameMember.begin());
}

// Written names of a series: each '*' replaced by "series".
std::string StemOf(std::string name) {
    for (std::size_t at = name.find('*'); at != std::string::npos; at = name.find('*', at)) name.replace(at, 1, "series");
    return name;
}

// The sequence images and the view file written for a series lie beside its files and may match its pattern.
bool WrittenForSeries(const std::string& name, const std::string& stem) {
    if (name == stem + ".view") return true;
    if (name.size() <= stem.size() + 1 || name.compare(0, stem.size() + 1, stem + "_") != 0) return false;
    std::size_t dot = name.find('.', stem.size() + 1);
    std::string number = name.substr(stem.size() + 1, dot == std::string::npos ? std::string::npos : dot - stem.size() - 1);
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
           (extension == ".png" || extension == ".jpg" || extension == ".bmp");
}

}  // namespace

bool HasPattern(const std::string& name) { return name.find('*') != std::string::npos; }

std::vector<std::string> MatchPattern(const std::string& pattern) {
    std::vector<std::string> names;
    glob_t found{};
    const std::string stem = StemOf(pattern);
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t k = 0; k < found.gl_pathc; ++k)
            if (!IsFolderPath(found.gl_pathv[k]) && !WrittenForSeries(found.gl_pathv[k], stem))
                names.emplace_back(found.gl_pathv[k]);
    }
    globfree(&found);
    std::sort(names.begin(), names.end());  // byte order, whatever the locale
    return names;
}

void ListSeriesFiles(const std::vector<std::string>& names) { readers->series.listedFiles = names; }

bool SeriesNamed() { return !readers->series.listedFiles.empty() || HasPattern(inname); }

std::string SeriesLookName(const std::string& name) {
    if (!HasPattern(name)) return name;
    std::vector<std::string> names = MatchPattern(name);
    return names.empty() ? std::string() : names.front();
}

void FailNoMatch(const std::string& pattern) {
    std::cout << "Error. No file matches " << pattern << "." << std::endl;
    ExitSequence();
}

void OpenSeries() {
    const std::string pattern = inname;
    const std::vector<std::string>& listed = readers->series.listedFiles;
    std::vector<std::string> names = listed.empty() ? MatchPattern(pattern) : listed;
    if (names.empty()) FailNoMatch(pattern);
    if (OpenKindRow().firstStep == nullptr)
        FailSeries({"Only dump and GSD files can be opened as a series, not PDB files like " + names.front() + "."});
    std::vector<SeriesMember> members = IndexMembers(names);
    JoinMembers(members);
    readers->series.openMember = -1;
    inname = seriesFiles.front();
    OpenMember(0);
    OpenKindRow().finishOpening();  // with the first file's types and shapes
    inname = pattern;
}

void ReadSeriesFrame() {
    const std::string pattern = inname;
    const int member = entry(frameMember, frame, "frameMember");
    inname = entry(seriesFiles, member, "seriesFiles");
    OpenMember(member);
    OpenKindRow().readFrame();
    inname = pattern;
}

void ForgetSeries() {
    seriesFiles.clear();
    frameMember.clear();
    readers->series.openMember = -1;
    readers->series.openMemberStart = 0;
}

std::string OutputStem() { return StemOf(inname); }
