// Atom lines are read field by field exactly as from_chars reads each field, whatever the line holds,
// and nothing past the line's end changes the result.
#include "io/dump/atom_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/scene.h"
#include "io/line_reader.h"
#include "io/numbers.h"

namespace {

constexpr double UNTOUCHED = -777.25;

// The plain reading: skip blanks, read a number with from_chars, stop at the first field that is none.
std::vector<double> ReferenceRow(const std::string& line) {
    std::vector<double> row(GEOM_STRIDE, UNTOUCHED);
    const char* p = line.data();
    const char* end = p + line.size();
    for (int k = 0; k < GEOM_STRIDE; ++k) {
        SkipSpace(p, end);
        if (!ParseReal(p, end, row[k])) break;
    }
    return row;
}

// The line as the line reader hands it out: followed by LINE_SLACK bytes of unrelated characters, the
// slack pattern repeated (a number and a blank would make a field that runs on past the end look whole).
std::vector<double> ParsedRow(const std::string& line, const std::string& slack) {
    std::vector<char> buffer(line.begin(), line.end());
    for (std::size_t n = 0; n < LINE_SLACK; ++n) buffer.push_back(slack[n % slack.size()]);
    std::vector<double> row(GEOM_STRIDE, UNTOUCHED);
    ParseAtomRow(std::string_view(buffer.data(), line.size()), row.data());
    return row;
}

const std::string SLACKS[] = {"0", "9 ", "5.5 ", " ", "e1 ", ".", "12345\n"};

void ExpectSameBits(const std::string& line, const std::string& slack) {
    std::vector<double> expected = ReferenceRow(line), got = ParsedRow(line, slack);
    for (int k = 0; k < GEOM_STRIDE; ++k)
        ASSERT_EQ(std::memcmp(&expected[k], &got[k], sizeof(double)), 0)
            << "field " << k << " of '" << line << "' (then '" << slack << "'): " << got[k] << " instead of "
            << expected[k];
}

// A field made of characters that numbers, near-numbers and broken numbers are made of.
std::string RandomField(std::mt19937& random) {
    static const std::string pieces[] = {"0", "1", "2", "5", "7", "9", ".", "-", "+", "e", "E", "x", ",", "00", "123456789"};
    std::uniform_int_distribution<int> piece(0, 14), count(1, 12);
    std::string field;
    for (int n = count(random); n > 0; --n) field += pieces[piece(random)];
    return field;
}

}  // namespace

TEST(ParseAtomRow, FormattedNumbersMatchFromChars) {
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const char* formats[] = {"%g", "%.6g", "%.8g", "%.3f", "%.7f", "%.0f", "%.12g", "%.17g", "%e", "%+.4f", "%09.3f"};
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        for (int k = 0; k < GEOM_STRIDE + i % 2; ++k) {
            char field[64];
            double scale = std::pow(10.0, static_cast<int>(random() % 24) - 12);
            std::snprintf(field, sizeof field, formats[(i + k) % 11], unit(random) * scale);
            line += (k ? (i % 7 == 0 ? "  \t" : " ") : (i % 5 == 0 ? " " : "")) + std::string(field);
        }
        if (i % 3 == 0) line += "\r";
        ExpectSameBits(line, SLACKS[i % 7]);
    }
}

TEST(ParseAtomRow, BrokenFieldsStopWhereFromCharsStops) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> fields(0, 11), blanks(1, 3), coin(0, 3);
    for (int i = 0; i < 50000; ++i) {
        std::string line;
        for (int n = fields(random); n > 0; --n) {
            line += coin(random) ? RandomField(random) : std::to_string(random() % 100000) + "." + std::to_string(random() % 1000);
            line += std::string(static_cast<std::size_t>(blanks(random)), coin(random) ? ' ' : '\t');
        }
        ExpectSameBits(line, SLACKS[i % 7]);
    }
}

TEST(ParseAtomRow, EdgesOfTheShortcut) {
    for (const char* line : {"", " ", "1", "-", "+", ".", "-.", ".5", "5.", "-0", "+0.0", "-0.000", "12345678",
                             "123456789", "1234567.1234567", "12345678.1234567", "1234567.12345678", "0.0000001",
                             "99999999.9999999", "1..2", "1.2.3", "+-1", "-+1", "1e5", "1.5E-3", "1e", "1e+",
                             "12x 3", "3 4\x01 5", "1\v2\f3", "1 2 3 4 5 6 7 8 9 10 11", "0012.5000 -000.0",
                             "1 2 3 4 5 6 7 8 123456789012345678901234567890", "\t\t7\t\t8",
                             // the 17th character of a signed field lies past the 16 classified at once
                             "+22343678.343678.", "-12345678.1234567.", "-12345678.12345678", "1.234567.1234567.1"}) {
        for (const std::string& slack : SLACKS) ExpectSameBits(line, slack);
    }
    // Fields that straddle the 16 characters classified at once.
    for (int width = 1; width <= 40; ++width) {
        std::string digits(static_cast<std::size_t>(width), '3');
        for (std::size_t point = 0; point <= digits.size(); point += 3) {
            std::string field = digits;
            field.insert(point, ".");
            ExpectSameBits("1 " + field + " 2", "7 ");
            ExpectSameBits("-" + field, "7 ");
        }
    }
}
