// The shared board renderer drawn through FLTK paints the same pixels as the tape's own draw(),
// the Cairo back end's colour table agrees with FLTK's colour map, and a PNG of the melody
// has the pixels of the screen at 100 %.
// GoogleTest comes before FLTK, whose X11 headers define macros such as None.
#include <gtest/gtest.h>

#include "TapeTestSupport.h"

#include "notes/NoteSets.h"
#include "render/BoardRender.h"
#include "render/Palette.h"
#include "render/TapeExport.h"
#include "scoretape/FltkPainter.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <cairo.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

using namespace tw;

namespace {

// A tape that draws itself twice, with its own draw() and with the renderer, and keeps both.
class TwiceDrawnTape : public Flt_ScoreTape {
public:
    using Flt_ScoreTape::Flt_ScoreTape;
    bool captured = false;
    std::vector<uchar> own, rendered;

    void draw() override {
        Flt_ScoreTape::draw();
        own = readBack();
        fl_color(FL_GREEN); // what the renderer fails to paint stays green
        fl_rectf(x(), y(), w(), h());
        FltkPainter painter;
        drawBoard(painter, BoardLayout(model(), view(), BoardArea{x(), y(), w(), h()}),
                  labelFont());
        rendered = readBack();
        captured = true;
    }

private:
    std::vector<uchar> readBack() {
        std::vector<uchar> pixels;
        if (uchar *p = fl_read_image(nullptr, x(), y(), w(), h())) {
            pixels.assign(p, p + std::size_t(w()) * h() * 3);
            delete[] p;
        }
        return pixels;
    }
};

} // namespace

TEST(RendererMatch, SamePixelsAsTheTape) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    auto window = std::make_unique<Fl_Double_Window>(801, 345, "tape");
    auto *tape = new TwiceDrawnTape(0, 0, 801, 345);
    window->end();
    window->show();

    const struct {
        const char *what;
        std::function<void(Flt_ScoreTape &)> setUp;
    } boards[] = {
        {"empty board", [](Flt_ScoreTape &) {}},
        {"notes of several channels, one selected, piano rows, markers",
         [](Flt_ScoreTape &t) {
             t.setBottomNote(50);
             t.model().setRowColours(pianoRowColours());
             t.model().setNotes({tn(60, 30, 4, 0), tn(62, 50, 4, 2), tn(64, 60, 40, 1, 1, true),
                                 tn(79, 0, 100, 3), tn(50, 99, 9, 15), tn(49, 10, 4, 0)});
             t.model().toggleSectionMarker(10);
             t.model().setPlayMarker(12);
             t.model().setRightMarker(20);
             t.model().setLeftMarker(14, t.view());
         }},
        {"scrolled, hidden channel, Deleika rows",
         [](Flt_ScoreTape &t) {
             RowColours deleika;
             indicatorRowColours(indicatorDeleika26, deleika);
             t.model().setRowColours(deleika);
             t.setFirstTick(45);
             t.model().setChannelMask(0xFFFF & ~2u);
             t.model().setTicksPerFrame(12);
         }},
        {"low rows and a short board",
         [](Flt_ScoreTape &t) {
             t.resize(0, 0, 801, 15 + 5 * 11);
             t.setBottomNote(0);
             t.model().setNotes({tn(2, 40), tn(0, 0, 3, 7)});
         }},
    };
    for (const auto &b : boards) {
        SCOPED_TRACE(b.what);
        b.setUp(*tape);
        tape->captured = false;
        tape->redraw();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!tape->captured && std::chrono::steady_clock::now() < until)
            Fl::wait(0.05);
        ASSERT_TRUE(tape->captured) << "the tape was not drawn";
        ASSERT_FALSE(tape->own.empty());
        ASSERT_EQ(tape->own.size(), tape->rendered.size());
        std::size_t differing = 0, first = 0;
        for (std::size_t i = 0; i < tape->own.size(); ++i)
            if (tape->own[i] != tape->rendered[i] && differing++ == 0)
                first = i / 3;
        EXPECT_EQ(differing, 0u) << "first at x " << first % std::size_t(tape->w()) << ", y "
                                 << first / std::size_t(tape->w());
    }
    window->hide();
    window.reset();
    Fl::check();
}

