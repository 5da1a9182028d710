// Progress of the render mode on standard error: frames done of all, frames per second, time left.
#pragma once

#include <chrono>

struct RenderProgress {
    int total;                                       // frames to render
    int done;                                        // frames rendered so far
    bool terminal;                                   // standard error is a terminal: one line, redrawn in place
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastShown;  // a log gets at most one line a second
};

RenderProgress StartProgress(int total, bool terminal);
void ReportProgress(RenderProgress& progress, int frames);  // count frames as done; show a line when one is due
void FinishProgress(RenderProgress& progress);              // the closing line with the totals
