// A series of trajectory files (LAMMPS's dump.*.gz, one file per frame or per run part) opened as one
// trajectory: frames ordered by the MD step of each file's first frame, one file open at a time.
#pragma once

#include <string>
#include <vector>

bool HasPattern(const std::string& name);                          // the name holds '*': it names a series
std::vector<std::string> MatchPattern(const std::string& pattern);  // the files it matches, by name: no folders,
                                                                    // no images or view file written for it
void ListSeriesFiles(const std::vector<std::string>& names);        // several trajectories given together: one series
bool SeriesNamed();                      // inname is a pattern or files were listed: OpenFile opens a series
std::string SeriesLookName(const std::string& name);  // the file that tells a series' kind: its first match
                                                      // (empty for none); any other name is itself
[[noreturn]] void FailNoMatch(const std::string& pattern);  // "Error. No file matches ..." and the exit sequence
void OpenSeries();       // index every file in step order, then the summary; the first file stays open
void ReadSeriesFrame();  // frame `frame` from its file, which replaces the open one when it is another
void ForgetSeries();     // the next trajectory is one file again
std::string OutputStem();  // inname as written file names start: each '*' of a pattern replaced by "series"
