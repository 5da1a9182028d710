// What the trajectory readers keep from one call to the next, one plain struct per reader. All of it hangs
// from one pointer, so that a run's whole reading state can be set aside and taken up again (io/run_state.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/gsd/gsd_file.h"
#include "io/gsd/gsd_hoomd.h"

struct GzipState;  // the gzip source's index and inflaters (io/gzip_source.cpp); its z_streams must never move

// The line reader over infile (io/line_reader.cpp).
struct LineSourceState {
    std::vector<char> buffer;      // bytes [head, tail) are read from the file but not yet handed out
    std::size_t head = 0;
    std::size_t tail = 0;
    int64_t bufferOffset = 0;      // file offset that buffer[0] stands for (bytes before head are unused)
    bool sourceDry = false;        // the file has no more bytes
    bool endReached = false;       // a read ran into the end: later reads return nothing
    bool damageTold = false;       // the damage of compressed data has been told
    bool consoleLineOpen = false;  // the reader left a console line open ("Reading..." and its dots)
    bool gzipText = false;         // infile is gzip-compressed: the bytes handed out are its inflated text
    std::size_t validFrom = 0;     // buffer[validFrom, tail) hold the bytes of their offsets: a gzip seek into
                                   // them needs no inflating
    GzipState* gzip = nullptr;     // made by the first gzip file, owned
    std::string openName;          // the file infile holds, when OpenTextFile opened it
    bool kept = false;             // the next OpenTextFile of openName takes infile as it is
    bool holdDamage = false;       // damage found is not told yet: the reader tells it in its place (TellHeldDamage)
    bool damageHeld = false;       // damage was found while held back
};

// The dump scan (io/dump/dump_reader.cpp).
struct DumpScanState {
    std::string firstAtomsHeader;     // the atoms header of the first frame, which the mapping is taken from
    int wholeLineWords = 0;           // words of a whole atom line: those of the first frame's first atom line
    int firstLineWords = -1;          // words of the first frame's first atom line, counted when unnamed columns matter
    long long scannedStep = -1;       // MD step of the frame being scanned, -1 until its TIMESTEP value is read
    long long firstScannedStep = -1;  // MD step of the file's first frame, -1 where it gives none
    int largestScannedType = 0;       // largest whole type of the atom lines the scan has read (when it reads them)
    bool typesRead = false;           // the scan reads the atom lines of the frame for their types
    bool firstFrameTypesRead = false; // also those of the file's first frame (a later file of a series)
};

// The GSD trajectory (io/gsd/gsd_trajectory.cpp).
struct GsdReadState {
    GsdFile openGsd;             // the trajectory named by inname while gsd is true
    GsdFrame frameRead;          // the last frame read; its tables are reused by the next read
    int centreOrigin = 0;        // bond-origin number whose vectors are all 0: a file's bonds join particle centres
    bool shapesPending = false;  // the species still wait for the type shapes of frame 0 (read with that frame)
    bool kept = false;           // openGsd was opened for the configuration: the index takes it as it is
};

// File series (io/file_series.cpp).
struct SeriesState {
    std::vector<std::string> listedFiles;  // the trajectories given together on the command line
    int openMember = -1;                   // file of seriesFiles that is open; -1 for none
    int openMemberStart = 0;               // index of the open file's first frame in the whole run (0: one file)
};

// What the configuration readers remember (io/config/trajectory_config.cpp, io/dump/file_shapes.cpp).
struct ConfigMemory {
    bool madeForTrajectory = false;    // the last configuration read was made for a trajectory named in its place
    std::string madeDumpName;          // the dump (or series) the last dump configuration was made for
    std::vector<char> halfRadiiGiven;  // per species from 1: the configuration has a half_radii line for it
};

struct ReaderState {
    LineSourceState lines;
    DumpScanState dump;
    GsdReadState gsd;
    SeriesState series;
    ConfigMemory config;
};

extern ReaderState* readers;                // the current run's; never null
ReaderState* NewReaderState();              // nothing read, nothing open
void DeleteReaderState(ReaderState* state); // closes its GSD file and gives back its gzip inflaters
