#include "framework/AppIcon.h"

#include <array>

namespace {

struct Rgb {
    unsigned char r, g, b;
};

constexpr int rowHeight = 2;     // one note row
constexpr int keyboardWidth = 7; // piano keys on the left edge
constexpr int beatSpacing = 8;   // vertical grid lines

bool isBlackKey(int note) {
    static constexpr std::array<bool, 12> black = {false, true,  false, true,  false, false,
                                                   true,  false, true,  false, true,  false};
    return black[static_cast<size_t>(note % 12)];
}

struct Bar {
    int row, start, length;
    Rgb colour;
};

// A short rising and falling melody in three colours.
constexpr std::array<Bar, 9> bars = {{{11, 8, 6, {220, 60, 40}},
                                      {9, 14, 4, {220, 60, 40}},
                                      {7, 18, 5, {40, 150, 60}},
                                      {4, 23, 4, {40, 90, 210}},
                                      {6, 27, 4, {40, 150, 60}},
                                      {12, 14, 8, {40, 90, 210}},
                                      {2, 11, 5, {220, 60, 40}},
                                      {13, 22, 7, {220, 60, 40}},
                                      {10, 28, 3, {40, 90, 210}}}};

Rgb pixelAt(int x, int y) {
    const int size = appIconSize;
    if (x == 0 || y == 0 || x == size - 1 || y == size - 1)
        return {40, 40, 48}; // frame
    const int row = (y - 1) / rowHeight;
    const int note = 15 - row; // higher notes at the top
    if (x < keyboardWidth) {
        if (x == keyboardWidth - 1)
            return {70, 70, 80};
        return isBlackKey(note) ? Rgb{30, 30, 30} : Rgb{250, 250, 250};
    }
    for (const Bar &bar : bars) {
        if (row == bar.row && x >= bar.start && x < bar.start + bar.length &&
            (y - 1) % rowHeight == 0)
            return bar.colour;
        if (row == bar.row && x >= bar.start && x < bar.start + bar.length)
            return {static_cast<unsigned char>(bar.colour.r * 3 / 4),
                    static_cast<unsigned char>(bar.colour.g * 3 / 4),
                    static_cast<unsigned char>(bar.colour.b * 3 / 4)};
    }
    if ((x - keyboardWidth) % beatSpacing == 0)
        return {180, 180, 190};
    return isBlackKey(note) ? Rgb{214, 218, 226} : Rgb{236, 238, 242};
}

} // namespace

std::vector<unsigned char> appIconPixels() {
    std::vector<unsigned char> pixels;
    pixels.reserve(static_cast<size_t>(appIconSize) * appIconSize * 4);
    for (int y = 0; y < appIconSize; ++y)
        for (int x = 0; x < appIconSize; ++x) {
            const Rgb c = pixelAt(x, y);
            pixels.insert(pixels.end(), {c.r, c.g, c.b, 255});
        }
    return pixels;
}

const Fl_RGB_Image *appIcon() {
    static const std::vector<unsigned char> pixels = appIconPixels();
    static const Fl_RGB_Image image(pixels.data(), appIconSize, appIconSize, 4);
    return &image;
}
