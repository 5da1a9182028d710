// The render mode's options: one table of names, each with the function that checks and stores its value.
#include "headless/render_options.h"

#include <charconv>
#include <cstddef>
#include <string_view>

#include "core/scene.h"
#include "export/image_names.h"

namespace {

// Whole decimal number of text, without sign or spaces; false for anything else or beyond int.
bool WholeNumber(std::string_view text, int& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    return problem == std::errc() && end == text.data() + text.size();
}

bool SetFrames(RenderOptions& o, const std::string& value, std::string& error) {
    std::size_t colon = value.find(':');
    std::size_t second = colon == std::string::npos ? colon : value.find(':', colon + 1);
    bool ok = colon != std::string::npos && WholeNumber(std::string_view(value).substr(0, colon), o.first) &&
              WholeNumber(std::string_view(value).substr(colon + 1, second - colon - 1), o.last);
    o.step = 1;
    if (ok && second != std::string::npos) ok = WholeNumber(std::string_view(value).substr(second + 1), o.step);
    if (!ok || o.step < 1 || o.last < o.first) {
        error = "--frames takes A:B or A:B:S (first and last frame counted from 0, step at least 1, A <= B), not " +
                value + ".";
        return false;
    }
    o.allFrames = false;
    return true;
}

bool SetSize(RenderOptions& o, const std::string& value, std::string& error) {
    std::size_t x = value.find('x');
    if (x == std::string::npos || !WholeNumber(std::string_view(value).substr(0, x), o.width) ||
        !WholeNumber(std::string_view(value).substr(x + 1), o.height) || o.width < 1 || o.height < 1) {
        error = "--size takes WIDTHxHEIGHT in pixels, each at least 1, such as 1024x640, not " + value + ".";
        return false;
    }
    return true;
}

bool SetFormat(RenderOptions& o, const std::string& value, std::string& error) {
    if (value != "png" && value != "jpg" && value != "bmp") {
        error = "--format takes png, jpg or bmp, not " + value + ".";
        return false;
    }
    o.format = "." + value;
    return true;
}

bool SetOut(RenderOptions& o, const std::string& value, std::string& error) {
    if (value.empty()) {
        error = "--out takes the name of a folder.";
        return false;
    }
    o.outDir = value;
    return true;
}

bool SetView(RenderOptions& o, const std::string& value, std::string& error) {
    if (value.empty()) {
        error = "--view takes the name of a view file written with the key V in the window.";
        return false;
    }
    o.viewFile = value;
    return true;
}

bool SetMovie(RenderOptions& o, const std::string& value, std::string& error) {
    if (value.size() < 5 || value.compare(value.size() - 4, 4, ".mp4") != 0) {
        error = "--movie takes the name of an .mp4 file, not " + value + ".";
        return false;
    }
    o.movie = value;
    return true;
}

bool SetFps(RenderOptions& o, const std::string& value, std::string& error) {
    if (!WholeNumber(value, o.fps) || o.fps < 1 || o.fps > 1000) {
        error = "--fps takes a whole number of frames per second from 1 to 1000, not " + value + ".";
        return false;
    }
    return true;
}

bool SetAdaptiveDetail(RenderOptions& o, const std::string&, std::string&) {
    o.adaptiveDetail = true;
    return true;
}

bool SetRaycast(RenderOptions& o, const std::string&, std::string&) {
    o.raycast = true;
    return true;
}

bool SetColourByOrientation(RenderOptions& o, const std::string&, std::string&) {
    o.colourByOrientation = true;
    return true;
}

bool SetHelp(RenderOptions& o, const std::string&, std::string&) {
    o.help = true;
    return true;
}

struct RenderOption {
    const char* name;
    const char* value;  // what the value is, for the usage; nullptr: the option takes none
    bool (*apply)(RenderOptions& options, const std::string& value, std::string& error);
    const char* help;
};

// New drawing switches join this table; a switch without a value has a nullptr `value`.
const RenderOption renderOptions[] = {
    {"--frames", "A:B[:S]", SetFrames, "frames A to B (counted from 0, inclusive), every S-th; default all"},
    {"--size", "WxH", SetSize, "image size in pixels; default 1024x640"},
    {"--format", "png|jpg|bmp", SetFormat, "image file type; default png"},
    {"--out", "DIR", SetOut, "folder of the images; default next to the trajectory"},
    {"--view", "FILE", SetView, "view saved with the key V in the window"},
    {"--movie", "FILE.mp4", SetMovie, "one H.264 movie through ffmpeg instead of image files"},
    {"--fps", "N", SetFps, "frames per second of the movie; default 25"},
    {"--adaptive-detail", nullptr, SetAdaptiveDetail, "subdivisions from each ellipsoid's size on screen (key l)"},
    {"--raycast", nullptr, SetRaycast, "exact ray-cast ellipsoids, one quad each (key i)"},
    {"--colour-by-orientation", nullptr, SetColourByOrientation, "colours from the angle to the director (key c)"},
    {"--help", nullptr, SetHelp, "this text"},
};

const RenderOption* FindOption(const std::string& name) {
    for (const RenderOption& option : renderOptions)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error) {
    for (int i = 0; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        std::size_t equals = word.find('=');
        bool inlineValue = word.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = word.substr(equals + 1);
            word.resize(equals);
        }
        if (word.rfind("--", 0) != 0 || word == "--") {
            if (word == "--" && i + 1 < argc) word = argv[++i];
            if (!options.file.empty()) {
                error = "Only one file can be rendered at a time: " + options.file + " and " + word + ".";
                return false;
            }
            options.file = word;
            continue;
        }
        const RenderOption* option = FindOption(word);
        if (option == nullptr) {
            error = "Unknown option " + word + ".";
            return false;
        }
        if (option->value != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                error = word + " needs a value: " + option->value + ".";
                return false;
            }
            value = argv[++i];
        }
        if (!option->apply(options, value, error)) return false;
    }
    if (options.file.empty() && !options.help) {
        error = "No file to render: name a configuration file.";
        return false;
    }
    if (!options.movie.empty() && (options.width % 2 != 0 || options.height % 2 != 0)) {
        error = "A movie needs an even width and height (H.264 in yuv420p), not " + std::to_string(options.width) +
                "x" + std::to_string(options.height) + ".";
        return false;
    }
    return true;
}

