#include "render/BoardRender.h"

#include "notes/NoteSets.h"
#include "render/Palette.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace tw {

namespace {

// How far text may reach from the point it is drawn at (frame numbers are a few digits).
constexpr long long textReach = 100;

// Per channel the red, green and blue steps 0..4 of its note colour.
const unsigned char channelBase[16][3] = {
    {0, 0, 4}, {4, 0, 0}, {0, 0, 0}, {0, 4, 0}, {3, 1, 0}, {3, 0, 1}, {1, 3, 0}, {1, 0, 3},
    {0, 3, 1}, {0, 1, 3}, {2, 2, 0}, {2, 1, 1}, {2, 0, 2}, {1, 2, 1}, {1, 1, 2}, {0, 2, 2}};

void fill(Painter &painter, const PixelRect &r, TapeColour colour) {
    painter.setColour(colour);
    painter.fillRect(r.x, r.y, r.w, r.h);
}

void drawNumber(Painter &painter, unsigned number, int x, int y) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", number);
    painter.text(text, x, y);
}

} // namespace

TapeColour channelNoteColour(unsigned channel, bool selected) {
    if (channel > 15)
        return 0;
    const unsigned char *b = channelBase[channel];
    return selected ? tapeRgb(40u * b[0] + 95, 40u * b[1] + 95, 40u * b[2] + 95)
                    : tapeRgb(63u * b[0], 63u * b[1], 63u * b[2]);
}

BoardLayout::BoardLayout(const ScoreModel &model, const BoardView &view, BoardArea area,
                         BoardSizes sizes)
    : model_(model), view_(view), area_(area), sizes_(sizes) {}

bool BoardLayout::isRowShown(unsigned note) const {
    return view_.showsRow(note);
}

int BoardLayout::rowIndex(unsigned note) const {
    return int(view_.topNote() - note);
}

int BoardLayout::rowLineY(unsigned note) const {
    return area_.y + sizes_.labelStrip + int(view_.rowHeight / 2) +
           rowIndex(note) * int(view_.rowHeight);
}

TapeColour BoardLayout::noteColour(const TapeNote &note) const {
    // Colour 0 (channel index 2) is drawn black, what FLTK's map holds there, never white.
    const TapeColour c = channelNoteColour(note.channel, note.selected);
    return c == 0 ? paletteBlack : c;
}

bool BoardLayout::noteRect(const TapeNote &note, PixelRect &rect) const {
    const long long first = view_.firstTick, start = note.start, end = start + note.length;
    const long long ticks = view_.visibleTicks;
    if (!(first < end && start < first + ticks) || !model_.isChannelShown(note) ||
        !isRowShown(note.note))
        return false;
    const long long c0 = std::max(start - first, 0LL);
    const long long c1 = std::min(end - first, ticks);
    rect.x = gridX() + int(c0 * view_.tickWidth);
    rect.y = noteTop(note.note);
    rect.w = int((c1 - c0) * view_.tickWidth);
    rect.h = int(view_.rowHeight) - 1;
    return true;
}

int BoardLayout::noteTop(unsigned note) const {
    return area_.y + 1 + (rowIndex(note) + 1) * int(view_.rowHeight);
}

PixelRect BoardLayout::markerRect(unsigned tick) const {
    // Far outside the board the position is only kept from overflowing: it is not seen.
    long long left = gridX() + ((long long)tick - (long long)view_.firstTick) * view_.tickWidth;
    left = std::max(std::min(left, 1LL << 24), -(1LL << 24));
    return PixelRect{int(left), area_.y + sizes_.labelStrip, sizes_.markerWidth, gridHeight()};
}

std::vector<BoardLabel> BoardLayout::frameLabels(long long fromX, long long toX) const {
    std::vector<BoardLabel> labels;
    const long long frame = model_.ticksPerFrame(), step = frame * view_.tickWidth;
    const long long firstTick = view_.firstTick;
    long long g = firstTick / frame + 1;
    long long p = gridX() + (g * frame - firstTick) * view_.tickWidth;
    // The distance from the left is measured without the column, the end against the area's
    // width, as the window always placed them.
    if (p - area_.column < sizes_.labelGap) {
        p += step;
        g += 1;
    }
    const auto &notes = model_.notes();
    const long long firstStart = notes.empty() ? 0 : notes.front().start;
    // The first label is always drawn; further ones while they fit. Those left of fromX are
    // stepped over at once.
    bool first = true;
    if (p + sizes_.labelInset < fromX) {
        const long long skip = (fromX - p - sizes_.labelInset) / step;
        g += skip;
        p += skip * step;
        first = skip == 0;
    }
    while ((first || p <= area_.w - sizes_.labelGap) && p + sizes_.labelInset < toX) {
        if (p + sizes_.labelInset >= fromX) {
            const TapeColour colour = g * frame > firstStart ? paletteRed : paletteBlack;
            labels.push_back(BoardLabel{int(p + sizes_.labelInset), area_.y + sizes_.labelBaseline,
                                        unsigned(g), colour});
        }
        first = false;
        g += 1;
        p += step;
    }
    return labels;
}

