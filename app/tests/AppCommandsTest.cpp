// The menu and the command dispatcher on a real window.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "framework/Flt_Infowin.h"
#include "framework/HelpText.h"

#include "notes/NoteSets.h"
#include <FL/Fl_Text_Display.H>

#include <cmath>
#include <cstring>
#include <functional>

using namespace tw;

namespace {

class AppCommands : public testing::Test {
protected:
    AppHarness h;
    void SetUp() override { h.start(); }
};

} // namespace

TEST_F(AppCommands, WindowHoldsTheMenuAboveTheTape) {
    App &app = *h.app;
    EXPECT_EQ(h.title(), tw::identity::title);
    ASSERT_EQ(app.children(), 2);
    EXPECT_EQ(app.child(0), static_cast<Fl_Widget *>(app.menuBar()));
    EXPECT_EQ(app.child(1), static_cast<Fl_Widget *>(app.scoreTape()));
    EXPECT_EQ(h.tape().y(), 25);
    EXPECT_EQ(h.tape().h(), app.h() - 25);
    app.resize(app.x(), app.y(), 200, 200);
    EXPECT_EQ(h.menu().w(), 200);
    EXPECT_EQ(h.menu().h(), 25);
    EXPECT_EQ(h.tape().w(), 200);
    EXPECT_EQ(h.tape().h(), 175);
}

TEST_F(AppCommands, MenuItemsCarryTheirIdsAndShortcuts) {
    struct Case {
        const char *path;
        int id;
        int shortcut;
    };
    const Case cases[] = {
        {"File/Save", cmdSave, FL_CTRL + 's'},
        {"File/Save As...", cmdSaveAs, FL_CTRL + FL_SHIFT + 's'},
        {"File/Open", cmdOpen, FL_CTRL + 'o'},
        {"File/New", cmdNew, FL_CTRL + 'n'},
        {"File/Exit", cmdExit, FL_CTRL + 'q'},
        {"File/Export tape...", cmdExportTape, FL_CTRL + 'e'},
        {"File/EXIT WITHOUT ASKING!", cmdExitNow, 'q'},
        {"Select/Unselect all notes              ESC", cmdUnselectAll, 0},
        {"Select/Select loudest notes/30%", 398, 0},
        {"Edit/Insert marked region's length", cmdInsertRegionLength, 't'},
        {"Edit/Move selected note on tick left", cmdMoveLeft, FL_CTRL + FL_Left},
        {"Edit/Move selected note on tick right", cmdMoveRight, FL_CTRL + FL_Right},
        {"Edit/Selected notes lower", cmdNotesLower, FL_Down},
        {"Play/Play notes from green marker or stop", cmdPlayFromMarker, ' '},
        {"Play/Speed adjustment/58%", 470, 0},
        {"Scroll/Scoreboard down", cmdScrollUp, FL_Page_Up},
        {"Settings/Ticks per frame (sec)/100", 590, 0},
        {"Settings/Select MIDI output/(None)", cmdNoOutput, 0},
        {"Settings/MIDI channel for new notes/Channel 5", 53, 0},
        {"Settings/Show MIDI channels/Channel 0 only", cmdChannel0Only, 0},
        {"Settings/Instrument for current channel/0 Acoustic Grand Piano", 112, 0},
        {"Settings/Instrument for current channel/127 Gunshot", 239, 0},
        {"Settings/Select note indicators/Deleika-26", 103, 0},
        {"Help/Contents", cmdHelp, FL_F + 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const Fl_Menu_Item *byPath = h.menu().find_item(c.path);
        ASSERT_NE(byPath, nullptr);
        EXPECT_EQ(h.menu().findItem(c.id), byPath);
        EXPECT_EQ(h.menu().shortcutOf(c.id), c.shortcut);
    }
}

TEST_F(AppCommands, InitialMarksAfterAFirstStart) {
    for (int id : {473, 498, int(cmdNoOutput), 64, 65, 66, 67, 68, 69, 48, 102})
        EXPECT_TRUE(h.marked(id)) << id;
    for (int id : {469, 494, 101, 103, int(cmdPlayInsertedNote), 49, 113})
        EXPECT_FALSE(h.marked(id)) << id;
}

TEST_F(AppCommands, ScrollingByFrames) {
    h.app->onCommand(cmdTicksPerFrame + 8);
    h.tape().setFirstTick(5);
    h.app->onCommand(cmdFrameLeft);
    EXPECT_EQ(h.tape().view().firstTick, 0u);
    h.app->onCommand(cmdFrameRight);
    h.app->onCommand(cmdFrameRight);
    EXPECT_EQ(h.tape().view().firstTick, 16u);
    h.app->onCommand(cmdToStart);
    EXPECT_EQ(h.tape().view().firstTick, 0u);
}

TEST_F(AppCommands, CommandsArmClickActions) {
    const std::pair<int, ClickAction> cases[] = {
        {cmdClickPlayMarker, clickPlayMarker},   {cmdClickLeftMarker, clickLeftMarker},
        {cmdClickRightMarker, clickRightMarker}, {cmdClickBlueMarker, clickBlueMarker},
        {cmdPasteWithTime, clickPasteWithTime},  {cmdPaste, clickPaste},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        h.app->onCommand(c.first);
        EXPECT_EQ(h.app->pendingClickAction(), c.second);
    }
}

TEST_F(AppCommands, ChannelZeroOnlyHidesTheOtherChannelsOnTheTape) {
    h.app->onCommand(cmdNewNoteChannel + 3);
    h.tape().model().addNote(tn(60, 0, 4, 1));
    h.tape().model().selectAll();
    h.app->onCommand(cmdChannel0Only);
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(h.marked(cmdShowChannel + c), c == 0 || c == 3) << c;
    // Channels 6 to 15 have no item and stay shown.
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFC9);
    EXPECT_TRUE(h.tape().model().selectedNotes().empty()) << "a hidden note is not left selected";
}

