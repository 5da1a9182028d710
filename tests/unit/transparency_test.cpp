// Transparency: the opacity table and its switch, the far-to-near order, the ray-cast records, picking through
// atoms of opacity 0, and the configuration line and offscreen option that set it.
#include "core/transparency.h"

#include <string>
#include <vector>

#include "core/periodic_images.h"
#include "core/pick.h"
#include "core/raycast_records.h"
#include "core/scene.h"
#include "headless/render_options.h"
#include "io/config/config_reader.h"
#include "tests/support/test_support.h"

namespace {

using TransparencyTest = SceneTest;

std::vector<long long> AtomsOf(const std::vector<TransparentPiece>& pieces) {
    std::vector<long long> atomsDrawn;
    for (const TransparentPiece& piece : pieces) atomsDrawn.push_back(piece.atom);
    return atomsDrawn;
}

// Atoms of species 1 to 3 on the z axis: species 1 opaque, 2 at opacity 0.4, 3 at opacity 0.
void SetColumnOfAtoms() {
    species = 3;
    shape.assign(9, 1.0);
    color.assign(9, 0.5);
    const double rows[][3] = {{1, 1, 0}, {2, 2, 5}, {3, 2, -5}, {4, 3, 8}, {5, 2, 2}};  // label, species, z
    for (const auto& r : rows) {
        const double row[GEOM_STRIDE] = {r[0], r[1], 0, 0, r[2], 1, 0, 0, 0};
        geom.insert(geom.end(), row, row + GEOM_STRIDE);
        ++atoms;
    }
    SetSpeciesOpacity(2, 0.4);
    SetSpeciesOpacity(3, 0.0);
}

TEST_F(TransparencyTest, OpacitiesSwitchOrderAndRecords) {
    SetColumnOfAtoms();
    // The eye 50 units up the z axis, looking down it.
    const double modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -50, 1};
    const std::vector<double> centre = {0, 0, 0};
    EXPECT_TRUE(TransparencyDrawn());
    EXPECT_EQ(AtomsOf(TransparentAtomsFarToNear(modelview, centre)), (std::vector<long long>{2, 4, 1}));
    EXPECT_TRUE(AtomDrawnOpaque(0));
    EXPECT_FALSE(AtomDrawnOpaque(1));
    EXPECT_TRUE(AtomInvisible(3));
    EXPECT_EQ(TransparencyLine(), "Transparency on: species 2 at opacity 0.4, species 3 at opacity 0.");

    // The opaque records leave the transparent ones out; those carry their opacity as alpha.
    std::vector<RaycastRecord> records(5);
    EXPECT_EQ(FillRaycastRecords(records.data()), 1);
    EXPECT_EQ(records[0].colour[3], 255);
    EXPECT_EQ(FillRaycastRecordsOf({{4, 0}, {1, 0}}, records.data()), 2);
    EXPECT_EQ(records[0].centre[2], 0.0f);  // atom 5 sits at the mean position, z = 2
    EXPECT_EQ(records[1].colour[3], 102);

    // Periodic images along z: every transparent atom in every image, in one far-to-near order across them
    // (image by image, the nearest atom of a far image would be blended before the farthest of a near one).
    frameBox = {true, {-10, -10, -10}, {{20, 0, 0}, {0, 20, 0}, {0, 0, 20}}};
    imageCounts[2] = 3;
    std::vector<TransparentPiece> pieces = TransparentAtomsFarToNear(modelview, centre);
    ASSERT_EQ(pieces.size(), 9u);
    double previous = 1e300;
    for (const TransparentPiece& piece : pieces) {
        double shift[3];
        ImageShift(piece.image, shift);
        double depth = 50 - (entry(geom, GEOM_STRIDE * piece.atom + GEOM_X + 2, "geom") - 2 + shift[2]);  // the eye at z = 50, the mean z 2
        EXPECT_LE(depth, previous);
        previous = depth;
    }
    EXPECT_EQ(FillRaycastRecordsOf({pieces.front()}, records.data()), 1);
    EXPECT_EQ(records[0].centre[2], -27.0f);  // atom 3 at z = -5 in the image one edge down
    imageCounts[2] = 1;
    frameBox.exists = false;

