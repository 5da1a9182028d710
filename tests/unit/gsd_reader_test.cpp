// GSD reader: every frame of files made by the gsd package against what gsd.hoomd reads from them
// (tests/unit/gsd/*.txt, written by make_gsd_files.py), the carrying rule, shape JSON, and damaged files
// that must each give one error line and never a crash.
#include <gtest/gtest.h>

#include <unistd.h>  // Required for: truncate()

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/gsd/gsd_file.h"
#include "io/gsd/gsd_hoomd.h"
#include "tests/fuzz/gsd_fuzz_entry.h"

namespace {

std::string Fixture(const std::string& name) { return std::string(OVALIX_SOURCE_DIR) + "/tests/unit/gsd/" + name; }

std::string Bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What gsd.hoomd read: (frame, field) -> its words.
using Reference = std::map<std::pair<uint64_t, std::string>, std::vector<std::string>>;

Reference ReadReference(const std::string& path) {
    Reference reference;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        uint64_t frame = 0;
        std::string field;
        size_t count = 0;
        words >> frame >> field >> count;
        std::vector<std::string> values(count);
        for (std::string& value : values) words >> value;
        reference[{frame, field}] = values;
    }
    return reference;
}

std::vector<double> Numbers(const std::vector<std::string>& words) {
    std::vector<double> numbers;
    for (const std::string& word : words) {
        double value = 0;
        auto result = std::from_chars(word.data(), word.data() + word.size(), value);
        EXPECT_EQ(result.ptr, word.data() + word.size()) << word;
        numbers.push_back(value);
    }
    return numbers;
}

template <typename T>
std::vector<double> AsDoubles(const std::vector<T>& values) {
    return std::vector<double>(values.begin(), values.end());
}

const GsdQuantity* Quantity(const GsdFrame& frame, const std::string& name) {
    for (const GsdQuantity& quantity : frame.quantities)
        if (quantity.name == name) return &quantity;
    return nullptr;
}

// Every field of one frame against the reference. Per-particle log chunks carry over only between frames
// with the same particle count here (gsd.hoomd hands frame 0's rows to any frame); other frames hold 0.
void ExpectFrameMatches(const GsdFrame& frame, const Reference& reference, uint64_t f) {
    SCOPED_TRACE("frame " + std::to_string(f));
    auto field = [&](const std::string& name) { return reference.at({f, name}); };
    EXPECT_EQ(std::vector<double>{double(frame.step)}, Numbers(field("step")));
    EXPECT_EQ(std::vector<double>{double(frame.dimensions)}, Numbers(field("dimensions")));
    EXPECT_EQ(std::vector<double>(frame.box, frame.box + 6), Numbers(field("box")));
    EXPECT_EQ(std::vector<double>{double(frame.N)}, Numbers(field("N")));
    EXPECT_EQ(frame.types, field("types"));
    EXPECT_EQ(AsDoubles(frame.typeId), Numbers(field("typeid")));
    std::vector<std::string> shapes = frame.typeShapes;
    for (std::string& shape : shapes)
        for (char& c : shape)
            if (c == ' ') c = '_';
    if (shapes.empty()) shapes.assign(field("type_shapes").size(), "{}");  // gsd.hoomd: one {} per type
    EXPECT_EQ(shapes, field("type_shapes"));
    EXPECT_EQ(frame.position, Numbers(field("position")));
    EXPECT_EQ(frame.orientation, Numbers(field("orientation")));
    EXPECT_EQ(frame.diameter, Numbers(field("diameter")));
    EXPECT_EQ(frame.mass, Numbers(field("mass")));
    EXPECT_EQ(frame.charge, Numbers(field("charge")));
    EXPECT_EQ(frame.velocity, Numbers(field("velocity")));
    EXPECT_EQ(AsDoubles(frame.image), Numbers(field("image")));
    EXPECT_EQ(std::vector<double>{double(frame.bondN)}, Numbers(field("bonds_N")));
    EXPECT_EQ(AsDoubles(frame.bondGroup), Numbers(field("bonds_group")));
    bool sameN = Numbers(field("N")) == Numbers(reference.at({0, "N"}));
    for (const auto& [key, words] : reference) {
        if (key.first != f || key.second.rfind("log/particles/", 0) != 0) continue;
        const GsdQuantity* quantity = Quantity(frame, key.second);
        ASSERT_NE(quantity, nullptr) << key.second;
        const std::size_t columns = Numbers(words).size() / Numbers(reference.at({0, "N"})).at(0);
        EXPECT_EQ(quantity->values, sameN ? Numbers(words) : std::vector<double>(frame.N * columns, 0.0)) << key.second;
    }
    for (const char* name : {"velocity", "mass", "charge", "image"}) {
        const GsdQuantity* quantity = Quantity(frame, std::string("particles/") + name);
        if (quantity) {
            EXPECT_EQ(quantity->values, Numbers(field(name))) << name;
        }
    }
}

