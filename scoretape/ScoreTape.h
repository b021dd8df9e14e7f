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
#include "scoremodel/ScoreModel.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Widget.H>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class Flt_ScoreTape : public Fl_Widget, public tw::ScoreModel {
public:
    // Receives pointer pushes and releases: (tick, note, modifier and button state, push).
    using ClickCallback = std::function<void(unsigned tick, unsigned note, int state, bool push)>;

    // Values that the tape's geometry fixes.
    static constexpr int labelStrip = 11;    // pixels above the grid
    static constexpr int labelFontSize = 10; // size of the row and frame labels

    // A rectangle in widget coordinates (absolute, like FLTK's).
    struct Rect {
        int x = 0, y = 0, w = 0, h = 0;
        friend bool operator==(const Rect &a, const Rect &b) {
            return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
        }
    };
    // One frame number along the top: drawn with its text base line at (x, y).
    struct FrameLabel {
        int x = 0, y = 0;
        unsigned number = 0;
        Fl_Color colour = FL_BLACK;
    };
    // What a press or release at a pointer position means on the board.
    struct ClickPosition {
        unsigned tick = 0;
        unsigned note = 0;
        int state = 0;
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

    // Geometry of the board, usable without a display.
    bool isRowShown(unsigned note) const;
    int rowIndex(unsigned note) const; // from the top; only for shown rows
    int rowLineY(unsigned note) const;
    int gridHeight() const { return int(visibleRows_ * rowHeight_); }
    int gridWidth() const { return int(visibleTicks_ * tickWidth_); }
    int tickLineX(unsigned column) const { return x() + int(column * tickWidth_); }
    // The bar of a note, clipped to the shown ticks; false when the note is not drawn.
    bool noteRect(const TapeNote &note, Rect &rect) const;
    Rect markerRect(unsigned tick) const;
    std::vector<FrameLabel> frameLabels() const;
    Fl_Color noteColour(const TapeNote &note) const;

    // ---- Pointer input (ScoreTapeInput.cpp) ----
    int handle(int event) override;
    ClickPosition clickPosition(int eventX, int eventY, int eventState) const;

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
    // nothing of the tape while the GUI thread changes it.
    static void playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track, NoxmidiSnd *port,
                          double secondsPerTick);

protected:
    void modelChanged() override { redraw(); }

private:
    void computeChannelColours();

    unsigned rowHeight_ = 11;
    unsigned tickWidth_ = 8;
    ClickCallback clickCallback_;
    Fl_Font labelFont_ = 0;
    Fl_Color channelColours_[16] = {};
    Fl_Color selectedChannelColours_[16] = {};
    NoxssThread player_;
    NoxmidiSnd *output_ = nullptr; // not owned
    double timeScale_ = 1.0;
};
