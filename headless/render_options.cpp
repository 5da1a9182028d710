// The render mode's options: one table of names, each with the function that checks and stores its value.
#include "headless/render_options.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <vector>

#include "core/periodic_images.h"
#include "core/scene.h"
#include "export/image_names.h"
#include "io/file_series.h"

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

bool SetBox(RenderOptions& o, const std::string&, std::string&) {
    o.box = true;
    return true;
}

// Comma-separated words of text, each handed to take; false at the first it refuses, or an empty word.
template <typename Take>
bool EachWord(const std::string& text, Take take) {
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (word.empty() || !take(word)) return false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool SetSlab(RenderOptions& o, const std::string& value, std::string& error) {
    int count = 0;
    bool ok = EachWord(value, [&](const std::string& word) {
        if (count >= 5) return false;
        double& number = o.slab[count++];
        auto [end, problem] = std::from_chars(word.data(), word.data() + word.size(), number);
        return problem == std::errc() && end == word.data() + word.size() && number - number == 0;  // finite
    });
    double normal2 = o.slab[0] * o.slab[0] + o.slab[1] * o.slab[1] + o.slab[2] * o.slab[2];
    if (!ok || count != 5 || !(normal2 > 0) || !(o.slab[4] > 0)) {
        error = "--slab takes NX,NY,NZ,OFFSET,WIDTH: a normal not 0, the centre's offset along it and a width above "
                "0, not " + value + ".";
        return false;
    }
    o.slabGiven = true;
    return true;
}

bool SetHideSpecies(RenderOptions& o, const std::string& value, std::string& error) {
    o.hiddenSpecies.clear();
    bool ok = EachWord(value, [&](const std::string& word) {
        int n = 0;
        if (!WholeNumber(word, n) || n < 1) return false;
        o.hiddenSpecies.push_back(n);
        return true;
    });
    if (!ok) {
        error = "--hide-species takes species numbers from 1, separated by commas, such as 2,3, not " + value + ".";
        return false;
    }
    return true;
}

// A number that is the whole text, as from_chars reads it.
bool WholeReal(std::string_view text, double& value) {
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && problem == std::errc() && end == text.data() + text.size();
}

bool SetColourBy(RenderOptions& o, const std::string& value, std::string& error) {
    std::size_t colon = value.find(':');
    o.colourBy = value.substr(0, colon);
    o.colourByWholeRun = colon != std::string::npos && value.compare(colon, std::string::npos, ":all") == 0;
    o.colourByFixed = colon != std::string::npos && !o.colourByWholeRun;
    bool ok = !o.colourBy.empty();
    if (ok && o.colourByFixed) {
        std::size_t second = value.find(':', colon + 1);
        ok = second != std::string::npos &&
             WholeReal(std::string_view(value).substr(colon + 1, second - colon - 1), o.colourByLow) &&
             WholeReal(std::string_view(value).substr(second + 1), o.colourByHigh) && o.colourByLow < o.colourByHigh;
    }
    if (!ok) {
        error = "--colour-by takes the name of a quantity, or NAME:MIN:MAX with MIN below MAX, such as c_pe:-5:1, or "
                "NAME:all for the range over every frame, not " + value + ".";
        return false;
    }
    return true;
}

bool SetUnwrap(RenderOptions& o, const std::string&, std::string&) {
    o.unwrap = true;
    return true;
}

bool SetImages(RenderOptions& o, const std::string& value, std::string& error) {
    o.imagesGiven = ParseImageCounts(value, o.images);
    if (!o.imagesGiven) {
        error = "--images takes three odd counts from 1 to 99, the images along a, b and c, such as 3x3x1, not " + value + ".";
        return false;
    }
    return true;
}

// --ambient-occlusion or --ambient-occlusion=STRENGTH.
bool SetAmbientOcclusion(RenderOptions& o, const std::string& value, std::string& error) {
    o.ambientOcclusion = true;
    if (value.empty()) return true;
    auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), o.occlusionStrength);
    if (problem != std::errc() || end != value.data() + value.size() || !(o.occlusionStrength >= 0) ||
        !(o.occlusionStrength <= 1)) {
        error = "--ambient-occlusion takes no value or =STRENGTH from 0 to 1, not " + value + ".";
        return false;
    }
    return true;
}

bool SetWrap(RenderOptions& o, const std::string&, std::string&) {
    o.wrap = true;
    return true;
}