    // Picking passes through an atom of opacity 0, not through a transparent one.
    const double eye[3] = {0, 0, 50}, down[3] = {0, 0, -1};
    EXPECT_EQ(PickAtom(eye, down, centre), 1);  // atom 4 (opacity 0, nearest) is skipped
    SetSpeciesOpacity(2, 0.0);
    EXPECT_EQ(PickAtom(eye, down, centre), 0);

    long long version = particleDataVersion;
    SetTransparencyOn(false);
    EXPECT_GT(particleDataVersion, version);  // the ray-cast records are filled again
    EXPECT_EQ(TransparencyLine(), "Transparency off.");
    EXPECT_TRUE(TransparentAtomsFarToNear(modelview, centre).empty());
    EXPECT_EQ(PickAtom(eye, down, centre), 3);
    EXPECT_EQ(FillRaycastRecords(records.data()), 5);
    for (const RaycastRecord& record : records) EXPECT_EQ(record.colour[3], 255);

    ResetTransparency();
    EXPECT_FALSE(TransparencyConfigured());
    EXPECT_EQ(TransparencyLine().rfind("No transparency is configured", 0), 0u);
}

TEST_F(TransparencyTest, ConfigurationLineAndOffscreenOption) {
    std::string base = "dumpfile x.dump\nspecies 2\nhalf_radii 1 1 1 1\nhalf_radii 2 1 1 1\nbond_vector 1 1 0 0 0\n"
                       "color 1 1 0 0\ncolor 2 0 1 0\nbackground 0 0 0\n";
    std::string name = WriteTempFile("clear.cfg", base + "transparency 2 0.25\ntransparency 1 1\n");
    ConsoleRun run = RunCaptured([&] { ReadConfig(name); });
    ASSERT_FALSE(run.exited) << run.output;
    EXPECT_NE(run.output.find("Species 2 will be drawn with opacity 0.25.\n"), std::string::npos) << run.output;
    EXPECT_EQ(SpeciesOpacity(2), 0.25);
    EXPECT_EQ(SpeciesOpacity(1), 1.0);
    std::string plain = WriteTempFile("plain.cfg", base);
    ASSERT_FALSE(RunCaptured([&] { ReadConfig(plain); }).exited);
    EXPECT_FALSE(TransparencyConfigured());  // a reload without the line draws everything opaque
    for (const std::string line : {"transparency 2\n", "transparency 0 0.5\n", "transparency 2 1.5\n",
                                   "transparency 2 -0.1\n", "transparency 2 0.5 1\n", "transparency 2x 0.5\n"}) {
        std::string broken = WriteTempFile("bad.cfg", base + line);
        ConsoleRun refused = RunCaptured([&] { ReadConfig(broken); }, "\n");
        EXPECT_TRUE(refused.exited) << line;
        EXPECT_NE(refused.output.find("transparency takes a species number"), std::string::npos) << refused.output;
    }

    const char* good[] = {"--transparency", "2:0.4", "--transparency=3:0", "run.cfg"};
    RenderOptions options;
    std::string error;
    ASSERT_TRUE(ParseRenderOptions(4, good, options, error)) << error;
    EXPECT_EQ(options.transparentSpecies, (std::vector<int>{2, 3}));
    EXPECT_EQ(options.transparentOpacity, (std::vector<double>{0.4, 0.0}));
    for (const std::string word : {"--transparency=2", "--transparency=0:0.5", "--transparency=2:1.1",
                                   "--transparency=2:x", "--transparency=:0.5"}) {
        const char* argv[] = {word.c_str(), "run.cfg"};
        RenderOptions refused;
        EXPECT_FALSE(ParseRenderOptions(2, argv, refused, error)) << word;
        EXPECT_EQ(error, "--transparency takes SPECIES:OPACITY, a species number from 1 and an opacity from 0 to 1, "
                         "such as 2:0.4, not " + word.substr(15) + ".");
    }
}

}  // namespace