TEST(RendererMatch, PaletteAgreesWithFltk) {
    const Fl_Color used[] = {0,          FL_BLACK,    FL_WHITE, FL_RED,
                             FL_MAGENTA, FL_BLUE,     FL_DARK1, FL_DARK_GREEN,
                             FL_LIGHT2,  FL_GRAY,     FL_GREEN, FL_YELLOW,
                             FL_CYAN,    FL_DARK_RED, 200,      fl_rgb_color(12, 200, 77)};
    for (Fl_Color c : used) {
        SCOPED_TRACE(c);
        uchar r, g, b;
        Fl::get_color(c, r, g, b);
        const Rgb ours = colourRgb(c);
        EXPECT_EQ(ours.r, r);
        EXPECT_EQ(ours.g, g);
        EXPECT_EQ(ours.b, b);
    }
}

TEST(RendererMatch, FileHasTheScreensPixels) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    // A window of exactly the melody's picture at 100 %: ticks 0..39, rows 48..79.
    const int w = 40 * 8 + 1, h = 11 + 32 * 11 + 4;
    auto window = std::make_unique<Fl_Double_Window>(w, h, "tape");
    auto *tape = new TwiceDrawnTape(0, 0, w, h);
    window->end();
    tape->model().setRowColours(pianoRowColours());
    tape->model().setNotes({tn(48, 0, 6, 0), tn(60, 4, 8, 2), tn(64, 10, 12, 1, 1, true),
                            tn(79, 20, 20, 3), tn(55, 30, 5, 15), tn(61, 12, 4, 9)});
    tape->setBottomNote(48);
    tape->model().toggleSectionMarker(8);
    tape->model().setPlayMarker(12);
    tape->model().setRightMarker(30);
    tape->model().setLeftMarker(2, tape->view());
    ASSERT_EQ(tape->view().visibleTicks, 40u);
    ASSERT_EQ(tape->view().visibleRows, 32u);
    window->show();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!tape->captured && std::chrono::steady_clock::now() < until)
        Fl::wait(0.05);
    ASSERT_TRUE(tape->captured) << "the tape was not drawn";

    TempPath png("renderer-match.png");
    ExportOptions options;
    options.format = ExportFormat::png;
    const ExportResult written = exportTape(tape->model(), options, png.path);
    ASSERT_TRUE(written) << written.reason;
    cairo_surface_t *s = cairo_image_surface_create_from_png(png.path.c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(s), w);
    EXPECT_EQ(cairo_image_surface_get_height(s), h);
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    // The grid, lines, markers and notes, pixel for pixel; the numbers are left out (the two
    // back ends draw text with their own font engines): the strip above and the corner below.
    std::size_t differing = 0;
    int firstX = -1, firstY = -1;
    for (int y = 11; y < h - 4; ++y)
        for (int x = 0; x < w; ++x) {
            if (x < 30 && y >= h - 4 - 2 * 11)
                continue;
            const uint32_t file = reinterpret_cast<const uint32_t *>(data + y * stride)[x];
            const uchar *screen = &tape->own[(std::size_t(y) * w + x) * 3];
            if (uint8_t(file >> 16) != screen[0] || uint8_t(file >> 8) != screen[1] ||
                uint8_t(file) != screen[2]) {
                if (differing++ == 0)
                    firstX = x, firstY = y;
            }
        }
    cairo_surface_destroy(s);
    EXPECT_EQ(differing, 0u) << "first at x " << firstX << ", y " << firstY;
    window->hide();
    window.reset();
    Fl::check();
}
