#include "framework/AppIcon.h"
#include "framework/HelpText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace tw;

namespace {

std::vector<std::string> helpLines() {
    std::vector<std::string> lines;
    const std::string text = helpText;
    size_t begin = 0;
    for (size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(text.substr(begin, end - begin));
    EXPECT_EQ(begin, text.size()) << "text after the last line break";
    return lines;
}

TEST(HelpText, SeventyThreeLinesEachWithItsBreak) {
    const std::vector<std::string> lines = helpLines();
    ASSERT_EQ(lines.size(), 73u);
    struct Case {
        int number;
        const char *text;
    };
    const Case cases[] = {
        {1, "Nomenclature:"},
        {6, ""},
        {31, ""},
        {44, ""},
        {46, "  ESC         : Deselect all notes and clear 'click action'"},
        {4, "         in the 'Settings/Ticks per frame' menu. One frame has a length"},
        {26, "    Scroll score board left/right by half a frame."},
        {28, "    Move red region marker left/right by 1 tick."},
        {30, "    Move red region marker left/right by 1 frame."},
        {47, "  Left/right  : Scroll scoreboard one frame left/right"},
        {48, "  Ctrl lft/rte: Move selected notes one tick left/right"},
        {49, "  Up/down     : Move selected notes one semitone up/down"},
        {54, "  Ctrl-Shift-S: Save notes as MIDI file under a new name"},
        {60, "  Ctrl-X      : Cut selected notes to clipboard. This does not remove"
             "                the time occupied by the notes."},
        {67, "  t           : Insert time of the region's length at the left marker"},
        {69, "  Ctrl-I      : Import chosen tracks of a MIDI file"},
        {73, "  F1          : Show this help screen"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(lines[static_cast<size_t>(c.number - 1)], c.text);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_TRUE(lines[i].empty() || lines[i].back() != ' ') << "trailing blank";
        EXPECT_EQ(lines[i].find('\t'), std::string::npos);
    }
}

TEST(AppIcon, AnOpaquePictureOfSeveralColours) {
    const std::vector<unsigned char> pixels = appIconPixels();
    ASSERT_EQ(pixels.size(), static_cast<size_t>(appIconSize * appIconSize * 4));
    std::set<unsigned> colours;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        EXPECT_EQ(pixels[i + 3], 255);
        colours.insert(pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2]);
    }
    EXPECT_GE(colours.size(), 6u);
    const Fl_RGB_Image *image = appIcon();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->w(), appIconSize);
    EXPECT_EQ(image->d(), 4);
    EXPECT_EQ(image, appIcon());
}

// Each size is drawn afresh: a one-pixel frame, the keyboard's white and black keys at the left,
// the lighter roll beside them; sizes outside the supported range give no picture.
TEST(AppIcon, DrawnForEverySize) {
    EXPECT_EQ(appIconPixels(), appIconPixels(appIconSize));
    const int sizes[] = {appIconMinSize, 24, 32, 48, 100, 256, appIconMaxSize};
    for (int size : sizes) {
        SCOPED_TRACE(size);
        const std::vector<unsigned char> pixels = appIconPixels(size);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(size) * size * 4);
        auto at = [&](int x, int y) {
            const size_t i = (static_cast<size_t>(y) * size + x) * 4;
            return pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2];
        };
        for (int i = 0; i < size; ++i) {
            EXPECT_EQ(at(i, 0), 0x282830);
            EXPECT_EQ(at(0, i), 0x282830);
            EXPECT_EQ(at(size - 1, i), 0x282830);
            EXPECT_EQ(at(i, size - 1), 0x282830);
        }
        std::set<int> keys, roll;
        for (int y = 1; y < size - 1; ++y) {
            keys.insert(at(1, y));
            roll.insert(at(size - 2, y));
        }
        EXPECT_EQ(keys, (std::set<int>{0x1e1e1e, 0xfafafa}));
        EXPECT_TRUE(roll.count(0xeceef2) && roll.count(0xd6dae2));
        for (size_t i = 3; i < pixels.size(); i += 4)
            ASSERT_EQ(pixels[i], 255);
    }
    for (int size : {-1, 0, appIconMinSize - 1, appIconMaxSize + 1})
        EXPECT_TRUE(appIconPixels(size).empty()) << size;
}

} // namespace
