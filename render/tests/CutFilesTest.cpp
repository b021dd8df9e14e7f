// The cutter files read back with readers of their own (ezdxf for DXF, Python's XML parser for
// SVG): every hole where its note and track put it, the strip's width and the pieces' lengths
// as the instrument gives them, no hole near a seam, the layers, and the rings around holes
// still too close.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "render/CutFiles.h"
#include "testsupport/Python.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <tuple>

using namespace tw;

namespace {

// A 30-track strip like the shipped 30-note box: 70 mm wide, tracks 2 mm apart from 6 mm,
// 16 mm a second, round holes of 1.8 mm, pieces of at most 280 mm joined over 10 mm with 4 mm
// kept clear, 40 mm before the first note and 30 after the last.
ExportOptions boxOptions(ExportFormat format) {
    ExportOptions o;
    o.format = format;
    o.sourceName = "tune.mid";
    o.instrument.name = "Box-30";
    for (unsigned n = 48; n < 78; ++n)
        o.instrument.notes.push_back(n);
    TapeGeometry g{70, 2, 6, 16, 1.8};
    g.holeDiameterMm = 1.8;
    g.minHoleSpacingMm = 8;
    g.leadInMm = 40;
    g.leadOutMm = 30;
    g.bedLengthMm = 280;
    g.joinMm = 10;
    g.seamSafetyMm = 4;
    o.instrument.geometry = g;
    o.instrument.minGapMs = 100;
    return o;
}

// Phrases of 16 notes half a second apart over the tracks, 3 s of rest between them, 60 s in
// all at 8 ticks a second; and one repeat too close (a quarter second) at 2 s.
std::vector<TapeNote> phrases() {
    std::vector<TapeNote> notes;
    for (unsigned phrase = 0; phrase * 11 * 8 < 60 * 8; ++phrase)
        for (unsigned i = 0; i < 16; ++i)
            notes.push_back(tn(48 + (i * 7 + phrase * 3) % 30, phrase * 88 + i * 4, 2));
    notes.push_back(tn(notes[4].note, notes[4].start + 2, 1));
    std::stable_sort(notes.begin(), notes.end(),
                     [](const TapeNote &a, const TapeNote &b) { return a.start < b.start; });
    return notes;
}

struct Shape {
    std::string kind, layer;
    unsigned piece = 0;
    std::vector<double> v; // the numbers after the piece
    std::string text;
};

std::vector<Shape> readBack(const std::string &file) {
    std::istringstream out(runPython(TW_TEST_DIR "/read_cut.py", file));
    std::vector<Shape> shapes;
    std::string line;
    while (std::getline(out, line)) {
        std::istringstream words(line);
        Shape s;
        words >> s.kind >> s.layer;
        if (s.kind != "layer" && s.kind != "text")
            for (double x; (s.v.empty() ? bool(words >> s.piece) : true) && words >> x;)
                s.v.push_back(x);
        else if (s.kind == "text")
            std::getline(words >> s.piece, s.text);
        shapes.push_back(s);
    }
    return shapes;
}

bool ezdxfAvailable() {
    return std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") == 0;
}

} // namespace

