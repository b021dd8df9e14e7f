// The score tape: a piano-roll widget that holds the melody with its view and marker state,
// draws the score board, turns mouse presses into (tick, note, state), and carries out the
// selection, edit, undo, playback and file operations on the melody.
//
// Threads: every operation is called on the GUI thread. Only playTrack runs on the playback
// worker, and it sees nothing of the melody but its own copy of the track.
// Constructing the tape and calling its operations needs no X connection; only draw() does.
#pragma once

#include "mididevice/NoxmidiSnd.h"
#include "mididevice/NoxssThread.h"
#include "scoremodel/NoteDrag.h"
#include "scoremodel/ScoreModel.h"
#include "scoretape/BoardZoom.h"
#include "scoretape/Playhead.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Widget.H>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

namespace tw {

class Flt_ScoreTape : public Fl_Widget, public tw::ScoreModel {
public:
    // Receives pointer pushes and releases: (tick, note, modifier and button state, push).
    using ClickCallback = std::function<void(unsigned tick, unsigned note, int state, bool push)>;

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

    // ---- Display state (ScoreTape.cpp) ----
    unsigned rowHeight() const { return rowHeight_; }
    unsigned tickWidth() const { return tickWidth_; }
    Fl_Color channelColour(unsigned channel, bool selected) const;
    Fl_Font labelFont() const { return labelFont_; }
    void setLabelFont(Fl_Font font);
    void setClickCallback(ClickCallback callback) { clickCallback_ = std::move(callback); }
    double timeScale() const { return timeScale_; }
    NoxssThread &player() { return player_; }
    NoxmidiSnd *outputPort() const { return output_; }

    // ---- View, geometry and drawing (ScoreTapeView.cpp, ScoreTapeDraw.cpp) ----
    void draw() override;
    void resize(int x, int y, int w, int h) override;
    void updateVisibleArea(int w, int h);

    // Geometry of the board, usable without a display: the renderer's for the widget's area,
    // the note name column and the zoomed sizes.
    tw::BoardLayout layout() const;
    bool isRowShown(unsigned note) const;
    int rowIndex(unsigned note) const; // from the top; only for shown rows
    int rowLineY(unsigned note) const;
    int gridHeight() const { return layout().gridHeight(); }
    int gridWidth() const { return layout().gridWidth(); }
    int tickLineX(unsigned column) const { return layout().tickLineX(column); }
    // The bar of a note, clipped to the shown ticks; false when the note is not drawn.
    bool noteRect(const TapeNote &note, Rect &rect) const;
    Rect markerRect(unsigned tick) const;
    std::vector<FrameLabel> frameLabels() const;
    Fl_Color noteColour(const TapeNote &note) const;

    // ---- View options: zoom, note names, playhead, pointer (ScoreTapeZoom.cpp,
    // ScoreTapePlayhead.cpp) ----
    using PointerCallback = std::function<void()>;
    // Left edge of the grid: right of the note name column while that is shown.
    int boardX() const { return x() + (view_.noteNames ? view_.metrics.noteColumnWidth : 0); }
    // The strip above the grid that holds the frame labels is one row high.
    int labelStripHeight() const { return int(rowHeight_); }
    const tw::BoardMetrics &metrics() const { return view_.metrics; }
    double displayScale() const { return view_.scale; }
    int zoomStep() const { return view_.zoomStep; }
    bool noteNamesShown() const { return view_.noteNames; }
    bool followsPlayback() const { return view_.follow; }
    bool crosshair() const { return view_.crosshair; }
    // The zoom's 100 %; keeps the zoom step.
    void setDisplayScale(double scale);
    // Changes the zoom so that the tick and note under (eventX, eventY) stay there; a point
    // off the grid keeps the view's centre instead.
    void zoomAt(int step, int eventX, int eventY);
    // Zooms around the pointer while it is on the grid, otherwise around the view's centre.
    void zoomTo(int step);
    void setNoteNamesShown(bool on);
    void setFollowPlayback(bool on) { view_.follow = on; }
    // The pointer becomes a crosshair over the board (a click is armed).
    void setCrosshair(bool on);
    // Called whenever the pointer moves over the widget, enters or leaves it.
    void setPointerCallback(PointerCallback callback) { pointerCallback_ = std::move(callback); }
    // The tick and note under the pointer; false when it is not over the grid.
    bool pointerCell(unsigned &tick, unsigned &note) const;
    // Seconds from tick 0 to `tick` at the ticks per frame and the speed.
    double secondsAt(unsigned tick) const;
    // The tick that the playhead shows, or false when there is none.
    bool playheadTick(double &tick) const;
    // The left column of the playhead line at `tick`.
    int playheadX(double tick) const;
    // One step of the playhead timer at clock reading nowMicros: follows, redraws, and hides
    // the playhead once the playout has ended (unless it is held).
    void updatePlayhead(int64_t nowMicros);
    // While recording the playhead runs on until released, past the end of the playout; with
    // nothing playing it runs from the green marker, starting at nowMicros. Releasing hides it.
    void holdPlayhead(bool on, int64_t nowMicros);
    bool playheadHeld() const { return holdPlayhead_; }
    // The clock that the playhead follows (and that recording follows too).
    const tw::PlayheadClock &playheadClock() const { return playhead_; }

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

    // ---- Playback: implemented in ScoreTapePlayback.cpp ----
    void setOutput(NoxmidiSnd *port);
    void sendPrograms();
    void setProgram(unsigned channel, unsigned program);
    void setPrograms(const std::vector<int> &values);
    void setSpeed(double factor);
    bool play(unsigned flags);
    bool playNoteAt(unsigned tick, unsigned note);
    // The body that the player's worker runs; not called directly. It gets the port and the
    // seconds per tick taken on the GUI thread when the playout starts, so that it reads
    // nothing of the tape while the GUI thread changes it, and stores the clock reading at
    // which it begins to play into `started`, the one thing that it writes.
    static void playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track, NoxmidiSnd *port,
                          double secondsPerTick, std::atomic<int64_t> &started,
                          uint64_t loopTicks = 0);

protected:
    void modelChanged() override { redraw(); }

private:
    // Sizes from the display scale and the zoom step; the visible area follows.
    void applyZoom();
    // The first tick at which play(flags) begins to sound (the first chosen note).
    unsigned firstPlayedTick(unsigned from, unsigned mask, bool selectedOnly) const;
    void startPlayhead(unsigned tick, double secondsPerTick, double loopTicks = 0);
    void stopPlayhead();
    static void playheadTimer(void *tape);
    void drawNoteColumn();
    void drawPlayhead();
    // Pointer motion, entering and leaving; true when the event was one of those.
    bool trackPointer(int event);
    // The cursor for the pointer's place: crosshair while a click is armed, else the shape.
    void showCursor();
    void drawSelectionRectangle();

    unsigned rowHeight_ = 11;
    unsigned tickWidth_ = 8;
    ClickCallback clickCallback_;
    Fl_Font labelFont_ = 0;
    NoxssThread player_;
    NoxmidiSnd *output_ = nullptr; // not owned
    double timeScale_ = 1.0;

    tw::BoardView view_;
    tw::PlayheadClock playhead_;
    bool holdPlayhead_ = false;
    PointerCallback pointerCallback_;
    DragCallback dragCallback_;
    PointerShape pointerShape_ = PointerShape::normal;
    struct SelectionRectangle {
        bool on = false;
        long long tick0 = 0, tick1 = 0;
        int note0 = 0, note1 = 0;
    } rectangle_;
};

} // namespace tw