bool SetFixedCentre(RenderOptions& o, const std::string&, std::string&) {
    o.fixedCentre = true;
    return true;
}

bool SetTransparency(RenderOptions& o, const std::string& value, std::string& error) {
    std::size_t colon = value.find(':');
    int n = 0;
    double opacity = -1;
    if (colon == std::string::npos || !WholeNumber(std::string_view(value).substr(0, colon), n) || n < 1 ||
        !WholeReal(std::string_view(value).substr(colon + 1), opacity) || !(opacity >= 0 && opacity <= 1)) {
        error = "--transparency takes SPECIES:OPACITY, a species number from 1 and an opacity from 0 to 1, such as "
                "2:0.4, not " + value + ".";
        return false;
    }
    o.transparentSpecies.push_back(n);
    o.transparentOpacity.push_back(opacity);
    return true;
}

}  // namespace

bool SetLocalOrderOption(RenderOptions& o, const std::string& value, std::string& error) {
    const std::string problem = ParseLocalOrder(value, ':', o.localOrder);
    if (!problem.empty()) {
        error = "--local-order " + problem + ", as RC[:ANGLE[:MIN]] such as 3:20:10, not " + value + ".";
        return false;
    }
    o.localOrderGiven = true;
    return true;
}

namespace {

bool SetHelp(RenderOptions& o, const std::string&, std::string&) {
    o.help = true;
    return true;
}

bool SetVersion(RenderOptions& o, const std::string&, std::string&) {
    o.version = true;
    return true;
}

bool SetFit(RenderOptions& o, const std::string&, std::string&) {
    o.fit = true;
    return true;
}

bool SetSupersample(RenderOptions& o, const std::string& value, std::string& error) {
    if (!WholeNumber(value, o.supersample) || o.supersample < 1 || o.supersample > MAX_SUPERSAMPLE) {
        error = "--supersample takes a whole number from 1 to " + std::to_string(MAX_SUPERSAMPLE) + ", not " + value + ".";
        return false;
    }
    return true;
}

bool SetThreads(RenderOptions& o, const std::string& value, std::string& error) {
    if (!WholeNumber(value, o.threads) || o.threads < 1 || o.threads > MAX_THREADS) {
        error = "--threads takes a whole number from 1 to " + std::to_string(MAX_THREADS) + ", not " + value + ".";
        return false;
    }
    return true;
}

bool SetGpu(RenderOptions& o, const std::string&, std::string& error) {
    if (o.device == RenderDevice::Cpu) {
        error = "--gpu and --cpu exclude each other.";
        return false;
    }
    o.device = RenderDevice::Gpu;
    return true;
}

bool SetCpu(RenderOptions& o, const std::string&, std::string& error) {
    if (o.device == RenderDevice::Gpu) {
        error = "--gpu and --cpu exclude each other.";
        return false;
    }
    o.device = RenderDevice::Cpu;
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
    {"--fit", nullptr, SetFit, "fit the start-up frame into the picture, keeping the rotation (key z)"},
    {"--supersample", "K", SetSupersample, "draw K x K times larger (1 to 4) and average down; default 1"},
    {"--threads", "N", SetThreads, "threads reading frames and writing images; 1: one thing at a time; default one per core"},
    {"--gpu", nullptr, SetGpu, "draw on a GPU's EGL device, or fail"},
    {"--cpu", nullptr, SetCpu, "draw in software (Mesa); default: a GPU if there is one, else software"},
    {"--box", nullptr, SetBox, "draw the simulation box (key b)"},
    {"--slab", "NX,NY,NZ,OFFSET,WIDTH", SetSlab, "only atoms in the slab across the normal NX,NY,NZ (key x)"},
    {"--hide-species", "N,...", SetHideSpecies, "leave these species out (keys 1 to 9)"},
    {"--colour-by", "NAME[:MIN:MAX|:all]", SetColourBy,
     "colours from a per-particle quantity (key C), range fixed if given or over every frame with all"},
    {"--unwrap", nullptr, SetUnwrap, "positions unwrapped with the image flags ix iy iz"},
    {"--fixed-centre", nullptr, SetFixedCentre, "every frame centred on frame 0's box centre, not its own mean (key O)"},
    {"--ambient-occlusion", nullptr, SetAmbientOcclusion,
     "darken each particle by the ellipsoids around it (key o); =S: strength 0 to 1, default 0.6"},
    {"--transparency", "SPECIES:OPACITY", SetTransparency, "draw a species with this opacity, 0 to 1; repeatable (key T)"},
    {"--images", "NXxNYxNZ", SetImages, "periodic images along a, b, c, odd counts centred on the box (key I)"},
    {"--wrap", nullptr, SetWrap, "positions wrapped into the box; excludes --unwrap (key W)"},
    {"--local-order", "RC[:ANGLE[:MIN]]", SetLocalOrderOption,
     "local_S and domain: neighbours within RC, domains within ANGLE degrees (20), of MIN particles (10)"},
    {"--help", nullptr, SetHelp, "this text (also -h)"},
    {"--version", nullptr, SetVersion, "the version of Ovalix"},
};

// Options that may be given more than once, each time adding to the ones before.
const char* const REPEATABLE_OPTIONS[] = {"--transparency"};

bool Repeatable(const std::string& name) {
    return std::any_of(std::begin(REPEATABLE_OPTIONS), std::end(REPEATABLE_OPTIONS),
                       [&name](const char* repeatable) { return name == repeatable; });
}

// Other spellings of an option's name, taken as the option itself.
const char* const OPTION_SPELLINGS[][2] = {{"--color-by", "--colour-by"}};

std::string OptionName(const std::string& word) {
    for (const auto& spelling : OPTION_SPELLINGS)
        if (word == spelling[0]) return spelling[1];
    return word;
}

const RenderOption* FindOption(const std::string& name) {
    for (const RenderOption& option : renderOptions)
        if (name == option.name) return &option;
    return nullptr;
}

// Options that do nothing in the combination given: refused rather than silently ignored.
bool CheckCombination(const RenderOptions& o, const std::vector<std::string>& given, std::string& error) {
    auto has = [&given](const char* name) { return std::find(given.begin(), given.end(), name) != given.end(); };
    if (has("--fps") && o.movie.empty()) error = "--fps sets the frame rate of a movie: it needs --movie.";
    else if (has("--format") && !o.movie.empty()) error = "--format is for image files; --movie writes an .mp4 movie.";
    else if (has("--out") && !o.movie.empty()) error = "--out is the folder of image files; --movie names its own file.";
    else if (has("--wrap") && has("--unwrap")) error = "--wrap and --unwrap exclude each other.";
    return error.empty();
}

}  // namespace

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error) {
    std::vector<std::string> given;
    for (int i = 0; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "-h") word = "--help";  // the short form every command answers
        std::string value;
        std::size_t equals = word.find('=');
        bool inlineValue = word.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            value = word.substr(equals + 1);
            word.resize(equals);
        }
        if (word.rfind("--", 0) != 0 || word == "--") {
            if (word == "--" && i + 1 < argc) word = argv[++i];
            if (options.file.empty()) options.file = word;
            options.files.push_back(word);
            continue;
        }
        word = OptionName(word);
        const RenderOption* option = FindOption(word);
        if (option == nullptr) {
            error = "Unknown option " + word + ".";
            return false;
        }
        if (!Repeatable(word) && std::find(given.begin(), given.end(), word) != given.end()) {
            error = word + " is given twice.";
            return false;
        }
        given.push_back(word);
        if (option->value != nullptr && !inlineValue) {
            if (i + 1 >= argc) {
                error = word + " needs a value: " + option->value + ".";
                return false;
            }
            value = argv[++i];
        }
        if (!option->apply(options, value, error)) return false;
    }
    if (!CheckCombination(options, given, error)) return false;
    if (options.files.size() > 1 && std::any_of(options.files.begin(), options.files.end(), HasPattern)) {
        error = "A pattern names a whole series: give it alone, not beside other files.";
        return false;
    }
    if (options.file.empty() && !options.help && !options.version) {
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
    std::string text = "Usage: ovalix --render [options] FILE...\n"
                       "Draws every frame of FILE without a window and writes one image per frame.\n"
                       "Several trajectory files, or a quoted pattern such as 'dump.*.gz', are one trajectory\n"
                       "whose frames follow the MD step of each file's first frame.\n";
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
    const std::string stem = OutputStem();
    std::string base = stem.substr(stem.find_last_of('/') == std::string::npos ? 0 : stem.find_last_of('/') + 1);
    std::string folder = options.outDir.back() == '/' ? options.outDir : options.outDir + "/";
    return folder + base + "_" + ImageNumber(frameNumber) + format;
}
