// View files: a versioned text of named lines, numbers written so that they read back exactly.
#include "io/config/view_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "core/periodic_images.h"
#include "core/scene.h"
#include "io/file_open.h"

namespace {

const char* const VIEW_MAGIC = "ovalix-view";

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string NumberLine(const char* key, const double* values, int count) {
    std::string line = key;
    for (int i = 0; i < count; ++i) line += " " + Number(values[i]);
    return line + "\n";
}

// The words of a line after its key; false unless the key matches and exactly `count` numbers follow.
bool ReadNumbers(const std::string& line, const char* key, int count, double* values) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word != key) return false;
    for (int i = 0; i < count; ++i) {
        if (!(words >> word)) return false;
        auto [end, problem] = std::from_chars(word.data(), word.data() + word.size(), values[i]);
        if (problem != std::errc() || end != word.data() + word.size() || !(values[i] - values[i] == 0)) return false;
    }
    return !(words >> word);
}

bool ReadSwitch(const std::string& line, const char* key, double& value) {
    return ReadNumbers(line, key, 1, &value) && (value == 0 || value == 1);
}

// The advice for a view file that cannot be used: the window names its key, a batch job only the window.
std::string SaveAgain() {
    return headless ? "Save the view again in the Ovalix window." : "Save the view again with the key V.";
}

// A version 2 file's box, slab and hidden species lines; a version 1 file leaves them off.
bool ReadLookInside(const std::string& boxLine, const std::string& slabLine, const std::string& hiddenLine,
                    ViewSettings& view) {
    double box = 0;
    if (!ReadSwitch(boxLine, "box", box) || !ReadNumbers(slabLine, "slab", 6, view.slab)) return false;
    if (!(view.slab[0] == 0 || view.slab[0] == 1) || !(view.slab[5] > 0)) return false;
    view.box = box == 1;
    std::istringstream words(hiddenLine);
    std::string word;
    if (!(words >> word) || word != "hidden_species") return false;
    view.hiddenSpecies.clear();
    while (words >> word) {
        int n = 0;
        auto [end, problem] = std::from_chars(word.data(), word.data() + word.size(), n);
        if (problem != std::errc() || end != word.data() + word.size() || n < 1) return false;
        view.hiddenSpecies.push_back(n);
    }
    return true;
}

// A version 3 file's images and wrap lines.
bool ReadPeriodic(const std::string& imagesLine, const std::string& wrapLine, ViewSettings& view) {
    double counts[3] = {0, 0, 0}, wrap = 0;
    if (!ReadNumbers(imagesLine, "images", 3, counts) || !ReadSwitch(wrapLine, "wrap", wrap)) return false;
    for (int k = 0; k < 3; ++k) {
        if (!(counts[k] >= 1 && counts[k] <= 99) || counts[k] != std::floor(counts[k])) return false;
        view.images[k] = static_cast<int>(counts[k]);
    }
    view.wrap = wrap == 1;
    view.periodicSaved = true;
    return ValidImageCounts(view.images);
}

// A version 3 file's ambient occlusion line: on (0 or 1) and the strength.
bool ReadOcclusion(const std::string& line, ViewSettings& view) {
    return ReadNumbers(line, "ambient_occlusion", 2, view.occlusion) && (view.occlusion[0] == 0 || view.occlusion[0] == 1) &&
           view.occlusion[1] >= 0 && view.occlusion[1] <= 1;
}

}  // namespace

