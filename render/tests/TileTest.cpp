// A board drawn tile by tile, each tile drawing only what it shows, is the board drawn whole; so
// are the PNG, whichever way it is written, and the pages of the PDF.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "notes/NoteSets.h"
#include "render/CairoPainter.h"
#include "render/ExportFile.h"
#include "render/ExportParts.h"
#include "render/IndexedPainter.h"
#include "render/Palette.h"
#include "render/RectLayers.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <memory>
#include <random>
#include <set>

using namespace tw;

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// A tile of the board drawn through Cairo as the PDF's pages draw it (PdfPainter): only what
// reaches into the tile, every rectangle up to the next text or slanted line gathered
// (RectLayers) and drawn a colour at a time, thick bars stroked along their middles.
class TilePainter : public Painter {
public:
    TilePainter(cairo_t *cr, int x, int y, int w, int h)
        : cr_(cr), bounds_{x, y, (long long)x + w, (long long)y + h} {
        layers_.setArea(bounds_.x0, bounds_.y0, bounds_.x1, bounds_.y1);
    }
    ~TilePainter() override { flush(); }
    void flush() {
        layers_.drain([this](TapeColour colour, int thickness, bool stroke,
                             const std::vector<const RectLayers::Rect *> &rects) {
            setCairoColour(cr_, colour);
            for (const RectLayers::Rect *r : rects)
                if (!stroke)
                    cairo_rectangle(cr_, r->x, r->y, r->w, r->h);
                else if (thickness > 0) {
                    cairo_move_to(cr_, r->x, r->y + r->h / 2.0);
                    cairo_line_to(cr_, r->x + r->w, r->y + r->h / 2.0);
                } else {
                    cairo_move_to(cr_, r->x + r->w / 2.0, r->y);
                    cairo_line_to(cr_, r->x + r->w / 2.0, r->y + r->h);
                }
            cairo_set_line_width(cr_, std::abs(thickness));
            stroke ? cairo_stroke(cr_) : cairo_fill(cr_);
        });
    }
    void setColour(TapeColour colour) override { colour_ = colour; }
    void fillRect(int x, int y, int w, int h) override {
        if (w > 0 && h > 0 && !outside(x, y, w, h))
            layers_.add(x, y, w, h, colour_);
    }
    void line(int x0, int y0, int x1, int y1) override {
        if (x0 == x1 || y0 == y1) {
            fillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1,
                     std::abs(y1 - y0) + 1);
            return;
        }
        flush();
        setCairoColour(cr_, colour_);
        strokeCairoLine(cr_, x0, y0, x1, y1);
    }
    void setFont(int font, int size) override { selectCairoFont(cr_, font, size); }
    void text(const char *text, int x, int y) override {
        if (outside(x - 100LL, y - 100LL, 200, 200))
            return;
        flush();
        setCairoColour(cr_, colour_);
        cairo_move_to(cr_, x, y);
        cairo_show_text(cr_, text);
        cairo_new_path(cr_);
    }
    std::optional<PaintBounds> bounds() const override { return bounds_; }

private:
    bool outside(long long x, long long y, long long w, long long h) const {
        return x + w <= bounds_.x0 || y + h <= bounds_.y0 || x >= bounds_.x1 || y >= bounds_.y1;
    }
    cairo_t *cr_;
    PaintBounds bounds_;
    RectLayers layers_;
    TapeColour colour_ = 0;
};

