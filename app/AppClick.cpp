// What a press on the score board does.
#include "app/App.h"

#include "app/AppDialogs.h"
#include "app/CommandIds.h"
#include "app/NoteClipboard.h"
#include "app/RecoveryKeeper.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <FL/Enumerations.H>

#include <algorithm>

namespace tw {

void App::onScoreClick(unsigned tick, unsigned note, int state, bool push) {
    recoveryKeeper->touched();
    if (!push)
        return;
    switch (state) {
    case FL_BUTTON1:
        if (clickAction) {
            runClickAction(tick);
            clickAction.reset();
            return;
        }
        {
            TapeNote n;
            n.note = noteFieldByte(note); // off the rows: beyond 127, and refused
            n.start = tick;
            n.length = newNoteLength;
            n.channel = uint8_t(currentChannel);
            n.velocity = 127;
            // With snap a new note starts on the grid line at or before the click; a click on
            // the first tick of a note still removes it.
            const auto &notes = tape->model().notes();
            const auto same =
                std::equal_range(notes.begin(), notes.end(), uint64_t(tick), ByStart());
            if (std::none_of(same.first, same.second, [&](const TapeNote &m) {
                    return m.note == note && tape->model().isChannelShown(m);
                }))
                n.start = tape->model().snapDown(tick);
            if (!tape->model().insertNote(n))
                tape->model().removeNotesAt(n.start, note);
            else if (playInsertedNote)
                playback->playNoteAt(n.start, note);
        }
        return;
    case FL_BUTTON3:
        rightClick(tick, note);
        return;
    case FL_BUTTON1 | FL_SHIFT:
        shiftClick(tick, note);
        return;
    case FL_BUTTON3 | FL_SHIFT:
        tape->model().selectFrom(tick);
        return;
    case FL_BUTTON1 | FL_SHIFT | FL_CTRL:
        tape->model().insertTime(tick, int(tape->model().ticksPerFrame()));
        return;
    case FL_BUTTON3 | FL_SHIFT | FL_CTRL:
        tape->model().insertTime(tick, 1);
        return;
    default:
        return; // any other combination does nothing
    }
}

void App::runClickAction(unsigned tick) {
    switch (*clickAction) {
    case clickPlayMarker:
        tape->model().setPlayMarker(tick);
        break;
    case clickLeftMarker:
        tape->model().setLeftMarker(tick, tape->view());
        break;
    case clickRightMarker:
        tape->model().setRightMarker(tick);
        break;
    case clickBlueMarker:
        tape->model().toggleSectionMarker(tick);
        break;
    case clickPasteWithTime:
        tape->model().pasteNotesWithTime(tick, notesForPaste());
        break;
    case clickPaste:
        tape->model().pasteNotes(tick, notesForPaste());
        break;
    default:
        break;
    }
}

void App::rightClick(unsigned tick, unsigned note) {
    if (playback->playNoteAt(tick, note))
        return;
    std::optional<std::size_t> index;
    const unsigned length = tape->model().changeNoteLength(tick, note, currentChannel, &index);
    if (length == 0)
        return;
    newNoteLength = length;
    if (index && *index < tape->model().notes().size() && tape->model().notes()[*index].selected &&
        askChoice("Should the length be changed for all selected notes?", "Yes", "NO", nullptr) ==
            0)
        tape->model().setSelectedLength(length);
}

void App::shiftClick(unsigned tick, unsigned note) {
    if (tape->model().toggleSelectionAt(tick, note))
        return;
    if (!rectCorner) {
        rectCorner = Corner{tick, note};
        return;
    }
    const Corner corner = *rectCorner;
    const unsigned lowTick = std::min(corner.tick, tick), highTick = std::max(corner.tick, tick);
    const unsigned lowNote = std::min(corner.note, note), highNote = std::max(corner.note, note);
    if (lowTick == highTick || lowNote == highNote)
        return;
    bool found = false;
    const std::vector<TapeNote> &notes = tape->model().notes();
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TapeNote &n = notes[i];
        if (n.start >= lowTick && n.start < highTick && n.note >= lowNote && n.note < highNote) {
            tape->model().setSelected(unsigned(i), true);
            found = true;
        }
    }
    if (found) {
        tape->redraw(); // the corner stays for the next rectangle
    } else {
        rectCorner = Corner{tick, note};
    }
}

} // namespace tw
