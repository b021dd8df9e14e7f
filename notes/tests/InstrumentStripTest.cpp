// The strip keys of instrument files: their values, their ranges with one-line errors, and the
// shipped music box examples.
#include "notes/Instrument.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

using namespace tw;

TEST(InstrumentStrip, KeysAreRead) {
    InstrumentError error;
    const std::optional<Instrument> ins =
        parseInstrument("name: s\nnotes: C4\nhole-shape: slot\nhole-diameter-mm: 1.8\n"
                        "min-hole-spacing-mm: 8\nlead-in-mm: 40\nlead-out-mm: 0\n"
                        "strip-direction: start-right\nbed-length-mm: 280\njoin-mm: 10\n"
                        "seam-safety-mm: 4\n",
                        error);
    ASSERT_TRUE(ins) << error.what;
    const StripGeometry &s = ins->strip;
    EXPECT_EQ(s.holeShape, HoleShape::slot);
    EXPECT_EQ(s.holeDiameterMm, 1.8);
    EXPECT_EQ(s.minHoleSpacingMm, 8.0);
    EXPECT_EQ(s.leadInMm, 40.0);
    EXPECT_EQ(s.leadOutMm, 0.0);
    EXPECT_EQ(s.direction, StripDirection::startRight);
    EXPECT_EQ(s.bedLengthMm, 280.0);
    EXPECT_EQ(s.joinMm, 10.0);
    EXPECT_EQ(s.seamSafetyMm, 4.0);
    EXPECT_FALSE(parseInstrument("name: s\nnotes: C4\n", error)->strip.holeShape);
}

TEST(InstrumentStrip, ValuesOutsideTheirRangeNameValueAndRange) {
    const struct {
        const char *line;
        const char *what;
    } cases[] = {
        {"hole-shape: square", "hole-shape is round or slot, not \"square\""},
        {"strip-direction: up", "not \"up\""},
        {"hole-diameter-mm: 0.1", "hole-diameter-mm \"0.1\" lies outside 0.3 to 30 millimetres"},
        {"hole-diameter-mm: 31", "0.3 to 30"},
        {"min-hole-spacing-mm: -1", "0 to 200"},
        {"lead-in-mm: 5001", "0 to 5000"},
        {"lead-out-mm: inf", "0 to 5000"},
        {"bed-length-mm: 49", "\"49\" lies outside 50 to 100000"},
        {"join-mm: 2x", "0 to 200"},
        {"seam-safety-mm: 101", "0 to 100"},
        {"join-mm: 5\njoin-mm: 6", "given twice"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        InstrumentError error;
        EXPECT_FALSE(parseInstrument(std::string("name: s\nnotes: C4\n") + c.line + "\n", error));
        EXPECT_EQ(error.line, std::string(c.line).find('\n') == std::string::npos ? 3u : 4u);
        EXPECT_NE(error.what.find(c.what), std::string::npos) << error.what;
    }
}

TEST(InstrumentStrip, ShippedMusicBoxesAreComplete) {
    const struct {
        const char *file;
        unsigned notes;
        double width;
    } boxes[] = {
        {"music-box-15.instrument", 15, 41},
        {"music-box-20.instrument", 20, 57},
        {"music-box-30.instrument", 30, 70},
    };
    for (const auto &b : boxes) {
        SCOPED_TRACE(b.file);
        InstrumentError error;
        const std::optional<Instrument> ins = parseInstrument(
            readFile(std::string(TW_SOURCE_DIR "/data/instruments/") + b.file), error);
        ASSERT_TRUE(ins) << error.line << ": " << error.what;
        EXPECT_EQ(ins->notes.count(), b.notes);
        EXPECT_EQ(ins->tapeWidthMm, b.width);
        // The tracks lie inside the strip, as far from one edge as from the other.
        const double last = *ins->firstTrackMm + (b.notes - 1) * *ins->trackPitchMm;
        EXPECT_NEAR(*ins->tapeWidthMm - last, *ins->firstTrackMm, 1e-9);
        EXPECT_TRUE(ins->strip.holeDiameterMm && ins->strip.bedLengthMm && ins->strip.joinMm &&
                    ins->strip.seamSafetyMm && ins->strip.minHoleSpacingMm);
        EXPECT_LE(*ins->strip.holeDiameterMm, *ins->trackPitchMm);
    }
}
