// The melody model: construction, the gate for single notes, and what is in view.
#include "TapeTestSupport.h"
#include "scoretape/PlaybackController.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <chrono>

using namespace tw;

TEST(TapeModel, NewTapeDefaults) {
    Flt_ScoreTape tape(0, 0, 0, 0);
    EXPECT_EQ(tape.view().rowHeight, 11u);
    EXPECT_EQ(tape.view().tickWidth, 8u);
    EXPECT_EQ(tape.model().ticksPerFrame(), 32u);
    EXPECT_EQ(tape.view().firstTick, 0u);
    EXPECT_EQ(tape.view().bottomNote, 58u);
    EXPECT_EQ(tape.model().leftMarker(), 0u);
    EXPECT_EQ(tape.model().rightMarker(), 0u);
    EXPECT_EQ(tape.model().playMarker(), 0u);
    EXPECT_TRUE(tape.model().sectionMarkers().empty());
    EXPECT_EQ(tape.model().channelMask(), 0xFFFF);
    EXPECT_EQ(tape.view().visibleTicks, 0u);
    EXPECT_EQ(tape.view().visibleRows, 0u);
    EXPECT_FALSE(tape.model().dataChanged());
    EXPECT_EQ(tape.labelFont(), 0);
    EXPECT_EQ(tape.model().rowColours().colours[60], 88u); // the piano table
    for (unsigned c = 0; c < 16; ++c)
        EXPECT_EQ(tape.model().program(c), c);
    EXPECT_EQ(tape.model().undoPosition(), 0u);
    PlaybackController playback(tape);
    EXPECT_EQ(playback.timeScale(), 1.0);
    EXPECT_EQ(playback.outputPort(), nullptr);
    EXPECT_EQ(playback.player().state(), NoxssThread::stateIdle);
}

TEST(TapeModel, ChannelColours) {
    Flt_ScoreTape tape(0, 0, 0, 0);
    const struct {
        unsigned channel;
        Fl_Color plain, selected;
    } cases[] = {{0, tapeRgb(0, 0, 252), tapeRgb(95, 95, 255)},
                 {1, tapeRgb(252, 0, 0), tapeRgb(255, 95, 95)},
                 {2, 0, tapeRgb(95, 95, 95)},
                 {4, tapeRgb(189, 63, 0), tapeRgb(215, 135, 95)},
                 {15, tapeRgb(0, 126, 126), tapeRgb(95, 175, 175)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.channel);
        EXPECT_EQ(channelNoteColour(c.channel, false), c.plain);
        EXPECT_EQ(channelNoteColour(c.channel, true), c.selected);
    }
    // A colour of 0 is FLTK's black: the notes of channel index 2 are seen on the white board.
    EXPECT_EQ(tape.layout().noteColour(tn(60, 0, 4, 2)), FL_BLACK);
}

