// The score board as FLTK really draws it: the tape sits in a double-buffered window on the
// X server of the test environment, and the pixels are read back at the end of each draw.
// GoogleTest comes before FLTK, whose X11 headers define macros such as None.
#include <gtest/gtest.h>

#include "TapeTestSupport.h"

#include "notes/NoteSets.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <chrono>
#include <cstdlib>
#include <memory>

using namespace tw;

namespace {

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb &a, const Rgb &b) {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    }
};

std::ostream &operator<<(std::ostream &out, const Rgb &c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb rgbOf(Fl_Color colour) {
    uchar r, g, b;
    Fl::get_color(colour, r, g, b);
    return {r, g, b};
}

// A tape that keeps a copy of what it drew.
class CapturingTape : public Flt_ScoreTape {
public:
    using Flt_ScoreTape::Flt_ScoreTape;
    bool captured = false;

    void draw() override {
        Flt_ScoreTape::draw();
        uchar *p = fl_read_image(nullptr, x(), y(), w(), h());
        ASSERT_NE(p, nullptr);
        pixels.assign(p, p + std::size_t(w()) * h() * 3);
        delete[] p;
        captured = true;
    }
    Rgb at(int px, int py) const {
        const std::size_t i = (std::size_t(py) * w() + px) * 3;
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }

private:
    std::vector<uchar> pixels;
};

class TapeDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        window = std::make_unique<Fl_Double_Window>(801, 345, "tape");
        tape = new CapturingTape(0, 0, 801, 345);
        window->end();
        tape->setBottomNote(50); // rows 50..79, 100 tick columns
        window->show();
    }
    void TearDown() override {
        if (window)
            window->hide();
        window.reset();
        Fl::check();
    }
    // Lets FLTK draw the tape and waits until it has.
    void render() {
        tape->captured = false;
        tape->redraw();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!tape->captured && std::chrono::steady_clock::now() < until)
            Fl::wait(0.05);
        ASSERT_TRUE(tape->captured) << "the tape was not drawn";
    }
    // True when some pixel of the box differs from white.
    bool inked(int x0, int y0, int x1, int y1) const {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (!(tape->at(x, y) == rgbOf(FL_WHITE)))
                    return true;
        return false;
    }
    bool hasPixel(int x0, int y0, int x1, int y1, bool (*test)(const Rgb &)) const {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (test(tape->at(x, y)))
                    return true;
        return false;
    }

    std::unique_ptr<Fl_Double_Window> window;
    CapturingTape *tape = nullptr; // a child of the window
};

} // namespace

TEST_F(TapeDrawing, GridLines) {
    render();
    const struct {
        const char *what;
        int x, y;
        Fl_Color colour;
    } cases[] = {
        {"red marker at tick 0 over its frame boundary", 0, 20, FL_RED},
        {"tick 1", 8, 20, FL_LIGHT2},
        {"frame boundary at tick 32", 256, 20, FL_BLACK},
        {"last tick line", 800, 20, FL_LIGHT2},
        {"between tick lines", 4, 20, FL_WHITE},
        {"top row 79 (G5)", 4, 16, FL_BLACK},
        {"row 61 (C#4)", 4, 16 + 18 * 11, FL_LIGHT2},
        {"row 60 (C4)", 4, 16 + 19 * 11, FL_RED},
        {"row 59 (B3)", 4, 16 + 20 * 11, FL_BLACK},
        {"bottom row 50 (D3)", 4, 16 + 29 * 11, FL_BLACK},
        {"no line above the grid", 4, 10, FL_WHITE},
        {"below the grid", 400, 343, FL_WHITE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tape->at(c.x, c.y), rgbOf(c.colour));
    }
    // Tick lines run from the top of the grid to its bottom, not into the label strip.
    EXPECT_EQ(tape->at(8, 11), rgbOf(FL_LIGHT2));
    EXPECT_EQ(tape->at(400, 341), rgbOf(FL_LIGHT2));
    EXPECT_EQ(tape->at(8, 10), rgbOf(FL_WHITE));

    // Another indicator set: every row dark grey.
    RowColours none;
    ASSERT_TRUE(indicatorRowColours(indicatorNone, none));
    tape->model().setRowColours(none);
    render();
    EXPECT_EQ(tape->at(4, 16 + 19 * 11), rgbOf(FL_DARK1));
}