// Opens path and reads every frame; returns each error line met (open's, or one per failed frame).
std::vector<std::string> ReadAll(const std::string& path, std::vector<GsdFrame>& frames, std::vector<bool>& read) {
    std::vector<std::string> errors;
    frames.clear();
    read.clear();
    GsdFile file;
    std::string error;
    if (!OpenGsd(path, file, error)) return {error};
    frames.resize(file.frameCount);
    read.resize(file.frameCount);
    for (uint64_t f = 0; f < file.frameCount; ++f) {
        read[f] = ReadGsdFrame(file, f, frames[f], error);
        if (!read[f]) errors.push_back(error);
    }
    CloseGsd(file);
    return errors;
}

void ExpectOneLine(const std::string& error) {
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

}  // namespace

TEST(ReadGsdFrame, EveryFrameMatchesTheGsdLibrary) {
    GsdFrame frame;  // one for all reads, as a viewer keeps one: a read must not depend on the one before
    for (const char* name : {"frames.gsd", "version1.gsd"}) {
        SCOPED_TRACE(name);
        Reference reference = ReadReference(Fixture(name) + ".txt");
        ASSERT_FALSE(reference.empty());
        GsdFile file;
        std::string error;
        ASSERT_TRUE(OpenGsd(Fixture(name), file, error)) << error;
        ASSERT_EQ(file.frameCount, reference.rbegin()->first.first + 1);
        for (uint64_t f = file.frameCount; f-- > 0;) {
            ASSERT_TRUE(ReadGsdFrame(file, f, frame, error)) << error;
            ExpectFrameMatches(frame, reference, f);
        }
        EXPECT_FALSE(ReadGsdFrame(file, file.frameCount, frame, error));
        EXPECT_TRUE(frame.quantities.empty() && frame.position.empty());
        CloseGsd(file);
    }
}

// frames.gsd: frame 1 has the same 5 particles, frame 2 has 3, frame 3 has 5 again; later frames hold
// positions (and frame 1 orientations) only.
TEST(ReadGsdFrame, CarriesFrameZeroOnlyForTheSameParticleCount) {
    GsdFile file;
    std::string error;
    ASSERT_TRUE(OpenGsd(Fixture("frames.gsd"), file, error)) << error;
    std::vector<GsdFrame> frames(4);
    for (uint64_t f = 0; f < 4; ++f) ASSERT_TRUE(ReadGsdFrame(file, f, frames[f], error)) << error;
    for (const char* name : {"particles/diameter", "particles/typeid", "particles/types", "log/particles/force"})
        for (uint64_t f = 1; f < 4; ++f) EXPECT_EQ(FindChunk(file, f, name), nullptr) << name << " in frame " << f;
    EXPECT_EQ(FindChunk(file, 3, "particles/orientation"), nullptr);

    EXPECT_EQ(frames[1].diameter, frames[0].diameter);
    EXPECT_EQ(frames[1].typeId, frames[0].typeId);
    EXPECT_NE(frames[1].orientation, frames[0].orientation);
    EXPECT_EQ(frames[3].orientation, frames[0].orientation);  // frame 0's, not the previous frame's
    EXPECT_EQ(frames[1].quantities.size(), frames[0].quantities.size());
    EXPECT_NE(Quantity(frames[1], "log/particles/energy")->values, Quantity(frames[0], "log/particles/energy")->values);
    EXPECT_EQ(Quantity(frames[1], "log/particles/force")->values, Quantity(frames[0], "log/particles/force")->values);

    const GsdFrame& other = frames[2];  // 3 particles: schema defaults everywhere but the type names
    ASSERT_EQ(other.N, 3u);
    EXPECT_EQ(other.types, frames[0].types);
    EXPECT_EQ(other.diameter, std::vector<double>(3, 1.0));
    EXPECT_EQ(other.mass, std::vector<double>(3, 1.0));
    EXPECT_EQ(other.charge, std::vector<double>(3, 0.0));
    EXPECT_EQ(other.typeId, std::vector<uint32_t>(3, 0));
    for (size_t i = 0; i < other.orientation.size(); ++i) EXPECT_EQ(other.orientation[i], i % 4 == 0 ? 1.0 : 0.0);
    // Frame 0's quantities, in its order, with the defaults: mass 1, everything else 0.
    ASSERT_EQ(other.quantities.size(), frames[0].quantities.size());
    for (size_t q = 0; q < other.quantities.size(); ++q) {
        const GsdQuantity& quantity = other.quantities[q];
        EXPECT_EQ(quantity.name, frames[0].quantities[q].name);
        EXPECT_EQ(quantity.columns, frames[0].quantities[q].columns);
        const double fallback = quantity.name == "particles/mass" ? 1.0 : 0.0;
        EXPECT_EQ(quantity.values, std::vector<double>(3 * quantity.columns, fallback)) << quantity.name;
    }
    EXPECT_EQ(other.bondN, 0u);
    CloseGsd(file);
}

