// Opening, reading and closing the trajectory without knowing its kind.
#pragma once

void OpenFile();   // open and index inname (or the series it names) with the reader that gsd and quat select
void ReadFrame();  // read frame `frame` with the reader that gsd and quat select
void StartUnwrapping();  // unwrap from the next frame read on, as the configuration's unwrap would; says what it does
void CloseFile();  // close infile; a file that is not open is reported and ends the program
