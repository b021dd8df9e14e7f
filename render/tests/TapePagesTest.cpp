// The tape at true scale: page size, places of bars measured on the rendered page, the number
// of pieces, the notes that are left off, and geometry that does not fit.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "render/ExportParts.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace tw;

namespace {

// 26 tracks 2.5 mm apart for notes 60..85, the first 5 mm above the lower edge, 20 mm a second.
ExportOptions tapeOptions(Paper paper = Paper::a4, bool holes = false) {
    ExportOptions o;
    o.format = ExportFormat::pdf;
    o.paper = paper;
    o.holes = holes;
    o.sourceName = "tune.mid";
    o.instrument.name = "Test-26";
    for (unsigned n = 60; n < 86; ++n)
        o.instrument.notes.push_back(n);
    o.instrument.geometry = TapeGeometry{70, 2.5, 5, 20, 2};
    return o;
}

// pdfinfo's page count and page size in points.
struct PdfInfo {
    int pages = 0;
    double width = 0, height = 0;
};
PdfInfo pdfInfo(const std::string &path) {
    PdfInfo info;
    const std::string text = run("pdfinfo '" + path + "'");
    const auto pages = text.find("Pages:");
    const auto size = text.find("Page size:");
    if (pages != std::string::npos)
        info.pages = std::atoi(text.c_str() + pages + 6);
    if (size != std::string::npos)
        std::sscanf(text.c_str() + size + 10, "%lf x %lf", &info.width, &info.height);
    return info;
}

constexpr double pxPerMm = 10; // pages rendered at 254 dpi

// The first page at 10 pixels a millimetre, grey levels 0..255 (0 = black).
struct Page {
    int w = 0, h = 0;
    std::vector<uint8_t> grey;
    int at(int x, int y) const { return grey[std::size_t(y) * w + x]; }
};
Page renderFirstPage(const TempFolder &dir, const std::string &pdf) {
    run("pdftoppm -r 254 -png -gray -f 1 -l 1 -singlefile '" + pdf + "' '" + dir / "page" + "'");
    Page page;
    cairo_surface_t *s = cairo_image_surface_create_from_png((dir / "page.png").c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        page.w = cairo_image_surface_get_width(s);
        page.h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char *data = cairo_image_surface_get_data(s);
        for (int y = 0; y < page.h; ++y)
            for (int x = 0; x < page.w; ++x)
                page.grey.push_back(
                    uint8_t(reinterpret_cast<const uint32_t *>(data + y * stride)[x] >> 8));
    }
    cairo_surface_destroy(s);
    return page;
}

// The left ends of dark runs along row y, in millimetres.
std::vector<double> darkRunStarts(const Page &page, double yMm) {
    std::vector<double> starts;
    const int y = int(std::lround(yMm * pxPerMm));
    bool dark = false;
    for (int x = 0; x < page.w; ++x) {
        const bool d = page.at(x, y) < 100;
        if (d && !dark)
            starts.push_back(x / pxPerMm);
        dark = d;
    }
    return starts;
}

} // namespace

TEST(TapePdf, TrueScaleOnThePage) {
    if (run("command -v pdftoppm pdfinfo").empty())
        GTEST_SKIP() << "poppler-utils missing";
    // At 8 ticks a second: C4 at 1 s and 6 s (100 mm apart), A#4 (track 10) at 3 s.
    Melody melody({tn(60, 8, 4), tn(70, 24, 8), tn(60, 48, 4)});
    TempFolder dir;
    for (bool holes : {false, true}) {
        SCOPED_TRACE(holes ? "holes" : "bars");
        const ExportResult r = exportTape(melody, tapeOptions(Paper::a4, holes), dir / "t.pdf");
        ASSERT_TRUE(r) << r.reason;
        const PdfInfo info = pdfInfo(dir / "t.pdf");
        EXPECT_EQ(info.pages, 1);
        EXPECT_NEAR(info.width / pointsPerMm, 297, 0.5);
        EXPECT_NEAR(info.height / pointsPerMm, 210, 0.5);

        const Page page = renderFirstPage(dir, dir / "t.pdf");
        ASSERT_GT(page.w, 2900);
        // The lower edge lies 10 + 14 + 70 mm from the top; track 0 is 5 mm above it.
        const double tapeBottom = pageMarginMm + pageHeaderMm + 70;
        const std::vector<double> track0 = darkRunStarts(page, tapeBottom - 5);
        ASSERT_GE(track0.size(), 2u);
        EXPECT_NEAR(track0[0], pageMarginMm + 20, 0.5);
        // The second note's first hole or bar: the first mark far behind the first note's.
        const auto second = std::find_if(track0.begin(), track0.end(),
                                         [&](double x) { return x > track0[0] + 50; });
        ASSERT_NE(second, track0.end());
        EXPECT_NEAR(*second - track0[0], 100, 0.5);
        const std::vector<double> track10 = darkRunStarts(page, tapeBottom - 5 - 25);
        ASSERT_GE(track10.size(), 1u);
        EXPECT_NEAR(track10[0], pageMarginMm + 60, 0.5);
        // Nothing dark halfway between two tracks.
        EXPECT_TRUE(darkRunStarts(page, tapeBottom - 5 - 1.25).empty());
    }
}