// bonds_frame0.gsd: 5, 3, 5 particles; only frame 0 has bonds (0-1, 3-4), and the others take them, as
// gsd.hoomd reads them, whatever their particle count: bond 3-4 names particles frame 1 lacks.
TEST(ReadGsdFrame, BondsOfFrameZeroServeFramesWithoutTheirOwn) {
    GsdFile file;
    std::string error;
    ASSERT_TRUE(OpenGsd(Fixture("bonds_frame0.gsd"), file, error)) << error;
    GsdFrame frame;
    for (uint64_t f = 0; f < 3; ++f) {
        ASSERT_TRUE(ReadGsdFrame(file, f, frame, error)) << error;
        EXPECT_EQ(frame.N, f == 1 ? 3u : 5u);
        EXPECT_EQ(frame.bondN, 2u);
        EXPECT_EQ(frame.bondGroup, (std::vector<uint32_t>{0, 1, 3, 4}));
    }
    CloseGsd(file);
}

TEST(OpenGsd, ReadsHeaderIndexAndNamesOfBothVersions) {
    GsdFile file;
    std::string error;
    ASSERT_TRUE(OpenGsd(Fixture("frames.gsd"), file, error)) << error;
    EXPECT_EQ(file.gsdVersion >> 16, 2u);
    EXPECT_TRUE(IsHoomdGsd(file));
    EXPECT_EQ(file.frameCount, 4u);
    EXPECT_GE(FindNameId(file, "log/particles/count"), 0);
    EXPECT_EQ(FindNameId(file, "particles/nothing"), -1);
    EXPECT_EQ(FindChunk(file, 0, "particles/nothing"), nullptr);
    EXPECT_EQ(FindChunk(file, 4, "particles/N"), nullptr);
    const GsdIndexEntry* step = FindChunk(file, 1, "configuration/step");
    ASSERT_NE(step, nullptr);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadChunk(file, *step, bytes, error)) << error;
    uint64_t value = 0;
    ASSERT_EQ(bytes.size(), sizeof value);
    std::memcpy(&value, bytes.data(), sizeof value);
    EXPECT_EQ(value, 2000u);
    GsdFrame frame;
    EXPECT_FALSE(ReadGsdFrame(file, 4, frame, error));
    ExpectOneLine(error);
    CloseGsd(file);
    EXPECT_EQ(file.fd, -1);

    ASSERT_TRUE(OpenGsd(Fixture("version1.gsd"), file, error)) << error;
    EXPECT_EQ(file.gsdVersion, GSD_VERSION_1);
    EXPECT_EQ(file.application, "hand packed");
    EXPECT_EQ(file.frameCount, 2u);
    EXPECT_EQ(file.names.size(), 8u);
    const GsdIndexEntry* position = FindChunk(file, 0, "particles/position");  // second entry, name id 3
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->type, GSD_DOUBLE);
    EXPECT_EQ(position->N * position->M * GsdTypeSize(position->type), 9 * sizeof(double));
    CloseGsd(file);

    std::string header = Bytes(Fixture("frames.gsd"));
    EXPECT_TRUE(IsGsdFile(reinterpret_cast<const unsigned char*>(header.data()), 8));
    EXPECT_FALSE(IsGsdFile(reinterpret_cast<const unsigned char*>(header.data()), 7));
    EXPECT_FALSE(IsGsdFile(reinterpret_cast<const unsigned char*>("ITEM: TIMESTEP\n"), 15));
    EXPECT_FALSE(OpenGsd(Fixture("no_such_file.gsd"), file, error));
    ExpectOneLine(error);
}

