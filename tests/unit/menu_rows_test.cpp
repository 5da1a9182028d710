// The menu's table: the keys its labels name are the key table's, and every entry does something.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "ui/keyboard.h"
#include "ui/menu.h"

TEST(MenuRows, FollowTheKeyTable) {
    std::set<int> ids;
    std::set<std::string> subMenus;
    for (int k = 0; k < MENU_ROW_COUNT; ++k)
        if (MENU_ROWS[k].menu != nullptr) subMenus.insert(MENU_ROWS[k].menu);
    for (int k = 0; k < MENU_ROW_COUNT; ++k) {
        const MenuRow& row = MENU_ROWS[k];
        const std::string label = row.label;
        if (row.id == SUBMENU) {
            EXPECT_TRUE(row.menu == nullptr && subMenus.count(label) == 1) << label << " opens no sub-menu";
            continue;
        }
        EXPECT_TRUE(ids.insert(row.id).second) << label << ": its id is another entry's too";
        const KeyCommand* command = KeyCommandOf(row.key);
        if (row.key == '\0') {
            EXPECT_TRUE(row.action != nullptr && label.find('(') == std::string::npos) << label;
            continue;
        }
        ASSERT_NE(command, nullptr) << label << " names a key that runs nothing";
        // The key itself, or the key table's name for one that prints nothing (Enter).
        const bool printable = std::isprint(static_cast<unsigned char>(row.key));
        const std::string named = " (" + (printable ? std::string(1, row.key) : command->label) + ")";
        EXPECT_TRUE(label.size() > named.size() && label.compare(label.size() - named.size(), named.size(), named) == 0)
            << label << " should end in" << named;
    }
}
