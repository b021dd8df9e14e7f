// A board drawn tile by tile, each tile drawing only what it shows, is the board drawn whole; so
// is the PNG, whichever way it is written.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "notes/NoteSets.h"
#include "render/CairoPainter.h"
#include "render/ExportFile.h"
#include "render/ExportParts.h"
#include "render/IndexedPainter.h"
#include "render/Palette.h"

#include <cairo.h>

#include <memory>
#include <set>

using namespace tw;

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// The part (x0, y0, w, h) of the board; culled to it, or drawn whole and translated.
Surface draw(const BoardLayout &layout, int x0, int y0, int w, int h, bool cull) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
    cairo_t *cr = cairo_create(surface.get());
    cairo_translate(cr, -x0, -y0);
    CairoPainter painter(cr);
    if (cull)
        painter.setCull(x0, y0, w, h);
    drawBoard(painter, layout);
    painter.flush();
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

uint32_t pixel(cairo_surface_t *s, int x, int y) {
    const unsigned char *row =
        cairo_image_surface_get_data(s) + std::size_t(y) * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t *>(row)[x] & 0xFFFFFFu;
}

} // namespace

TEST(BoardTiles, EachTileDrawsWhatTheWholeBoardShowsThere) {
    // Long notes that start far left of a tile and end in it, short notes on tile edges, notes
    // of every channel, section markers and frame numbers along the way.
    std::vector<TapeNote> notes{tn(60, 0, 300, 0), tn(64, 5, 150, 3)};
    for (unsigned t = 0; t < 400; t += 3)
        notes.push_back(tn(50 + t % 20, t, 1 + t % 7, t % 16));
    Melody melody(notes, 16);
    for (unsigned t = 10; t < 400; t += 37)
        melody.toggleSectionMarker(t);
    BoardView view;
    melody.setLeftMarker(100, view);
    melody.setRightMarker(250);
    ASSERT_TRUE(pictureView(melody, view));
    const BoardArea area = pictureArea(view);
    const BoardLayout layout(melody, view, area);
    const Surface whole = draw(layout, 0, 0, area.w, area.h, false);

    struct Tiles {
        int w, h;
    };
    for (const Tiles tiles : {Tiles{64, 13}, Tiles{333, 40}, Tiles{1000, area.h}, Tiles{7, 7}}) {
        SCOPED_TRACE(testing::Message() << "tiles of " << tiles.w << " x " << tiles.h);
        int wrong = 0;
        for (int y0 = 0; y0 < area.h; y0 += tiles.h)
            for (int x0 = 0; x0 < area.w; x0 += tiles.w) {
                const int w = std::min(tiles.w, area.w - x0), h = std::min(tiles.h, area.h - y0);
                const Surface tile = draw(layout, x0, y0, w, h, true);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (pixel(tile.get(), x, y) != pixel(whole.get(), x0 + x, y0 + y) &&
                            wrong++ < 5)
                            ADD_FAILURE() << "pixel " << x0 + x << ", " << y0 + y;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(BoardPng, PixelsAreThoseCairoDrawsOnTheWholeBoard) {
    // Frame numbers in black and red over the grid, the bottom row number, every marker, beat
    // and bar lines, selected notes and a hidden channel; the PNG is written with a palette of
    // the colours met, or in RGB when more than a palette holds.
    std::vector<TapeNote> notes{tn(60, 0, 300, 0), tn(64, 5, 150, 3), tn(61, 2, 3, 5)};
    for (unsigned t = 0; t < 400; t += 3)
        notes.push_back(tn(50 + t % 20, t + 2, 1 + t % 7, t % 16));
    std::vector<TapeNote> everyRow;
    for (unsigned n = 0; n < 128; ++n)
        everyRow.push_back(tn(n, n * 2 + 30, 1 + n % 5, n % 16));
    RowColours rainbow;
    for (unsigned n = 0; n < 128; ++n)
        rainbow.colours[n] = tapeRgb(n * 2, 255 - n, (n * 37) % 256);
    struct Case {
        const char *name;
        std::vector<TapeNote> notes;
        bool decorated; // markers, beat grid, a selection and a hidden channel
        bool rainbow;   // every row line in a colour of its own
    };
    const Case cases[] = {
        {"plain", notes, false, false},
        {"decorated", notes, true, false},
        {"one note", {tn(60, 0, 1)}, false, false},
        {"a colour for every row", everyRow, true, true},
    };
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Melody melody(c.notes, 16);
        BoardView view;
        if (c.decorated) {
            for (unsigned t = 10; t < 400; t += 37)
                melody.toggleSectionMarker(t);
            melody.setLeftMarker(100, view);
            melody.setRightMarker(250);
            melody.setPlayMarker(120);
            BeatGrid grid;
            grid.shown = true;
            melody.setBeatGrid(grid);
            for (unsigned i = 0; i < melody.notes().size(); i += 4)
                melody.setSelected(i, true);
            melody.setChannelMask(0xFFFF & ~(1u << 5));
        }
        if (c.rainbow)
            melody.setRowColours(rainbow);
        ASSERT_TRUE(pictureView(melody, view));
        const BoardArea area = pictureArea(view);
        const Surface whole = draw(BoardLayout(melody, view, area), 0, 0, area.w, area.h, false);

        const std::string path = dir.file("board.png");
        ExportFile file(path);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(writeBoardPng(melody, view, file));
        ASSERT_TRUE(file.commit());
        std::set<uint32_t> distinct;
        for (int y = 0; y < area.h; ++y)
            for (int x = 0; x < area.w; ++x)
                distinct.insert(pixel(whole.get(), x, y));
        // In the header: 3 for a palette, 2 for RGB.
        EXPECT_EQ(readFile(path).at(25), distinct.size() <= 256 ? 3 : 2) << distinct.size();
        const Surface png(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy);
        ASSERT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS);
        ASSERT_EQ(cairo_image_surface_get_width(png.get()), area.w);
        ASSERT_EQ(cairo_image_surface_get_height(png.get()), area.h);
        int wrong = 0;
        for (int y = 0; y < area.h; ++y)
            for (int x = 0; x < area.w; ++x)
                if (pixel(png.get(), x, y) != pixel(whole.get(), x, y) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex
                                  << pixel(png.get(), x, y) << " instead of "
                                  << pixel(whole.get(), x, y);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(IndexedPainter, StripsGiveCairosPixelsForEveryKindOfDrawing) {
    // Text in two fonts and colours across the edges of strips, slanted lines, and fills over
    // them: drawn strip by strip into indexes, the pixels are those Cairo draws whole.
    const int w = 120, h = 50;
    const auto paint = [](Painter &p) {
        p.setColour(paletteWhite);
        p.fillRect(0, 0, w, h);
        p.setColour(paletteLight2);
        for (int x = 0; x < w; x += 8)
            p.line(x, 0, x, h - 1);
        p.setColour(paletteBlack);
        p.setFont(0, 10);
        p.text("128", 3, 9);
        p.setColour(paletteRed);
        p.text("4096", 40, 20);
        p.setFont(1, 17);
        p.setColour(tapeRgb(20, 120, 40));
        p.text("Wg", 70, 40);
        p.setColour(paletteBlue);
        p.line(2, 48, 110, 25);
        p.line(100, 2, 60, 47);
        p.setColour(paletteMagenta);
        p.fillRect(50, 18, 12, 9);
    };
    Surface whole(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
    cairo_t *cr = cairo_create(whole.get());
    {
        CairoPainter cairoPainter(cr);
        paint(cairoPainter);
    }
    cairo_destroy(cr);
    cairo_surface_flush(whole.get());

    for (const int stripRows : {1, 7, h}) {
        SCOPED_TRACE(testing::Message() << "strips of " << stripRows << " rows");
        IndexedPainter indexed(w, h);
        paint(indexed); // the survey
        std::vector<uint16_t> pixels(std::size_t(w) * std::size_t(stripRows));
        int wrong = 0;
        for (int y0 = 0; y0 < h; y0 += stripRows) {
            const int rows = std::min(stripRows, h - y0);
            indexed.setStrip(y0, rows, pixels.data());
            paint(indexed);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < w; ++x)
                    if (indexed.palette()[pixels[std::size_t(y * w + x)]] !=
                            pixel(whole.get(), x, y0 + y) &&
                        wrong++ < 5)
                        ADD_FAILURE() << "pixel " << x << ", " << y0 + y;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_FALSE(indexed.overflowed());
        // The rows found by the survey hold every pixel drawn by Cairo.
        EXPECT_FALSE(indexed.rowsDrawnByCairo().empty());
    }
}
