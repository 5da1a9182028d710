// Atom lines of dump files, the bulk of every frame read. The usual field, a short plain decimal, is
// measured 16 characters at a time and converted a word at a time, without a branch per character;
// every other field goes through the general reader. Both give exactly what from_chars gives.
#include "io/dump/atom_fields.h"

#include <cstdint>
#include <cstring>  // Required for: memcpy

#include "core/scene.h"
#include "io/line_reader.h"
#include "io/numbers.h"

#ifdef __SSE2__
#include <emmintrin.h>  // Required for: the 16-byte compares that classify a line's characters
#endif

namespace {

// Powers of ten that a double holds exactly.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MAX_EXACT_POWER = 22;
constexpr uint64_t INTEGER_POWERS_OF_TEN[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
constexpr double SIGNS[] = {1.0, -1.0};  // indexed by "the number is negative"
constexpr uint64_t MAX_EXACT_MANTISSA = uint64_t(1) << 53;

// ParseReal with a shortcut for the short decimals of dump files: digits d with a decimal exponent e,
// d < 2^53 and |e| <= 22, give d * 10^e or d / 10^-e in one correctly rounded operation on exact
// operands, the very double that from_chars returns. Anything else goes to ParseReal.
// NOTE: exact only where double arithmetic is done in double precision (FLT_EVAL_METHOD 0).
bool ParseAtomReal(const char*& p, const char* end, double& value) {
    const char* q = p;
    bool plus = q != end && *q == '+';
    if (plus) ++q;
    bool negative = !plus && q != end && *q == '-';
    q += negative;
    uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    for (; q != end && IsDigit(*q); ++q, ++digits) mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
    if (q != end && *q == '.') {
        for (++q; q != end && IsDigit(*q); ++q, ++digits, --exponent)
            mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
    }
    if (digits == 0 || digits > 19) return ParseReal(p, end, value);
    if (q != end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        bool negativeExponent = e != end && *e == '-';
        if (e != end && (*e == '-' || *e == '+')) ++e;
        if (e != end && IsDigit(*e)) {  // otherwise the number ends before the 'e'
            int written = 0;
            int places = 0;
            for (; e != end && IsDigit(*e) && places <= 3; ++e, ++places) written = written * 10 + (*e - '0');
            if (places > 3) return ParseReal(p, end, value);  // a long exponent is left to from_chars
            exponent += negativeExponent ? -written : written;
            q = e;
        }
    }
    if (mantissa > MAX_EXACT_MANTISSA || exponent < -MAX_EXACT_POWER || exponent > MAX_EXACT_POWER)
        return ParseReal(p, end, value);
    double magnitude = static_cast<double>(mantissa);
    if (exponent < 0) magnitude /= EXACT_POWERS_OF_TEN[-exponent];
    else magnitude *= EXACT_POWERS_OF_TEN[exponent];
    value = magnitude * SIGNS[negative];  // NOTE: no branch: the signs of positions and quaternions are random
    p = q;
    return true;
}

// Field by field from p, as the fields of a line are meant: each number ends where its text stops being one.
void ParseFieldsFrom(const char* p, const char* end, double* row, int first) {
    for (int k = first; k < GEOM_STRIDE; ++k) {
        SkipSpace(p, end);
        if (!ParseAtomReal(p, end, row[k])) return;
    }
}

#ifdef __SSE2__

// Which of the 16 characters from p are digits and which are points, one bit each, the first the lowest.
// NOTE: reads 16 bytes from p, also past the end of the line.
struct ChunkClasses {
    unsigned digit, point;
};

ChunkClasses Classify(const char* p) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(chunk, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(chunk, _mm_set1_epi8('9' + 1)));
    return {static_cast<unsigned>(_mm_movemask_epi8(digit)),
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('.'))))};
}

// Eight characters from p as one word, the first in the lowest byte.
uint64_t LoadWord(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Value of the first `count` characters of word, digits, 1 <= count <= 8: moved to the top of the word, so
// that the empty places become leading zeros, then joined in pairs, fours and eights.
uint64_t WordValue(uint64_t word, int count) {
    // Subtracting '0' borrows only out of a byte below '0', which lies after the digits and is shifted out.
    uint64_t digits = (word - 0x3030303030303030ULL) << (8 * (8 - count));
    digits = digits * 10 + (digits >> 8);
    return (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
}

uint64_t DigitsValue(const char* p, int count) { return count == 0 ? 0 : WordValue(LoadWord(p), count); }

// The digits of a decimal written in at most eight characters, its point at `point` (8: none) taken out.
uint64_t ShortDecimalValue(const char* p, int point, int digits) {
    uint64_t word = LoadWord(p);
    if (point < 8) {
        uint64_t before = (uint64_t(1) << (8 * point)) - 1;
        word = (word & before) | ((word >> 8) & ~before);
    }
    return digits == 0 ? 0 : WordValue(word, digits);
}

// The field at p: an optional sign, at most eight digits, and optionally a point with at most seven more
// digits, ended by a blank or the end of the line. False, with nothing stored, for any other text, which
// the field-by-field reading then judges. Fifteen digits stay below 2^53, so the quotient is the correctly
// rounded value. `length` gets the field's length.
bool ParsePlainDecimal(const char* p, const char* end, int& length, double& value) {
    ChunkClasses classes = Classify(p);
    bool negative = *p == '-';
    int body = negative || *p == '+';
    unsigned text = (classes.digit | classes.point) >> body;  // bits past the 16 classified characters are 0
    length = body + __builtin_ctz(~text);  // up to the first character that is neither digit nor point
    if (length > end - p) length = static_cast<int>(end - p);
    if (p + length != end && !IsSpace(p[length])) return false;
    unsigned points = classes.point & ((1u << length) - 1);
    if ((points & (points - 1)) != 0) return false;
    int point = points ? __builtin_ctz(points) : length;
    int wholeDigits = point - body;
    int fractionDigits = length - point - (points ? 1 : 0);
    if (wholeDigits > 8 || fractionDigits > 7 || wholeDigits + fractionDigits == 0) return false;
    // Most fields fit a word of eight characters: their digits are read in one go.
    uint64_t mantissa = length - body <= 8
                            ? ShortDecimalValue(p + body, points ? point - body : 8, wholeDigits + fractionDigits)
                            : DigitsValue(p + body, wholeDigits) * INTEGER_POWERS_OF_TEN[fractionDigits] +
                                  DigitsValue(p + point + 1, fractionDigits);
    value = static_cast<double>(static_cast<int64_t>(mantissa)) / EXACT_POWERS_OF_TEN[fractionDigits] * SIGNS[negative];
    return true;
}

#endif

}  // namespace

#ifdef __SSE2__
// Each field is classified 16 characters at a time, which also finds where the next field starts; the
// conversion of one field does not hold up finding the next. The first field that is not a plain decimal,
// and every field after it, is read field by field.
void ParseAtomRow(std::string_view line, double* row) {
    static_assert(LINE_SLACK >= 16, "16 bytes are classified from any field start");
    const char* p = line.data();
    const char* end = p + line.size();
    SkipSpace(p, end);
    for (int k = 0; k < GEOM_STRIDE && p != end; ++k) {
        int length = 0;
        if (!ParsePlainDecimal(p, end, length, row[k])) {
            ParseFieldsFrom(p, end, row, k);
            return;
        }
        p += length;
        // Fields of dump files are parted by one blank; more are skipped one by one.
        if (p != end) ++p;
        SkipSpace(p, end);
    }
}
#else
void ParseAtomRow(std::string_view line, double* row) { ParseFieldsFrom(line.data(), line.data() + line.size(), row, 0); }
#endif
