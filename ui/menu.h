// The right-button pop-up menu: light mode, printing, image format, overlay, quit.
#pragma once

void createGLUTMenus();     // build the menu tree and attach it to the right button
void MenuHandler(int id);   // act on the chosen entry
