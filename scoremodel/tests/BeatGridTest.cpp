// The beat grid's snap and lines, the grid a file gives, and scaling the melody's time.
#include "ModelTestSupport.h"
#include "scoremodel/TimeScale.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

BeatGrid snapping(double bpm, unsigned division, uint32_t firstBar = 0) {
    BeatGrid g;
    g.bpm = bpm;
    g.division = division;
    g.firstBar = firstBar;
    g.snap = true;
    return g;
}

MidiEvent meta(uint32_t dt, std::initializer_list<uint8_t> bytes) {
    return MidiEvent(dt, bytes);
}

} // namespace

TEST(BeatGrid, SnapDownAndNearest) {
    // At 32 ticks per frame: 120 bpm is 16 ticks a beat; 90 bpm 21.33 (lines 0, 21, 43, 64).
    const struct {
        const char *what;
        BeatGrid grid;
        uint32_t tick, down, nearest;
    } cases[] = {
        {"on a beat", snapping(120, 1), 32, 32, 32},
        {"before the middle", snapping(120, 1), 39, 32, 32},
        {"after the middle", snapping(120, 1), 41, 32, 48},
        {"half beats", snapping(120, 2), 45, 40, 48},
        {"third beats at 120 (5.33)", snapping(120, 3), 11, 11, 11},
        {"third beats between lines", snapping(120, 3), 12, 11, 11},
        {"fractional beats round to ticks", snapping(90, 1), 42, 21, 43},
        {"a line rounded up is reached exactly", snapping(90, 1), 43, 43, 43},
        {"first bar moves the lines", snapping(120, 1, 5), 20, 5, 21},
        {"before the first bar", snapping(120, 1, 21), 4, 0, 5},
        {"never below tick 0", snapping(120, 1, 30), 3, 0, 0},
        {"quarter beats", snapping(120, 4), 7, 4, 8},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.grid.snapDown(c.tick, 32), c.down);
        EXPECT_EQ(c.grid.snapNearest(c.tick, 32), c.nearest);
    }
    BeatGrid off = snapping(120, 1);
    off.snap = false;
    EXPECT_EQ(off.snapDown(39, 32), 39u);
    EXPECT_EQ(off.snapNearest(0xFFFFFFFFu, 32), 0xFFFFFFFFu);
    // The last tick snaps without wrapping.
    EXPECT_LE(snapping(120, 1).snapNearest(0xFFFFFFFFu, 32), 0xFFFFFFFFu);
    EXPECT_EQ(snapping(120, 1).snapDown(0xFFFFFFFFu, 32), 0xFFFFFFF0u);
}

TEST(BeatGrid, LinesMarkBarsAndStayBounded) {
    BeatGrid g;
    g.beatsPerBar = 3;
    g.firstBar = 16;
    const auto lines = g.lines(0, 100, 32, 1000);
    ASSERT_EQ(lines.size(), 7u); // 0, 16, ..., 96
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].tick, 16 * i);
        EXPECT_EQ(lines[i].bar, i % 3 == 1); // bars at 16, 64
    }
    EXPECT_TRUE(g.lines(0, 1000, 32, 10).empty()) << "more lines than the limit: none";
    BeatGrid bad;
    bad.bpm = 5;
    EXPECT_FALSE(bad.valid());
    EXPECT_TRUE(bad.lines(0, 100, 32, 1000).empty());
    TestModel tape;
    EXPECT_FALSE(tape.setBeatGrid(bad));
    EXPECT_EQ(tape.beatGrid().bpm, 120);
}

TEST(BeatGrid, FromTheFilesFirstTempoAndTimeSignature) {
    const struct {
        const char *what;
        std::vector<MidiEvent> events;
        double bpm;
        unsigned beatsPerBar;
        uint32_t firstBar;
    } cases[] = {
        {"nothing given: 120, 4/4", {}, 120, 4, 0},
        {"3/4 at 100 bpm",
         {meta(0, {0xFF, 0x58, 3, 2, 24, 8}), meta(0, {0xFF, 0x51, 0x09, 0x27, 0xC0})},
         100,
         3,
         0},
        {"6/8 at a quarter of 120 bpm: eighth beats at 240",
         {meta(0, {0xFF, 0x58, 6, 3, 24, 8})},
         240,
         6,
         0},
        {"the first tempo holds, later ones do not",
         {meta(0, {0xFF, 0x51, 0x0F, 0x42, 0x40}), meta(480, {0xFF, 0x51, 0x07, 0xA1, 0x20})},
         60,
         4,
         0},
        {"a time signature after a bar of 4/4 at 120: a bar at 2 s",
         {meta(1920, {0xFF, 0x58, 3, 2, 24, 8})},
         120,
         3,
         64},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        MidiFile file;
        file.format = 1;
        file.timeUnit = 480;
        file.tracks.push_back(NoxmidiTrk(c.events));
        const BeatGrid g = fileBeatGrid(file, 32, BeatGrid());
        EXPECT_DOUBLE_EQ(g.bpm, c.bpm);
        EXPECT_EQ(g.beatsPerBar, c.beatsPerBar);
        EXPECT_EQ(g.firstBar, c.firstBar);
        EXPECT_TRUE(g.valid());
    }
}

