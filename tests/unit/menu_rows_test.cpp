// The menu's table: the keys its labels name are the key table's, and every entry does something.
#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "ui/keyboard.h"
#include "ui/menu.h"

namespace {

// How a label names a key: the character itself, or the key table's name for one that prints nothing (Enter).
std::string KeyName(char key, const KeyCommand& command) {
    return std::isprint(static_cast<unsigned char>(key)) ? std::string(1, key) : command.label;
}

bool NamesSubMenu(const char* name) {
    for (int k = 0; k < MENU_ROW_COUNT; ++k)
        if (MENU_ROWS[k].menu != nullptr && std::strcmp(MENU_ROWS[k].menu, name) == 0) return true;
    return false;
}

TEST(MenuRows, FollowTheKeyTable) {
    std::set<int> ids;
    for (int k = 0; k < MENU_ROW_COUNT; ++k) {
        const MenuRow& row = MENU_ROWS[k];
        const std::string label = row.label;
        if (row.id == SUBMENU) {
            EXPECT_EQ(row.menu, nullptr) << label << ": only the main menu opens sub-menus";
            EXPECT_TRUE(NamesSubMenu(row.label)) << label << " opens a sub-menu that has no entries";
            continue;
        }
        EXPECT_TRUE(ids.insert(row.id).second) << label << ": its id is another entry's too";
        if (row.key == '\0') {
            EXPECT_NE(row.action, nullptr) << label << " does nothing";
            EXPECT_EQ(label.find('('), std::string::npos) << label << " names a key the row does not";
            continue;
        }
        const KeyCommand* command = KeyCommandOf(row.key);
        ASSERT_NE(command, nullptr) << label << " names a key that runs nothing";
        const std::string named = " (" + KeyName(row.key, *command) + ")";
        EXPECT_TRUE(label.size() > named.size() && label.compare(label.size() - named.size(), named.size(), named) == 0)
            << label << " should end in" << named;
    }
}

}  // namespace
