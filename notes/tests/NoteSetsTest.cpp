// The note indicator sets and their row colour tables.
#include "notes/NoteSets.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tw;

TEST(NoteSets, Deleika26HoldsItsTwentySixNotes) {
    NoteSet set(deleika26Notes);
    ASSERT_EQ(set.notes.size(), 26u);
    EXPECT_EQ(set.notes.front(), 43);
    EXPECT_EQ(set.notes.back(), 88);
    EXPECT_EQ(set.members.count(), 26u);
    for (int8_t n : set.notes)
        EXPECT_TRUE(set.members.test(unsigned(n)));
    EXPECT_FALSE(set.members.test(44));
    EXPECT_FALSE(set.members.test(87));
    EXPECT_TRUE(set.members.test(66));
    EXPECT_TRUE(set.members.test(73));
}

TEST(NoteSets, TableThatBeginsWithTheTerminatorIsEmpty) {
    const uint8_t empty[] = {0xFF, 60, 62};
    NoteSet set(empty);
    EXPECT_TRUE(set.notes.empty());
    EXPECT_EQ(set.members.count(), 0u);
    // Any byte with the top bit set ends the table.
    const uint8_t two[] = {60, 62, 0x80, 64};
    EXPECT_EQ(NoteSet(two).notes.size(), 2u);
}

TEST(NoteSets, PianoTable) {
    const RowColours piano = pianoRowColours();
    const struct {
        unsigned note;
        TapeColour colour;
    } cases[] = {{0, 255},  {20, 255}, {21, 56},  {22, 52},   {24, 88},  {25, 52},
                 {59, 56},  {60, 88},  {61, 52},  {66, 52},   {70, 52},  {71, 56},
                 {106, 52}, {107, 56}, {108, 88}, {109, 255}, {127, 255}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.note);
        EXPECT_EQ(piano.colours[c.note], c.colour);
    }
    EXPECT_EQ(piano.special, 255u);
    // Every black key of the 88 is light grey, and no other row is.
    for (unsigned n = 21; n <= 108; ++n) {
        const unsigned k = n % 12;
        const bool black = k == 1 || k == 3 || k == 6 || k == 8 || k == 10;
        EXPECT_EQ(piano.colours[n] == 52u, black) << n;
    }
}

TEST(NoteSets, IndicatorChoices) {
    RowColours rc;
    ASSERT_TRUE(indicatorRowColours(indicatorNone, rc));
    for (TapeColour c : rc.colours)
        EXPECT_EQ(c, 47u);
    EXPECT_EQ(rc.special, 0u); // no row carries it: nothing is special

    ASSERT_TRUE(indicatorRowColours(indicatorDeleika26, rc));
    NoteSet set(deleika26Notes);
    unsigned special = 0;
    for (unsigned n = 0; n < 128; ++n) {
        EXPECT_EQ(rc.colours[n], set.members.test(n) ? 47u : 255u) << n;
        special += rc.colours[n] == rc.special;
    }
    EXPECT_EQ(special, 102u);

    ASSERT_TRUE(indicatorRowColours(indicatorPiano, rc));
    EXPECT_EQ(rc.colours[60], 88u);

    RowColours before = rc;
    EXPECT_FALSE(indicatorRowColours(3, rc));
    EXPECT_EQ(std::memcmp(&before, &rc, sizeof rc), 0);
}

TEST(NoteSets, NoteSetTableTakesTheGivenColours) {
    std::bitset<128> members;
    members.set(5);
    const RowColours rc = noteSetRowColours(members, 1, 2, 3);
    EXPECT_EQ(rc.colours[5], 2u);
    EXPECT_EQ(rc.colours[6], 1u);
    EXPECT_EQ(rc.special, 3u);
}
