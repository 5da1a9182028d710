// The kinds of trajectory the viewer reads, one row each: how a file is told to be of the kind, and the steps
// of its reader. Callers go through the row of the open kind instead of asking which kind it is; each kind
// keeps its own stream (a dump or PDB file the text stream infile, a GSD file its GsdFile).
#pragma once

#include <string>
#include <string_view>

enum TrajectoryKind { NOT_A_TRAJECTORY, DUMP_TRAJECTORY, PDB_TRAJECTORY, GSD_TRAJECTORY };

// What recognition sees of a file: its first bytes, and the first of its first lines that is not blank (of
// its inflated text, for a gzip file).
struct FileStart {
    bool gsdMagic = false;    // the GSD magic number
    bool gzipMagic = false;   // the gzip magic bytes
    std::string firstLine;    // empty when no such line was found
};

struct TrajectoryKindRow {
    TrajectoryKind kind;
    const char* name;                            // "dump", "PDB", "GSD"
    bool (*recognise)(const FileStart& start);   // the file is of this kind
    void (*index)(bool continuesSeries);         // open inname and index its frames (counter, frameAtoms), no summary
    void (*finishOpening)();                     // the opening summary and what the first frame gives beside it
    void (*reopen)();                            // open inname again for frame reads, its frames already indexed
    void (*readFrame)();                         // frame `frame` into geom and the tables beside it
    bool (*isOpen)();                            // its stream is open
    void (*close)();                             // close its stream and give back its buffers
    long long (*firstStep)();                    // MD step of the first frame of the file indexed last; nullptr: the
                                                 // kind is never part of a series
    bool (*positionsUnwrapped)();                // the open file's positions are unwrapped already
    bool (*givesHalfRadii)(const std::string& name);  // the file gives each species its half radii
    bool bondsInFile;                            // the file gives its own bonds (used unless a bond file is named)
    bool typesNamed;                             // particle types have names (files of a series must agree on them);
                                                 // else types are numbers in columns (they must agree on the columns)
};

constexpr int TRAJECTORY_KIND_COUNT = 3;
extern const TrajectoryKindRow TRAJECTORY_KINDS[TRAJECTORY_KIND_COUNT];

const TrajectoryKindRow* KindRow(TrajectoryKind kind);  // its row; nullptr for NOT_A_TRAJECTORY
TrajectoryKind OpenKind();                               // the kind the configuration chose (gsd, quat)
const TrajectoryKindRow& OpenKindRow();                  // its row
TrajectoryKind RecogniseStart(const FileStart& start);   // the kind whose row recognises start
bool IsPdbRecord(std::string_view line);                 // the line begins with a record a PDB file begins with
