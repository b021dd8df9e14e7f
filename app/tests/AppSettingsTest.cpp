// Settings through the real preferences file: read at start, written at the end.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "midifile/MidiFile.h"

#include <chrono>
#include <functional>

using namespace tw;
using namespace std::chrono_literals;

namespace {

// Stores entries in the preferences file before the editor starts.
void storeBeforeStart(const std::function<void(Fl_Preferences &)> &fill) {
    Fl_Preferences p = editorPrefs();
    fill(p);
    p.flush();
}

} // namespace

TEST(AppSettings, FirstStartUsesTheDefaultsAndWritesThemAtTheEnd) {
    AppHarness h;
    h.start();
    EXPECT_EQ(h.tape().view().bottomNote, 43u);
    EXPECT_EQ(h.tape().model().leftMarker(), 0u);
    EXPECT_EQ(h.tape().model().rightMarker(), 0u);
    EXPECT_EQ(h.tape().view().firstTick, 0u);
    EXPECT_EQ(h.tape().model().ticksPerFrame(), 8u);
    EXPECT_EQ(h.app->channelForNewNotes(), 0u);
    EXPECT_FALSE(h.app->playsInsertedNote());
    EXPECT_TRUE(h.marked(cmdNoteIndicators + 1));
    EXPECT_TRUE(h.marked(cmdNewNoteChannel + 0));
    EXPECT_TRUE(h.marked(cmdTicksPerFrame + 8));
    EXPECT_EQ(h.app->currentFile(), "");
    EXPECT_TRUE(h.dialogs.empty());
    h.finish();

    const std::pair<const char *, int> ints[] = {
        {"bottomNote", 43}, {"marker1", 0},  {"marker2", 0},       {"midiChan", 0},
        {"noteIndic", 1},   {"playNote", 0}, {"TicksPerFrame", 8},
    };
    for (const auto &e : ints) {
        SCOPED_TRACE(e.first);
        EXPECT_EQ(storedInt(e.first), e.second);
    }
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(storedInt(("MIDIpgms" + std::to_string(c)).c_str()), c);
    EXPECT_EQ(storedString("fname"), "");
    EXPECT_EQ(storedString("midiPort"), "<missing>");
}

TEST(AppSettings, ASecondStartRestoresWhatTheFirstLeft) {
    AppHarness h;
    h.start();
    const std::string song = h.home.path() + "/song.mid";
    h.tape().model().addNote(tn(60, 0));
    ASSERT_TRUE(h.app->saveFile(song.c_str()));
    h.app->onCommand(cmdNewNoteChannel + 3);
    h.app->onCommand(cmdProgram + 19);
    h.app->onCommand(cmdTicksPerFrame + 16);
    h.app->onCommand(cmdNoteIndicators + 2);
    h.menu().findItem(cmdPlayInsertedNote)->set();
    h.app->onCommand(cmdPlayInsertedNote);
    h.tape().setBottomNote(50);
    h.tape().model().setRightMarker(40);
    h.tape().model().setLeftMarker(24, h.tape().view());
    h.finish();

    h.start();
    EXPECT_EQ(h.tape().view().bottomNote, 50u);
    EXPECT_EQ(h.tape().model().leftMarker(), 24u);
    EXPECT_EQ(h.tape().model().rightMarker(), 40u);
    EXPECT_EQ(h.app->channelForNewNotes(), 3u);
    EXPECT_TRUE(h.marked(cmdNewNoteChannel + 3));
    EXPECT_EQ(h.tape().model().program(3), 19u);
    EXPECT_TRUE(h.marked(cmdProgram + 19));
    EXPECT_EQ(h.tape().model().ticksPerFrame(), 16u);
    EXPECT_TRUE(h.marked(cmdTicksPerFrame + 16));
    EXPECT_TRUE(h.marked(cmdNoteIndicators + 2));
    EXPECT_TRUE(h.app->playsInsertedNote());
    EXPECT_TRUE(h.menu().value(cmdPlayInsertedNote));
    EXPECT_EQ(h.app->currentFile(), song);
    EXPECT_EQ(h.tape().model().notes().size(), 1u);
}

