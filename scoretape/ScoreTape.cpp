// The tape's model: construction, plain accessors and the gate through which notes enter.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <algorithm>

namespace tw {

Flt_ScoreTape::Flt_ScoreTape(int x, int y, int w, int h, const char *label)
    : Fl_Widget(x, y, w, h, label) {
    updateVisibleArea(w, h);
}

Flt_ScoreTape::~Flt_ScoreTape() {
    // A playout must end before the melody and the port pointer go away.
    player_.stop();
    Fl::remove_timeout(playheadTimer, this);
}

Fl_Color Flt_ScoreTape::channelColour(unsigned channel, bool selected) const {
    return tw::channelNoteColour(channel, selected);
}

void Flt_ScoreTape::setLabelFont(Fl_Font font) {
    labelFont_ = font;
    redraw();
}

} // namespace tw
