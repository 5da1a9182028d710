// The atoms a bond joins: a bond file names atoms by number, which is the row in the frame while the frame's
// labels are 1..N in order, and the label (the atom id) otherwise.
#pragma once

bool FrameLabelsAreRows();  // the frame in geom labels its atoms 1..N in row order
void FindBondRows();        // bondsByLabel for the frame in geom and, when set, each bond's rows in bondRows
