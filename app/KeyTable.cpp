#include "app/KeyTable.h"

#include "app/CommandIds.h"

#include <FL/Enumerations.H>

namespace tw {

namespace {

// Keys that need the exact modifier state (cursor and page keys).
struct ExactKey {
    int key;
    int state;
    int command;
};
constexpr ExactKey exactKeys[] = {
    {FL_Left, 0, cmdFrameLeft},   {FL_Left, FL_CTRL, cmdMoveLeft},
    {FL_Right, 0, cmdFrameRight}, {FL_Right, FL_CTRL, cmdMoveRight},
    {FL_Page_Up, 0, cmdScrollUp}, {FL_Page_Down, 0, cmdScrollDown},
    {FL_Up, 0, cmdNotesHigher},   {FL_Down, 0, cmdNotesLower},
};

// Keys recognised by the first character of their text, whatever the modifiers.
struct TextKey {
    char text;
    int command;
};
// The Ctrl+letter keys are shortcuts of the menu only.
constexpr TextKey firstTextKeys[] = {
    {' ', cmdPlayFromMarker},
    {0x1b, cmdUnselectAll},
    {'i', cmdInvertSelection},
    {'q', cmdExitNow},
};

// Keys recognised by their key code, whatever the modifiers.
struct CodeKey {
    int key;
    int command;
};
constexpr CodeKey codeKeys[] = {
    {FL_F + 1, cmdHelp},         {FL_Home, cmdToStart},
    {FL_End, cmdToEnd},          {FL_Delete, cmdRemoveSelected},
    {FL_BackSpace, cmdStepBack},
};

constexpr TextKey lastTextKeys[] = {
    {'x', cmdEraseRegion},      {'m', cmdSelectRegion},    {'1', cmdClickLeftMarker},
    {'2', cmdClickRightMarker}, {'s', cmdClickBlueMarker}, {'p', cmdClickPlayMarker},
};

} // namespace

int withoutLockBits(int state) {
    return state & ~(FL_CAPS_LOCK | FL_NUM_LOCK | FL_SCROLL_LOCK);
}

int keyCommand(int key, int state, const char *text) {
    for (const ExactKey &k : exactKeys)
        if (k.key == key && k.state == state)
            return k.command;
    const char first = text ? text[0] : '\0';
    if (first != '\0')
        for (const TextKey &k : firstTextKeys)
            if (k.text == first)
                return k.command;
    for (const CodeKey &k : codeKeys)
        if (k.key == key)
            return k.command;
    if (first != '\0')
        for (const TextKey &k : lastTextKeys)
            if (k.text == first)
                return k.command;
    return 0;
}

} // namespace tw
