// ovalix --render: frames of a trajectory drawn offscreen through EGL, with no window system, written as images
// or one movie. main calls it before GLUT is started.
#pragma once

int RunRenderMode(int argc, char** argv);  // argv[1] is --render; the exit status of the job
