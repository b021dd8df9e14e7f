// Exported files read back: the board picture's pixels in PNG, the SVG's size, the atomic
// replacement of the target and the errors.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "notes/NoteSets.h"
#include "render/BoardRender.h"
#include "render/Palette.h"

#include <cairo.h>

#include <fstream>
#include <sstream>

using namespace tw;

namespace {

struct Image {
    cairo_surface_t *surface = nullptr;
    explicit Image(const std::string &path)
        : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Image() { cairo_surface_destroy(surface); }
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    Rgb at(int x, int y) const {
        const unsigned char *row = cairo_image_surface_get_data(surface) +
                                   std::size_t(y) * cairo_image_surface_get_stride(surface);
        const uint32_t p = reinterpret_cast<const uint32_t *>(row)[x];
        return {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
    }
};

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ExportOptions optionsFor(ExportFormat format) {
    ExportOptions o;
    o.format = format;
    return o;
}

} // namespace

TEST(BoardPng, NotesAtTheirPixelsAndNothingElseOnTheirRows) {
    // Rows 60..67 (eight), ticks up to 1030: wider than one drawing tile of 8192 pixels, with
    // a note across the tile boundary at x 8192.
    Melody melody({tn(60, 2, 4, 0), tn(67, 10, 3, 1), tn(63, 20, 6, 3, 100, true),
                   tn(64, 1020, 10, 0), tn(61, 30, 2, 5), tn(65, 40, 5, 2)});
    RowColours piano = pianoRowColours();
    melody.setRowColours(piano);
    TempFolder dir;
    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::png), dir / "m.png"));
    Image png(dir / "m.png");
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 1030 * 8 + 1);
    EXPECT_EQ(png.height(), 8 * 11 + 15);

    // Where the item says: x = start * 8, y = 1 + (r + 1) * 11 with r counted from row 67.
    std::vector<std::pair<PixelRect, Rgb>> bars;
    for (const TapeNote &n : melody.notes()) {
        const int r = int(67 - n.note);
        const PixelRect rect{int(n.start) * 8, 1 + (r + 1) * 11, int(n.length) * 8, 10};
        const TapeColour c = channelNoteColour(n.channel, n.selected);
        bars.push_back({rect, colourRgb(c == 0 ? paletteBlack : c)});
    }
    // Channel index 2 unselected (note 65) is black like the frame lines, not white like the
    // board.
    EXPECT_EQ(png.at(40 * 8 + 3, 1 + 3 * 11 + 4), colourRgb(paletteBlack));
    for (const auto &[rect, colour] : bars) {
        SCOPED_TRACE(rect.x);
        for (int dy : {0, rect.h / 2, rect.h - 1})
            for (int dx : {0, rect.w / 2, rect.w - 1})
                EXPECT_EQ(png.at(rect.x + dx, rect.y + dy), colour);
    }
    // The rest of the notes' rows holds no note colour, and only the grid and the red marker
    // at tick 0 outside the bottom row's number in the corner.
    const Rgb allowed[] = {colourRgb(paletteWhite), colourRgb(paletteLight2),
                           colourRgb(paletteBlack), colourRgb(paletteRed)};
    for (const auto &[row, unused] : bars) {
        (void)unused;
        for (int y = row.y; y < row.y + row.h; ++y)
            for (int x = 0; x < png.width(); ++x) {
                bool inBar = false;
                for (const auto &[rect, c] : bars)
                    inBar = inBar || (x >= rect.x && x < rect.x + rect.w && y >= rect.y &&
                                      y < rect.y + rect.h);
                if (inBar)
                    continue;
                const Rgb p = png.at(x, y);
                for (const auto &[rect, c] : bars)
                    ASSERT_FALSE(p == c && !(c == colourRgb(paletteBlack)))
                        << "a note's colour at " << x << "," << y;
                bool ok = x < 20 && y > png.height() - 20;
                for (const Rgb &a : allowed)
                    ok = ok || p == a;
                ASSERT_TRUE(ok) << "stray colour at " << x << "," << y;
            }
    }
}

TEST(BoardPng, HiddenChannelsAndMarkers) {
    Melody melody({tn(60, 0, 4, 0), tn(72, 8, 4, 1)});
    melody.setChannelMask(0xFFFF & ~2u); // channel 1 hidden: one row only
    melody.setRightMarker(3);
    melody.toggleSectionMarker(2);
    TempFolder dir;
    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::png), dir / "m.png"));
    Image png(dir / "m.png");
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 4 * 8 + 1);
    EXPECT_EQ(png.height(), 11 + 15);
    // Above the note's bar, which covers them below.
    EXPECT_EQ(png.at(24, 11), colourRgb(paletteMagenta)); // the purple marker at tick 3
    EXPECT_EQ(png.at(25, 11), colourRgb(paletteMagenta));
    EXPECT_EQ(png.at(16, 11), colourRgb(paletteBlue)); // the blue one at tick 2
    EXPECT_EQ(png.at(0, 11), colourRgb(paletteRed));
    EXPECT_EQ(png.at(12, 14), colourRgb(channelNoteColour(0, false)));
}

