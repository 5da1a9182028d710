// The numbers of a dump atom line: label, type, position and quaternion, read exactly as from_chars reads them.
#pragma once

#include <string_view>

// Reads up to GEOM_STRIDE numbers of an atom line into row; stops at the first field that is not a number,
// leaving that entry and the ones after it as they were.
// NOTE: may read up to LINE_SLACK bytes past the end of the line (the line reader keeps them readable).
void ParseAtomRow(std::string_view line, double* row);