TEST_F(AppCommands, ShowChannelMarksDecideWhatTheTapePlaysAndShows) {
    // FLTK flips a toggle's mark before the command arrives; the tests do the same.
    h.menu().findItem(cmdShowChannel + 1)->clear();
    h.app->onCommand(cmdShowChannel + 1);
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFFD);
    h.menu().findItem(cmdShowChannel + 1)->set();
    h.app->onCommand(cmdShowChannel + 1);
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFFF);

    // The channel for new notes cannot be hidden.
    h.app->onCommand(cmdNewNoteChannel + 2);
    h.menu().findItem(cmdShowChannel + 2)->clear();
    h.app->onCommand(cmdShowChannel + 2);
    EXPECT_TRUE(h.marked(cmdShowChannel + 2));
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFFF);

    // Choosing a hidden channel for new notes shows it again.
    h.menu().findItem(cmdShowChannel + 4)->clear();
    h.app->onCommand(cmdShowChannel + 4);
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFEF);
    h.app->onCommand(cmdNewNoteChannel + 4);
    EXPECT_TRUE(h.marked(cmdShowChannel + 4));
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFFF);
}

TEST_F(AppCommands, NewShowsEveryChannelAgainAndDropsTheFileName) {
    h.menu().findItem(cmdShowChannel + 5)->clear();
    h.app->onCommand(cmdShowChannel + 5);
    h.app->setFileName("/tmp/song.mid");
    h.tape().model().addNote(tn(60, 0));
    h.app->onCommand(cmdNew);
    EXPECT_TRUE(h.tape().model().notes().empty());
    EXPECT_EQ(h.tape().model().channelMask(), 0xFFFF);
    EXPECT_TRUE(h.marked(cmdShowChannel + 5));
    EXPECT_EQ(h.title(), tw::identity::title);
    EXPECT_EQ(h.app->currentFile(), "");
    EXPECT_TRUE(h.dialogs.empty()) << "New asks nothing";
}

TEST_F(AppCommands, ChannelForNewNotesMarksItsInstrument) {
    h.app->onCommand(cmdNewNoteChannel + 4);
    h.app->onCommand(cmdProgram + 40);
    h.app->onCommand(cmdNewNoteChannel + 0);
    EXPECT_TRUE(h.marked(cmdProgram + 0));
    h.app->onCommand(cmdNewNoteChannel + 4);
    EXPECT_EQ(h.app->channelForNewNotes(), 4u);
    EXPECT_TRUE(h.marked(cmdNewNoteChannel + 4));
    EXPECT_TRUE(h.marked(cmdShowChannel + 4));
    EXPECT_TRUE(h.marked(cmdProgram + 40));
    EXPECT_EQ(h.tape().model().program(4), 40u);
}