TEST(BoardSvg, SizeOfTheBoard) {
    Melody melody({tn(50, 0, 10), tn(52, 90, 10)});
    TempFolder dir;
    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::svg), dir / "m.svg"));
    const std::string svg = readAll(dir / "m.svg");
    EXPECT_NE(svg.find("width=\"801px\""), std::string::npos);
    EXPECT_NE(svg.find("height=\"48px\""), std::string::npos); // 3 rows
}

TEST(BoardSvg, ShowsThePixelsOfThePng) {
    if (run("command -v rsvg-convert").empty())
        GTEST_SKIP() << "rsvg-convert (librsvg2-bin) missing";
    // Notes of several channels, one selected, one long, markers and a few frames.
    Melody melody({tn(60, 2, 4, 0), tn(67, 10, 3, 1), tn(63, 20, 60, 3, 100, true),
                   tn(64, 90, 10, 2), tn(61, 30, 2, 15)});
    melody.setRowColours(pianoRowColours());
    melody.setRightMarker(40);
    melody.toggleSectionMarker(25);
    TempFolder dir;
    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::png), dir / "m.png"));
    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::svg), dir / "m.svg"));
    run("rsvg-convert -o '" + dir / "svg.png" + "' '" + dir / "m.svg" + "'");
    Image png(dir / "m.png"), svg(dir / "svg.png");
    ASSERT_TRUE(png.ok());
    ASSERT_TRUE(svg.ok());
    ASSERT_EQ(svg.width(), png.width());
    ASSERT_EQ(svg.height(), png.height());
    // Text is smoothed differently: the numbers along the top and in the lower left corner
    // are left out.
    int wrong = 0;
    for (int y = 14; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x)
            if (!(x < 40 && y > png.height() - 16) && !(png.at(x, y) == svg.at(x, y)) &&
                wrong++ < 5)
                ADD_FAILURE() << "pixel " << x << ", " << y;
    EXPECT_EQ(wrong, 0);
}

TEST(ExportFiles, TargetReplacedWholeOrLeftAlone) {
    TempFolder dir;
    const std::string target = dir / "tape.png";
    std::ofstream(target) << "old";
    Melody empty({});
    const struct {
        const char *what;
        const ScoreModel &model;
        std::string path;
        int code;
    } cases[] = {
        {"no notes", empty, target, errExportNoNotes},
        {"missing folder", empty, dir / "none/tape.png", errExportNoNotes},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(exportTape(c.model, optionsFor(ExportFormat::png), c.path).code, c.code);
    }
    EXPECT_EQ(readAll(target), "old");

    // A picture beyond the limit is refused, and so is a PDF of too many pages.
    Melody far({tn(60, 0), tn(61, 200000)});
    for (ExportFormat f : {ExportFormat::png, ExportFormat::svg, ExportFormat::pdf})
        EXPECT_EQ(exportTape(far, optionsFor(f), target).code, errExportTooLarge);
    EXPECT_EQ(readAll(target), "old");

    Melody melody({tn(60, 0)});
    ExportResult r = exportTape(melody, optionsFor(ExportFormat::png), dir / "none/tape.png");
    EXPECT_EQ(r.code, errExportCreate);
    EXPECT_NE(r.reason.find("does not exist"), std::string::npos) << r.reason;

    // A folder in the target's place is refused before anything is written.
    std::filesystem::create_directory(dir / "folder.pdf");
    r = exportTape(melody, optionsFor(ExportFormat::pdf), dir / "folder.pdf");
    EXPECT_EQ(r.code, errExportCreate);
    EXPECT_NE(r.reason.find("is a folder"), std::string::npos) << r.reason;

    ASSERT_TRUE(exportTape(melody, optionsFor(ExportFormat::png), target));
    EXPECT_EQ(readAll(target).substr(1, 3), "PNG");
    auto names = dir.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder.pdf", "tape.png"}));
}

TEST(ExportFiles, FormatAndExtension) {
    const struct {
        const char *path;
        bool known;
        ExportFormat format;
        const char *asPdf;
    } cases[] = {
        {"a/b.PNG", true, ExportFormat::png, "a/b.pdf"},
        {"b.svg", true, ExportFormat::svg, "b.pdf"},
        {"/x.y/tune.Pdf", true, ExportFormat::pdf, "/x.y/tune.pdf"},
        {"/x.y/tune", false, ExportFormat::pdf, "/x.y/tune.pdf"},
        {"tune.mid", false, ExportFormat::pdf, "tune.pdf"},
        {".hidden", false, ExportFormat::pdf, ".hidden.pdf"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        ExportFormat f = ExportFormat::pdf;
        EXPECT_EQ(exportFormatOf(c.path, f), c.known);
        if (c.known) {
            EXPECT_EQ(f, c.format);
        }
        EXPECT_EQ(withExtension(c.path, ".pdf"), c.asPdf);
    }
}
