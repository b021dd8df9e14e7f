#include "render/Palette.h"

namespace tw {

namespace {

// FLTK's grey ramp, entries 32 (black) to 55 (white).
constexpr uint8_t greyRamp[24] = {0x00, 0x0d, 0x1a, 0x24, 0x31, 0x3d, 0x48, 0x55,
                                  0x5f, 0x6a, 0x75, 0x80, 0x8a, 0x95, 0xa0, 0xaa,
                                  0xb5, 0xc0, 0xcb, 0xd5, 0xe0, 0xea, 0xf5, 0xff};
// Step i of n levels of the colour cube, as FLTK rounds it.
uint8_t level(unsigned i, unsigned n) {
    return uint8_t(i * 255 / (n - 1));
}

} // namespace

Rgb colourRgb(TapeColour colour) {
    if (colour & 0xFFFFFF00u)
        return {uint8_t(colour >> 24), uint8_t(colour >> 16), uint8_t(colour >> 8)};
    const unsigned i = colour;
    if (i < 8) // black, red, green, yellow, blue, magenta, cyan, white
        return {uint8_t(i & 1 ? 0xff : 0), uint8_t(i & 2 ? 0xff : 0), uint8_t(i & 4 ? 0xff : 0)};
    if (i < 32)
        return {};
    if (i < 56)
        return {greyRamp[i - 32], greyRamp[i - 32], greyRamp[i - 32]};
    // The colour cube: index = (blue * 5 + red) * 8 + green, five steps of red and blue and
    // eight of green.
    const unsigned c = i - 56;
    return {level((c / 8) % 5, 5), level(c % 8, 8), level(c / 40, 5)};
}

} // namespace tw
