// The bond file: a "Bonds" header, one skipped line, then bond lines "number type atomA atomB [originA originB]".
#include "io/config/bond_reader.h"

#include <algorithm>  // Required for: std::max
#include <charconv>  // Required for: std::from_chars
#include <climits>   // Required for: INT_MAX, INT_MIN, LLONG_MAX
#include <cmath>     // Required for: std::trunc
#include <fstream>
#include <iostream>
#include <string>

#include "core/bond_rows.h"
#include "core/exit_sequence.h"
#include "core/scene.h"
#include "io/file_open.h"
#include "io/numbers.h"
#include "io/trajectory_summary.h"  // Required for: JoinBondsToFrame()

namespace {

constexpr const char* HEADER = "Bonds";

// Origins a line does not give read as this value, which is below 1.
constexpr double MISSING_ORIGIN = -1;

// One bond line's fields.
struct BondLine {
    long long atomA;
    long long atomB;
    double originA;  // as read, before truncation
    double originB;
};

bool AtFieldEnd(const char* p, const char* end) { return p == end || IsSpace(*p); }

// An integer field: optional sign and digits up to the next blank or the line end. A value beyond the range of
// long long is held at the nearest end of that range, which no atom number reaches.
bool ReadIntegerField(const char*& p, const char* end, long long& value) {
    SkipSpace(p, end);
    const char* digits = p;
    bool negative = false;
    if (digits != end && (*digits == '+' || *digits == '-')) {
        negative = *digits == '-';
        ++digits;
    }
    const char* stop = digits;
    while (stop != end && IsDigit(*stop)) ++stop;
    if (stop == digits || !AtFieldEnd(stop, end)) return false;
    auto [next, error] = std::from_chars(digits, stop, value);
    if (error == std::errc::result_out_of_range) value = LLONG_MAX;
    else if (error != std::errc() || next != stop) return false;
    if (negative) value = -value;
    p = stop;
    return true;
}

// A real field that must end at a blank or the line end; a field that is not a number leaves value alone.
bool ReadRealField(const char*& p, const char* end, double& value) {
    SkipSpace(p, end);
    const char* q = p;
    double parsed = 0;
    if (!ParseReal(q, end, parsed) || !AtFieldEnd(q, end)) return false;
    value = parsed;
    p = q;
    return true;
}

// Reads the fields of a line that begins with a digit. False when it does not hold four integers.
bool ParseBondLine(const std::string& text, BondLine& bond) {
    const char* p = text.data();
    const char* end = p + text.size();
    long long number = 0;
    long long type = 0;
    if (!ReadIntegerField(p, end, number) || !ReadIntegerField(p, end, type)) return false;
    if (!ReadIntegerField(p, end, bond.atomA) || !ReadIntegerField(p, end, bond.atomB)) return false;
    bond.originA = bond.originB = MISSING_ORIGIN;
    if (ReadRealField(p, end, bond.originA)) ReadRealField(p, end, bond.originB);
    return true;
}

// Stored form of an atom number: out-of-range values are clamped, and they are reported right after.
int StoredAtom(long long atom) { return atom > INT_MAX ? INT_MAX : atom < INT_MIN ? INT_MIN : static_cast<int>(atom); }

// Truncated origin; only used when at least 1, and clamped where a huge one is reported right after.
int StoredOrigin(double origin) {
    double truncated = std::trunc(origin);
    return truncated > INT_MAX ? INT_MAX : static_cast<int>(truncated);
}

[[noreturn]] void FailBond(const char* sentence, long long lineNumber, const std::string& text) {
    std::cout << sentence << std::endl;
    std::cout << "Line number " << lineNumber << ": " << text << std::endl;
    std::cout << "Please correct this and run program again." << std::endl;
    ExitSequence();
}

}  // namespace

void ReadBonds(std::string name) {
    topology.clear();
    bondsByLabelShown = false;
    std::ifstream file;
    if (!OpenForReading(file, name, std::ios::in | std::ios::binary)) {
        std::cout << "No file with bond information found." << std::endl;
        // The window can load the file later; a batch job can only be run again.
        std::cout << (headless ? "No bonds will be drawn. Put the bond file in place and render again."
                               : "No bonds will be drawn. Reload input file (Shift-L) to load bond file.")
                  << std::endl;
        return;
    }
    if (LooksBinary(file)) {
        std::cout << BinaryFileLine(name) << std::endl;
        std::cout << "No bonds will be drawn." << std::endl;
        return;
    }
    std::cout << "Bond information file " << name << " is opened." << std::endl;

    // Bond origins per species that the configuration defines.
    const long long originBlock = 3LL * species;
    const long long origins = originBlock > 0 ? static_cast<long long>(bondvec.size()) / originBlock : 0;

    const long long largest = std::max(atoms, mostAtoms);
    // Atom numbers are ids where the frame's labels are not its rows: an id may lie beyond any frame's count.
    const bool numbersAreLabels = !FrameLabelsAreRows();
    std::string text;
    long long lineNumber = 0;
    // The header lines, then the one line after them, are skipped.
    while (std::getline(file, text)) {
        ++lineNumber;
        if (text != HEADER) break;
    }
    while (std::getline(file, text)) {
        ++lineNumber;
        if (text.empty() || !IsDigit(text[0])) continue;
        BondLine bond;
        if (!ParseBondLine(text, bond)) continue;
        topology.push_back(StoredAtom(bond.atomA));
        topology.push_back(StoredAtom(bond.atomB));
        const double truncatedA = std::trunc(bond.originA);
        const double truncatedB = std::trunc(bond.originB);
        if (truncatedA >= 1 && truncatedB >= 1) {
            topology.push_back(StoredOrigin(bond.originA));
            topology.push_back(StoredOrigin(bond.originB));
        } else {
            topology.push_back(1);
            topology.push_back(1);
        }
        // Against the largest frame: a frame with fewer atoms leaves out the bonds to the missing ones.
        const bool beyond = !numbersAreLabels && (bond.atomA > largest || bond.atomB > largest);
        if (beyond || bond.atomA < 1 || bond.atomB < 1)
            FailBond("Error reading bonds. Bond goes to atom that does not exist.", lineNumber, text);
        if (bond.originA > origins || bond.originB > origins)
            FailBond("Error reading bonds. Bond goes from bond origin that does not exist.", lineNumber, text);
    }
    file.close();
    std::cout << "Number of bonds:      " << BondCount() << std::endl;
    JoinBondsToFrame();
}