TEST_F(AppCommands, ChoosingAnInstrumentStoresAllSixteenPrograms) {
    h.app->onCommand(cmdNewNoteChannel + 2);
    h.app->onCommand(cmdProgram + 73);
    int v = -1;
    for (int c = 0; c < 16; ++c) {
        const std::string key = "MIDIpgms" + std::to_string(c);
        ASSERT_TRUE(h.app->prefs.entryExists(key.c_str())) << key;
        h.app->prefs.get(key.c_str(), v, -1);
        EXPECT_EQ(v, c == 2 ? 73 : int(h.tape().model().program(unsigned(c)))) << key;
    }
}

TEST_F(AppCommands, SelectionCommandsReportTheirCounts) {
    h.app->onCommand(cmdLoudest + 30);
    EXPECT_EQ(h.lastMessage(), "0 notes selected");
    h.app->onCommand(cmdSelectSpecial);
    EXPECT_EQ(h.lastMessage(), "No special notes found");
    h.tape().model().addNote(tn(10, 0)); // below the piano's keys
    h.tape().model().addNote(tn(60, 0));
    h.app->onCommand(cmdSelectSpecial);
    EXPECT_EQ(h.lastMessage(), "1 special notes found");
    h.app->onCommand(cmdLoudest + 50);
    EXPECT_EQ(h.lastMessage(),
              std::to_string(h.tape().model().selectedNotes().size()) + " notes selected");
}

TEST_F(AppCommands, SpeedsAndTicksPerFrame) {
    const double factors[] = {0.5, 0.5946, 0.7071, 0.8409, 1.0, 1.1892, 1.4142, 1.6818, 2.0};
    for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        h.app->onCommand(cmdSpeed + k);
        EXPECT_NEAR(1.0 / h.app->playbackController().timeScale(), factors[k], 1e-4);
    }
    h.app->onCommand(cmdTicksPerFrame + 100);
    EXPECT_EQ(h.tape().model().ticksPerFrame(), 100u);
    h.app->onCommand(cmdTicksPerFrame + 1); // refused by the tape
    EXPECT_EQ(h.tape().model().ticksPerFrame(), 100u);
}

TEST_F(AppCommands, NoteIndicatorChoices) {
    RowColours none;
    indicatorRowColours(0, none);
    h.app->onCommand(cmdNoteIndicators + 0);
    EXPECT_EQ(h.tape().model().rowColours().colours[60], none.colours[60]);
    EXPECT_EQ(h.tape().model().rowColours().special, 0u);
    EXPECT_TRUE(h.marked(cmdNoteIndicators + 0));
    int stored = -1;
    h.app->prefs.get("noteIndic", stored, -1);
    EXPECT_EQ(stored, 0);

    h.app->onCommand(cmdNoteIndicators + 2);
    RowColours deleika;
    indicatorRowColours(2, deleika);
    EXPECT_EQ(
        std::memcmp(h.tape().model().rowColours().colours, deleika.colours, sizeof deleika.colours),
        0);
    h.app->prefs.get("noteIndic", stored, -1);
    EXPECT_EQ(stored, 2);

    h.app->onCommand(cmdNoteIndicators + 7); // no such table: nothing changes
    EXPECT_TRUE(h.marked(cmdNoteIndicators + 2));
    h.app->prefs.get("noteIndic", stored, -1);
    EXPECT_EQ(stored, 2);
}

TEST_F(AppCommands, PlayCommandsWithoutAPortSayHowToGetOne) {
    for (int id : {int(cmdPlayAll), int(cmdPlayFromMarker), int(cmdPlayShownChannels),
                   int(cmdPlaySelected)}) {
        SCOPED_TRACE(id);
        h.dialogs.clear();
        h.app->onCommand(id);
        ASSERT_EQ(h.dialogs.size(), 1u);
        EXPECT_EQ(h.lastMessage(), "No MIDI ported opened yet, see 'Play' menu");
    }
}

TEST_F(AppCommands, NoOutputDropsTheStoredPort) {
    h.app->prefs.set("midiPort", "gone");
    h.app->onCommand(cmdNoOutput);
    EXPECT_FALSE(h.app->prefs.entryExists("midiPort"));
    EXPECT_TRUE(h.marked(cmdNoOutput));
    EXPECT_FALSE(h.app->output().isOpen());
}