TEST(ScaleTime, AroundTheRedMarker) {
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        unsigned pivot;
        double factor;
        std::vector<TapeNote> after;
    } cases[] = {
        {"double from 0", {tn(60, 0, 4), tn(62, 10, 3)}, 0, 2, {tn(60, 0, 8), tn(62, 20, 6)}},
        {"half around 10",
         {tn(60, 0, 4), tn(62, 10, 4), tn(64, 30, 2)},
         10,
         0.5,
         {tn(60, 5, 2), tn(62, 10, 2), tn(64, 20, 1)}},
        {"stretched before the marker stops at tick 0",
         {tn(60, 2, 2), tn(62, 10, 2)},
         10,
         3,
         {tn(60, 0, 1), tn(62, 10, 6)}},
        {"squeezed, same key apart stays apart",
         {tn(60, 0, 2), tn(60, 3, 2), tn(60, 6, 2)},
         0,
         0.1,
         {tn(60, 0, 1), tn(60, 2, 1), tn(60, 4, 1)}},
        {"touching notes of one key may touch, never overlap",
         {tn(60, 0, 3), tn(60, 3, 3)},
         0,
         0.2,
         {tn(60, 0, 1), tn(60, 1, 1)}},
        {"other keys may coincide",
         {tn(60, 0, 3), tn(61, 3, 3), tn(60, 3, 3, 1)},
         0,
         0.2,
         {tn(60, 0, 1), tn(61, 1, 1), tn(60, 1, 1, 1)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load(c.notes);
        tape.setLeftMarker(c.pivot, tape.view);
        EXPECT_TRUE(tape.scaleTime(c.factor));
        EXPECT_EQ(tape.notes(), c.after);
        EXPECT_EQ(tape.endTickAfterScale(1), tape.endTick());
    }
}

TEST(ScaleTime, SelectionOneEditAndRefusals) {
    TestModel tape;
    tape.load({tn(60, 0, 4), tn(62, 8, 4), tn(64, 16, 4)});
    tape.setSelected(1, true);
    tape.setSelected(2, true);
    tape.setLeftMarker(8, tape.view);
    EXPECT_EQ(tape.scaleTimeSpan(), 12u);
    EXPECT_EQ(tape.endTickAfterScale(2), 32u);
    const unsigned before = tape.undoPosition();
    ASSERT_TRUE(tape.scaleTime(2));
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 4), tn(62, 8, 8), tn(64, 24, 8)}));
    EXPECT_TRUE(tape.notes()[1].selected) << "the selection stays";
    EXPECT_EQ(tape.undoPosition(), before + 1);
    ASSERT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 4), tn(62, 8, 4), tn(64, 16, 4)}));

    // Refused: out of range, or an end past the last tick; nothing is recorded.
    const unsigned position = tape.undoPosition();
    EXPECT_FALSE(tape.scaleTime(0.001));
    EXPECT_EQ(tape.endTickAfterScale(0.001), 0u);
    EXPECT_FALSE(tape.scaleTime(1)) << "nothing changes";
    EXPECT_EQ(tape.undoPosition(), position);
    tape.load({tn(60, 0xF0000000u, 4)});
    EXPECT_FALSE(tape.scaleTime(2));
    EXPECT_EQ(tape.endTickAfterScale(2), 0u);
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0xF0000000u, 4)}));
}

TEST(LoopTrack, OnePassFromTheRedMarkerEndingAtThePurpleOne) {
    TestModel tape;
    tape.load({tn(60, 5, 4), tn(61, 12, 4), tn(62, 14, 20, 1), tn(63, 40, 4)});
    // Ticks 10 to 30: 61 after two ticks of silence, 62 cut at the end of the pass.
    const NoxmidiTrk track = tape.loopTrack(10, 30, 0xFFFF, false);
    std::vector<std::vector<unsigned>> events;
    for (const MidiEvent &e : track.events)
        events.push_back({e.dTime, e.bytes[0], e.bytes[1]});
    const std::vector<std::vector<unsigned>> expected{
        {2, 0x90, 61}, {2, 0x91, 62}, {2, 0x80, 61}, {14, 0x81, 62}};
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(tape.loopTrack(30, 30, 0xFFFF, false).events.empty());
    EXPECT_TRUE(tape.loopTrack(20, 30, 0xFFFF, false).events.empty()) << "no note starts there";
    EXPECT_TRUE(tape.loopTrack(10, 30, 0x1, true).events.empty()) << "none selected";
}
