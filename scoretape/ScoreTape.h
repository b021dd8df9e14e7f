// The score tape: a piano-roll widget that holds the melody and the part of it in view, draws
// the score board, and turns mouse presses into (tick, note, state).
//
// The melody (model()) is a ScoreModel without a display; what is in view (view()) is a plain
// BoardView beside it. Layout, hit-testing and drawing take both, as the export does. Playback
// lives in a PlaybackController that the application owns; it shows its playhead here.
//
// Threads: every operation is called on the GUI thread. Constructing the tape and calling its
// operations needs no X connection; only draw() does.
#pragma once

#include "render/BoardRender.h"
#include "scoremodel/BoardView.h"
#include "scoremodel/NoteDrag.h"
#include "scoremodel/ScoreModel.h"
#include "scoretape/BoardZoom.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Widget.H>

#include <functional>
#include <optional>
#include <utility>

namespace tw {

class Flt_ScoreTape : public Fl_Widget {
public:
    // Receives pointer pushes and releases: (tick, note, modifier and button state, push).
    using ClickCallback = std::function<void(unsigned tick, unsigned note, int state, bool push)>;
    using PointerCallback = std::function<void()>;

    // Values that the tape's geometry fixes.
    static constexpr int labelStrip = 11;    // pixels above the grid at the actual size
    static constexpr int labelFontSize = 10; // size of the labels at the actual size

    // A rectangle in widget coordinates (absolute, like FLTK's).
    using Rect = tw::PixelRect;
    // One frame number along the top: drawn with its text base line at (x, y).
    using FrameLabel = tw::BoardLabel;
    // What a press or release at a pointer position means on the board.
    struct ClickPosition {
        unsigned tick = 0;
        unsigned note = 0;
        int state = 0;
        bool onGrid = false; // false in the label strip above the grid and the margins beside it
    };

    Flt_ScoreTape(int x, int y, int w, int h, const char *label = nullptr);
    ~Flt_ScoreTape() override;
    Flt_ScoreTape(const Flt_ScoreTape &) = delete;
    Flt_ScoreTape &operator=(const Flt_ScoreTape &) = delete;

    // ---- The melody and the part of it in view (ScoreTape.cpp, ScoreTapeView.cpp) ----
    ScoreModel &model() { return model_; }
    const ScoreModel &model() const { return model_; }
    // The view's area follows the widget's size and zoom; the model's operations that bring
    // notes into view change it and report that through the model.
    BoardView &view() { return board_; }
    const BoardView &view() const { return board_; }
    void setFirstTick(unsigned tick);
    void setBottomNote(unsigned note); // 0..127
    // Moves the rows by `rows`; false when the view already stood at that end.
    bool scrollNotes(int rows);
    // The end of the last note at the right edge.
    void scrollToEnd();

    Fl_Font labelFont() const { return labelFont_; }
    void setLabelFont(Fl_Font font);
    void setClickCallback(ClickCallback callback) { clickCallback_ = std::move(callback); }
    // Called whenever the pointer moves over the widget, enters or leaves it.
    void setPointerCallback(PointerCallback callback) { pointerCallback_ = std::move(callback); }

    // ---- Geometry and drawing (ScoreTapeView.cpp, ScoreTapeDraw.cpp) ----
    void draw() override;
    void resize(int x, int y, int w, int h) override;
    // Geometry of the board, usable without a display: the renderer's for the widget's area,
    // the note name column and the zoomed sizes.
    tw::BoardLayout layout() const;
    // Left edge of the grid: right of the note name column while that is shown.
    int boardX() const { return x() + (display_.noteNames ? display_.metrics.noteColumnWidth : 0); }
    // The strip above the grid that holds the frame labels is one row high.
    int labelStripHeight() const { return int(board_.rowHeight); }

    // ---- View options: zoom, note names, pointer (ScoreTapeZoom.cpp) ----
    const tw::BoardMetrics &metrics() const { return display_.metrics; }
    double displayScale() const { return display_.scale; }
    int zoomStep() const { return board_.zoomStep; }
    bool noteNamesShown() const { return display_.noteNames; }
    bool followsPlayback() const { return display_.follow; }
    bool crosshair() const { return display_.crosshair; }
    // The zoom's 100 %; keeps the zoom step.
    void setDisplayScale(double scale);
    // Changes the zoom so that the tick and note under (eventX, eventY) stay there; a point
    // off the grid keeps the view's centre instead.
    void zoomAt(int step, int eventX, int eventY);
    // Zooms around the pointer while it is on the grid, otherwise around the view's centre.
    void zoomTo(int step);
    void setNoteNamesShown(bool on);
    void setFollowPlayback(bool on) { display_.follow = on; }
    // The pointer becomes a crosshair over the board (a click is armed).
    void setCrosshair(bool on);
    // The tick and note under the pointer; false when it is not over the grid.
    bool pointerCell(unsigned &tick, unsigned &note) const;