TEST(TapeModel, AddNoteRefusesInvalidNotes) {
    const struct {
        const char *what;
        TapeNote note;
    } cases[] = {{"length 0", tn(60, 0, 0)},
                 {"note 128", tn(128, 0)},
                 {"velocity 128", tn(60, 0, 4, 0, 128)},
                 {"channel 16", tn(60, 0, 4, 16)},
                 {"end past the last tick", tn(60, 0xFFFFFFF0u, 0x20)},
                 {"duplicate with other length", tn(60, 10, 9)},
                 {"duplicate with other velocity", tn(60, 10, 4, 0, 5)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Flt_ScoreTape tape(0, 0, 0, 0);
        ASSERT_TRUE(tape.model().addNote(tn(60, 10)));
        tape.model().setDataChanged(false);
        EXPECT_FALSE(tape.model().addNote(c.note));
        EXPECT_EQ(tape.model().notes().size(), 1u);
        EXPECT_FALSE(tape.model().dataChanged());
    }
}

TEST(TapeModel, AddNoteKeepsOrderAndArrivalOrderOfEqualStarts) {
    Flt_ScoreTape tape(0, 0, 0, 0);
    EXPECT_TRUE(tape.model().addNote(tn(60, 10)));
    EXPECT_TRUE(tape.model().addNote(tn(60, 10, 4, 1))); // same note on another channel
    EXPECT_TRUE(tape.model().addNote(tn(62, 5)));
    EXPECT_TRUE(tape.model().addNote(tn(64, 20)));
    EXPECT_TRUE(tape.model().addNote(tn(65, 10, 4, 0, 100, true)));
    EXPECT_TRUE(tape.model().dataChanged());
    ASSERT_EQ(starts(tape.model().notes()), (std::vector<unsigned>{5, 10, 10, 10, 20}));
    EXPECT_EQ(tape.model().notes()[3].note, 65u); // after all notes of start 10
    EXPECT_FALSE(tape.model().notes()[3].selected);
    EXPECT_EQ(tape.model().notes()[2].channel, 1u);
    EXPECT_TRUE(tn(60, 1, 2, 3, 4, true) == tn(60, 1, 2, 3, 4, false));
}

TEST(TapeView, VisibleArea) {
    const struct {
        int w, h;
        unsigned ticks, rows;
    } cases[] = {{9, 400, 0, 0},
                 {400, 9, 0, 0},
                 {100, 14, 12, 0},
                 {801, 345, 100, 30},
                 {10, 15 + 128 * 11, 1, 128},
                 {10, 2000, 1, 128},
                 {800, 25, 99, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        Flt_ScoreTape tape(0, 0, 0, 0);
        tape.resize(0, 25, c.w, c.h);
        EXPECT_EQ(tape.view().visibleTicks, c.ticks);
        EXPECT_EQ(tape.view().visibleRows, c.rows);
        EXPECT_EQ(tape.y(), 25);
    }
}

TEST(TapeView, SettersIgnoreValuesOutOfRange) {
    TestWidget tape;
    tape.model().setTicksPerFrame(1);
    tape.model().setTicksPerFrame(201);
    EXPECT_EQ(tape.model().ticksPerFrame(), 32u);
    tape.model().setTicksPerFrame(200);
    EXPECT_EQ(tape.model().ticksPerFrame(), 200u);
    tape.setBottomNote(200);
    EXPECT_EQ(tape.view().bottomNote, 50u);
    tape.setFirstTick(4000000000u); // no upper limit
    EXPECT_EQ(tape.view().firstTick, 4000000000u);
}

TEST(TapeView, ScrollNotes) {
    const struct {
        unsigned bottom;
        int rows;
        bool result;
        unsigned after;
    } cases[] = {{97, 1, true, 98}, {98, 1, false, 98}, {90, 20, true, 98}, {5, -3, true, 2},
                 {2, -3, true, 0},  {0, -1, false, 0},  {3, -3, true, 0},   {50, 0, true, 50}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.bottom) + " by " + std::to_string(c.rows));
        TestWidget tape; // 30 rows
        tape.setBottomNote(c.bottom);
        EXPECT_EQ(tape.scrollNotes(c.rows), c.result);
        EXPECT_EQ(tape.view().bottomNote, c.after);
    }
}

TEST(TapeView, LeftMarkerScrollsTheView) {
    const struct {
        unsigned firstTick, marker, expectFirst;
    } cases[] = {{100, 64, 32},               // a frame boundary: one frame more is shown
                 {100, 70, 64},               // back to the boundary before it
                 {100, 0, 0},   {32, 70, 32}, // in view: unchanged
                 {0, 100, 32},                // just past the last column (100 visible ticks)
                 {0, 99, 0},    {0, 250, 160}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.firstTick) + " -> " + std::to_string(c.marker));
        TestWidget tape;
        tape.setFirstTick(c.firstTick);
        tape.model().setLeftMarker(c.marker, tape.view());
        EXPECT_EQ(tape.view().firstTick, c.expectFirst);
        EXPECT_EQ(tape.model().leftMarker(), c.marker);
        EXPECT_LE(tape.model().leftMarker(), tape.model().rightMarker());
        // The marker is then inside the view.
        EXPECT_GE(c.marker, tape.view().firstTick);
        EXPECT_LT(c.marker, tape.view().firstTick + tape.view().visibleTicks);
    }
}

