// Command line of the render mode, its frame range and image names, and the view file it reads.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "headless/render_options.h"
#include "headless/supersample.h"
#include "core/scene.h"
#include "export/image_file.h"
#include "io/config/view_file.h"
#include "tests/support/test_support.h"

namespace {

bool Parse(std::vector<const char*> args, RenderOptions& options, std::string& error) {
    return ParseRenderOptions(static_cast<int>(args.size()), args.data(), options, error);
}

class RenderOptionsTest : public SceneTest {};

TEST_F(RenderOptionsTest, DefaultsAndEveryOption) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"run.cfg"}, o, error)) << error;
    EXPECT_EQ(o.file, "run.cfg");
    EXPECT_TRUE(o.allFrames);
    EXPECT_EQ(o.width, 1024);
    EXPECT_EQ(o.height, 640);
    EXPECT_EQ(o.format, ".png");
    EXPECT_EQ(o.fps, 25);
    EXPECT_TRUE(o.outDir.empty() && o.viewFile.empty() && o.movie.empty());

    RenderOptions all;
    ASSERT_TRUE(Parse({"--frames", "3:40:4", "--size=640x480", "--format", "bmp", "--out", "imgs", "--view", "a.view",
                       "--", "--odd.cfg"}, all, error)) << error;
    RenderOptions movie;
    ASSERT_TRUE(Parse({"--movie", "m.mp4", "--fps", "30", "f"}, movie, error)) << error;
    EXPECT_FALSE(all.allFrames);
    EXPECT_EQ(all.first, 3);
    EXPECT_EQ(all.last, 40);
    EXPECT_EQ(all.step, 4);
    EXPECT_EQ(all.width, 640);
    EXPECT_EQ(all.height, 480);
    EXPECT_EQ(all.format, ".bmp");
    EXPECT_EQ(all.outDir, "imgs");
    EXPECT_EQ(all.viewFile, "a.view");
    EXPECT_EQ(movie.movie, "m.mp4");
    EXPECT_EQ(movie.fps, 30);
    EXPECT_EQ(all.file, "--odd.cfg");
    EXPECT_EQ(FramesToRender(all), 10);  // 3, 7, ..., 39

    RenderOptions several;  // trajectory files of one series
    ASSERT_TRUE(Parse({"b.dump", "--fit", "a.dump"}, several, error)) << error;
    EXPECT_EQ(several.file, "b.dump");
    EXPECT_EQ(several.files, (std::vector<std::string>{"b.dump", "a.dump"}));
}

