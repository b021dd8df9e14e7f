#include "framework/ShortcutLabel.h"

#include <FL/Enumerations.H>
#include <FL/fl_utf8.h>

#include <cctype>

namespace tw {

namespace {

constexpr int modifierMask = FL_CTRL | FL_ALT | FL_SHIFT | FL_META;

struct KeyName {
    int key;
    const char *name;
};
constexpr KeyName keyNames[] = {
    {' ', "Space"},        {FL_BackSpace, "Backspace"}, {FL_Tab, "Tab"},
    {FL_Enter, "Enter"},   {FL_KP_Enter, "Enter"},      {FL_Escape, "Esc"},
    {FL_Insert, "Insert"}, {FL_Delete, "Delete"},       {FL_Home, "Home"},
    {FL_End, "End"},       {FL_Page_Up, "Page Up"},     {FL_Page_Down, "Page Down"},
    {FL_Left, "Left"},     {FL_Right, "Right"},         {FL_Up, "Up"},
    {FL_Down, "Down"},     {FL_Print, "Print"},         {FL_Pause, "Pause"},
    {FL_Menu, "Menu"},     {FL_Help, "Help"},
};

std::string keyName(int key, bool modified) {
    for (const KeyName &k : keyNames)
        if (k.key == key)
            return k.name;
    if (key > FL_F && key <= FL_F_Last)
        return "F" + std::to_string(key - FL_F);
    if (key >= 'a' && key <= 'z')
        return std::string(1, char(modified ? std::toupper(key) : key));
    if (key > ' ' && key < 0x7f)
        return std::string(1, char(key));
    if (key >= 0xa0 && key < 0xff00) { // a character outside ASCII: its UTF-8 form
        char buffer[8];
        const unsigned n = fl_utf8encode(unsigned(key), buffer);
        return std::string(buffer, n);
    }
    return "?";
}

} // namespace

int normalisedShortcut(int shortcut) {
    const int key = shortcut & FL_KEY_MASK;
    const int modifiers = shortcut & modifierMask;
    if (key >= 1 && key <= 26)
        return modifiers | FL_CTRL | ('a' + key - 1);
    if (key >= 'A' && key <= 'Z')
        return modifiers | FL_SHIFT | (key - 'A' + 'a');
    return shortcut;
}

std::string shortcutLabel(int shortcut) {
    if (shortcut == 0)
        return "";
    const int s = normalisedShortcut(shortcut);
    std::string label;
    if (s & FL_CTRL)
        label += "Ctrl+";
    if (s & FL_ALT)
        label += "Alt+";
    if (s & FL_SHIFT)
        label += "Shift+";
    if (s & FL_META)
        label += "Meta+";
    return label + keyName(s & FL_KEY_MASK, (s & modifierMask) != 0);
}

} // namespace tw
