// Dragging notes on the board, the beat grid and its snap, scaling time and the loop toggle,
// with their settings.
#include "app/App.h"

#include "app/AppDialogs.h"
#include "app/CommandIds.h"
#include "app/EditWindows.h"
#include "app/RecoveryKeeper.h"
#include "app/SettingsKeys.h"
#include "app/ViewOptions.h"
#include "framework/Flt_Menubar.h"
#include "framework/Preferences.h"
#include "scoretape/ScoreTape.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>

namespace tw {

namespace {

constexpr int dragThreshold = 4; // pixels at the actual size that a press may move and click
constexpr int modifiers = FL_SHIFT | FL_CTRL | FL_ALT | FL_META;

// The drag a press with this state starts, if any.
bool dragMode(bool dragNotes, int state, NoteDrag::Mode &mode) {
    const int buttons = state & (FL_BUTTON1 | FL_BUTTON2 | FL_BUTTON3);
    const int keys = state & modifiers;
    if (buttons != FL_BUTTON1)
        return false;
    if (dragNotes && keys == 0)
        mode = NoteDrag::Mode::plain;
    else if (dragNotes && keys == FL_SHIFT)
        mode = NoteDrag::Mode::shift;
    else if (keys == FL_CTRL)
        mode = NoteDrag::Mode::ctrl;
    else
        return false;
    return true;
}

} // namespace

bool App::editingCommand(int id) {
    switch (id) {
    case cmdDragNotes:
        dragNotes = menubar->value(cmdDragNotes);
        showDragPointer();
        return true;
    case cmdSnapToBeat: {
        BeatGrid grid = tape->model().beatGrid();
        grid.snap = menubar->value(cmdSnapToBeat);
        tape->model().setBeatGrid(grid);
        return true;
    }
    case cmdBeatGrid:
        editBeatGrid();
        return true;
    case cmdScaleTime:
        scaleTime();
        return true;
    case cmdLoop:
        loopPlayback = menubar->value(cmdLoop);
        return true;
    default:
        return false;
    }
}

void App::editBeatGrid() {
    if (const std::optional<BeatGrid> grid = runBeatGridWindow(tape->model().beatGrid()))
        tape->model().setBeatGrid(*grid);
}

void App::scaleTime() {
    ScaleTimeQuestion question;
    const std::vector<TapeNote> &notes = tape->model().notes();
    for (const TapeNote &n : notes)
        question.selectionOnly = question.selectionOnly || tape->model().isSelectedAndShown(n);
    const double perTick = 1.0 / tape->model().ticksPerFrame(); // a frame is a second
    question.spanSeconds = double(tape->model().scaleTimeSpan()) * perTick;
    question.lengthSeconds = double(tape->model().endTick()) * perTick;
    question.lengthAfter = [this, perTick](double factor) {
        const unsigned end = tape->model().endTickAfterScale(factor);
        return end == 0 ? -1.0 : double(end) * perTick;
    };
    if (question.spanSeconds <= 0) {
        showMessage("There are no notes to scale.");
        return;
    }
    if (const std::optional<double> factor = runScaleTimeWindow(question))
        if (!tape->model().scaleTime(*factor) && *factor != 1)
            showMessage("The notes cannot be scaled so: they would pass the last tick.");
}

bool App::onScoreDrag(int event, const NoteDrag::Point &point, bool rightHalf, int state,
                      bool onGrid) {
    if (event == FL_PUSH) {
        NoteDrag::Mode mode;
        if (!onGrid || clickAction || !dragMode(dragNotes, state, mode))
            return false;
        TapeNote note;
        note.length = newNoteLength;
        note.channel = uint8_t(currentChannel); // 0..15
        note.velocity = 127;
        drag.press(tape->model(), mode, point, rightHalf, scaledSize(dragThreshold), note);
        dragPress = point;
        dragPressState = state & (modifiers | FL_BUTTON1);
        recoveryKeeper->touched();
        return true;
    }
    if (!drag.held())
        return false;
    recoveryKeeper->touched();
    if (event == FL_DRAG) {
        drag.motion(tape->model(), point);
        long long t0 = 0, t1 = 0;
        int n0 = 0, n1 = 0;
        const bool rect = drag.rectangle(t0, t1, n0, n1);
        tape->setSelectionRectangle(rect, t0, t1, n0, n1);
        return true;
    }
    if (event != FL_RELEASE)
        return false;
    tape->setSelectionRectangle(false);
    if (drag.release(tape->model(), point)) // no drag: the click the press would have been
        onScoreClick(unsigned(dragPress.tick), unsigned(dragPress.note), dragPressState, true);
    showDragPointer();
    return true;
}

bool App::cancelDrag() {
    if (!drag.held())
        return false;
    drag.cancel(tape->model());
    tape->setSelectionRectangle(false);
    return true;
}

void App::showDragPointer() {
    using Shape = Flt_ScoreTape::PointerShape;
    Shape shape = Shape::normal;
    NoteDrag::Mode mode;
    const auto e =
        tape->dragEvent(FL_MOVE, Fl::event_x(), Fl::event_y(), Fl::event_state() | FL_BUTTON1);
    if (!clickAction && e.onGrid && !drag.held() &&
        dragMode(dragNotes, e.state & (modifiers | FL_BUTTON1), mode)) {
        switch (NoteDrag::kindAt(tape->model(), mode, e.point.tick, e.point.note, e.rightHalf)) {
        case NoteDrag::Kind::move:
            shape = Shape::move;
            break;
        case NoteDrag::Kind::resize:
            shape = Shape::resize;
            break;
        default:
            break;
        }
    }
    tape->setPointerShape(shape);
}

void App::readEditingSettings() {
    dragNotes = prefGetInt(prefs, settings::dragNotes, 0) != 0;
    menubar->setValue(cmdDragNotes, dragNotes);
    loopPlayback = prefGetInt(prefs, settings::loopPlayback, 0) != 0;
    menubar->setValue(cmdLoop, loopPlayback);
    BeatGrid grid;
    grid.snap = prefGetInt(prefs, settings::snapToBeat, 0) != 0;
    grid.shown = prefGetInt(prefs, settings::beatLines, 0) != 0;
    grid.division = unsigned(prefGetInt(prefs, settings::snapDivision, 1));
    grid.beatsPerBar = unsigned(prefGetInt(prefs, settings::beatsPerBar, 4));
    grid.firstBar = uint32_t(std::max(prefGetInt(prefs, settings::firstBarTick, 0), 0));
    double bpm = 120;
    prefs.get(settings::beatsPerMinute, bpm, 120.0);
    grid.bpm = bpm;
    // A hand-edited file with a value out of range keeps the defaults.
    if (!tape->model().setBeatGrid(grid)) {
        BeatGrid defaults;
        defaults.snap = grid.snap;
        defaults.shown = grid.shown;
        tape->model().setBeatGrid(defaults);
    }
    menubar->setValue(cmdSnapToBeat, tape->model().beatGrid().snap);
}

void App::writeEditingSettings() {
    const BeatGrid &grid = tape->model().beatGrid();
    prefs.set(settings::dragNotes, dragNotes ? 1 : 0);
    prefs.set(settings::loopPlayback, loopPlayback ? 1 : 0);
    prefs.set(settings::snapToBeat, grid.snap ? 1 : 0);
    prefs.set(settings::beatLines, grid.shown ? 1 : 0);
    prefs.set(settings::snapDivision, int(grid.division));
    prefs.set(settings::beatsPerBar, int(grid.beatsPerBar));
    prefs.set(settings::firstBarTick, int(std::min<uint32_t>(grid.firstBar, 0x7FFFFFFF)));
    prefs.set(settings::beatsPerMinute, grid.bpm);
}

} // namespace tw