TEST(ParseTypeShape, GsdEllipsoidsAndSpheresGiveHalfRadiiOtherShapesTheirKind) {
    struct Case {
        const char* json;
        bool ok;
        const char* kind;
        double half[3];
    };
    const Case cases[] = {
        {R"({"type": "Ellipsoid", "a": 0.5, "b": 0.25, "c": 1.5})", true, "Ellipsoid", {0.5, 0.25, 1.5}},
        {R"( { "vertices" : [[1, "]}\""], {"x": [2]}], "c":3e0,"b" : 2, "type":"Ellipsoid", "a": 1 } )", true,
         "Ellipsoid", {1, 2, 3}},
        {R"({"type": "Sphere", "diameter": 3.0})", true, "Sphere", {1.5, 1.5, 1.5}},
        {R"({"type": "ConvexPolyhedron", "rounding_radius": 0.1, "vertices": [[0.5, 0.5, 0.5], [0, 0, 1]]})", false,
         "ConvexPolyhedron", {}},
        {R"({"type": "Polygon", "vertices": [[-0.5, -0.5], [0.5, -0.5], [0.5, 0.5]]})", false, "Polygon", {}},
        {R"({})", false, "", {}},
        {R"({"type": "Ellipsoid", "a": 1, "b": 2})", false, "Ellipsoid", {}},
        {R"({"type": "Ellipsoid", "a": 1, "b": -2, "c": 3})", false, "Ellipsoid", {}},
        {R"({"type": "Sphere", "diameter": 0})", false, "Sphere", {}},
        {R"({"type": "Sphere", "diameter": 1e999})", false, "", {}},
        {R"({"type": "Sphere", "diameter": "2"})", false, "", {}},
        {R"({"type": "Sphere" "diameter": 2})", false, "", {}},
        {R"({"type": 7})", false, "", {}},
        {R"([1, 2])", false, "", {}},
        {"", false, "", {}},
        {"null", false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        double half[3] = {-7, -7, -7};
        std::string kind = "stale";
        EXPECT_EQ(ParseTypeShape(c.json, half, kind), c.ok);
        EXPECT_EQ(kind, c.kind);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(half[i], c.ok ? c.half[i] : -7);  // left alone on false
        std::string json = c.json;
        for (size_t cut = 0; c.ok && cut + 1 < json.size(); ++cut)  // no proper prefix is a whole object
            EXPECT_FALSE(ParseTypeShape(json.substr(0, cut), half, kind)) << cut;
    }
    double half[3];
    std::string kind;
    EXPECT_FALSE(ParseTypeShape("{\"v\": " + std::string(100000, '[') + "\"", half, kind));  // deep, unclosed
    EXPECT_TRUE(ParseTypeShape("{\"v\": " + std::string(100000, '[') + std::string(100000, ']') +
                                   ", \"type\": \"Sphere\", \"diameter\": 1}", half, kind));
}

// Damaged copies of the fixtures in a folder of the test's own, removed afterwards.
class GsdDamage : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ovalix_gsd_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        original = Bytes(Fixture("frames.gsd"));
        ASSERT_GT(original.size(), GSD_HEADER_BYTES);
        std::string error;
        ASSERT_TRUE(OpenGsd(Fixture("frames.gsd"), layout, error)) << error;
        std::vector<bool> read;
        ASSERT_TRUE(ReadAll(Fixture("frames.gsd"), intactFrames, read).empty());
    }
    void TearDown() override {
        CloseGsd(layout);
        std::filesystem::remove_all(folder);
    }
    // File offset of a field of the index entry of name in frame.
    uint64_t EntryField(uint64_t frame, const char* name, size_t field) {
        const GsdIndexEntry* entry = FindChunk(layout, frame, name);
        EXPECT_NE(entry, nullptr) << name;
        return layout.indexLocation + GSD_INDEX_ENTRY_BYTES * static_cast<uint64_t>(entry - layout.index.data()) + field;
    }
    uint64_t DataAt(uint64_t frame, const char* name) {
        return static_cast<uint64_t>(FindChunk(layout, frame, name)->location);
    }
    std::string folder;
    std::string original;
    GsdFile layout;  // the intact file, for offsets
    std::vector<GsdFrame> intactFrames;
};

