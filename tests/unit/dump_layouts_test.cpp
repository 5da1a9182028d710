// Real LAMMPS dumps in their layouts, and the same files cut at every byte of their last frame.
#include <unistd.h>  // Required for: truncate

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/dump/dump_reader.h"
#include "io/dump/file_shapes.h"
#include "tests/support/test_support.h"
#include "tests/unit/test_data.h"

namespace {

using DumpLayouts = SceneTest;

ConsoleRun OpenPath(const std::string& path, int speciesCount) {
    inname = path;
    species = speciesCount;
    return RunCaptured([] { OpenQuatFile(); });
}

std::vector<double> FrameRows(int which) {
    frame = which;
    infile.clear();
    ConsoleRun run = RunCaptured([] { ReadQuatFrame(); });
    EXPECT_FALSE(run.exited) << run.output;
    return geom;
}

std::vector<std::vector<double>> EveryFrame(const std::string& path, int speciesCount) {
    ConsoleRun run = OpenPath(path, speciesCount);
    EXPECT_FALSE(run.exited) << run.output;
    std::vector<std::vector<double>> frames;
    for (int k = 0; k < static_cast<int>(counter.size()); ++k) frames.push_back(FrameRows(k));
    return frames;
}

TEST_F(DumpLayouts, ThreeLayoutsOfOneRunGiveTheSameScene) {
    const std::string canonical = DataFile("lammps/gb_nematic.dump");
    const std::string scaled = DataFile("lammps/gb_nematic_scaled.dump");
    const std::string mass = DataFile("lammps/gb_nematic_mass.dump");
    if (canonical.empty() || scaled.empty() || mass.empty()) GTEST_SKIP() << "shared test data not found";
    std::vector<std::vector<double>> reference = EveryFrame(canonical, 2);
    ASSERT_EQ(reference.size(), 11u);
    ASSERT_EQ(atoms, 3200);
    // The mass layout holds the same numbers in other columns: the rows are the same doubles.
    ForgetHalfRadii();
    shape.assign(6, 0.0);
    EXPECT_EQ(EveryFrame(mass, 2), reference);
    // Its shape columns give the half radii of both species, each species' atoms alike.
    EXPECT_EQ(shape, (std::vector<double>{1.5, 0.5, 0.5, 1.3, 0.45, 0.45}));
    // Scaled positions are written with six digits of the box fraction: they agree to that precision.
    std::vector<std::vector<double>> fromScaled = EveryFrame(scaled, 2);
    ASSERT_EQ(fromScaled.size(), reference.size());
    const double length[3] = {2.5599815682654167e+01, 2.2999834402384600e+01, 2.2999834402384600e+01};
    double worst = 0;
    for (std::size_t f = 0; f < reference.size(); ++f) {
        for (int i = 0; i < atoms; ++i) {
            const double* a = &reference[f][static_cast<std::size_t>(i) * GEOM_STRIDE];
            const double* b = &fromScaled[f][static_cast<std::size_t>(i) * GEOM_STRIDE];
            for (int k = 0; k < GEOM_STRIDE; ++k) {
                if (k < GEOM_X || k >= GEOM_QW) {
                    ASSERT_EQ(a[k], b[k]) << "frame " << f << " atom " << i + 1 << " value " << k;
                    continue;
                }
                // Half a unit of the sixth digit of each, and a wrapped atom may sit at the other face.
                double difference = std::fabs(a[k] - b[k]);
                difference = std::min(difference, std::fabs(difference - length[k - GEOM_X]));
                worst = std::max(worst, difference);
                ASSERT_LE(difference, 5e-6 * length[k - GEOM_X] + 5e-6 * std::fabs(a[k]))
                    << "frame " << f << " atom " << i + 1 << " value " << k;
            }
        }
    }
    EXPECT_GT(worst, 0.0) << "the scaled file is read as scaled";
}

// The offset at which the n-th line (from 0) after `from` starts.
std::size_t LineStart(const std::string& text, std::size_t from, int n) {
    std::size_t at = from;
    for (int k = 0; k < n; ++k) at = text.find('\n', at) + 1;
    return at;
}

// Words of a line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    for (;;) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string::npos) return words;
        std::size_t end = line.find_first_of(" \t\r", at);
        words.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) return words;
        at = end;
    }
}

