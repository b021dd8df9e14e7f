// A board drawn tile by tile, each tile drawing only what it shows, is the board drawn whole.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "render/CairoPainter.h"
#include "render/ExportParts.h"

#include <cairo.h>

#include <memory>

using namespace tw;

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// The part (x0, y0, w, h) of the board; culled to it, or drawn whole and translated.
Surface draw(const PictureModel &picture, const BoardLayout &layout, int x0, int y0, int w, int h,
             bool cull) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h), cairo_surface_destroy);
    cairo_t *cr = cairo_create(surface.get());
    cairo_translate(cr, -x0, -y0);
    CairoPainter painter(cr);
    if (cull)
        painter.setCull(x0, y0, w, h);
    drawBoard(painter, picture, layout);
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
    melody.setLeftMarker(100);
    melody.setRightMarker(250);
    PictureModel picture;
    ASSERT_TRUE(picture.copyFrom(melody));
    const BoardArea area = picture.pictureArea();
    const BoardLayout layout(picture, area);
    const Surface whole = draw(picture, layout, 0, 0, area.w, area.h, false);

    struct Tiles {
        int w, h;
    };
    for (const Tiles tiles : {Tiles{64, 13}, Tiles{333, 40}, Tiles{1000, area.h}, Tiles{7, 7}}) {
        SCOPED_TRACE(testing::Message() << "tiles of " << tiles.w << " x " << tiles.h);
        int wrong = 0;
        for (int y0 = 0; y0 < area.h; y0 += tiles.h)
            for (int x0 = 0; x0 < area.w; x0 += tiles.w) {
                const int w = std::min(tiles.w, area.w - x0), h = std::min(tiles.h, area.h - y0);
                const Surface tile = draw(picture, layout, x0, y0, w, h, true);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (pixel(tile.get(), x, y) != pixel(whole.get(), x0 + x, y0 + y) &&
                            wrong++ < 5)
                            ADD_FAILURE() << "pixel " << x0 + x << ", " << y0 + y;
            }
        EXPECT_EQ(wrong, 0);
    }
}