TEST(TapePdf, PiecesGrowWithTheMelody) {
    if (run("command -v pdfinfo").empty())
        GTEST_SKIP() << "poppler-utils missing";
    // A piece of A4 holds 297 - 20 = 277 mm of tape, of Letter 259.4 mm; each further piece
    // overlaps the one before by the 10 mm join and a diagonal seam of 70 / 4 = 17.5 mm, so
    // that n pieces hold (n - 1) * 249.5 + 277 mm on A4, (n - 1) * 231.9 + 259.4 on Letter.
    const struct {
        unsigned endSeconds;
        Paper paper;
        int pages;
    } cases[] = {{10, Paper::a4, 1},     {13, Paper::a4, 1},     {14, Paper::a4, 2},
                 {38, Paper::a4, 3},     {39, Paper::a4, 4},     {12, Paper::letter, 1},
                 {13, Paper::letter, 2}, {100, Paper::letter, 9}};
    TempFolder dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.endSeconds);
        Melody melody({tn(60, 0, 4), tn(61, c.endSeconds * 8 - 8, 8)});
        ASSERT_TRUE(exportTape(melody, tapeOptions(c.paper), dir / "t.pdf"));
        EXPECT_EQ(pdfInfo(dir / "t.pdf").pages, c.pages);
    }
}

TEST(TapePdf, ContentAndGeometryChecks) {
    // Notes outside the instrument are listed, not drawn; short ones last hole-length-min.
    Melody melody({tn(59, 0, 8), tn(60, 8, 1), tn(86, 16, 4), tn(85, 24, 16)});
    const TapeContent content = tapeContent(melody, tapeOptions().instrument);
    ASSERT_EQ(content.marks.size(), 2u);
    EXPECT_EQ(content.marks[0].track, 0u);
    EXPECT_DOUBLE_EQ(content.marks[0].startMm, 20);
    EXPECT_DOUBLE_EQ(content.marks[0].lengthMm, 2.5); // 1/8 s at 20 mm/s
    EXPECT_EQ(content.marks[1].track, 25u);
    EXPECT_DOUBLE_EQ(content.lengthMm, 100);
    ASSERT_EQ(content.unplayable.size(), 2u);
    EXPECT_EQ(content.unplayable[0].note, 59u);
    EXPECT_EQ(content.unplayable[1].note, 86u);

    const struct {
        const char *what;
        TapeGeometry geometry;
        int code;
    } cases[] = {
        {"fits A4", {175, 2, 5, 20, 2}, exportOk},
        {"wider than A4 allows", {176.5, 2, 5, 20, 2}, errExportGeometry},
        {"no speed", {70, 2, 5, 0, 2}, errExportGeometry},
        {"not a number", {70, NAN, 5, 20, 2}, errExportGeometry},
        {"negative first track", {70, 2, -1, 20, 2}, errExportGeometry},
        {"too many pages", {70, 2, 5, 1e5, 2}, errExportTooLarge},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TapePlan plan;
        EXPECT_EQ(planTape(c.geometry, Paper::a4, 100 * c.geometry.mmPerSecond, plan).code, c.code);
    }
    EXPECT_EQ(noteName(60), "C4");
    EXPECT_EQ(noteName(61), "C#4");
    EXPECT_EQ(noteName(0), "C-1");
}