// A file cut anywhere opens with the frames wholly before the cut, or fails with one line when the cut took its
// header, its name list or every frame; each frame kept reads as in the whole file. Files whose index grew past
// its first block (grown*.gsd) keep their first frames when cut in half, though the index the header names is
// gone or cut.
TEST_F(GsdDamage, CutFilesKeepTheirWholeFrames) {
    struct Fixed {
        const char* name;
        size_t stride;   // lengths tried: every stride-th, from the whole size down, and the half
        bool halfOpens;  // cut in half, it keeps frames (the others lose their name list)
    };
    const Fixed files[] = {
        {"frames.gsd", 1, false}, {"version1.gsd", 1, false}, {"grown.gsd", 97, true}, {"grown_version1.gsd", 1, true}};
    for (const Fixed& fixed : files) {
        SCOPED_TRACE(fixed.name);
        const std::string whole = Bytes(Fixture(fixed.name));
        std::vector<GsdFrame> intact;
        std::vector<bool> read;
        ASSERT_TRUE(ReadAll(Fixture(fixed.name), intact, read).empty());
        const std::string path = folder + "/cut.gsd";
        GsdFrame frame;
        size_t opened = 0;
        for (size_t length = whole.size(); length > 0;) {
            length = length > fixed.stride ? length - fixed.stride : 0;
            if (length != whole.size() / 2 && length + fixed.stride > whole.size() / 2 && length < whole.size() / 2)
                length = whole.size() / 2;  // the half is always tried
            WriteBytes(path, whole.substr(0, length));
            SCOPED_TRACE("cut at " + std::to_string(length));
            GsdFile file;
            std::string error;
            if (!OpenGsd(path, file, error)) {
                ExpectOneLine(error);
                EXPECT_FALSE(fixed.halfOpens && length >= whole.size() / 2) << error;
                continue;
            }
            if (file.frameCount > 0) ++opened;
            if (fixed.halfOpens && length == whole.size() / 2) {
                EXPECT_TRUE(file.indexCut);
                EXPECT_GT(file.frameCount, 0u);
            }
            EXPECT_LT(file.frameCount, intact.size());
            EXPECT_TRUE(file.frameCount < file.indexedFrames || file.indexCut);  // a cut is always known
            for (uint64_t f = 0; f < file.frameCount; ++f) {
                ASSERT_TRUE(ReadGsdFrame(file, f, frame, error)) << error;
                EXPECT_EQ(frame.step, intact[f].step);
                EXPECT_EQ(frame.position, intact[f].position);
            }
            if (length == whole.size() - 1) {  // the last chunk lost its last byte: only the last frame goes
                EXPECT_EQ(file.frameCount, intact.size() - 1);
                EXPECT_FALSE(file.cutEntries.empty());
            }
            CloseGsd(file);
        }
        EXPECT_GT(opened, 0u);
    }
}