TEST_F(RenderOptionsTest, BadValuesAreRefused) {
    const std::vector<std::vector<const char*>> bad = {
        {"--frames", "1:2:", "f"}, {"--frames", ":2", "f"}, {"--frames", "1:2:3:4", "f"}, {"--frames", "+1:2", "f"},
        {"--frames", "2147483648:2147483649", "f"}, {"--size", "10x", "f"}, {"--size", "x10", "f"},
        {"--size", "10 x10", "f"}, {"--size", "0x0", "f"}, {"--format", "PNG", "f"}, {"--fps", "1001", "f"},
        {"--fps", "2.5", "f"}, {"--movie", ".mp4", "f"}, {"--view", "", "f"}, {"--out", "", "f"}, {"--size"},
        {"--frame", "1:2", "f"}, {"a", "b*"}, {"--size", "64x48"}, {"--colour-by", "c_pe:all:1", "f"},
        {"--colour-by", "a", "--color-by", "b", "f"}};
    for (const auto& args : bad) {
        RenderOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
    RenderOptions help;
    std::string error;
    EXPECT_TRUE(Parse({"--help"}, help, error));
    EXPECT_TRUE(help.help);
    EXPECT_NE(RenderUsage().find("--frames A:B[:S]"), std::string::npos);
}

TEST_F(RenderOptionsTest, FrameRangeAgainstTheTrajectory) {
    RenderOptions all;
    std::string error;
    ASSERT_TRUE(ResolveFrameRange(all, 31, error));
    EXPECT_EQ(all.first, 0);
    EXPECT_EQ(all.last, 30);
    EXPECT_EQ(FramesToRender(all), 31);

    RenderOptions inside;
    ASSERT_TRUE(Parse({"--frames", "30:30", "f"}, inside, error));
    EXPECT_TRUE(ResolveFrameRange(inside, 31, error));
    EXPECT_EQ(FramesToRender(inside), 1);
    RenderOptions outside;
    ASSERT_TRUE(Parse({"--frames", "0:31", "f"}, outside, error));
    EXPECT_FALSE(ResolveFrameRange(outside, 31, error));
    EXPECT_EQ(error, "The frames 0 to 31 lie outside the trajectory, whose frames are 0 to 30.");
}

TEST_F(RenderOptionsTest, ImageNamesFollowTheSequenceNames) {
    inname = "run/traj.dump";
    format = ".jpg";
    RenderOptions o;
    EXPECT_EQ(RenderImageName(o, 7), "run/traj.dump_0007.jpg");
    o.outDir = "/scratch/job3";
    EXPECT_EQ(RenderImageName(o, 12345), "/scratch/job3/traj.dump_12345.jpg");
    o.outDir = "imgs/";
    inname = "traj.dump";
    EXPECT_EQ(RenderImageName(o, 0), "imgs/traj.dump_0000.jpg");
}

ViewSettings SampleView() {
    ViewSettings v{};
    for (int i = 0; i < 16; ++i) v.modelview[i] = static_cast<float>(0.1 * i - 0.7 + 1e-7 * i);
    v.modelview[14] = -200.0;
    const float l0[4] = {50.0f, 0.0f, 100.0f, 0.0f}, l1[4] = {0.123456789f, -3e-9f, 1e30f, 0.0f};
    for (int i = 0; i < 4; ++i) v.light0[i] = l0[i], v.light1[i] = l1[i];
    v.lightMode = 0;
    v.fog = false;
    v.overlay = true;
    v.clip[0] = 0.25;  // as a fit of a small system leaves them
    v.clip[1] = 1234.5;
    v.box = false;
    const double cut[6] = {1, 0, 0.6, 0.8, -2.5, 3.75};
    std::copy(cut, cut + 6, v.slab);
    v.hiddenSpecies = {2, 5};
    v.transparency = false;
    v.images[0] = 3, v.images[1] = 5, v.images[2] = 1;
    v.wrap = true;
    v.occlusion[0] = 1;
    v.occlusion[1] = 0.25;
    return v;
}

TEST_F(RenderOptionsTest, ViewFileReadsBackExactly) {
    ViewSettings written = SampleView();
    std::string name = WriteTempFile("exact.view", "");
    std::string error;
    ASSERT_TRUE(WriteTextFile(name, ViewFileText(written), error)) << error;
    ViewSettings read{};
    ASSERT_TRUE(ReadViewFile(name, read, error)) << error;
    EXPECT_EQ(std::memcmp(read.modelview, written.modelview, sizeof read.modelview), 0);
    EXPECT_EQ(std::memcmp(read.light0, written.light0, sizeof read.light0), 0);
    EXPECT_EQ(std::memcmp(read.light1, written.light1, sizeof read.light1), 0);
    EXPECT_EQ(read.lightMode, 0);
    EXPECT_FALSE(read.fog);
    EXPECT_TRUE(read.overlay);
    EXPECT_EQ(read.clip[0], 0.25);
    EXPECT_EQ(read.clip[1], 1234.5);
    EXPECT_FALSE(read.box);
    EXPECT_EQ(std::memcmp(read.slab, written.slab, sizeof read.slab), 0);
    EXPECT_EQ(read.hiddenSpecies, written.hiddenSpecies);
    EXPECT_FALSE(read.transparency);
    EXPECT_TRUE(read.periodicSaved);
    EXPECT_EQ(std::vector<int>(read.images, read.images + 3), std::vector<int>({3, 5, 1}));
    EXPECT_TRUE(read.wrap);
    EXPECT_EQ(read.occlusion[0], 1);
    EXPECT_EQ(read.occlusion[1], 0.25);
    EXPECT_FALSE(WriteTextFile(TempDir() + "/no/such/folder/x.view", ViewFileText(written), error));

    // A file of the first version, before the box, slab and hidden species lines, still reads: nothing cut.
    std::string text = ViewFileText(written);
    text = "ovalix-view 1" + text.substr(text.find('\n'), text.find("box ") - text.find('\n'));
    ViewSettings old{};
    old.box = true;
    old.hiddenSpecies = {7};
    ASSERT_TRUE(ReadViewFile(WriteTempFile("old.view", text), old, error)) << error;
    EXPECT_EQ(std::memcmp(old.modelview, written.modelview, sizeof old.modelview), 0);
    EXPECT_FALSE(old.box);
    EXPECT_EQ(old.slab[0], 0);
    EXPECT_TRUE(old.hiddenSpecies.empty());
    EXPECT_TRUE(old.transparency);

    // A file of the second version (no transparency, images, wrap or occlusion lines) leaves the configured transparency on.
    text = ViewFileText(written);
    text = "ovalix-view 2" + text.substr(text.find('\n'), text.find("transparency ") - text.find('\n'));
    ViewSettings second{};
    ASSERT_TRUE(ReadViewFile(WriteTempFile("second.view", text), second, error)) << error;
    EXPECT_EQ(second.hiddenSpecies, written.hiddenSpecies);
    EXPECT_TRUE(second.transparency);
    EXPECT_FALSE(second.periodicSaved);
    EXPECT_EQ(second.occlusion[0], -1);
}

TEST_F(RenderOptionsTest, DamagedOrForeignViewFilesAreRefused) {
    std::string good = ViewFileText(SampleView());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "is no Ovalix view file"},
        {"P6\n64 64\n", "is no Ovalix view file"},
        {replaced("ovalix-view 3", "ovalix-view 4"), "is of version 4; this Ovalix reads versions 1 to 3 only."},
        {replaced("transparency 0", "transparency 2"), "is damaged"},
        {replaced("images 3 5 1", "images 3 4 1"), "is damaged"},
        {replaced("images 3 5 1", "images 3 5"), "is damaged"},
        {replaced("wrap 1", "wrap 2"), "is damaged"},
        {replaced("ambient_occlusion 1 0.25", "ambient_occlusion 1 2"), "is damaged"},
        {replaced("box 0", "box 2"), "is damaged"},
        {replaced("slab 1", "slab 3"), "is damaged"},
        {replaced("hidden_species 2", "hidden_species 0"), "is damaged"},
        {good.substr(0, good.size() / 2), "is damaged"},
        {replaced("modelview", "modelvue"), "is damaged"},
        {replaced("fog 0", "fog 2"), "is damaged"},
        {replaced("clip 0.25", "clip 0"), "is damaged"},
        {replaced("overlay 1", "overlay 1 1"), "is damaged"},
        {replaced("light_mode 0", "light_mode x"), "is damaged"},
        {replaced("-200", "nan"), "is damaged"},
        {replaced("-200", "-200x"), "is damaged"},
        {good + "extra 1\n", "is damaged"},
    };
    int n = 0;
    for (const auto& [text, message] : cases) {
        std::string name = WriteTempFile("case" + std::to_string(n++) + ".view", text);
        ViewSettings view{};
        std::string error;
        EXPECT_FALSE(ReadViewFile(name, view, error)) << text;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
    ViewSettings view{};
    std::string error;
    EXPECT_FALSE(ReadViewFile(TempDir() + "/absent.view", view, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(RenderOptionsTest, DrawingOptionsAndTheirCombinations) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--fit", "--supersample", "3", "--cpu", "--threads", "1", "f"}, o, error)) << error;
    EXPECT_TRUE(o.fit);
    EXPECT_EQ(o.supersample, 3);
    EXPECT_EQ(o.threads, 1);
    EXPECT_EQ(o.device, RenderDevice::Cpu);
    RenderOptions plain;
    ASSERT_TRUE(Parse({"f"}, plain, error));
    EXPECT_FALSE(plain.fit);
    EXPECT_EQ(plain.supersample, 1);
    EXPECT_EQ(plain.threads, 0);
    EXPECT_EQ(plain.device, RenderDevice::Any);
    RenderOptions periodic;
    ASSERT_TRUE(Parse({"--images", "5x3x1", "--wrap", "f"}, periodic, error)) << error;
    EXPECT_TRUE(periodic.imagesGiven && periodic.wrap);
    EXPECT_EQ(std::vector<int>(periodic.images, periodic.images + 3), std::vector<int>({5, 3, 1}));
    RenderOptions version;
    ASSERT_TRUE(Parse({"--version"}, version, error)) << error;  // needs no file
    EXPECT_TRUE(version.version);

    const std::vector<std::pair<std::vector<const char*>, std::string>> refused = {
        {{"--supersample", "0", "f"}, "--supersample takes a whole number from 1 to 4, not 0."},
        {{"--supersample", "5", "f"}, "--supersample takes a whole number from 1 to 4, not 5."},
        {{"--threads", "0", "f"}, "--threads takes a whole number from 1 to 1024, not 0."},
        {{"--gpu", "--cpu", "f"}, "--gpu and --cpu exclude each other."},
        {{"--cpu", "--gpu", "f"}, "--gpu and --cpu exclude each other."},
        {{"--gpu", "--gpu", "f"}, "--gpu is given twice."},
        {{"--frames", "1:2", "--frames=1:2", "f"}, "--frames is given twice."},
        {{"--fps", "30", "f"}, "--fps sets the frame rate of a movie: it needs --movie."},
        {{"--movie", "m.mp4", "--format", "png", "f"}, "--format is for image files; --movie writes an .mp4 movie."},
        {{"--out", "d", "--movie", "m.mp4", "f"}, "--out is the folder of image files; --movie names its own file."},
        {{"--wrap", "--unwrap", "f"}, "--wrap and --unwrap exclude each other."},
        {{"--images", "3x2x1", "f"},
         "--images takes three odd counts from 1 to 99, the images along a, b and c, such as 3x3x1, not 3x2x1."},
        {{"--images", "3x3", "f"},
         "--images takes three odd counts from 1 to 99, the images along a, b and c, such as 3x3x1, not 3x3."},
        {{"--images", "3x3x1x", "f"},
         "--images takes three odd counts from 1 to 99, the images along a, b and c, such as 3x3x1, not 3x3x1x."},
    };
    for (const auto& [args, message] : refused) {
        RenderOptions r;
        std::string why;
        EXPECT_FALSE(Parse(args, r, why)) << message;
        EXPECT_EQ(why, message);
    }
}

// The box filter: means of blocks, rounded, for factors 1 to 4, against a sum taken pixel by pixel.
TEST(Supersample, AverageDownIsTheRoundedMeanOfEachBlock) {
    for (int k = 1; k <= 4; ++k) {
        const int w = 5, h = 3;
        std::vector<unsigned char> large(static_cast<std::size_t>(w * k * h * k * 3));
        for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>((i * 37 + i / 7) % 256);
        std::vector<unsigned char> small;
        AverageDown(large, w, h, k, small);
        ASSERT_EQ(small.size(), static_cast<std::size_t>(w * h * 3));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int yy = y * k; yy < (y + 1) * k; ++yy)
                        for (int xx = x * k; xx < (x + 1) * k; ++xx) sum += large[static_cast<std::size_t>((yy * w * k + xx) * 3 + c)];
                    int expected = static_cast<int>(std::floor(sum / (k * k) + 0.5));
                    EXPECT_EQ(small[static_cast<std::size_t>((y * w + x) * 3 + c)], expected) << k << " " << x << "," << y;
                }
        if (k == 1) {
            EXPECT_EQ(small, large);  // factor 1 copies
        }
    }
    std::vector<unsigned char> small;
    AverageDown(std::vector<unsigned char>(10, 200), 4, 4, 2, small);  // too short: black, no read past the end
    EXPECT_EQ(small, std::vector<unsigned char>(48, 0));
}

}  // namespace
