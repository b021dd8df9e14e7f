#include "scoremodel/BoardView.h"

#include <algorithm>
#include <cstdint>

namespace tw {

void BoardView::setArea(unsigned ticks, unsigned rows) {
    visibleTicks = ticks;
    visibleRows = std::min(rows, 128u);
}

bool BoardView::showsRow(unsigned note) const {
    return note >= bottomNote && note < bottomNote + visibleRows;
}

bool BoardView::scrollRows(int rows) {
    if (rows < 0) {
        unsigned d = unsigned(-(long long)rows);
        if (bottomNote == 0)
            return false;
        bottomNote = bottomNote <= d ? 0 : bottomNote - d;
    } else {
        const unsigned top = topNote();
        if (top >= 127)
            return false;
        if (uint64_t(top) + unsigned(rows) < 127)
            bottomNote += unsigned(rows);
        else // the top row becomes 127; without rows in view the bottom one does
            bottomNote = visibleRows == 0 ? 127 : 128 - visibleRows;
    }
    return true;
}

void BoardView::showTick(unsigned tick, unsigned ticksPerFrame) {
    if (tick < firstTick) {
        unsigned boundary = tick / ticksPerFrame * ticksPerFrame;
        if (boundary == tick && boundary != 0)
            boundary -= ticksPerFrame;
        firstTick = boundary;
    } else if (uint64_t(tick) >= uint64_t(firstTick) + visibleTicks) {
        firstTick = ((tick - visibleTicks) / ticksPerFrame + 1) * ticksPerFrame;
    }
}

void BoardView::showRow(unsigned note) {
    if (showsRow(note))
        return;
    const unsigned half = visibleRows / 2;
    unsigned bottom = note > half ? note - half : 0;
    if (visibleRows <= 128 && bottom + visibleRows > 128)
        bottom = 128 - visibleRows;
    if (bottom <= 127)
        bottomNote = bottom;
}

} // namespace tw
