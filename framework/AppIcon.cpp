#include "framework/AppIcon.h"

#include <algorithm>
#include <array>

namespace tw {

namespace {

struct Rgb {
    unsigned char r, g, b;
};

// The design grid (appIconSize pixels): note rows, the keyboard on the left, the beat lines.
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

Rgb darker(Rgb c) {
    return {static_cast<unsigned char>(c.r * 3 / 4), static_cast<unsigned char>(c.g * 3 / 4),
            static_cast<unsigned char>(c.b * 3 / 4)};
}

// The colour at (x, y) of a size x size icon. The frame is one pixel wide at every size; rows,
// keys, bars and beat lines scale from the design grid, rounded to whole pixels.
Rgb pixelAt(int x, int y, int size) {
    if (x == 0 || y == 0 || x == size - 1 || y == size - 1)
        return {40, 40, 48}; // frame
    const int grid = appIconSize;
    const int row = (y - 1) * grid / (rowHeight * size);
    const int note = 15 - row; // higher notes at the top
    const int keyboard = (keyboardWidth * size + grid / 2) / grid;
    if (x < keyboard) {
        if (x == keyboard - 1)
            return {70, 70, 80};
        return isBlackKey(note) ? Rgb{30, 30, 30} : Rgb{250, 250, 250};
    }
    const int rowTop = 1 + (row * rowHeight * size + grid / 2) / grid;
    for (const Bar &bar : bars) {
        // The bar covers grid columns start .. start + length - 1, that is the pixels whose
        // left edge x * grid / size lies in that range.
        if (row == bar.row && x * grid >= bar.start * size &&
            x * grid < (bar.start + bar.length) * size)
            return y == rowTop ? bar.colour : darker(bar.colour); // a bright upper edge
    }
    const int beat = std::max(1, (beatSpacing * size + grid / 2) / grid);
    if ((x - keyboard) % beat == 0)
        return {180, 180, 190};
    return isBlackKey(note) ? Rgb{214, 218, 226} : Rgb{236, 238, 242};
}

} // namespace

std::vector<unsigned char> appIconPixels(int size) {
    std::vector<unsigned char> pixels;
    if (size < appIconMinSize || size > appIconMaxSize)
        return pixels;
    pixels.reserve(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Rgb c = pixelAt(x, y, size);
            pixels.insert(pixels.end(), {c.r, c.g, c.b, 255});
        }
    return pixels;
}

const Fl_RGB_Image *appIcon() {
    static const std::vector<unsigned char> pixels = appIconPixels();
    static const Fl_RGB_Image image(pixels.data(), appIconSize, appIconSize, 4);
    return &image;
}

} // namespace tw