TEST_F(AppCommands, EditCommandsReachTheTape) {
    Flt_ScoreTape &t = h.tape();
    t.model().addNote(tn(60, 10));
    t.model().addNote(tn(62, 20));
    h.app->onCommand(cmdSelectAll);
    h.app->onCommand(cmdNotesLower);
    EXPECT_EQ(t.model().notes()[0].note, 59u);
    h.app->onCommand(cmdMoveRight);
    EXPECT_EQ(t.model().notes()[0].start, 11u);
    h.app->onCommand(cmdMaxVelocity);
    EXPECT_EQ(t.model().notes()[1].velocity, 127u);
    h.app->onCommand(cmdNewNoteChannel + 5);
    h.app->onCommand(cmdSetChannel);
    EXPECT_EQ(t.model().notes()[1].channel, 5u);
    h.app->onCommand(cmdUnselectAll);
    EXPECT_TRUE(t.model().selectedNotes().empty());
    h.app->onCommand(cmdUndo);
    EXPECT_EQ(t.model().notes()[1].channel, 0u);
    h.app->onCommand(cmdRedo);
    EXPECT_EQ(t.model().notes()[1].channel, 5u);

    // "t": the marked region's length is inserted at the red marker.
    t.model().setRightMarker(18);
    t.model().setLeftMarker(10, t.view());
    h.app->onCommand(cmdInsertRegionLength);
    EXPECT_EQ(t.model().notes()[0].start, 19u);
    EXPECT_EQ(t.model().notes()[1].start, 29u);
    h.app->onCommand(cmdEraseRegion);
    EXPECT_EQ(t.model().notes()[0].start, 11u);
    h.app->onCommand(cmdUnselectAll);
    h.app->onCommand(cmdInvertSelection);
    h.app->onCommand(cmdRemoveSelected);
    EXPECT_TRUE(t.model().notes().empty());
}

