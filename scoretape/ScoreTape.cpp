// The tape's model: construction, plain accessors and the gate through which notes enter.
#include "scoretape/ScoreTape.h"

#include "notes/NoteSets.h"
#include "scoretape/NoteBuffers.h"

#include <FL/Fl.H>

#include <algorithm>

namespace {

// Per channel the red, green and blue steps 0..4 of its note colour.
const unsigned char channelBase[16][3] = {
    {0, 0, 4}, {4, 0, 0}, {0, 0, 0}, {0, 4, 0}, {3, 1, 0}, {3, 0, 1}, {1, 3, 0}, {1, 0, 3},
    {0, 3, 1}, {0, 1, 3}, {2, 2, 0}, {2, 1, 1}, {2, 0, 2}, {1, 2, 1}, {1, 1, 2}, {0, 2, 2}};

} // namespace

Flt_ScoreTape::Flt_ScoreTape(int x, int y, int w, int h, const char *label)
    : Fl_Widget(x, y, w, h, label) {
    rowColours_ = pianoRowColours();
    for (unsigned c = 0; c < 16; ++c)
        programs_[c] = uint8_t(c);
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

bool Flt_ScoreTape::isChannelShown(const TapeNote &note) const {
    return note.channel < 16 && (channelMask_ >> note.channel) & 1u;
}

bool Flt_ScoreTape::addNote(TapeNote note) {
    note.selected = false;
    // A note that would end beyond the last tick could not be saved: its end would wrap.
    if (note.note > 127 || note.length == 0 || note.velocity > 127 || note.channel > 15 ||
        uint64_t(note.start) + note.length > lastTick)
        return false;
    // Notes with the same start stay in the order they were added: insert after them. The
    // melody is ordered by start, so only the notes of that start can be duplicates.
    auto pos = std::lower_bound(notes_.begin(), notes_.end(), note.start,
                                [](const TapeNote &n, unsigned t) { return n.start < t; });
    for (; pos != notes_.end() && pos->start == note.start; ++pos) {
        if (pos->channel == note.channel && pos->note == note.note)
            return false;
    }
    if (notes_.size() == notes_.capacity()) {
        const std::size_t index = std::size_t(pos - notes_.begin());
        reserveNotes(notes_, notes_.size() * 2 + 64);
        pos = notes_.begin() + std::ptrdiff_t(index);
    }
    notes_.insert(pos, note);
    dataChanged_ = true;
    longestNote_ = 0;
    if (isChannelShown(note))
        redraw();
    return true;
}

void Flt_ScoreTape::melodyEdited() {
    droppedRedo_.clear();
    dataChanged_ = true;
    longestNote_ = 0;
    redraw();
}

void Flt_ScoreTape::replaceNotes(const NoteSnapshot &snapshot) {
    snapshot.copyTo(notes_);
    longestNote_ = 0;
}

void Flt_ScoreTape::replaceNotes(std::vector<TapeNote> &&list) {
    notes_ = std::move(list);
    longestNote_ = 0;
}

std::size_t Flt_ScoreTape::upperBound(unsigned tick) const {
    auto it = std::upper_bound(notes_.begin(), notes_.end(), tick,
                               [](unsigned t, const TapeNote &n) { return t < n.start; });
    return std::size_t(it - notes_.begin());
}

unsigned Flt_ScoreTape::longestNote() const {
    if (longestNote_ == 0) {
        unsigned longest = 1;
        for (const TapeNote &n : notes_)
            longest = std::max(longest, n.length);
        longestNote_ = longest;
    }
    return longestNote_;
}
