// ovalix --analyze: a table of the order of every frame (S, the director, the local order, the domains and the
// smectic layers) written as CSV without a window or any drawing. main calls it before GLUT is started.
#pragma once

int RunAnalyzeMode(int argc, char** argv);  // argv[1] is --analyze; the exit status of the job