void drawBoard(Painter &painter, const BoardLayout &layout, int labelFont) {
    const ScoreModel &model = layout.model();
    const BoardView &view = layout.view();
    const BoardArea &a = layout.area();
    const BoardSizes &s = layout.sizes();
    const int X = layout.gridX(), Y = a.y, H = layout.gridHeight(), W = layout.gridWidth();
    const unsigned firstTick = view.firstTick, ticks = view.visibleTicks;
    const unsigned bottom = view.bottomNote, rows = view.visibleRows;
    painter.setColour(paletteWhite);
    painter.fillRect(a.x, Y, a.w, a.h);

    // What a tile or a page shows: the tick columns (with one to spare either side) and the
    // frame numbers whose text may reach into it.
    unsigned firstColumn = 0, endColumn = ticks + 1;
    long long labelsFrom = LLONG_MIN, labelsTo = LLONG_MAX;
    if (const auto b = painter.bounds()) {
        const long long tw = std::max(1u, view.tickWidth);
        const auto column = [&](long long x) {
            return unsigned(std::clamp((x - X) / tw, 0LL, (long long)ticks + 1));
        };
        firstColumn = column(b->x0 - tw);
        endColumn = column(b->x1 + 2 * tw);
        labelsFrom = b->x0 - textReach;
        labelsTo = b->x1 + textReach;
    }
    // Tick lines, black on frame boundaries: the grey ones first, then the black ones (they
    // never overlap), so that a painter meets each colour once.
    for (const bool boundaries : {false, true}) {
        painter.setColour(boundaries ? paletteBlack : paletteLight2);
        for (unsigned i = firstColumn; i < endColumn && i <= ticks; ++i) {
            if (((uint64_t(firstTick) + i) % model.ticksPerFrame() == 0) != boundaries)
                continue;
            painter.line(layout.tickLineX(i), Y + s.labelStrip, layout.tickLineX(i),
                         Y + s.labelStrip + H);
        }
    }
    // Beat and bar lines over the tick lines, when the beat grid is shown and they lie a few
    // pixels apart (bar lines alone when only those do).
    const BeatGrid &grid = model.beatGrid();
    const double beatPixels = grid.beatTicks(model.ticksPerFrame()) * view.tickWidth;
    if (grid.shown && beatPixels > 0) {
        const unsigned every = beatPixels >= s.beatLineGap                      ? 1
                               : beatPixels * grid.beatsPerBar >= s.beatLineGap ? grid.beatsPerBar
                                                                                : 0;
        const uint64_t end = std::min<uint64_t>(uint64_t(firstTick) + ticks + 1, lastTick);
        if (every != 0)
            for (const BeatGrid::Line &line :
                 grid.lines(firstTick, uint32_t(end), model.ticksPerFrame(), ticks + 2, every)) {
                const int x = layout.tickLineX(line.tick - firstTick);
                painter.setColour(line.bar ? barLineColour : beatLineColour);
                painter.line(x, Y + s.labelStrip, x, Y + s.labelStrip + H);
            }
    }
    // Row lines in the colours of the instrument.
    for (unsigned n = bottom + rows; n-- > bottom;) {
        if (n >= 128)
            continue;
        painter.setColour(model.rowColours().colours[n]);
        painter.line(X, layout.rowLineY(n), X + W, layout.rowLineY(n));
    }

    painter.setColour(paletteBlack);
    painter.setFont(labelFont, s.labelFontSize);
    drawNumber(painter, bottom + rows - 1, X + s.cornerInset, Y + s.labelBaseline);
    drawNumber(painter, bottom, X + s.cornerInset, Y + H + s.labelStrip + s.bottomMargin);
    for (const BoardLabel &label : layout.frameLabels(labelsFrom, labelsTo)) {
        painter.setColour(label.colour);
        drawNumber(painter, label.number, label.x, label.y);
    }

    // Markers: red over purple over green over blue.
    const uint64_t viewEnd = uint64_t(firstTick) + ticks;
    const uint64_t shownFrom = uint64_t(firstTick) + firstColumn;
    const uint64_t shownEnd = std::min(viewEnd, uint64_t(firstTick) + endColumn);
    const auto &sections = model.sectionMarkers();
    for (auto it = sections.lower_bound(unsigned(shownFrom));
         it != sections.end() && *it < shownEnd; ++it)
        fill(painter, layout.markerRect(*it), paletteBlue);
    if (model.playMarker() >= firstTick && model.playMarker() < viewEnd)
        fill(painter, layout.markerRect(model.playMarker()), paletteDarkGreen);
    fill(painter, layout.markerRect(model.rightMarker()), paletteMagenta);
    fill(painter, layout.markerRect(model.leftMarker()), paletteRed);

    // Notes in storage order, later ones over earlier ones; those of rows above or below a
    // strip of the picture are passed over at once.
    const auto shown = painter.bounds();
    bool rowDrawn[128];
    for (unsigned n = 0; n < 128; ++n) {
        const long long top = layout.isRowShown(n) ? layout.noteTop(n) : 0;
        rowDrawn[n] = layout.isRowShown(n) &&
                      (!shown || (top < shown->y1 && top + view.rowHeight - 1 > shown->y0));
    }
    const auto range = model.candidateNotes(shownFrom, shownEnd);
    const auto &notes = model.notes();
    PixelRect bar;
    for (std::size_t i = range.first; i < range.second; ++i)
        if (notes[i].note < 128 && rowDrawn[notes[i].note] && layout.noteRect(notes[i], bar))
            fill(painter, bar, layout.noteColour(notes[i]));
}

} // namespace tw
