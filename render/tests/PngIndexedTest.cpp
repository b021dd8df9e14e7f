// The indexed PNG writer's own deflate coder, read back through libpng (which checks the
// chunks' CRCs and zlib's Adler-32): every pixel the palette's colour of its index.
#include <gtest/gtest.h>

#include "render/PngRows.h"

#include <png.h>

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

using Pixels = std::function<unsigned char(unsigned x, unsigned y)>;

// The picture written whole into a string.
std::string encode(unsigned w, unsigned h, const std::vector<uint32_t> &palette, unsigned period,
                   const Pixels &index, std::string *error = nullptr) {
    std::string bytes;
    PngIndexedWriter writer([&bytes](const unsigned char *data, std::size_t length) {
        bytes.append(reinterpret_cast<const char *>(data), length);
        return true;
    });
    bool ok = writer.start(w, h, palette, period);
    std::vector<unsigned char> row(w);
    for (unsigned y = 0; ok && y < h; ++y) {
        for (unsigned x = 0; x < w; ++x)
            row[x] = index(x, y);
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

TEST(PngIndexed, EveryPixelReadsBackAsItsPaletteColour) {
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
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t> palette = colours(c.colours);
        std::string error;
        const std::string bytes = encode(c.w, c.h, palette, c.period, c.index, &error);
        ASSERT_FALSE(bytes.empty()) << error;
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

TEST(PngIndexed, RepeatedRowsCostLittle) {
    // 300 rows of 100,000 pixels, all alike but the first: a few hundred bytes a row.
    const std::string bytes = encode(100000, 300, colours(4), 8, [](unsigned x, unsigned y) {
        return uint8_t(y == 0 ? 0 : x % 8 == 0 ? 1 : 2);
    });
    ASSERT_FALSE(bytes.empty());
    EXPECT_LT(bytes.size(), 300u * 1000);
    const Decoded d = decode(bytes);
    EXPECT_TRUE(d.ok) << d.error;
}

TEST(PngIndexed, RefusesWhatItCannotWrite) {
    const auto zero = [](unsigned, unsigned) { return uint8_t(0); };
    std::string error;
    EXPECT_TRUE(encode(3, 2, {}, 0, zero, &error).empty());
    EXPECT_EQ(error, "a palette holds 1 to 256 colours");
    EXPECT_TRUE(encode(3, 2, colours(257), 0, zero, &error).empty());
    EXPECT_TRUE(encode(0, 2, colours(2), 0, zero, &error).empty());
    EXPECT_EQ(error, "the picture has no pixels or too many");
    EXPECT_TRUE(encode(
                    3, 2, colours(2), 0, [](unsigned x, unsigned) { return uint8_t(x); }, &error)
                    .empty());
    EXPECT_EQ(error, "a pixel's index lies outside the palette");

    std::string bytes;
    PngIndexedWriter rows([&bytes](const unsigned char *data, std::size_t length) {
        bytes.append(reinterpret_cast<const char *>(data), length);
        return true;
    });
    const unsigned char row[2] = {0, 0};
    EXPECT_FALSE(rows.row(row));
    ASSERT_TRUE(rows.start(2, 1, colours(1)));
    EXPECT_FALSE(rows.finish());
    EXPECT_EQ(rows.error(), "the picture's rows were not all written");

    // A sink that refuses: the writer says so and stops.
    int calls = 0;
    PngIndexedWriter refused([&calls](const unsigned char *, std::size_t) { return ++calls < 4; });
    EXPECT_FALSE(refused.start(2, 1, colours(1)));
    EXPECT_EQ(refused.error(), "write failed");
    EXPECT_FALSE(refused.row(row));
}
