// The right-button pop-up menu: light mode, printing, image format, overlay, quit.
#pragma once

void createGLUTMenus();     // build the menu tree and attach it to the right button
void MenuHandler(int id);   // act on the chosen entry

constexpr int SUBMENU = -1;  // the id of a main-menu row that opens the sub-menu its label names

struct MenuRow {
    int id;              // what GLUT hands to MenuHandler; SUBMENU for a sub-menu of the main menu
    const char* menu;    // the sub-menu that holds the entry; nullptr: the main menu
    const char* label;   // the entry's text; where a key does the same it ends in "(KEY)"
    char key;            // the key the label names, '\0' where none
    void (*action)();    // what the entry does; nullptr: what its key does (or, with no key, a sub-menu)
};
extern const MenuRow MENU_ROWS[];  // every row, sub-menus in the order they are built, then the main menu's
extern const int MENU_ROW_COUNT;   // entries of MENU_ROWS