TEST(AppSettings, ExitWithoutAskingStillWritesTheSettings) {
    AppHarness h;
    h.start();
    h.app->onCommand(cmdProgram + 5);
    h.tape().model().addNote(tn(60, 0));
    h.app->onCommand(cmdExitNow);
    EXPECT_TRUE(h.dialogs.empty());
    h.finish();
    EXPECT_EQ(storedInt("MIDIpgms0"), 5);
}

// A kill loses nothing chosen a few seconds before it: the settings are written while the
// editor runs.
TEST(AppSettings, WrittenSoonAfterAChange) {
    AppHarness h;
    h.start();
    h.app->onCommand(cmdNewNoteChannel + 3);
    EXPECT_NE(storedInt("midiChan"), 3);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (storedInt("midiChan") != 3 && std::chrono::steady_clock::now() < until)
        Fl::wait(0.1);
    EXPECT_EQ(storedInt("midiChan"), 3);
    h.finish();
}

// A settings file that cannot be written is told in words; the settings are kept and reach the
// file once it can be written again.
TEST(AppSettings, AFailedWriteIsToldAndTriedAgain) {
    AppHarness h;
    h.start();
    const std::string file = h.home.prefsFile(identity::vendor, identity::application);
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
    h.app->onCommand(cmdNewNoteChannel + 3);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (h.dialogs.empty() && std::chrono::steady_clock::now() < until)
        Fl::wait(0.1);
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.dialogs[0].text.rfind("Settings cannot be saved: " + file, 0), 0u)
        << h.dialogs[0].text;

    std::filesystem::remove(file);
    h.app->onCommand(cmdProgram + 7); // for channel 3, the channel for new notes
    while (storedInt("MIDIpgms3") != 7 && std::chrono::steady_clock::now() < until + 20s)
        Fl::wait(0.1);
    EXPECT_EQ(storedInt("MIDIpgms3"), 7);
    EXPECT_EQ(storedInt("midiChan"), 3);
    h.finish();
}