TEST(CutFiles, HolesPiecesSeamsAndLayersReadBack) {
    if (!ezdxfAvailable())
        GTEST_SKIP() << "python3-ezdxf missing";
    Melody melody(phrases());
    const ExportOptions dxfOptions = boxOptions(ExportFormat::dxf);
    CutPlan plan;
    ASSERT_TRUE(planCut(melody, dxfOptions.instrument, 280, false, plan));
    ASSERT_GE(plan.pieces.size(), 3u);
    EXPECT_EQ(plan.holesAtSeams, 0u);
    const CutLayout layout = cutLayout(plan);
    const TapeGeometry &g = *dxfOptions.instrument.geometry;
    const double slant = seamSlantPerWidth * 70, slope = std::hypot(70, slant) / 70;

    TempDir dir;
    for (ExportFormat format : {ExportFormat::dxf, ExportFormat::cutSvg}) {
        const bool dxf = format == ExportFormat::dxf;
        SCOPED_TRACE(dxf ? "DXF" : "SVG");
        const std::string file = dir / (dxf ? "strip.dxf" : "strip.svg");
        const ExportResult r = exportTape(melody, boxOptions(format), file);
        ASSERT_TRUE(r) << r.reason;
        const std::vector<Shape> shapes = readBack(file);
        const std::string cut = dxf ? "CUT" : "cut", mark = dxf ? "MARK" : "mark";
        std::vector<std::string> layers;
        std::vector<Shape> holes, outlines, rings;
        for (const Shape &s : shapes) {
            if (s.kind == "layer")
                layers.push_back(s.layer);
            else if (s.kind == "circle")
                (s.layer == cut ? holes : rings).push_back(s);
            else if (s.kind == "outline" && s.layer == cut)
                outlines.push_back(s);
        }
        EXPECT_NE(std::find(layers.begin(), layers.end(), cut), layers.end());
        EXPECT_NE(std::find(layers.begin(), layers.end(), mark), layers.end());

        // The pieces: as wide as the strip, no longer than the bed, all but the last as long.
        ASSERT_EQ(outlines.size(), plan.pieces.size());
        for (std::size_t p = 0; p < outlines.size(); ++p) {
            const std::vector<double> &v = outlines[p].v;
            ASSERT_EQ(v.size(), 8u);
            const double minX = std::min({v[0], v[2], v[4], v[6]});
            const double maxX = std::max({v[0], v[2], v[4], v[6]});
            const double minY = std::min({v[1], v[3], v[5], v[7]});
            const double maxY = std::max({v[1], v[3], v[5], v[7]});
            EXPECT_NEAR(maxY - minY, 70, 1e-3);
            EXPECT_LE(maxX - minX, 280 + 1e-3);
            if (p + 1 < outlines.size()) {
                EXPECT_GT(maxX - minX, 280 * 0.25);
            }
        }

        // Every note's hole where its start and track put it, on one of the pieces.
        ASSERT_EQ(holes.size(), melody.notes().size());
        for (const TapeNote &n : melody.notes()) {
            const double x = 40 + n.start * 2.0 + 0.9, y = 6 + (n.note - 48) * 2.0;
            bool found = false;
            for (unsigned p = 0; p < plan.pieces.size() && !found; ++p)
                for (const Shape &h : holes)
                    if (std::abs(h.v[0] - layout.x(plan, p, x)) <= 0.05 &&
                        std::abs(h.v[1] - layout.y(plan, p, y)) <= 0.05 &&
                        std::abs(h.v[2] - 0.9) <= 0.01)
                        found = true;
            EXPECT_TRUE(found) << "note " << n.note << " at tick " << n.start;
        }

        // No hole nearer than the safety distance to the part of a piece that a neighbour
        // covers: the join along each diagonal end, measured square to it.
        for (const Shape &h : holes) {
            const Shape *own = nullptr;
            for (const Shape &o : outlines)
                if (h.v[1] > std::min(o.v[1], o.v[5]) && h.v[1] < std::max(o.v[1], o.v[5]))
                    own = &o;
            ASSERT_TRUE(own);
            const std::vector<double> &v =
                own->v; // lower left, lower right, upper right, upper left
            const double t = (h.v[1] - v[1]) / (v[5] - v[1]);
            const double left = v[0] + (v[6] - v[0]) * t, right = v[2] + (v[4] - v[2]) * t;
            const bool leftSeam = std::abs(v[6] - v[0]) > 1, rightSeam = std::abs(v[4] - v[2]) > 1;
            if (leftSeam) {
                EXPECT_GE((h.v[0] - left - g.joinMm) / slope, h.v[2] + g.seamSafetyMm - 1e-3);
            }
            if (rightSeam) {
                EXPECT_GE((right - g.joinMm - h.v[0]) / slope, h.v[2] + g.seamSafetyMm - 1e-3);
            }
        }

        // The repeat too close is cut as two holes, each with a ring on the mark layer.
        ASSERT_EQ(plan.pairsTooClose, 1u);
        unsigned ringsAroundHoles = 0;
        for (const Shape &ring : rings)
            if (std::abs(ring.v[2] - 1.9) < 0.01)
                ++ringsAroundHoles;
        EXPECT_EQ(ringsAroundHoles, 2u);
        if (!dxf) {
            const std::string svg = runPython(TW_TEST_DIR "/read_cut.py", file);
            EXPECT_NE(svg.find("text mark 1 Piece 1 of "), std::string::npos);
        }
    }
}

