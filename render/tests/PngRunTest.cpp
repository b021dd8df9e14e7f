// The run PNG writer's own deflate coder, read back through libpng (which checks zlib's
// Adler-32): every pixel the colour written, by palette index or in RGB.
#include <gtest/gtest.h>

#include "render/PngRows.h"

#include <png.h>
#include <zlib.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace tw;

namespace {

struct Decoded {
    bool ok = false;
    std::string error;
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

Decoded decode(const std::string &bytes) {
    Decoded d;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        d.error = image.message;
        return d;
    }
    image.format = PNG_FORMAT_RGB;
    d.rgb.resize(PNG_IMAGE_SIZE(image));
    d.ok = png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr);
    d.error = image.message;
    d.width = image.width;
    d.height = image.height;
    png_image_free(&image);
    return d;
}

// The chunks' types in order, when every one's CRC is right.
std::string chunkTypes(const std::string &bytes) {
    std::string types;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::size_t length = std::size_t(p[at]) << 24 | std::size_t(p[at + 1]) << 16 |
                                   std::size_t(p[at + 2]) << 8 | p[at + 3];
        if (at + 12 + length > bytes.size())
            return types + " (cut short)";
        const uLong crc = crc32(0, p + at + 4, uInt(length + 4));
        const std::size_t end = at + 8 + length;
        const uLong stored =
            uLong(p[end]) << 24 | uLong(p[end + 1]) << 16 | uLong(p[end + 2]) << 8 | p[end + 3];
        types += (types.empty() ? "" : " ") + bytes.substr(at + 4, 4);
        if (crc != stored)
            return types + " (bad CRC)";
        at = end + 4;
    }
    return types;
}

using Pixels = std::function<unsigned char(unsigned x, unsigned y)>;

// The picture written whole into a string: with the palette, or in RGB when `rgb`.
std::string encode(unsigned w, unsigned h, const std::vector<uint32_t> &palette, unsigned period,
                   const Pixels &index, std::string *error = nullptr, bool rgb = false) {
    std::string bytes;
    PngRunWriter writer([&bytes](const unsigned char *data, std::size_t length) {
        bytes.append(reinterpret_cast<const char *>(data), length);
        return true;
    });
    bool ok = writer.start(w, h, rgb ? std::vector<uint32_t>() : palette, period);
    std::vector<unsigned char> row(std::size_t(w) * (rgb ? 3 : 1));
    for (unsigned y = 0; ok && y < h; ++y) {
        for (unsigned x = 0; x < w; ++x)
            if (rgb) {
                const uint32_t c = palette[index(x, y)];
                row[x * 3] = uint8_t(c >> 16);
                row[x * 3 + 1] = uint8_t(c >> 8);
                row[x * 3 + 2] = uint8_t(c);
            } else {
                row[x] = index(x, y);
            }
        ok = writer.row(row.data());
    }
    ok = ok && writer.finish();
    if (error)
        *error = writer.error();
    return ok ? bytes : std::string();
}

std::vector<uint32_t> colours(unsigned n) {
    std::vector<uint32_t> p;
    for (unsigned i = 0; i < n; ++i)
        p.push_back((i * 0x9E3779u) & 0xFFFFFFu);
    return p;
}

} // namespace

