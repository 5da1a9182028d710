// Locale-free number parsing over a character range, shared by the file readers.
#pragma once

#include <charconv>  // Required for: std::from_chars
#include <cstdint>
#include <system_error>

// Space, tab, line feed, vertical tab, form feed, carriage return.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline void SkipSpace(const char*& p, const char* end) {
    while (p != end && IsSpace(*p)) ++p;
}

// Reads a plain decimal number (sign, digits, point, exponent) at p and advances p past it.
// Fails, leaving value and p alone, on anything else: letters, "inf", "nan", a value out of range.
template <typename Real>
inline bool ParseReal(const char*& p, const char* end, Real& value) {
    const char* start = p;
    bool plus = start != end && *start == '+';
    if (plus) ++start;
    const char* first = (!plus && start != end && *start == '-') ? start + 1 : start;
    if (first == end || !(IsDigit(*first) || *first == '.')) return false;
    Real parsed = 0;
    auto [next, error] = std::from_chars(start, end, parsed);
    if (error != std::errc()) return false;
    value = parsed;
    p = next;
    return true;
}

// Reads a decimal integer at p (optional sign) and advances p past it; fails on no digit or overflow.
template <typename Int>
inline bool ParseInteger(const char*& p, const char* end, Int& value) {
    const char* start = p;
    if (start != end && *start == '+' && start + 1 != end && IsDigit(start[1])) ++start;
    Int parsed = 0;
    auto [next, error] = std::from_chars(start, end, parsed);
    if (error != std::errc()) return false;
    value = parsed;
    p = next;
    return true;
}
