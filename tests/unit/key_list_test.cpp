// The key table drives the 'h' list, and the README's key table and the manual page's KEYS section follow it.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "ui/keyboard.h"
#include "ui/view_commands.h"

namespace {

struct KeyLine {
    std::string label;  // how the keys are named
    std::string text;   // what they do
};

// The commands of the key table that have a line of their own.
std::vector<KeyLine> TableLines() {
    std::vector<KeyLine> lines;
    for (int k = 0; k < KEY_COMMAND_COUNT; ++k)
        if (KEY_COMMANDS[k].label != nullptr) lines.push_back({KEY_COMMANDS[k].label, KEY_COMMANDS[k].help});
    return lines;
}

std::string ReadSource(const std::string& name) {
    std::ifstream file(std::string(OVALIX_SOURCE_DIR) + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string Without(std::string text, const std::string& part) {
    for (std::size_t at; (at = text.find(part)) != std::string::npos;) text.erase(at, part.size());
    return text;
}

// The rows "| keys | action |" of the README's table under the heading "| key | action |".
std::vector<KeyLine> ReadmeLines(const std::string& readme) {
    std::vector<KeyLine> rows;
    std::vector<std::string> lines = Lines(readme);
    std::size_t k = 0;
    while (k < lines.size() && lines[k] != "| key | action |") ++k;
    for (k += 2; k < lines.size() && lines[k].rfind("| ", 0) == 0; ++k) {
        std::size_t middle = lines[k].find(" | ", 2);
        if (middle == std::string::npos) break;
        rows.push_back({Without(Trim(lines[k].substr(2, middle - 2)), "`"),
                        Trim(lines[k].substr(middle + 3, lines[k].size() - middle - 3 - 2))});
    }
    return rows;
}

// A roff line's text: font requests give their words joined (quoted words keep their spaces), escapes resolved.
std::string RoffText(const std::string& line) {
    std::string text = line;
    if (line.rfind(".B ", 0) == 0 || line.rfind(".BR ", 0) == 0 || line.rfind(".IR ", 0) == 0) {
        text.clear();
        bool quoted = false;
        for (std::size_t k = line.find(' ') + 1; k < line.size(); ++k) {
            if (line[k] == '"') quoted = !quoted;
            else if (line[k] != ' ' || quoted) text += line[k];
        }
    }
    for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.replace(at, 2, "-");
    return text;
}

// The tagged paragraphs (.TP, tag line, text lines) of the manual page's KEYS section.
std::vector<KeyLine> ManualLines(const std::string& manual) {
    std::vector<KeyLine> entries;
    std::vector<std::string> lines = Lines(manual);
    std::size_t k = 0;
    while (k < lines.size() && lines[k] != ".SH KEYS") ++k;
    for (++k; k < lines.size() && lines[k].rfind(".SH", 0) != 0; ++k) {
        if (lines[k] != ".TP" || k + 1 >= lines.size()) continue;
        KeyLine entry{RoffText(lines[++k]), ""};
        while (k + 1 < lines.size() && lines[k + 1].rfind(".", 0) != 0)
            entry.text += (entry.text.empty() ? "" : " ") + RoffText(lines[++k]);
        entries.push_back(entry);
    }
    return entries;
}

// The documented lines name the same keys in the same order, each saying first what the table says.
void ExpectFollowsTable(const std::vector<KeyLine>& documented, const char* where) {
    std::vector<KeyLine> table = TableLines();
    ASSERT_EQ(documented.size(), table.size()) << where << " lists another number of keys than the key table";
    for (std::size_t k = 0; k < table.size(); ++k) {
        EXPECT_EQ(documented[k].label, table[k].label) << where << ", entry " << k;
        EXPECT_EQ(documented[k].text.substr(0, table[k].text.size()), table[k].text)
            << where << ", the entry of " << table[k].label;
    }
}

}  // namespace

TEST(KeyList, HelpPrintsEveryCommandOfTheTableInItsOrder) {
    std::vector<std::string> printed = Lines(RunCaptured(PrintHelp).output);
    std::vector<KeyLine> table = TableLines();
    ASSERT_GT(printed.size(), table.size() + 2);
    EXPECT_EQ(printed[0], "Keys:");
    for (std::size_t k = 0; k < table.size(); ++k) {
        const std::string& line = printed[k + 1];
        // The label and the help text, with nothing but spaces between them.
        EXPECT_EQ(line.rfind("  " + table[k].label + " ", 0), 0u) << line;
        ASSERT_GE(line.size(), table[k].text.size()) << line;
        EXPECT_EQ(line.substr(line.size() - table[k].text.size()), table[k].text) << line;
        EXPECT_EQ(Trim(line.substr(2 + table[k].label.size(), line.size() - table[k].text.size() - 2 -
                                                                   table[k].label.size())), "") << line;
    }
    EXPECT_EQ(printed[table.size() + 1], "Mouse and special keys:");
    // Every character of every command runs exactly one command: no key is bound twice.
    for (int c = 1; c < 256; ++c) {
        int bound = 0;
        for (int k = 0; k < KEY_COMMAND_COUNT; ++k)
            for (const char* key = KEY_COMMANDS[k].keys; *key != '\0'; ++key) bound += *key == static_cast<char>(c);
        EXPECT_LE(bound, 1) << "key " << c;
    }
}

TEST(KeyList, ReadmeAndManualFollowTheKeyTable) {
    ExpectFollowsTable(ReadmeLines(ReadSource("README.md")), "README.md");
    ExpectFollowsTable(ManualLines(ReadSource("docs/ovalix.1")), "docs/ovalix.1");
}