    // ---- The playhead (ScoreTapePlayhead.cpp) ----
    // Shows the playhead at `tick` (redrawn when it moves by a pixel) and, while the view
    // follows playback, pages the view along.
    void showPlayhead(double tick);
    void hidePlayhead();
    // The tick that the playhead shows, or false when there is none.
    bool playheadTick(double &tick) const;
    // The left column of the playhead line at `tick`.
    int playheadX(double tick) const;

    // ---- Pointer input (ScoreTapeInput.cpp) ----
    // Presses and releases on the grid go to the click callback; elsewhere they do nothing.
    int handle(int event) override;
    ClickPosition clickPosition(int eventX, int eventY, int eventState) const;

    // ---- Dragging (ScoreTapeInput.cpp) ----
    // A press, motion with a button held, or release, as a drag sees it: the pixel and the
    // cell (ticks before 0 and notes outside 0..127 off the board), whether it lies in the right
    // half of its tick column, the modifier and button state, and whether it is on the grid.
    struct DragEvent {
        int event = 0; // FL_PUSH, FL_DRAG or FL_RELEASE
        tw::NoteDrag::Point point;
        bool rightHalf = false;
        int state = 0;
        bool onGrid = false;
    };
    // Sees presses, motions and releases first; true when it took the event (a push it takes
    // goes to no click callback).
    using DragCallback = std::function<bool(const DragEvent &)>;
    void setDragCallback(DragCallback callback) { dragCallback_ = std::move(callback); }
    DragEvent dragEvent(int event, int eventX, int eventY, int eventState) const;
    // The pointer over the board while no click is armed: what a press would drag.
    enum class PointerShape { normal, move, resize };
    void setPointerShape(PointerShape shape);
    // A dotted rectangle around the cells of ticks [tick0, tick1] and notes [note0, note1]
    // (a drag that selects); `on` false removes it.
    void setSelectionRectangle(bool on, long long tick0 = 0, long long tick1 = 0, int note0 = 0,
                               int note1 = 0);

    // ---- A take being recorded (ScoreTapeDraw.cpp) ----
    // Notes shown as outlines over the board, not part of the melody (a take while it is
    // played in); an empty list removes them.
    void setTakeNotes(std::vector<TapeNote> notes);
    const std::vector<TapeNote> &takeNotes() const { return take_; }
    // The part of the cells of ticks [tick0, tick1] and notes [note0, note1] that the grid
    // shows, in window pixels; false when none of it is shown.
    bool cellBox(long long tick0, long long tick1, int note0, int note1, Rect &box) const;

private:
    // Sizes from the display scale and the zoom step; the visible area follows.
    void applyZoom();
    void updateVisibleArea(int w, int h);
    void drawNoteColumn();
    void drawPlayhead();
    // Pointer motion, entering and leaving; true when the event was one of those.
    bool trackPointer(int event);
    // The cursor for the pointer's place: crosshair while a click is armed, else the shape.
    void showCursor();
    void drawSelectionRectangle();
    void drawTake();
    // What large edits left raw in the undo history is compressed a step at a time by a timer
    // while the editor waits for input; started by any change of the melody.
    static constexpr double compressPause = 0.05; // seconds between steps
    void compressLater();
    static void compressTimer(void *data);

    ScoreModel model_;
    BoardView board_;
    tw::TapeDisplay display_;
    std::optional<double> playhead_;
    ClickCallback clickCallback_;
    PointerCallback pointerCallback_;
    Fl_Font labelFont_ = 0;
    DragCallback dragCallback_;
    bool compressing_ = false; // the compression timer is set
    PointerShape pointerShape_ = PointerShape::normal;
    struct SelectionRectangle {
        bool on = false;
        long long tick0 = 0, tick1 = 0;
        int note0 = 0, note1 = 0;
    } rectangle_;
    std::vector<TapeNote> take_;
};

} // namespace tw