std::string ViewFileText(const ViewSettings& view) {
    double light0[4], light1[4];
    for (int i = 0; i < 4; ++i) light0[i] = view.light0[i], light1[i] = view.light1[i];
    std::string text = std::string(VIEW_MAGIC) + " " + std::to_string(VIEW_FILE_VERSION) + "\n";
    text += NumberLine("modelview", view.modelview, 16);
    text += NumberLine("clip", view.clip, 2);
    text += NumberLine("light0", light0, 4);
    text += NumberLine("light1", light1, 4);
    text += "light_mode " + std::to_string(view.lightMode) + "\n";
    text += std::string("fog ") + (view.fog ? "1" : "0") + "\n";
    text += std::string("overlay ") + (view.overlay ? "1" : "0") + "\n";
    text += std::string("box ") + (view.box ? "1" : "0") + "\n";
    text += NumberLine("slab", view.slab, 6);
    text += "hidden_species";
    for (int n : view.hiddenSpecies) text += " " + std::to_string(n);
    text += std::string("\ntransparency ") + (view.transparency ? "1" : "0");
    text += "\nimages " + std::to_string(view.images[0]) + " " + std::to_string(view.images[1]) + " " +
            std::to_string(view.images[2]) + "\n";
    text += std::string("wrap ") + (view.wrap ? "1" : "0") + "\n";
    return text + NumberLine("ambient_occlusion", view.occlusion, 2);
}

bool ReadViewFile(const std::string& name, ViewSettings& view, std::string& error) {
    std::ifstream file;
    if (!OpenForReading(file, name, std::ios::binary)) {
        error = "The view file " + name + " cannot be read.";
        return false;
    }
    std::vector<std::string> lines;
    std::string line;
    while (lines.size() < 15 && std::getline(file, line)) lines.push_back(line);
    std::istringstream head(lines.empty() ? "" : lines[0]);
    std::string magic, version;
    head >> magic >> version;
    if (magic != VIEW_MAGIC) {
        error = "The file " + name + " is no Ovalix view file (its first line is not \"" + VIEW_MAGIC + " " +
                std::to_string(VIEW_FILE_VERSION) + "\").";
        return false;
    }
    if (version != std::to_string(VIEW_FILE_VERSION) && version != "1" && version != "2") {
        error = "The view file " + name + " is of version " + version + "; this Ovalix reads versions 1 to " +
                std::to_string(VIEW_FILE_VERSION) + " only. " + SaveAgain();
        return false;
    }
    double light0[4], light1[4], mode = 0, fog = 0, overlay = 0, transparency = 1;
    const std::size_t lineCount = version == "1" ? 8 : version == "2" ? 11 : 15;
    view.periodicSaved = false;
    bool ok = lines.size() == lineCount && ReadNumbers(lines[1], "modelview", 16, view.modelview) &&
              ReadNumbers(lines[2], "clip", 2, view.clip) && view.clip[0] > 0 && view.clip[1] >= 0 &&
              ReadNumbers(lines[3], "light0", 4, light0) && ReadNumbers(lines[4], "light1", 4, light1) &&
              ReadSwitch(lines[5], "light_mode", mode) && ReadSwitch(lines[6], "fog", fog) &&
              ReadSwitch(lines[7], "overlay", overlay) && file.peek() == EOF &&
              (lineCount == 8 || ReadLookInside(lines[8], lines[9], lines[10], view)) &&
              (lineCount < 15 || (ReadSwitch(lines[11], "transparency", transparency) &&
                                  ReadPeriodic(lines[12], lines[13], view) && ReadOcclusion(lines[14], view)));
    if (!ok) {
        error = "The view file " + name + " is damaged: it needs the lines modelview (16 numbers), clip (near "
                "above 0, far), light0 and light1 (4 each), light_mode, fog and overlay (0 or 1 each), box (0 or 1), slab (on, normal, "
                "offset, width), hidden_species (species numbers), transparency (0 or 1), images (three odd counts), wrap "
                "(0 or 1) and ambient_occlusion (0 or 1, strength 0 to 1). " + SaveAgain();
        return false;
    }
    for (int i = 0; i < 4; ++i) view.light0[i] = static_cast<float>(light0[i]), view.light1[i] = static_cast<float>(light1[i]);
    view.lightMode = static_cast<int>(mode);
    view.fog = fog == 1;
    view.overlay = overlay == 1;
    view.transparency = transparency == 1;  // older files: as the configuration has it
    if (lineCount < 15) view.occlusion[0] = -1;  // versions 1 and 2: as the configuration says
    if (lineCount == 8) {  // version 1: nothing cut away, no box
        view.box = false;
        const double none[6] = {0, 0, 0, 1, 0, 1};
        std::copy(none, none + 6, view.slab);
        view.hiddenSpecies.clear();
    }
    return true;
}
