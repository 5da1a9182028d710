// The table of trajectory kinds, and the few steps that differ only in which stream a kind keeps.
#include "io/trajectory_kinds.h"

#include <algorithm>
#include <climits>  // Required for: LLONG_MAX
#include <cstdint>
#include <iterator>

#include "core/scene.h"
#include "io/config/trajectory_config.h"
#include "io/dump/dump_reader.h"
#include "io/gsd/gsd_trajectory.h"
#include "io/line_reader.h"
#include "io/numbers.h"
#include "io/pdb/pdb_reader.h"

namespace {

// First words of the records a PDB file begins with.
const char* const PDB_RECORDS[] = {"HEADER", "TITLE",  "COMPND", "SOURCE", "KEYWDS", "EXPDTA", "AUTHOR", "REVDAT",
                                   "JRNL",   "REMARK", "CRYST1", "MODEL",  "ATOM",   "HETATM", "SCALE1", "ORIGX1",
                                   "SEQRES", "DBREF",  "OBSLTE", "SPRSDE", "CAVEAT", "NUMMDL", "MDLTYP", "SPLIT"};

bool StartsWithItem(std::string_view line) { return line.compare(0, 5, "ITEM:") == 0; }

// A compressed file is a trajectory: a dump unless its lines show a PDB file.
bool RecogniseDump(const FileStart& start) {
    return StartsWithItem(start.firstLine) || (start.gzipMagic && !IsPdbRecord(start.firstLine));
}

bool RecognisePdb(const FileStart& start) { return !StartsWithItem(start.firstLine) && IsPdbRecord(start.firstLine); }

bool RecogniseGsd(const FileStart& start) { return start.gsdMagic; }

bool TextFileOpen() { return infile.is_open(); }

bool DumpPositionsUnwrapped() {
    const std::string& names = dumpColumns.positionNames;
    return names == "xu yu zu" || names == "xsu ysu zsu";
}

bool NeverUnwrapped() { return false; }

bool PdbGivesNoHalfRadii(const std::string&) { return false; }

// A step beyond the signed range sorts last (with its file's name deciding ties), never as "no step".
long long GsdFirstStepSigned() { return static_cast<long long>(std::min<uint64_t>(GsdFirstStep(), LLONG_MAX)); }

void IndexPdbFile(bool) { IndexAnisouFile(); }

void IndexGsd(bool) { IndexGsdFile(); }

}  // namespace

const TrajectoryKindRow TRAJECTORY_KINDS[TRAJECTORY_KIND_COUNT] = {
    {DUMP_TRAJECTORY, "dump", RecogniseDump, IndexQuatFile, FinishQuatOpening, ReopenQuatFile, ReadQuatFrame,
     TextFileOpen, CloseTextFile, FirstFrameStep, DumpPositionsUnwrapped, DumpHasShapeColumns, false, false},
    {PDB_TRAJECTORY, "PDB", RecognisePdb, IndexPdbFile, FinishAnisouOpening, nullptr, ReadAnisouFrame, TextFileOpen,
     CloseTextFile, nullptr, NeverUnwrapped, PdbGivesNoHalfRadii, false, false},
    {GSD_TRAJECTORY, "GSD", RecogniseGsd, IndexGsd, FinishGsdOpening, ReopenGsdFile, ReadGsdTrajectoryFrame,
     GsdTrajectoryOpen, CloseGsdTrajectory, GsdFirstStepSigned, NeverUnwrapped, GsdHasTypeShapes, true, true},
};

const TrajectoryKindRow* KindRow(TrajectoryKind kind) {
    for (const TrajectoryKindRow& row : TRAJECTORY_KINDS)
        if (row.kind == kind) return &row;
    return nullptr;
}

TrajectoryKind OpenKind() { return gsd ? GSD_TRAJECTORY : quat ? DUMP_TRAJECTORY : PDB_TRAJECTORY; }

const TrajectoryKindRow& OpenKindRow() { return *KindRow(OpenKind()); }

TrajectoryKind RecogniseStart(const FileStart& start) {
    for (const TrajectoryKindRow& row : TRAJECTORY_KINDS)
        if (row.recognise(start)) return row.kind;
    return NOT_A_TRAJECTORY;
}

bool IsPdbRecord(std::string_view line) {
    std::size_t length = 0;
    while (length < line.size() && length < 6 && !IsSpace(line[length])) ++length;
    std::string_view word = line.substr(0, length);
    return std::any_of(std::begin(PDB_RECORDS), std::end(PDB_RECORDS), [word](const char* r) { return word == r; });
}
