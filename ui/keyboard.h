// Keyboard commands: one table of key, action and help line drives the handler and the 'h' list.
#pragma once

void KeyHandler(unsigned char key, int x, int y);       // GLUT keyboard callback

struct KeyCommand {
    const char* keys;   // the characters that run it (Esc is \x1b, Enter \r)
    const char* label;  // how the help list names the keys; nullptr: the line above names this command too
    void (*action)();   // what the key does
    const char* help;   // the help line; nullptr with the label
};
extern const KeyCommand KEY_COMMANDS[];  // every key command, in the order the help list shows them
extern const int KEY_COMMAND_COUNT;      // entries of KEY_COMMANDS
const KeyCommand* KeyCommandOf(char key);  // the command that key runs; nullptr: none
