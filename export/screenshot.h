// Snapshots and per-frame image sequences written through DevIL.
#pragma once

void PrintImage(bool single);        // write the back buffer: a numbered snapshot, or the sequence image of the frame
void PrintSnapshot();                // a numbered snapshot now; printing animated frames stays on or off as it was