// One field changed at a time: where the reader stops, and the words of its one-line message.
TEST_F(GsdDamage, PatchedHeaderIndexAndData) {
    struct Patch {
        const char* what;
        uint64_t offset;
        uint64_t value;
        int width;
        int badFrame;  // -1: open fails; else the first frame that fails or is left out (those before read)
        const char* words;  // nullptr: frames from badFrame on are left out as cut off, without an error
    };
    const uint64_t size = original.size();
    float nan = std::numeric_limits<float>::quiet_NaN();
    uint32_t nanBits = 0;
    std::memcpy(&nanBits, &nan, sizeof nan);
    const Patch patches[] = {
        {"magic", 0, 0x65DF65DF65DF65DEull, 8, -1, "not a GSD file"},
        {"version 3", 44, 3u << 16, 4, -1, "version 3.0"},
        {"index larger than any file", 16, 1ull << 60, 8, -1, "more than a file can hold"},
        {"names past the end", 24, size - 10, 8, -1, "the name list"},
        {"unknown type", EntryField(0, "particles/mass", 30), 77, 1, -1, "unknown type id 77"},
        {"name id past the names", EntryField(1, "particles/position", 28), 500, 2, -1, "names chunk 500"},
        {"frames going back", EntryField(3, "configuration/step", 0), 0, 8, -1, "goes back from frame 2 to frame 0"},
        {"data past the end", EntryField(3, "particles/position", 16), size - 4, 8, 3, nullptr},
        {"data far past the end", EntryField(1, "particles/orientation", 16), 1ull << 62, 8, 1, nullptr},
        {"negative location", EntryField(1, "particles/orientation", 16), ~0ull, 8, -1, "negative location"},
        {"rows against particles/N", EntryField(1, "particles/orientation", 8), 1ull << 62, 8, 1, "rows but particles/N"},
        {"columns", EntryField(0, "particles/position", 24), 2, 4, 0, "2 columns, not 3"},
        {"huge particle count", DataAt(0, "particles/N"), 0xFFFFFFFFu, 4, 0, "implausible"},
        {"type id past the types", EntryField(0, "particles/types", 8), 1, 8, 0, "particles/typeid of particle 1"},
        {"bond member past the particles", DataAt(0, "bonds/group"), 99, 4, 0, "names particle 99"},
        {"position not a number", DataAt(3, "particles/position") + 4, nanBits, 4, 3, "not a finite number"},
        {"integer field of floats", EntryField(0, "particles/image", 30), GSD_FLOAT, 1, 0, "not an integer type"},
    };
    for (const Patch& patch : patches) {
        SCOPED_TRACE(patch.what);
        std::string bytes = original;
        ASSERT_LE(patch.offset + patch.width, bytes.size());
        for (int i = 0; i < patch.width; ++i) bytes[patch.offset + i] = static_cast<char>(patch.value >> (8 * i));
        std::string path = folder + "/patched.gsd";
        WriteBytes(path, bytes);
        std::vector<GsdFrame> frames;
        std::vector<bool> read;
        std::vector<std::string> errors = ReadAll(path, frames, read);
        for (const std::string& error : errors) ExpectOneLine(error);
        if (!patch.words) {
            EXPECT_TRUE(errors.empty());
            EXPECT_EQ(read.size(), static_cast<size_t>(patch.badFrame));
            continue;
        }
        ASSERT_FALSE(errors.empty());
        EXPECT_NE(errors.front().find(patch.words), std::string::npos) << errors.front();
        if (patch.badFrame < 0) {
            EXPECT_TRUE(frames.empty());
            continue;
        }
        ASSERT_EQ(read.size(), 4u);
        EXPECT_FALSE(read[patch.badFrame]);
        for (int f = 0; f < patch.badFrame; ++f) EXPECT_TRUE(read[f]) << f;
    }

    std::vector<GsdFrame> frames;
    std::vector<bool> read;
    std::vector<std::string> errors = ReadAll(Fixture("n_mismatch.gsd"), frames, read);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("particles/position has 4 rows but particles/N is 3"), std::string::npos) << errors[0];

    GsdIndexEntry huge = layout.index.at(0);
    huge.N = 1ull << 62;
    huge.M = 4;
    huge.type = GSD_FLOAT;
    uint64_t bytes = 0;
    std::string error;
    EXPECT_FALSE(GsdChunkBytes(layout, huge, bytes, error));
    EXPECT_NE(error.find("overflow"), std::string::npos) << error;
}

// Random bytes, with and without the magic number, and the fixtures with random bytes changed, through the
// fuzz target's checks; then the fuzz seeds and every kept fuzz find.
TEST_F(GsdDamage, GarbageAndFuzzInputs) {
    std::mt19937 random(20261208);
    std::string magic = original.substr(0, 8);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 3000, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        if (round % 2 && bytes.size() >= 8) bytes.replace(0, 8, magic);
        EXPECT_NO_THROW(FuzzGsdInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << round;
    }
    for (const std::string& base : {original, Bytes(Fixture("version1.gsd"))}) {
        for (int round = 0; round < 1500; ++round) {
            std::string bytes = base;
            for (int changes = 1 + random() % 4; changes-- > 0;) {
                size_t region = round % 3 ? std::min<size_t>(bytes.size(), layout.namesLocation) : bytes.size();
                bytes[random() % region] = static_cast<char>(random());  // mostly the header and index
            }
            EXPECT_NO_THROW(FuzzGsdInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << round;
        }
    }
    size_t replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        std::filesystem::path dir = std::filesystem::path(OVALIX_SOURCE_DIR) / "tests/fuzz" / kind / "gsd";
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& item : std::filesystem::directory_iterator(dir)) {
            std::string bytes = Bytes(item.path().string());
            EXPECT_NO_THROW(FuzzGsdInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << item.path();
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 2u);
}