TEST(AppSettings, OddStoredValues) {
    struct Case {
        const char *what;
        std::function<void(Fl_Preferences &)> fill;
        std::function<void(AppHarness &)> check;
    };
    const Case cases[] = {
        {"noteIndic 99 (past every instrument) changes nothing and stays",
         [](Fl_Preferences &p) { p.set("noteIndic", 99); },
         [](AppHarness &h) {
             for (int n = 0; n < 3; ++n)
                 EXPECT_EQ(h.marked(cmdNoteIndicators + n), n == 0);
             h.finish();
             EXPECT_EQ(storedInt("noteIndic"), 99);
         }},
        {"playNote 5 counts as on and is written back as 1",
         [](Fl_Preferences &p) { p.set("playNote", 5); },
         [](AppHarness &h) {
             EXPECT_TRUE(h.app->playsInsertedNote());
             h.finish();
             EXPECT_EQ(storedInt("playNote"), 1);
         }},
        {"TicksPerFrame -4 gives 8", [](Fl_Preferences &p) { p.set("TicksPerFrame", -4); },
         [](AppHarness &h) { EXPECT_EQ(h.tape().model().ticksPerFrame(), 8u); }},
        {"TicksPerFrame 0 is refused by the tape",
         [](Fl_Preferences &p) { p.set("TicksPerFrame", 0); },
         [](AppHarness &h) {
             EXPECT_EQ(h.tape().model().ticksPerFrame(), 32u);
             EXPECT_TRUE(h.marked(cmdTicksPerFrame + 32));
         }},
        {"midiChan 3 marks its channel and its instrument",
         [](Fl_Preferences &p) {
             p.set("midiChan", 3);
             for (int c = 0; c < 16; ++c)
                 p.set(("MIDIpgms" + std::to_string(c)).c_str(), 100 + c);
         },
         [](AppHarness &h) {
             EXPECT_TRUE(h.marked(cmdNewNoteChannel + 3));
             EXPECT_TRUE(h.marked(cmdProgram + 103));
         }},
        {"midiChan outside 0..15 is taken as 0",
         [](Fl_Preferences &p) {
             p.set("midiChan", 99);
             for (int c = 0; c < 16; ++c)
                 p.set(("MIDIpgms" + std::to_string(c)).c_str(), c);
         },
         [](AppHarness &h) {
             EXPECT_EQ(h.app->channelForNewNotes(), 0u);
             EXPECT_TRUE(h.marked(cmdNewNoteChannel + 0));
             h.finish();
             EXPECT_EQ(storedInt("midiChan"), 0);
         }},
        {"midiChan -2 is taken as 0", [](Fl_Preferences &p) { p.set("midiChan", -2); },
         [](AppHarness &h) { EXPECT_EQ(h.app->channelForNewNotes(), 0u); }},
        {"programs out of range are not marked as other items",
         [](Fl_Preferences &p) {
             for (int c = 0; c < 16; ++c)
                 p.set(("MIDIpgms" + std::to_string(c)).c_str(), -10);
         },
         [](AppHarness &h) {
             EXPECT_TRUE(h.marked(cmdNoteIndicators + 1));
             EXPECT_EQ(h.tape().model().program(0), 0u);
         }},
        {"17 programs are not applied; 16 are rewritten, the extra one stays",
         [](Fl_Preferences &p) {
             for (int c = 0; c < 17; ++c)
                 p.set(("MIDIpgms" + std::to_string(c)).c_str(), 50);
         },
         [](AppHarness &h) {
             EXPECT_EQ(h.tape().model().program(0), 0u);
             h.finish();
             EXPECT_EQ(storedInt("MIDIpgms0"), 0);
             EXPECT_EQ(storedInt("MIDIpgms16"), 50);
         }},
        {"a stored port that is gone: message, entry deleted",
         [](Fl_Preferences &p) { p.set("midiPort", "No Such Port:out"); },
         [](AppHarness &h) {
             EXPECT_EQ(h.lastMessage(), "Cannot open MIDI device 'No Such Port:out'");
             EXPECT_TRUE(h.marked(cmdNoOutput));
             h.finish();
             EXPECT_EQ(storedString("midiPort"), "<missing>");
         }},
        {"a stored file that cannot be read: message, fname written empty",
         [](Fl_Preferences &p) { p.set("fname", "/nonexistent/x.mid"); },
         [](AppHarness &h) {
             EXPECT_EQ(h.lastMessage(), "Cannot read MIDI file /nonexistent/x.mid, error " +
                                            std::to_string(errCannotOpen) +
                                            "\nThe file was not found.");
             h.finish();
             EXPECT_EQ(storedString("fname"), "");
         }},
        {"huge and negative numbers never crash",
         [](Fl_Preferences &p) {
             p.set("bottomNote", 2147483647);
             p.set("marker1", -5);
             p.set("marker2", 2000000000);
             p.set("TicksPerFrame", 2147483647);
             p.set("fname", std::string(5000, 'x').c_str());
         },
         [](AppHarness &h) {
             EXPECT_EQ(h.tape().view().bottomNote, 58u);
             EXPECT_EQ(h.tape().model().ticksPerFrame(), 32u);
             h.finish();
             EXPECT_EQ(storedInt("TicksPerFrame"), 32);
             EXPECT_EQ(storedInt("marker1"), 0) << "a negative marker counts as missing";
             EXPECT_EQ(storedInt("marker2"), 2000000000);
             EXPECT_EQ(storedString("fname"), "");
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AppHarness h;
        storeBeforeStart(c.fill);
        h.start();
        c.check(h);
    }
}

TEST(AppSettings, OneArgumentIsLoadedOverTheStoredFile) {
    AppHarness h;
    h.start();
    const std::string a = h.home.path() + "/a.mid", b = h.home.path() + "/b.mid";
    h.tape().model().addNote(tn(60, 0));
    ASSERT_TRUE(h.app->saveFile(b.c_str()));
    h.tape().model().addNote(tn(62, 4));
    ASSERT_TRUE(h.app->saveFile(a.c_str()));
    h.finish(); // fname = a

    h.start({b});
    EXPECT_EQ(h.app->currentFile(), b);
    h.finish();
    EXPECT_EQ(storedString("fname"), b);

    h.start({a, b}); // two arguments: the stored file
    EXPECT_EQ(h.app->currentFile(), b);
    EXPECT_EQ(h.tape().model().notes().size(), 1u);
}