TEST(PngRuns, EveryPixelReadsBackAsItsPaletteColour) {
    std::mt19937 random(7);
    std::vector<unsigned char> noise(300 * 40);
    for (unsigned char &v : noise)
        v = uint8_t(random());
    // A board-like picture: tick lines every 8 pixels, bands of 11 rows with a row line and bars
    // of several lengths that break the lines.
    const Pixels board = [](unsigned x, unsigned y) -> unsigned char {
        const unsigned band = y / 11, r = y % 11;
        if (r > 0 && (x / 8 + band * 3) % 7 < 2 + band % 3)
            return uint8_t(3 + (x / 56 + band) % 4);
        if (r == 5)
            return 2;
        return x % 8 == 0 ? 1 : 0;
    };
    struct Case {
        const char *name;
        unsigned w, h, colours, period;
        Pixels index;
        bool rgb = false;
    };
    const Case cases[] = {
        {"one pixel", 1, 1, 1, 0, [](unsigned, unsigned) { return uint8_t(0); }},
        {"one column", 1, 5, 3, 0, [](unsigned, unsigned y) { return uint8_t(y % 3); }},
        {"two columns, rows repeated", 2, 4, 2, 0,
         [](unsigned x, unsigned y) { return uint8_t(y < 2 ? x : 1 - x); }},
        {"runs longer than a match and their remainders", 258 * 3 + 2, 6, 2, 0,
         [](unsigned x, unsigned y) { return uint8_t(x < 259 + y ? 0 : 1); }},
        {"one row of one colour", 70000, 1, 2, 0, [](unsigned, unsigned) { return uint8_t(1); }},
        {"noise with all 256 colours", 300, 40, 256, 0,
         [&noise](unsigned x, unsigned y) { return noise[y * 300 + x]; }},
        {"the board, with its period", 3001, 60, 7, 8, board},
        {"the board, without", 3001, 60, 7, 0, board},
        {"the board, a period that does not fit", 2500, 33, 7, 24, board},
        {"repeats beyond the period's reach", 40000, 3, 7, 40000, board},
        {"the board in RGB", 3001, 60, 7, 8, board, true},
        {"noise in RGB", 300, 40, 256, 0,
         [&noise](unsigned x, unsigned y) { return noise[y * 300 + x]; }, true},
        {"one RGB pixel", 1, 2, 1, 0, [](unsigned, unsigned) { return uint8_t(0); }, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t> palette = colours(c.colours);
        std::string error;
        const std::string bytes = encode(c.w, c.h, palette, c.period, c.index, &error, c.rgb);
        ASSERT_FALSE(bytes.empty()) << error;
        EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const std::string types = chunkTypes(bytes);
        EXPECT_EQ(types.rfind(c.rgb ? "IHDR IDAT" : "IHDR PLTE IDAT", 0), 0u) << types;
        EXPECT_EQ(types.substr(types.size() - 9), "IDAT IEND");
        const Decoded d = decode(bytes);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.width, c.w);
        ASSERT_EQ(d.height, c.h);
        int wrong = 0;
        for (unsigned y = 0; y < c.h; ++y)
            for (unsigned x = 0; x < c.w; ++x) {
                const uint32_t want = palette[c.index(x, y)];
                const unsigned char *p = &d.rgb[(std::size_t(y) * c.w + x) * 3];
                const uint32_t got = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
                if (got != want && wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << ", " << y;
            }
    }
}

TEST(PngRuns, RepeatedRowsCostLittle) {
    // 300 rows of 100,000 pixels, all alike but the first: a few hundred bytes a row.
    const std::string bytes = encode(100000, 300, colours(4), 8, [](unsigned x, unsigned y) {
        return uint8_t(y == 0 ? 0 : x % 8 == 0 ? 1 : 2);
    });
    ASSERT_FALSE(bytes.empty());
    EXPECT_LT(bytes.size(), 300u * 1000);
    const Decoded d = decode(bytes);
    EXPECT_TRUE(d.ok) << d.error;
}

TEST(PngRuns, RefusesWhatItCannotWrite) {
    const auto zero = [](unsigned, unsigned) { return uint8_t(0); };
    std::string error;
    EXPECT_TRUE(encode(3, 2, colours(257), 0, zero, &error).empty());
    EXPECT_EQ(error, "a palette holds at most 256 colours");
    EXPECT_TRUE(encode(0, 2, colours(2), 0, zero, &error).empty());
    EXPECT_EQ(error, "the picture has no pixels or too many");
    EXPECT_TRUE(encode(
                    3, 2, colours(2), 0, [](unsigned x, unsigned) { return uint8_t(x); }, &error)
                    .empty());
    EXPECT_EQ(error, "a pixel's index lies outside the palette");

    std::string bytes;
    PngRunWriter rows([&bytes](const unsigned char *data, std::size_t length) {
        bytes.append(reinterpret_cast<const char *>(data), length);
        return true;
    });
    const unsigned char row[2] = {0, 0};
    EXPECT_FALSE(rows.row(row));
    ASSERT_TRUE(rows.start(2, 1, colours(1)));
    EXPECT_FALSE(rows.repeatRow());
    EXPECT_EQ(rows.error(), "the first row has no row above");
    EXPECT_FALSE(rows.row(row)); // a misuse ends the writing
    PngRunWriter early([](const unsigned char *, std::size_t) { return true; });
    ASSERT_TRUE(early.start(2, 2, colours(1)));
    ASSERT_TRUE(early.row(row));
    EXPECT_FALSE(early.finish());
    EXPECT_EQ(early.error(), "the picture's rows were not all written");

    // A sink that refuses: the writer says so and stops.
    int calls = 0;
    PngRunWriter refused([&calls](const unsigned char *, std::size_t) { return ++calls < 4; });
    EXPECT_FALSE(refused.start(2, 1, colours(1)));
    EXPECT_EQ(refused.error(), "write failed");
    EXPECT_FALSE(refused.row(row));
}
