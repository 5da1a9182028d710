// ovalix --analyze: loads the trajectory through the one load path, goes to each frame in turn and writes one
// row of order per frame (and, when asked, one file of per-particle values per frame). The program's own lines
// go to standard error, so that standard output carries the table alone.
#include "headless/analyze_mode.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "core/exit_sequence.h"
#include "core/local_order.h"
#include "core/order.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "export/image_names.h"
#include "headless/render_options.h"
#include "io/file_open.h"
#include "io/file_series.h"
#include "io/frame_step.h"
#include "io/load.h"
#include "io/trajectory.h"

#ifndef OVALIX_VERSION
#define OVALIX_VERSION "unknown"
#endif

namespace {

const char* const ANALYZE_USAGE =
    "Usage: ovalix --analyze [options] FILE\n"
    "Writes one CSV row of order per frame of FILE (a configuration or a trajectory), without a window:\n"
    "frame,timestep,atoms,S,director_x,director_y,director_z,mean_local_S,domains,largest_domain_fraction,\n"
    "second_domain_fraction,smectic_tau,layer_spacing\n"
    "  --frames A:B              frames A to B (counted from 0, inclusive); default all\n"
    "  --local-order RC[:ANGLE[:MIN]]  neighbours within RC (default twice the largest half radius), domains\n"
    "                            within ANGLE degrees (20) of at least MIN particles (10)\n"
    "  --out FILE                the table as FILE, written whole at the end; default standard output\n"
    "  --per-particle DIR        also DIR/NAME_FFFF.csv per frame: label,species,local_S,domain\n"
    "  --help                    this text (also -h)\n"
    "The program's own lines go to standard error.\n";

const char* const TABLE_HEADER =
    "frame,timestep,atoms,S,director_x,director_y,director_z,mean_local_S,domains,largest_domain_fraction,"
    "second_domain_fraction,smectic_tau,layer_spacing\n";

struct AnalyzeOptions {
    std::string file;
    bool allFrames = true;
    int first = 0, last = 0;
    bool localOrderGiven = false;
    LocalOrderSettings localOrder;
    std::string out;          // empty: standard output
    std::string perParticle;  // empty: none
    bool help = false;
};

[[noreturn]] void Fail(const std::string& message) {
    std::cout << std::flush;
    std::cerr << "ovalix --analyze: " << message << std::endl;
    std::exit(1);
}

// A reader's fatal error has printed its lines (on standard error, see RunAnalyzeMode).
void StopAnalyzing(const std::string&) {
    std::cerr << "ovalix --analyze: stopped by the error above." << std::endl;
    std::exit(1);
}

bool WholeNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::atoi(text.c_str());
    return true;
}

// The value of the option at argv[i] (--name=VALUE or --name VALUE); false when it has none.
bool OptionValue(int argc, char** argv, int& i, const std::string& word, std::string& value) {
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) {
        value = word.substr(equals + 1);
        return true;
    }
    if (i + 1 >= argc) return false;
    value = argv[++i];
    return true;
}

// false with the one line that says what is wrong.
bool ParseAnalyzeOptions(int argc, char** argv, AnalyzeOptions& o, std::string& error) {
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        const std::string name = word.substr(0, word.find('='));
        if (word == "-h" || word == "--help") {
            o.help = true;
            continue;
        }
        if (word.rfind("--", 0) != 0) {
            if (!o.file.empty()) {
                error = "One file at a time: " + o.file + " and " + word + " were given.";
                return false;
            }
            o.file = word;
            continue;
        }
        std::string value;
        const bool known = name == "--frames" || name == "--local-order" || name == "--out" || name == "--per-particle";
        if (!known) {
            error = "Unknown option " + name + " (ovalix --analyze --help lists the options).";
            return false;
        }
        if (!OptionValue(argc, argv, i, word, value) || value.empty()) {
            error = name + " needs a value.";
            return false;
        }
        if (name == "--frames") {
            const std::size_t colon = value.find(':');
            if (colon == std::string::npos || !WholeNumber(value.substr(0, colon), o.first) ||
                !WholeNumber(value.substr(colon + 1), o.last) || o.last < o.first) {
                error = "--frames takes A:B (first and last frame counted from 0, A <= B), not " + value + ".";
                return false;
            }
            o.allFrames = false;
        } else if (name == "--local-order") {
            RenderOptions parsed;
            if (!SetLocalOrderOption(parsed, value, error)) return false;
            o.localOrderGiven = true;
            o.localOrder = parsed.localOrder;
        } else if (name == "--out") {
            o.out = value;
        } else {
            o.perParticle = value;
        }
    }
    if (o.file.empty() && !o.help) error = "No file to analyze: name a configuration or trajectory file.";
    return error.empty();
}

std::string FolderOf(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
}

// Everything that can be told before the trajectory is read.
void CheckAnalyzeInputs(const AnalyzeOptions& o) {
    if (!HasPattern(o.file) && (access(o.file.c_str(), R_OK) != 0 || IsFolderPath(o.file)))
        Fail("The file " + o.file + " cannot be read.");
    if (!o.out.empty() && (IsFolderPath(o.out) || access(FolderOf(o.out).c_str(), W_OK) != 0))
        Fail("The table " + o.out + " cannot be written there.");
    if (!o.perParticle.empty() && !IsFolderPath(o.perParticle))
        Fail("The folder " + o.perParticle + " for --per-particle does not exist.");
    if (!o.perParticle.empty() && access(o.perParticle.c_str(), W_OK) != 0)
        Fail("The folder " + o.perParticle + " for --per-particle is not writable.");
}

