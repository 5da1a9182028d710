// Opening, reading and closing the trajectory without knowing its kind.
#pragma once

void OpenFile();   // open and index inname (or the series it names) with the reader of its kind
void ReadFrame();  // read frame `frame` with the reader of its kind
void StartUnwrapping();  // unwrap from the next frame read on, as the configuration's unwrap would; says what it does
void SwitchWrapping(bool on);  // wrap on or off, the frame held read again; says when unwrap gives way or there is no box
bool TrajectoryOpen();   // the trajectory's file (the open one of a series) is open
void CloseFile();  // close the trajectory's file; a file that is not open is reported and ends the program
