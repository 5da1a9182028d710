// `ovalix --render ...` hands the whole command line to the offscreen renderer, which needs no display.
#pragma once

[[noreturn]] void RunRenderMode(int argc, char** argv);  // exec ovalix-render with the arguments after --render
