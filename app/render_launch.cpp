// Starts the offscreen renderer: a program of its own, since it links OSMesa's OpenGL in place of the window's.
#include "app/render_launch.h"

#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "headless/render_options.h"

#ifndef OVALIX_RENDERER_FROM_BIN
#define OVALIX_RENDERER_FROM_BIN "../lib/ovalix"  // the installed renderer, relative to the installed ovalix
#endif

static std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string name(path, static_cast<std::size_t>(length));
    return name.substr(0, name.find_last_of('/'));
}

void RunRenderMode(int argc, char** argv) {
    std::string folder = ProgramFolder();
    // Beside the program in a build folder; in the library folder once installed.
    std::vector<std::string> places = {folder + "/ovalix-render", folder + "/" OVALIX_RENDERER_FROM_BIN "/ovalix-render"};
    std::vector<char*> args;
    for (const std::string& place : places) {
        if (access(place.c_str(), X_OK) != 0) continue;
        args.assign(1, const_cast<char*>(place.c_str()));
        for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(place.c_str(), args.data());
    }
    std::cerr << "ovalix --render: the offscreen renderer ovalix-render was not found in " << folder << " or "
              << folder << "/" OVALIX_RENDERER_FROM_BIN "." << std::endl;
    std::exit(RENDER_FAILURE);
}