TEST(CutFiles, SvgColoursAndUnits) {
    Melody melody({tn(48, 0, 2), tn(77, 8, 16)});
    ExportOptions options = boxOptions(ExportFormat::cutSvg);
    options.instrument.geometry->slots = true;
    TempDir dir;
    ASSERT_TRUE(exportTape(melody, options, dir / "s.svg"));
    const std::string svg = readFile(dir / "s.svg");
    EXPECT_NE(svg.find("<g id=\"cut\" fill=\"none\" stroke=\"#ff0000\""), std::string::npos);
    EXPECT_NE(svg.find("<g id=\"mark\" fill=\"none\" stroke=\"#0000ff\""), std::string::npos);
    EXPECT_NE(svg.find("width=\""), std::string::npos);
    EXPECT_NE(svg.find("mm\" height=\""), std::string::npos);
    // The long note is a slot: 2 s at 16 mm/s from its centre at 0.9 mm to 32 - 0.9 mm.
    const std::vector<Shape> shapes = readBack(dir / "s.svg");
    const auto slot =
        std::max_element(shapes.begin(), shapes.end(), [](const Shape &a, const Shape &b) {
            const auto length = [](const Shape &s) {
                return s.kind == "slot" ? s.v[1] - s.v[0] : -1;
            };
            return length(a) < length(b);
        });
    ASSERT_EQ(slot->kind, "slot");
    EXPECT_NEAR(slot->v[1] - slot->v[0], 32 - 1.8, 0.01);
    EXPECT_NEAR(slot->v[3], 0.9, 0.01);
}

TEST(CutFiles, RefusedWithoutGeometryOrRoom) {
    Melody melody({tn(60, 0, 2)});
    ExportOptions options = boxOptions(ExportFormat::dxf);
    TempDir dir;
    options.instrument.geometry.reset();
    ExportResult r = exportTape(melody, options, dir / "x.dxf");
    EXPECT_EQ(r.code, errExportGeometry);
    EXPECT_NE(r.reason.find("Box-30 has none"), std::string::npos) << r.reason;
    // A bed too short for its joins.
    options = boxOptions(ExportFormat::dxf);
    options.instrument.geometry->bedLengthMm = 60;
    Melody longer({tn(60, 0, 2), tn(60, 80, 2)});
    r = exportTape(longer, options, dir / "x.dxf");
    EXPECT_EQ(r.code, errExportGeometry);
    EXPECT_NE(r.reason.find("leave no room"), std::string::npos) << r.reason;
    EXPECT_TRUE(dir.names().empty()); // nothing left behind
}

TEST(CutFiles, SummaryFollowsTheOptions) {
    Melody melody(phrases());
    const struct {
        ExportFormat format;
        bool geometry;
        const char *summary; // its start
    } cases[] = {
        // 40 mm lead-in, 62.5 s at 16 mm/s, the last hole 4 mm long and 30 mm lead-out.
        {ExportFormat::dxf, true, "Strip 1.07 m: 6 pieces, 97 holes, 1 pair too close"},
        {ExportFormat::cutSvg, true, "Strip 1.07 m: 6 pieces"},
        {ExportFormat::pdf, true, "Strip 1.07 m: "},
        {ExportFormat::png, true, ""},
        {ExportFormat::svg, true, ""},
        {ExportFormat::pdf, false, ""},
        {ExportFormat::dxf, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.format));
        ExportOptions o = boxOptions(c.format);
        if (!c.geometry)
            o.instrument.geometry.reset();
        const std::string summary = stripSummary(melody, o);
        EXPECT_EQ(summary.substr(0, std::strlen(c.summary)), c.summary);
        EXPECT_EQ(summary.empty(), *c.summary == '\0');
    }
}