TEST_F(TapeDrawing, NoteBars) {
    tape->model().setNotes({tn(60, 30, 4, 0), tn(62, 50, 4, 2), tn(64, 60, 4, 2, 1, true)});
    render();
    // Channel 0 at its exact rectangle: x 240..271, y 221..230.
    const Rgb blue{0, 0, 252};
    EXPECT_EQ(tape->at(240, 221), blue);
    EXPECT_EQ(tape->at(271, 221), blue);
    EXPECT_EQ(tape->at(240, 230), blue);
    EXPECT_EQ(tape->at(271, 230), blue);
    EXPECT_EQ(tape->at(256, 225), blue); // over the row line and a tick line
    EXPECT_FALSE(tape->at(239, 225) == blue);
    EXPECT_FALSE(tape->at(272, 225) == blue);
    EXPECT_FALSE(tape->at(250, 220) == blue);
    EXPECT_FALSE(tape->at(250, 231) == blue);

    // Channel 2 unselected is black over the grid: x 400..431, y 199..208.
    for (int x = 400; x < 432; ++x)
        for (int y = 199; y < 209; ++y)
            ASSERT_EQ(tape->at(x, y), rgbOf(FL_BLACK)) << x << "," << y;
    EXPECT_EQ(tape->at(399, 204), rgbOf(FL_WHITE));  // the board left of it
    EXPECT_EQ(tape->at(432, 200), rgbOf(FL_LIGHT2)); // the tick line right of it
    // Selected, grey.
    EXPECT_EQ(tape->at(485, 180), (Rgb{95, 95, 95}));

    // A note that began before the view starts at the left edge.
    tape->setFirstTick(32);
    render();
    EXPECT_EQ(tape->at(0, 225), blue);
    EXPECT_EQ(tape->at(15, 225), blue);
    EXPECT_FALSE(tape->at(16, 225) == blue);
}

// A take being recorded: an outline round its cells over the board; the melody's bars stay.
TEST_F(TapeDrawing, TakeOutlines) {
    tape->model().setNotes({tn(60, 30, 4, 0)});
    tape->setTakeNotes({tn(62, 50, 4, 0)});
    render();
    Flt_ScoreTape::Rect box;
    ASSERT_TRUE(tape->cellBox(50, 53, 62, 62, box));
    const Rgb outline = rgbOf(FL_DARK_MAGENTA);
    EXPECT_EQ(tape->at(box.x + box.w / 2, box.y), outline);
    EXPECT_EQ(tape->at(box.x, box.y + box.h / 2), outline);
    EXPECT_FALSE(tape->at(box.x + box.w / 2, box.y + box.h / 2) == outline) << "not filled";
    EXPECT_EQ(tape->at(240, 221), (Rgb{0, 0, 252})) << "the melody's bar";
    tape->setTakeNotes({});
    render();
    EXPECT_FALSE(tape->at(box.x + box.w / 2, box.y) == outline);
}

