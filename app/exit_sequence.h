// How the window program ends after a fatal error.
#pragma once

void ChooseWindowEndings();  // a fatal error prints its prompt and waits for Enter, then exits 0