namespace {

// FNV-1a of a file's bytes.
uint64_t fnv1a(const std::string &bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

// Many notes on every tick over the tracks and beyond them (unplayable ones), of several
// lengths and channels: holes too close, holes a seam cannot avoid, and ties in cutting order.
std::vector<TapeNote> denseMelody(unsigned count) {
    std::vector<TapeNote> notes;
    for (unsigned i = 0; i < count; ++i)
        notes.push_back(tn(44 + (i * 7) % 38, i / 5, 1 + i % 9, i % 3));
    return notes;
}

} // namespace

// The cut files keep their bytes for the same melody, whatever way they are made: strips in
// pieces or whole, round holes and slots, from either end, with seams that must cross holes.
// (Recorded from the files written when the whole plan was held in memory; two things differ
// from those: slots of one track that start at one place are cut shorter first, where the
// order was left to chance, and the DXF's dimension style names no text style (0) where it
// carried whatever the memory held.)
TEST(CutFiles, SameBytesAsTheWholePlanGave) {
    const struct {
        const char *name;
        std::vector<TapeNote> notes;
        double bedMm;
        bool slots, startRight;
        unsigned hiddenChannel; // 16: none
        uint64_t svg, dxf;      // the files' FNV-1a
        const char *summary;
    } cases[] = {
        {"phrases in pieces", phrases(), 280, false, false, 16, 0x9c7bab8877baaf2aull,
         0x8652ba1a56bf87adull, "Strip 1.07 m: 6 pieces, 97 holes, 1 pair too close"},
        {"phrases, slots from the right", phrases(), 200, true, true, 16, 0xbc96ed9776ae2b29ull,
         0x6c2334e40dbe39b7ull,
         "Strip 1.07 m: 7 pieces, 97 holes, 1 pair too close, 1 hole in joins (punch through "
         "once joined)"},
        {"phrases in one piece", phrases(), 0, false, false, 16, 0x16ed453971d7f145ull,
         0xf45c497d19779e34ull, "Strip 1.07 m: 1 piece, 97 holes, 1 pair too close"},
        {"dense in pieces", denseMelody(3000), 280, false, false, 16, 0x72ad235430fc8799ull,
         0xd9a0b8b60d2bb69eull,
         "Strip 1.29 m: 6 pieces, 2368 holes, 624 pairs too close, 185 holes in joins (punch "
         "through once joined)"},
        {"dense, slots from the right", denseMelody(3000), 150, true, true, 2,
         0x7aeee653a8ddd99full, 0x4c1308609f7be9c4ull,
         "Strip 1.28 m: 14 pieces, 1579 holes, 261 pairs too close, 362 holes in joins (punch "
         "through once joined)"},
        {"dense in one piece, slots", denseMelody(2000), 0, true, false, 1, 0x10b27072bcf1f7cfull,
         0xbd41d8290e9d5395ull, "Strip 0.89 m: 1 piece, 1052 holes, 69 pairs too close"},
    };
    TempDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Melody melody(c.notes);
        if (c.hiddenChannel < 16)
            melody.setChannelMask((unsigned short)(0xFFFFu & ~(1u << c.hiddenChannel)));
        for (ExportFormat format : {ExportFormat::cutSvg, ExportFormat::dxf}) {
            ExportOptions o = boxOptions(format);
            o.instrument.geometry->bedLengthMm = c.bedMm;
            o.instrument.geometry->slots = c.slots;
            o.instrument.geometry->startRight = c.startRight;
            const std::string file = dir / (format == ExportFormat::dxf ? "s.dxf" : "s.svg");
            const ExportResult r = exportTape(melody, o, file);
            ASSERT_TRUE(r) << r.reason;
            const uint64_t h = fnv1a(readFile(file));
            EXPECT_EQ(h, format == ExportFormat::dxf ? c.dxf : c.svg);
            EXPECT_EQ(stripSummary(melody, o), c.summary);
        }
    }
}

// A piece's holes come in cutting order a few thousand notes at a time: the same order as all
// of the piece's holes sorted at once, also where long slots reach back over many notes.
TEST(CutFiles, CuttingOrderMadeInBatchesIsTheWholeOrder) {
    std::vector<TapeNote> notes;
    for (unsigned i = 0; i < 30000; ++i)
        notes.push_back(tn(48 + (i * 11) % 30, i / 3, i % 997 == 0 ? 400 : 1 + i % 7));
    Melody melody(notes);
    for (const double bed : {0.0, 280.0})
        for (const bool slots : {false, true})
            for (const bool startRight : {false, true}) {
                SCOPED_TRACE(testing::Message() << "bed " << bed << (slots ? " slots" : " holes")
                                                << (startRight ? " from the right" : ""));
                ExportInstrument instrument = boxOptions(ExportFormat::dxf).instrument;
                instrument.geometry->bedLengthMm = bed;
                instrument.geometry->slots = slots;
                instrument.geometry->startRight = startRight;
                CutPlan plan;
                ASSERT_TRUE(planCut(melody, instrument, bed, false, plan));
                const double column = 4 * plan.geometry.trackPitchMm;
                std::size_t holes = 0;
                for (unsigned p = 0; p < plan.pieces.size(); ++p) {
                    std::vector<CutHole> all, cut;
                    forEachHole(plan, p, [&](const CutHole &h) {
                        all.push_back(h);
                        return true;
                    });
                    forEachHoleInCuttingOrder(plan, p, [&](const CutHole &h) {
                        cut.push_back(h);
                        return true;
                    });
                    const auto key = [&](const CutHole &h) {
                        const long long c = (long long)std::floor(h.x0Mm / column);
                        return std::make_tuple(c, c % 2 == 0 ? h.yMm : -h.yMm, h.x0Mm, h.x1Mm,
                                               h.note);
                    };
                    std::sort(all.begin(), all.end(),
                              [&](const CutHole &a, const CutHole &b) { return key(a) < key(b); });
                    ASSERT_EQ(cut.size(), all.size()) << "piece " << p;
                    for (std::size_t i = 0; i < all.size(); ++i)
                        ASSERT_EQ(cut[i].note, all[i].note) << "piece " << p << ", hole " << i;
                    holes += all.size();
                }
                EXPECT_EQ(holes, plan.holes); // every hole on one piece
            }
}