// Keys as FLTK delivers them when no widget has the keyboard focus (after a dialog): the menu's
// shortcuts work from the main window and from the Help window, Escape unselects and never
// closes the main window.
TEST_F(AppCommands, KeysDoWhatTheMenuSaysWhereverTheyArrive) {
    Flt_ScoreTape &t = h.tape();
    h.app->onCommand(cmdHelp);
    Fl_Window *help = h.app->helpWindow();
    const struct {
        const char *what;
        bool inHelp;
        int key, state;
        const char *text;
        std::function<void()> check;
    } cases[] = {
        {"Escape unselects", false, FL_Escape, 0, "\x1b",
         [&] {
             EXPECT_TRUE(t.model().selectedNotes().empty());
             EXPECT_TRUE(h.dialogs.empty()) << "no question about closing";
         }},
        {"Ctrl+Z in the Help window undoes", true, 'z', FL_CTRL, "\x1a",
         [&] { EXPECT_EQ(t.model().notes()[0].start, 10u); }},
        {"Ctrl+Shift+S saves under a new name", false, 's', FL_CTRL | FL_SHIFT, "\x13",
         [&] { EXPECT_EQ(h.fileDialogs, std::vector<std::string>{"Save MIDI file"}); }},
        {"Escape in the Help window closes it", true, FL_Escape, 0, "\x1b",
         [&] { EXPECT_FALSE(help->shown()); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        h.app->onCommand(cmdNew);
        t.model().addNote(tn(60, 10));
        h.app->onCommand(cmdSelectAll);
        h.app->onCommand(cmdMoveRight);
        h.dialogs.clear();
        h.fileDialogs.clear();
        h.answers = {0}; // Cancel
        Fl::belowmouse(nullptr);
        Fl::e_keysym = c.key;
        Fl::e_state = c.state;
        static char text[2];
        text[0] = c.text[0];
        Fl::e_text = text;
        Fl::e_length = 1;
        Fl::handle(FL_SHORTCUT, c.inHelp ? help : h.app.get());
        c.check();
        EXPECT_TRUE(h.app->shown());
    }
    Fl::e_state = 0;
    Fl::e_length = 0;
}

TEST_F(AppCommands, HelpWindowIsCreatedOnceWithTheHelpText) {
    EXPECT_EQ(h.app->helpWindow(), nullptr);
    h.app->onCommand(cmdHelp);
    Flt_Infowin *help = h.app->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->shown());
    EXPECT_STREQ(help->label(), "Help");
    EXPECT_EQ(help->w(), 600);
    EXPECT_EQ(help->h(), 600);
    EXPECT_EQ(help->display->textfont(), helpTextFont()) << "a fixed-width face, never -1";
    EXPECT_GE(help->display->textfont(), 0);
    char *text = help->buffer.text();
    EXPECT_STREQ(text, helpText);
    free(text);

    help->resize(help->x(), help->y(), 300, 250);
    help->hide();
    h.app->onCommand(cmdHelp);
    EXPECT_EQ(h.app->helpWindow(), help);
    EXPECT_TRUE(help->shown());
    EXPECT_EQ(help->w(), 300) << "shown again as the user left it";
}

TEST_F(AppCommands, ExitWithoutAskingHidesBothWindows) {
    h.tape().model().addNote(tn(60, 0));
    h.app->onCommand(cmdHelp);
    h.app->onCommand(cmdExitNow);
    EXPECT_FALSE(h.app->shown());
    EXPECT_FALSE(h.app->helpWindow()->shown());
    EXPECT_TRUE(h.dialogs.empty());
}

TEST_F(AppCommands, ExitAsksAboutUnsavedChanges) {
    h.tape().model().addNote(tn(60, 0));
    h.app->onCommand(cmdHelp);
    h.answers = {0}; // Cancel
    h.app->onCommand(cmdExit);
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_TRUE(h.dialogs[0].question);
    EXPECT_EQ(h.dialogs[0].text, "Data changed - save?");
    EXPECT_EQ(h.dialogs[0].buttons[0], "Cancel");
    EXPECT_EQ(h.dialogs[0].buttons[1], "Yes");
    EXPECT_EQ(h.dialogs[0].buttons[2], "No");
    EXPECT_TRUE(h.app->shown());
    EXPECT_TRUE(h.app->helpWindow()->shown());

    h.answers = {2}; // No
    h.app->onCommand(cmdExit);
    EXPECT_FALSE(h.app->shown());
    EXPECT_FALSE(h.app->helpWindow()->shown());
}

TEST_F(AppCommands, CloseButtonAsksLikeExit) {
    h.tape().model().addNote(tn(60, 0));
    h.answers = {0};
    Flt_App::closeCallback(h.app.get(), h.app.get());
    EXPECT_EQ(h.dialogs.size(), 1u);
    EXPECT_TRUE(h.app->shown());
    h.answers = {2};
    Flt_App::closeCallback(h.app.get(), h.app.get());
    EXPECT_FALSE(h.app->shown());
}

TEST_F(AppCommands, CopyAndPasteThroughTheClipboard) {
    Flt_ScoreTape &t = h.tape();
    t.model().addNote(tn(60, 2));
    t.model().addNote(tn(64, 6));
    t.model().addNote(tn(67, 30));
    // Nothing selected: copy takes the notes between the markers and leaves them selected.
    t.model().setRightMarker(10);
    t.model().setLeftMarker(0, t.view());
    h.app->onCommand(cmdCopy);
    EXPECT_EQ(t.model().selectedNotes().size(), 2u);

    // Ctrl+W then a click adds the notes at the clicked tick without inserting time.
    h.app->onCommand(cmdPaste);
    h.click(40, 50);
    EXPECT_FALSE(h.app->pendingClickAction());
    ASSERT_EQ(t.model().notes().size(), 5u);
    EXPECT_EQ(t.model().notes()[3].start, 40u);
    EXPECT_EQ(t.model().notes()[3].note, 60u);
    EXPECT_EQ(t.model().notes()[4].start, 44u);

    // Cut: the selected notes go to the clipboard and leave the score, their time stays.
    h.app->onCommand(cmdUnselectAll);
    t.model().setSelected(2, true); // the note at 30
    h.app->onCommand(cmdCut);
    ASSERT_EQ(t.model().notes().size(), 4u);
    // Ctrl+V then a click inserts the notes and the time they span.
    h.app->onCommand(cmdPasteWithTime);
    h.click(0, 50);
    ASSERT_EQ(t.model().notes().size(), 5u);
    EXPECT_EQ(t.model().notes()[0].note, 67u);
    EXPECT_EQ(t.model().notes()[0].start, 0u);
    EXPECT_GT(t.model().notes()[1].start, 2u) << "the later notes moved by the inserted time";
}