// A number as the table writes it: enough digits to read it back, nothing for a value the frame lacks.
std::string Number(double value) {
    if (!std::isfinite(value)) return "";
    if (value == 0) value = 0;  // -0 written as 0
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string FrameRow(int k, bool& toldNoOrder) {
    const OrderParameter order = FrameOrder();
    const FrameAnalysis& analysis = FrameLocalOrder();
    const SmecticResult& smectic = FrameSmectic();
    if (!order.exists && !toldNoOrder) {
        std::cerr << "ovalix --analyze: frame " << k
                  << " has no non-spherical particle: the order columns of such frames are left empty." << std::endl;
        toldNoOrder = true;
    }
    const double particles = static_cast<double>(analysis.particles);
    auto fraction = [&](std::size_t d) {
        return d < analysis.domainSizes.size() ? static_cast<double>(analysis.domainSizes[d]) / particles : 0.0;
    };
    std::string row = std::to_string(k) + "," + (frameStep >= 0 ? std::to_string(frameStep) : "") + "," +
                      std::to_string(atoms);
    if (!order.exists || !analysis.exists) return row + ",,,,,,0,0,0,,\n";
    row += "," + Number(order.S);
    for (int a = 0; a < 3; ++a) row += "," + Number(order.director[a]);
    row += "," + Number(analysis.meanLocalS) + "," + std::to_string(analysis.domainSizes.size()) + "," +
           Number(fraction(0)) + "," + Number(fraction(1));
    row += "," + (smectic.exists ? Number(smectic.tau) + "," + Number(smectic.spacing) : ",");
    return row + "\n";
}

// DIR/NAME_FFFF.csv: label, species, local_S and domain of every atom (local_S empty for a sphere).
void WritePerParticle(const AnalyzeOptions& o, int k) {
    const FrameAnalysis& analysis = FrameLocalOrder();
    std::string text = "label,species,local_S,domain\n";
    for (long long i = 0; i < atoms; ++i) {
        const double* row = &geom[static_cast<std::size_t>(GEOM_STRIDE * i)];
        text += Number(row[GEOM_LABEL]) + "," + Number(row[GEOM_TYPE]) + "," +
                Number(analysis.localS[static_cast<std::size_t>(i)]) + "," +
                Number(analysis.domain[static_cast<std::size_t>(i)]) + "\n";
    }
    const std::string folder = o.perParticle.back() == '/' ? o.perParticle : o.perParticle + "/";
    std::string error;
    if (!WriteTextFile(folder + FileNameOnly(OutputStem()) + "_" + ImageNumber(k) + ".csv", text, error)) Fail(error);
}

// "Analysed 12 of 100 frames", redrawn in place on a terminal, at most ten times a second.
void ShowProgress(int done, int total, bool last) {
    static auto shown = std::chrono::steady_clock::time_point{};
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - shown < std::chrono::milliseconds(100)) return;
    shown = now;
    std::fprintf(stderr, "\rAnalysed %d of %d frames%s", done, total, last ? "\n" : "");
    std::fflush(stderr);
}

}  // namespace

int RunAnalyzeMode(int argc, char** argv) {
    headless = true;
    fatalEnding = StopAnalyzing;
    quietEnding = [] { std::exit(1); };
    AnalyzeOptions options;
    std::string error;
    if (!ParseAnalyzeOptions(argc, argv, options, error)) Fail(error);
    if (options.help) {
        std::cout << ANALYZE_USAGE;
        return 0;
    }
    CheckAnalyzeInputs(options);
    std::streambuf* table = std::cout.rdbuf(std::cerr.rdbuf());  // the loaders' lines to standard error
    std::ostream tableOut(table);
    LoadScene(options.file);
    if (options.localOrderGiven) UseLocalOrderSettings(options.localOrder);
    if (options.allFrames) options.last = FrameCount() - 1;
    if (options.last > FrameCount() - 1)
        Fail("The frames " + std::to_string(options.first) + " to " + std::to_string(options.last) +
             " lie outside the trajectory, whose frames are 0 to " + std::to_string(FrameCount() - 1) + ".");
    const bool terminal = isatty(2) != 0;
    const int total = options.last - options.first + 1;
    std::string text = TABLE_HEADER;
    if (options.out.empty()) tableOut << text << std::flush;
    bool toldNoOrder = false;
    for (int k = options.first; k <= options.last; ++k) {
        GoToFrame(k);
        const std::string row = FrameRow(k, toldNoOrder);
        if (options.out.empty()) tableOut << row << std::flush;
        else text += row;
        if (!options.perParticle.empty()) WritePerParticle(options, k);
        if (terminal) ShowProgress(k - options.first + 1, total, k == options.last);
    }
    if (!options.out.empty() && !WriteTextFile(options.out, text, error)) Fail(error);
    CloseFile();
    std::cout.rdbuf(table);
    return 0;
}