// The part (x0, y0, w, h) of the board; culled to it, or drawn whole and translated.
Surface draw(const BoardLayout &layout, int x0, int y0, int w, int h, bool cull) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
    cairo_t *cr = cairo_create(surface.get());
    cairo_translate(cr, -x0, -y0);
    if (cull) {
        TilePainter painter(cr, x0, y0, w, h);
        drawBoard(painter, layout);
    } else {
        CairoPainter painter(cr);
        drawBoard(painter, layout);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

uint32_t pixel(cairo_surface_t *s, int x, int y) {
    const unsigned char *row =
        cairo_image_surface_get_data(s) + std::size_t(y) * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t *>(row)[x] & 0xFFFFFFu;
}

// The words pdftotext finds on the pages of a PDF above `bottom` (points from the top), with
// their left and right ends.
struct PdfWord {
    std::string text;
    double left = 0, right = 0, top = 0;
};
std::vector<PdfWord> pdfWords(const std::string &pdf, double bottom) {
    std::vector<PdfWord> words;
    const std::string xml = run("pdftotext -bbox '" + pdf + "' -");
    for (std::size_t at = xml.find("<word "); at != std::string::npos;
         at = xml.find("<word ", at + 1)) {
        PdfWord w;
        double yMax = 0;
        const std::size_t end = xml.find('>', at), close = xml.find("</word>", at);
        if (end == std::string::npos || close == std::string::npos ||
            std::sscanf(xml.c_str() + at,
                        "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &w.left,
                        &w.top, &w.right, &yMax) != 4)
            break;
        w.text = xml.substr(end + 1, close - end - 1);
        if (w.top < bottom)
            words.push_back(w);
    }
    return words;
}

// The largest difference of the red, green and blue of two 0xRRGGBB colours.
int colourDistance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return d;
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

TEST(RectLayers, GatheredRectanglesGiveThePixelsOfDrawingThemInOrder) {
    // Drawn as the PDF's pages are, the rectangles up to the next text a colour at a time and
    // thick bars stroked: overlapping ones of different colours in every order, bars
    // across cells and past the cull rectangle's edges, ones that cover whole cells, thin
    // lines, text between them. Every pixel is the one of drawing them in order.
    struct Rect {
        int x, y, w, h;
        TapeColour colour;
    };
    struct Case {
        const char *name;
        int cullX, cullY, w, h; // the cull rectangle, also the picture
        unsigned seed;
        int count, largest; // random rectangles and their largest side
        int colours;
        std::vector<Rect> fixed; // or these
    };
    const Case cases[] = {
        {"small ones in two colours", 0, 0, 200, 120, 1, 600, 20, 2, {}},
        {"bars and lines in five colours", 40, 30, 300, 200, 2, 900, 90, 5, {}},
        {"large ones over many cells", -50, 10, 260, 260, 3, 300, 200, 4, {}},
        {"more cells than are kept", 5, 5, 3000, 1500, 4, 3000, 400, 6, {}},
        // A block covers a cell over a bar of its own colour that lies above a red one
        // elsewhere; a red one drawn next over both shows.
        {"over a block that covers a cell",
         0,
         0,
         64,
         64,
         0,
         0,
         0,
         0,
         {{40, 0, 20, 10, paletteRed},
          {20, 2, 30, 6, paletteBlue},
          {0, 0, 32, 32, paletteBlue},
          {22, 3, 5, 4, paletteRed}}},
    };
    const TapeColour palette[] = {paletteRed,       paletteBlue,   tapeRgb(10, 200, 30),
                                  paletteBlack,     paletteWhite,  tapeRgb(250, 240, 0),
                                  paletteDarkGreen, paletteMagenta};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto paint = [&](Painter &p) {
            for (const Rect &r : c.fixed) {
                p.setColour(r.colour);
                p.fillRect(r.x, r.y, r.w, r.h);
            }
            std::mt19937 random(c.seed);
            const auto below = [&](int n) { return int(random() % unsigned(n)); };
            for (int i = 0; i < c.count; ++i) {
                p.setColour(palette[below(c.colours)]);
                const int kind = below(4); // a bar, a thin line, a thick bar, a block
                const int w = kind == 0   ? 1 + below(c.largest)
                              : kind == 1 ? 1 + below(2)
                                          : 3 + below(c.largest / 3 + 1);
                const int h = kind == 0 ? 3 + below(9) : 1 + below(c.largest);
                p.fillRect(c.cullX - 20 + below(c.w + 40), c.cullY - 20 + below(c.h + 40), w, h);
                if (i % 250 == 249) {
                    p.setFont(0, 12);
                    p.text("42", c.cullX + below(c.w), c.cullY + below(c.h));
                }
            }
        };
        Surface expected(cairo_image_surface_create(CAIRO_FORMAT_RGB24, c.w, c.h),
                         cairo_surface_destroy);
        Surface gathered(cairo_image_surface_create(CAIRO_FORMAT_RGB24, c.w, c.h),
                         cairo_surface_destroy);
        for (cairo_surface_t *s : {expected.get(), gathered.get()}) {
            cairo_t *cr = cairo_create(s);
            cairo_translate(cr, -c.cullX, -c.cullY);
            if (s == gathered.get()) {
                TilePainter painter(cr, c.cullX, c.cullY, c.w, c.h);
                paint(painter);
            } else {
                CairoPainter painter(cr);
                paint(painter);
            }
            cairo_destroy(cr);
            cairo_surface_flush(s);
        }
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (pixel(gathered.get(), x, y) != pixel(expected.get(), x, y) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << c.cullX + x << ", " << c.cullY + y << ": "
                                  << std::hex << pixel(gathered.get(), x, y) << " instead of "
                                  << pixel(expected.get(), x, y);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(BoardPdf, PagesShowTheBoardDrawnWhole) {
    if (run("command -v pdftoppm").empty())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    // Notes of different channels over each other on one row, long notes across page edges,
    // a note on every row and section markers: rendered, every page shows the part of the
    // board drawn whole that falls on it. Checked where a pixel of the page lies well inside
    // one pixel of the board, away from the numbers (their glyphs are shaped for the page);
    // the numbers are checked for their place on the page.
    std::vector<TapeNote> notes{tn(60, 0, 150, 0), tn(60, 10, 30, 5), tn(60, 20, 5, 9),
                                tn(61, 3, 200, 1), tn(61, 3, 100, 12)};
    for (unsigned t = 0; t < 240; t += 2)
        notes.push_back(tn(55 + t % 9, t, 1 + t % 5, t % 16));
    std::sort(notes.begin(), notes.end(),
              [](const TapeNote &a, const TapeNote &b) { return a.start < b.start; });
    Melody melody(notes, 16);
    for (unsigned t = 7; t < 240; t += 41)
        melody.toggleSectionMarker(t);
    BoardView view;
    ASSERT_TRUE(pictureView(melody, view));
    const BoardArea area = pictureArea(view);
    const BoardLayout layout(melody, view, area);
    const Surface whole = draw(layout, 0, 0, area.w, area.h, false);
    // Where the numbers' glyphs reach: the board drawn without them differs there.
    struct NoText : CairoPainter {
        using CairoPainter::CairoPainter;
        void text(const char *, int, int) override {}
    };
    Surface withoutText(cairo_image_surface_create(CAIRO_FORMAT_RGB24, area.w, area.h),
                        cairo_surface_destroy);
    {
        cairo_t *cr = cairo_create(withoutText.get());
        {
            NoText painter(cr);
            drawBoard(painter, layout);
        }
        cairo_destroy(cr);
        cairo_surface_flush(withoutText.get());
    }
    const auto nearText = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = std::clamp(x + dx, 0, area.w - 1);
                const int ny = std::clamp(y + dy, 0, area.h - 1);
                if (pixel(whole.get(), nx, ny) != pixel(withoutText.get(), nx, ny))
                    return true;
            }
        return false;
    };

    TempDir dir;
    ExportOptions options;
    options.format = ExportFormat::pdf;
    options.sourceName = "board.mid";
    const ExportResult r = exportTape(melody, options, dir / "board.pdf");
    ASSERT_TRUE(r) << r.reason;
    // The page's layout: the picture's height between the margins, its width over pages.
    const PaperMm paper = paperSize(options.paper);
    const double pageW = paper.width * pointsPerMm, pageH = paper.height * pointsPerMm;
    const double margin = pageMarginMm * pointsPerMm;
    const double scale = (pageH - 2 * margin) / area.h;
    const double sliceWidth = (pageW - 2 * margin) / scale;
    ASSERT_EQ(r.pages, unsigned(std::ceil(area.w / sliceWidth)));
    ASSERT_GE(r.pages, 4u);
    for (unsigned page = 0; page < r.pages; ++page) {
        SCOPED_TRACE(testing::Message() << "page " << page + 1);
        // One pixel a point.
        const std::string stem = dir / ("page" + std::to_string(page));
        run("pdftoppm -r 72 -png -f " + std::to_string(page + 1) + " -l " +
            std::to_string(page + 1) + " -singlefile '" + dir / "board.pdf" + "' '" + stem + "'");
        const Surface shown(cairo_image_surface_create_from_png((stem + ".png").c_str()),
                            cairo_surface_destroy);
        ASSERT_EQ(cairo_surface_status(shown.get()), CAIRO_STATUS_SUCCESS);
        ASSERT_EQ(cairo_image_surface_get_width(shown.get()), int(std::lround(pageW)));
        int wrong = 0, checked = 0;
        // The pixels wholly inside the margins.
        for (int y = int(std::ceil(margin)); y + 1 <= int(pageH - margin); ++y)
            for (int x = int(std::ceil(margin)); x + 1 <= int(pageW - margin); ++x) {
                const double bx = page * sliceWidth + (x + 0.5 - margin) / scale;
                const double by = (y + 0.5 - margin) / scale;
                const double fx = bx - std::floor(bx), fy = by - std::floor(by);
                if (fx < 0.25 || fx > 0.75 || fy < 0.25 || fy > 0.75 || by >= area.h ||
                    bx >= area.w || nearText(int(bx), int(by)))
                    continue;
                ++checked;
                const uint32_t want = pixel(whole.get(), int(bx), int(by));
                const uint32_t got = pixel(shown.get(), x, y);
                if (colourDistance(want, got) > 8 && wrong++ < 5)
                    ADD_FAILURE() << "board pixel " << int(bx) << ", " << int(by) << ": "
                                  << std::hex << got << " instead of " << want;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(checked, 1000);
    }

    // The numbers stand where drawing the board straight onto every page puts them.
    {
        cairo_surface_t *surface =
            cairo_pdf_surface_create((dir / "straight.pdf").c_str(), pageW, pageH);
        cairo_t *cr = cairo_create(surface);
        for (unsigned page = 0; page < r.pages; ++page) {
            cairo_save(cr);
            cairo_rectangle(cr, margin, margin, pageW - 2 * margin, pageH - 2 * margin);
            cairo_clip(cr);
            cairo_translate(cr, margin - page * sliceWidth * scale, margin);
            cairo_scale(cr, scale, scale);
            {
                CairoPainter painter(cr);
                drawBoard(painter, layout);
            }
            cairo_restore(cr);
            cairo_show_page(cr);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    const std::vector<PdfWord> expected = pdfWords(dir / "straight.pdf", pageH - margin);
    const std::vector<PdfWord> words = pdfWords(dir / "board.pdf", pageH - margin);
    ASSERT_EQ(words.size(), expected.size());
    ASSERT_GE(words.size(), 10u);
    for (std::size_t i = 0; i < words.size(); ++i) {
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(words[i].text, expected[i].text);
        EXPECT_NEAR(words[i].left, expected[i].left, 0.05);
        EXPECT_NEAR(words[i].right, expected[i].right, 0.05);
        EXPECT_NEAR(words[i].top, expected[i].top, 0.05);
    }
}
