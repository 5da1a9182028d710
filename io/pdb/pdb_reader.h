// PDB trajectories: CRYST1-delimited time steps whose ATOM/ANISOU pairs become ellipsoids.
#pragma once

void OpenAnisouFile();       // open inname, index each time step into counter, set atoms and species, summary
void IndexAnisouFile();      // open inname and index each time step into counter and cellOfStep, set atoms
void FinishAnisouOpening();  // species, quantity names and the summary of the file indexed
void ReadAnisouFrame();  // read time step `frame`: rebuild geom, shape, color and bondvec from it