std::string RenderUsage() {
    std::string text = "Usage: ovalix --render [options] FILE\n"
                       "Draws every frame of FILE without a window and writes one image per frame.\n";
    for (const RenderOption& option : renderOptions) {
        std::string left = std::string("  ") + option.name + (option.value ? std::string(" ") + option.value : "");
        left.resize(left.size() < 26 ? 26 : left.size() + 1, ' ');
        text += left + option.help + "\n";
    }
    return text;
}

bool ResolveFrameRange(RenderOptions& options, int frames, std::string& error) {
    if (options.allFrames) {
        options.first = 0;
        options.last = frames - 1;
        options.step = 1;
        return frames > 0;
    }
    if (options.last > frames - 1) {
        error = "The frames " + std::to_string(options.first) + " to " + std::to_string(options.last) +
                " lie outside the trajectory, whose frames are 0 to " + std::to_string(frames - 1) + ".";
        return false;
    }
    return true;
}

int FramesToRender(const RenderOptions& options) { return (options.last - options.first) / options.step + 1; }

std::string RenderImageName(const RenderOptions& options, int frameNumber) {
    if (options.outDir.empty()) return SequenceName(frameNumber);
    std::string base = inname.substr(inname.find_last_of('/') == std::string::npos ? 0 : inname.find_last_of('/') + 1);
    std::string folder = options.outDir.back() == '/' ? options.outDir : options.outDir + "/";
    return folder + base + "_" + ImageNumber(frameNumber) + format;
}