TEST_F(TapeDrawing, BeatAndBarLinesOnlyWhenShownAndApart) {
    // 32 ticks a frame at 120 beats per minute: a beat every 16 ticks (128 pixels), 3 beats a
    // bar from tick 16.
    const Rgb beat{150, 200, 240}, bar{30, 110, 220};
    render();
    EXPECT_EQ(tape->at(128, 100), rgbOf(FL_LIGHT2)) << "hidden by default: the tick line";
    BeatGrid grid;
    grid.shown = true;
    grid.beatsPerBar = 3;
    grid.firstBar = 16;
    ASSERT_TRUE(tape->model().setBeatGrid(grid));
    render();
    const struct {
        int x;
        Rgb colour;
    } cases[] = {{640, beat}, {128, bar}, {256, beat},
                 {384, beat}, {512, bar}, {136, rgbOf(FL_LIGHT2)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(tape->at(c.x, 100), c.colour);
    }
    // At 1000 beats per minute and 2 ticks a frame a beat is 0.12 ticks: no beat lines, and a
    // bar of 32 beats (31 pixels) has its line.
    grid.bpm = 1000;
    grid.beatsPerBar = 32;
    grid.firstBar = 0;
    ASSERT_TRUE(tape->model().setBeatGrid(grid));
    tape->model().setTicksPerFrame(2);
    render();
    int bars = 0, beats = 0;
    for (int x = 0; x < 800; ++x) {
        bars += tape->at(x, 100) == bar;
        beats += tape->at(x, 100) == beat;
    }
    EXPECT_EQ(beats, 0);
    EXPECT_GE(bars, 20);
}

TEST_F(TapeDrawing, MarkerStrips) {
    tape->model().toggleSectionMarker(10);
    tape->model().toggleSectionMarker(500); // out of view
    tape->model().setPlayMarker(12);
    tape->model().setRightMarker(20);
    tape->model().setLeftMarker(14, tape->view());
    render();
    const struct {
        const char *what;
        int x;
        Fl_Color colour;
    } cases[] = {{"blue", 80, FL_BLUE},
                 {"blue", 81, FL_BLUE},
                 {"green", 96, FL_DARK_GREEN},
                 {"green", 97, FL_DARK_GREEN},
                 {"red", 112, FL_RED},
                 {"red", 113, FL_RED},
                 {"purple", 160, FL_MAGENTA},
                 {"purple", 161, FL_MAGENTA},
                 {"right of a strip", 82, FL_WHITE}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tape->at(c.x, 100), rgbOf(c.colour));
        if (c.colour != FL_WHITE) {
            EXPECT_EQ(tape->at(c.x, 11), rgbOf(c.colour)); // the full grid height
            EXPECT_EQ(tape->at(c.x, 340), rgbOf(c.colour));
            EXPECT_EQ(tape->at(c.x, 343), rgbOf(FL_WHITE));
        }
    }
    // Red lies over the others where they coincide.
    tape->model().setRightMarker(12);
    tape->model().setLeftMarker(12, tape->view());
    render();
    EXPECT_EQ(tape->at(96, 100), rgbOf(FL_RED));
}

TEST_F(TapeDrawing, FirstFrameLabel) {
    // Five rows from note 0: the top row label is the single digit 4.
    tape->resize(0, 0, 801, 15 + 5 * 11);
    tape->setBottomNote(0);
    const struct {
        unsigned firstTick;
        int x;
    } cases[] = {{0, 258}, {30, 18}, {31, 266}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.firstTick);
        tape->setFirstTick(c.firstTick);
        render();
        EXPECT_FALSE(inked(12, 0, c.x, 10)); // nothing between the row label and it
        EXPECT_TRUE(inked(c.x, 0, c.x + 8, 10));
    }
    // Black up to the first note, red after it: with a note at 40 the label at 32 is black.
    tape->model().setNotes({tn(2, 40)});
    tape->setFirstTick(0);
    render();
    auto red = [](const Rgb &c) { return c.r > 180 && c.g < 90 && c.b < 90; };
    auto black = [](const Rgb &c) { return c.r < 90 && c.g < 90 && c.b < 90; };
    EXPECT_TRUE(hasPixel(258, 0, 266, 10, black));
    EXPECT_FALSE(hasPixel(258, 0, 266, 10, red));
    EXPECT_TRUE(hasPixel(514, 0, 522, 10, red));
}

TEST_F(TapeDrawing, TooSmallShowsNoGrid) {
    tape->resize(0, 0, 801, 14);
    tape->model().setNotes({tn(58, 0)});
    render();
    EXPECT_EQ(tape->view().visibleRows, 0u);
    // Neither rows nor notes: the tick lines shrink to dots on the top of the empty grid.
    EXPECT_FALSE(inked(30, 0, 250, 11));
    EXPECT_FALSE(inked(30, 12, 250, 14));
}
