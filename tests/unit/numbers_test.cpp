// Number parsing shared by the readers, and the dump reader's fast path for atom fields.
#include "io/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "core/scene.h"
#include "io/dump/dump_reader.h"
#include "tests/support/test_support.h"

namespace {

bool Parse(const std::string& text, double& value, std::size_t& used) {
    const char* p = text.data();
    bool ok = ParseReal(p, text.data() + text.size(), value);
    used = static_cast<std::size_t>(p - text.data());
    return ok;
}

}  // namespace

TEST(ParseReal, PlainDecimalsOnly) {
    double value = 0;
    std::size_t used = 0;
    EXPECT_TRUE(Parse("+1.5", value, used));
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(used, 4u);
    EXPECT_TRUE(Parse("-.5e1x", value, used));
    EXPECT_EQ(value, -5.0);
    EXPECT_EQ(used, 5u);
    for (const char* bad : {"+-1", "-+1", "inf", "nan", "-inf", "abc", "", "+", ".", "1e999"}) {
        value = 7;
        EXPECT_FALSE(Parse(bad, value, used)) << bad;
        EXPECT_EQ(value, 7) << bad;
        EXPECT_EQ(used, 0u) << bad;
    }
}

TEST(ParseInteger, SignsAndOverflow) {
    std::string text = "+12 -7 99999999999";
    const char* p = text.data();
    const char* end = p + text.size();
    int value = 0;
    EXPECT_TRUE(ParseInteger(p, end, value));
    EXPECT_EQ(value, 12);
    SkipSpace(p, end);
    EXPECT_TRUE(ParseInteger(p, end, value));
    EXPECT_EQ(value, -7);
    SkipSpace(p, end);
    EXPECT_FALSE(ParseInteger(p, end, value));
    EXPECT_EQ(value, -7);
}

using ReadQuatFrameNumbers = SceneTest;

// Every atom field read from a dump equals what from_chars makes of the same text.
TEST_F(ReadQuatFrameNumbers, FieldsEqualFromChars) {
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    std::vector<std::string> fields;
    const char* formats[] = {"%.6g", "%.17g", "%.3f", "%.10e", "%.1f"};
    std::string text = "ITEM: NUMBER OF ATOMS\n400\nITEM: ATOMS id type x y z w i j k\n";
    for (int i = 0; i < 400; ++i) {
        text += std::to_string(i + 1) + " 1";
        for (int k = 0; k < 7; ++k) {
            char field[64];
            std::snprintf(field, sizeof field, formats[(i + k) % 5], wide(random) * std::pow(10.0, (i % 40) - 25));
            fields.push_back(field);
            text += std::string(" ") + field;
        }
        text += "\n";
    }
    inname = WriteTempFile("numbers.dump", text);
    species = 1;
    ConsoleRun run = RunCaptured([] {
        OpenQuatFile();
        ReadQuatFrame();
    });
    ASSERT_FALSE(run.exited) << run.output;
    for (int i = 0; i < 400; ++i) {
        for (int k = 0; k < 7; ++k) {
            const std::string& field = fields[static_cast<std::size_t>(i) * 7 + k];
            double expected = 0;
            std::from_chars(field.data(), field.data() + field.size(), expected);
            ASSERT_EQ(geom[static_cast<std::size_t>(i) * GEOM_STRIDE + 2 + k], expected) << field;
        }
    }
}