TEST(TapeView, MarkersKeepTheirOrder) {
    TestWidget tape;
    tape.model().setRightMarker(50);
    tape.model().setLeftMarker(20, tape.view());
    tape.model().setRightMarker(10); // before the red marker: the red one follows
    EXPECT_EQ(tape.model().leftMarker(), 10u);
    EXPECT_EQ(tape.model().rightMarker(), 10u);
    tape.model().setLeftMarker(40, tape.view()); // past the purple marker: the purple one follows
    EXPECT_EQ(tape.model().rightMarker(), 40u);
    tape.model().toggleSectionMarker(7);
    tape.model().toggleSectionMarker(9);
    tape.model().toggleSectionMarker(7);
    EXPECT_EQ(tape.model().sectionMarkers(), (std::set<unsigned>{9}));
    tape.model().clearSectionMarkers();
    EXPECT_TRUE(tape.model().sectionMarkers().empty());
    tape.model().setPlayMarker(12);
    EXPECT_EQ(tape.model().playMarker(), 12u);
}

TEST(TapeView, EndTickAndScrollToEnd) {
    TestWidget tape;
    EXPECT_EQ(tape.model().endTick(), 0u);
    tape.model().setNotes({tn(60, 0, 300), tn(61, 50, 4)});
    EXPECT_EQ(tape.model().endTick(), 54u); // the last note in storage order, not the latest end
    tape.setFirstTick(30);
    tape.scrollToEnd(); // fewer ticks than visible: back to 0
    EXPECT_EQ(tape.view().firstTick, 0u);
    tape.model().setNotes({tn(60, 0), tn(61, 500, 20)});
    tape.scrollToEnd();
    EXPECT_EQ(tape.view().firstTick, 420u);
}

TEST(TapeView, ChannelMaskClearsTheSelection) {
    TestWidget tape;
    tape.model().setNotes({tn(60, 0, 4, 0, 100, true), tn(61, 0, 4, 3, 100, true)});
    tape.model().setChannelMask(0xFFFF); // unchanged: flags stay
    EXPECT_TRUE(tape.model().notes()[0].selected);
    tape.model().setChannelMask(0x0001);
    EXPECT_EQ(tape.model().channelMask(), 0x0001);
    EXPECT_FALSE(tape.model().notes()[0].selected || tape.model().notes()[1].selected);
    EXPECT_FALSE(tape.model().isChannelShown(tape.model().notes()[1]));
    tape.model().clear();
    EXPECT_EQ(tape.model().channelMask(), 0xFFFF);
}

// Without rows in view the bottom row never leaves the note range.
TEST(TapeView, ScrollNotesWithoutRowsStaysInRange) {
    Flt_ScoreTape tape(0, 0, 0, 0);
    tape.setBottomNote(100);
    EXPECT_TRUE(tape.scrollNotes(10));
    EXPECT_EQ(tape.view().bottomNote, 110u);
    EXPECT_TRUE(tape.scrollNotes(50));
    EXPECT_EQ(tape.view().bottomNote, 127u);
}

// What a large edit leaves raw in the undo history is compressed while the tape waits for
// input, and undo still brings back every melody exactly.
TEST(TapeModel, CompressesTheUndoHistoryWhileIdle) {
    const auto melody = [](uint32_t seed) {
        std::vector<TapeNote> notes(300000);
        uint32_t start = 0;
        for (TapeNote &n : notes) {
            seed = seed * 1103515245u + 12345u;
            start += (seed >> 16) % 3;
            n = tn(20 + (seed >> 4) % 80, start, 1 + (seed >> 8) % 50, (seed >> 20) % 16,
                   1 + (seed >> 12) % 120, false);
        }
        return notes;
    };
    const std::vector<TapeNote> first = melody(1), second = melody(2);
    Flt_ScoreTape tape(0, 0, 0, 0);
    tape.model().setNotes(first);
    tape.model().selectAll();
    tape.model().selectedNotesHigher();
    tape.model().setNotes(second);
    tape.model().selectAll();
    tape.model().selectedNotesHigher();
    ASSERT_TRUE(tape.model().undoHistoryMayHoldRaw()) << "the difference was compressed at once";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (tape.model().undoHistoryMayHoldRaw() && std::chrono::steady_clock::now() < until)
        Fl::wait(0.1);
    EXPECT_FALSE(tape.model().undoHistoryMayHoldRaw());
    EXPECT_EQ(tape.model().undoHistory().pendingBytes(), 0u);
    ASSERT_TRUE(tape.model().undo());
    EXPECT_EQ(tape.model().notes(), second);
    ASSERT_TRUE(tape.model().undo());
    ASSERT_TRUE(tape.model().undo());
    EXPECT_EQ(tape.model().notes(), first);
}