// Cuts a copy of the file at each chosen byte of its last frame (from the end backwards) and checks:
// the whole frames are kept and read as in the whole file; the cut frame is left out with the line that
// says where the file ends, unless only the last line's line feed, or the tail of its last number, is gone
// (a line without its line feed is read as whole: the shown frame then holds that shorter number).
void CheckCuts(const std::string& text, int speciesCount, const std::vector<std::size_t>& cuts) {
    const std::string path = WriteTempFile("cut.dump", text);
    std::vector<std::vector<double>> whole = EveryFrame(path, speciesCount);
    const int frames = static_cast<int>(whole.size());
    ASSERT_GE(frames, 2);
    const std::size_t lastFrame = static_cast<std::size_t>(counter.back());
    const std::size_t countLineEnd = text.find('\n', LineStart(text, text.find("ITEM: NUMBER OF ATOMS", lastFrame), 1));
    const std::size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
    const std::vector<std::string> lastWords = Words(text.substr(lastLine, text.size() - 1 - lastLine));
    // The message names the frame's step once the file holds the whole line that gives it.
    const std::size_t stepLine = LineStart(text, text.find("ITEM: TIMESTEP", lastFrame), 1);
    const std::string stepText = text.substr(stepLine, text.find('\n', stepLine) - stepLine);
    const std::string step = Words(stepText).at(0);
    for (std::size_t cut : cuts) {
        const std::string cutMessage = "Frame " + std::to_string(frames - 1) +
                                       (cut > stepLine + stepText.size() ? " (step " + step + ")" : "") +
                                       " is incomplete (the file ends ";
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(cut)), 0);
        SCOPED_TRACE("cut at byte " + std::to_string(cut) + " of " + std::to_string(text.size()));
        ConsoleRun run = OpenPath(path, speciesCount);
        ASSERT_FALSE(run.exited) << run.output;
        const int shown = static_cast<int>(counter.size());
        const std::vector<std::string> cutWords = Words(text.substr(lastLine, cut > lastLine ? cut - lastLine : 0));
        const bool linesComplete = cut > lastLine && cutWords.size() == lastWords.size();
        if (!linesComplete) {
            ASSERT_EQ(shown, frames - 1) << run.output;
        }
        if (shown == frames - 1) {
            const bool message = run.output.find(cutMessage) != std::string::npos;
            ASSERT_EQ(message, cut != lastFrame) << run.output;
            if (message) {
                const char* where = cut <= countLineEnd ? "before its number of atoms) and is left out.\n"
                                                        : "inside it) and is left out.\n";
                ASSERT_NE(run.output.find(cutMessage + where), std::string::npos) << run.output;
            }
            ASSERT_EQ(FrameRows(frames - 2), whole[static_cast<std::size_t>(frames - 2)]);
            continue;
        }
        // Kept whole: every value but the last one written is that of the whole file.
        ASSERT_EQ(shown, frames) << run.output;
        std::vector<double> rows = FrameRows(frames - 1);
        std::vector<double> expected = whole.back();
        std::size_t lastValue = expected.size() - GEOM_STRIDE + std::min<std::size_t>(lastWords.size(), GEOM_STRIDE) - 1;
        if (lastWords.size() <= GEOM_STRIDE) expected[lastValue] = std::strtod(cutWords.back().c_str(), nullptr);
        ASSERT_EQ(rows, expected);
    }
}

// Every byte of the last frame's first and last `span` bytes, and every `stride`-th byte between.
std::vector<std::size_t> CutsOfLastFrame(std::size_t lastFrame, std::size_t size, std::size_t span,
                                         std::size_t stride) {
    std::vector<std::size_t> cuts;
    for (std::size_t cut = size; cut-- > lastFrame;) {
        bool nearAnEnd = cut < lastFrame + span || cut + span >= size;
        if (nearAnEnd || (cut - lastFrame) % stride == 0) cuts.push_back(cut);
    }
    return cuts;
}

// The chain's last frame is cut at every byte; the rods' at every byte of its headers, first and last atom
// lines, and every 4999th byte between. One test per file, so that they run side by side.
void CheckRealDumpCutInsideItsLastFrame(const char* file) {
    const std::string path = DataFile(file);
    if (path.empty()) GTEST_SKIP() << "shared test data not found";
    SCOPED_TRACE(file);
    const std::string text = FileBytes(path);
    const std::size_t lastFrame = text.rfind("ITEM: TIMESTEP");
    const bool small = text.size() < 400000;
    CheckCuts(text, 2, CutsOfLastFrame(lastFrame, text.size(), small ? text.size() : 300, 4999));
}

TEST_F(DumpLayouts, RealChainDumpCutInsideItsLastFrame) { CheckRealDumpCutInsideItsLastFrame("lammps/chain.dump"); }

TEST_F(DumpLayouts, RealRodsDumpCutInsideItsLastFrame) { CheckRealDumpCutInsideItsLastFrame("lammps/gb_nematic.dump"); }

TEST_F(DumpLayouts, RealScaledRodsDumpCutInsideItsLastFrame) {
    CheckRealDumpCutInsideItsLastFrame("lammps/gb_nematic_scaled.dump");
}

TEST_F(DumpLayouts, RealRodsWithMassDumpCutInsideItsLastFrame) {
    CheckRealDumpCutInsideItsLastFrame("lammps/gb_nematic_mass.dump");
}

TEST_F(DumpLayouts, WrittenDumpsCutAtEveryByteOfTheirLastFrame) {
    const std::string tilted = "ITEM: TIMESTEP\n10\nITEM: NUMBER OF ATOMS\n3\nITEM: BOX BOUNDS xy xz yz pp pp pp\n"
                               "-1 12 2\n0 5.5 -1\n0 4 0.5\nITEM: ATOMS type id xs ys zs quatk quatj quati quatw "
                               "shapex shapey shapez\n";
    const std::string atomsText = "1 1 0.5 0.5 0.5 0 0 0 1 3 1 1\n2 2 0.125 -0.25 1.5 0.5 0.5 0.5 0.5 2 2 2\n"
                                  "1 3 1e-2 2.5E-1 -7.5e-1 -1 0 0 0 3 1 1\n";
    const std::string named = tilted + atomsText;
    CheckCuts(named + named + named, 2, CutsOfLastFrame(2 * named.size(), 3 * named.size(), named.size(), 1));
    ResetScene();
    // A bare header with lines of eleven numbers, CRLF line ends and a last frame with extra headers.
    std::string bare;
    for (int step = 0; step < 3; ++step)
        bare += "ITEM: UNITS\r\nlj\r\nITEM: TIMESTEP\r\n" + std::to_string(step) +
                "\r\nITEM: NUMBER OF ATOMS\r\n2\r\nITEM: ATOMS\r\n1 1 1.5 2.5 3.5 1 0 0 0 7 7\r\n"
                "2 2 -1.5 0 12.25 0 0 0.6 0.8 7 7\r\n";
    CheckCuts(bare, 2, CutsOfLastFrame(bare.rfind("ITEM: UNITS"), bare.size(), bare.size(), 1));
}

}  // namespace
