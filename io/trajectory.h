// Opening, reading and closing the trajectory without knowing its kind.
#pragma once

void OpenFile();   // open and index inname with the reader that gsd and quat select
void ReadFrame();  // read frame `frame` with the reader that gsd and quat select
void CloseFile();  // close infile; a file that is not open is reported and ends the program
