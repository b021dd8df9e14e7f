// The tape's model: construction, plain accessors and the gate through which notes enter.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <algorithm>

namespace tw {

namespace {

// Per channel the red, green and blue steps 0..4 of its note colour.
const unsigned char channelBase[16][3] = {
    {0, 0, 4}, {4, 0, 0}, {0, 0, 0}, {0, 4, 0}, {3, 1, 0}, {3, 0, 1}, {1, 3, 0}, {1, 0, 3},
    {0, 3, 1}, {0, 1, 3}, {2, 2, 0}, {2, 1, 1}, {2, 0, 2}, {1, 2, 1}, {1, 1, 2}, {0, 2, 2}};

} // namespace

Flt_ScoreTape::Flt_ScoreTape(int x, int y, int w, int h, const char *label)
    : Fl_Widget(x, y, w, h, label) {
    computeChannelColours();
    updateVisibleArea(w, h);
}

Flt_ScoreTape::~Flt_ScoreTape() {
    // A playout must end before the melody and the port pointer go away.
    player_.stop();
    Fl::remove_timeout(playheadTimer, this);
}

void Flt_ScoreTape::computeChannelColours() {
    for (unsigned c = 0; c < 16; ++c) {
        const unsigned char *b = channelBase[c];
        channelColours_[c] = tapeRgb(63u * b[0], 63u * b[1], 63u * b[2]);
        selectedChannelColours_[c] = tapeRgb(40u * b[0] + 95, 40u * b[1] + 95, 40u * b[2] + 95);
    }
}

Fl_Color Flt_ScoreTape::channelColour(unsigned channel, bool selected) const {
    if (channel > 15)
        return 0;
    return selected ? selectedChannelColours_[channel] : channelColours_[channel];
}

void Flt_ScoreTape::setLabelFont(Fl_Font font) {
    labelFont_ = font;
    redraw();
}

} // namespace tw
