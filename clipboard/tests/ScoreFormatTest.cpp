#include "ClipTestSupport.h"
#include "clipboard/ScoreClipboard.h"
#include "clipboard/TextEncoding.h"

#include <gtest/gtest.h>

using namespace tw;

TEST(ScoreFormat, RecordIsLittleEndianWithFlagAndZeroPadding) {
    auto bytes = encodeNotes({tn(0x40, 0x01020304, 0x0A0B, 15, 127, true)});
    const std::vector<uint8_t> expected = {0x40, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0x0B, 0x0A, 0, 0,
                                           15,   0, 0, 0, 127,  0,    0,    0,    1,    0,    0, 0};
    EXPECT_EQ(bytes, expected);
}

TEST(ScoreFormat, ThreeNotesTake72BytesAndComeBackInOrderWithFlags) {
    std::vector<TapeNote> notes = {tn(60, 0, 4, 0, 100, true), tn(64, 4, 2, 9, 80, false),
                                   tn(130, 4, 8, 3, 1, true)}; // 130: passed on as it is
    auto bytes = encodeNotes(notes);
    ASSERT_EQ(bytes.size(), 72u);
    auto back = decodeNotes(bytes.data(), bytes.size());
    ASSERT_EQ(back, notes);
    for (size_t i = 0; i < notes.size(); ++i)
        EXPECT_EQ(back[i].selected, notes[i].selected) << i;
}

TEST(ScoreFormat, FieldsBeyondTheirRangeStayBeyondIt) {
    // A record from another program may hold any 32-bit value; the paste refuses a note whose
    // note, channel or velocity is out of range, so decoding must not wrap one into the range.
    const struct {
        uint32_t note, channel, velocity;
    } cases[] = {{300, 0, 100},      {256 + 60, 1, 100}, {0xFFFFFFFF, 0, 1}, {60, 16, 100},
                 {60, 256 + 3, 100}, {60, 0, 128},       {60, 0, 256 + 100}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.note) + "/" + std::to_string(c.channel) + "/" +
                     std::to_string(c.velocity));
        auto bytes = encodeNotes({tn(1, 2, 3)});
        const std::pair<std::size_t, uint32_t> fields[] = {
            {0, c.note}, {12, c.channel}, {16, c.velocity}};
        for (const auto &[at, value] : fields)
            for (int i = 0; i < 4; ++i)
                bytes[at + std::size_t(i)] = uint8_t(value >> (8 * i));
        const auto notes = decodeNotes(bytes.data(), bytes.size());
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].note > 127, c.note > 127);
        EXPECT_EQ(notes[0].channel > 15, c.channel > 15);
        EXPECT_EQ(notes[0].velocity > 127, c.velocity > 127);
        if (c.note <= 127) {
            EXPECT_EQ(notes[0].note, c.note);
        }
    }
}

TEST(ScoreFormat, PartialRecordsAreIgnored) {
    std::vector<uint8_t> bytes(72, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 1);
    const struct {
        size_t size, notes;
    } cases[] = {{0, 0}, {20, 0}, {23, 0}, {24, 1}, {47, 1}, {50, 2}, {72, 3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        auto notes = decodeNotes(bytes.data(), c.size);
        ASSERT_EQ(notes.size(), c.notes);
        if (c.notes > 1) {
            EXPECT_EQ(notes[1].start, uint32_t(0xDAD3CCC5)); // bytes 28..31, little-endian
        }
    }
}

TEST(ScoreFormat, AnyNonZeroFlagByteSelectsAndPaddingIsIgnored) {
    auto bytes = encodeNotes({tn(1, 2, 3, 4, 5, false)});
    bytes[20] = 7;
    bytes[21] = bytes[22] = bytes[23] = 0xFF;
    auto notes = decodeNotes(bytes.data(), bytes.size());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].selected);
    EXPECT_EQ(notes[0], tn(1, 2, 3, 4, 5, true));
}

TEST(TextEncoding, ConvertsBetweenLatin1AndUtf8) {
    const struct {
        Bytes utf8, latin1;
    } cases[] = {
        {{'a', 'b'}, {'a', 'b'}},
        {{0xC3, 0xBC}, {0xFC}},                // ü
        {{0xE2, 0x82, 0xAC, 'x'}, {'?', 'x'}}, // € is not Latin-1
        {{0xF0, 0x9F, 0x8E, 0xB5}, {'?'}},     // a four-byte character
        {{0xC3}, {'?'}},                       // cut off
        {{0x80, 'y'}, {'?', 'y'}},             // stray continuation byte
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.utf8.begin(), c.utf8.end()));
        EXPECT_EQ(utf8ToLatin1(c.utf8), c.latin1);
    }
    EXPECT_EQ(latin1ToUtf8({'G', 0xFC, 0xDF}), (Bytes{'G', 0xC3, 0xBC, 0xC3, 0x9F}));
}
