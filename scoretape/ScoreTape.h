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
#include "midifile/MidiFile.h"
#include "notes/RowColours.h"
#include "notes/TapeNote.h"
#include "scoretape/NoteSnapshot.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Widget.H>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

class Flt_ScoreTape : public Fl_Widget {
public:
    // Receives pointer pushes and releases: (tick, note, modifier and button state, push).
    using ClickCallback = std::function<void(unsigned tick, unsigned note, int state, bool push)>;

    // Values that the tape's geometry fixes.
    static constexpr int labelStrip = 11;         // pixels above the grid
    static constexpr int labelFontSize = 10;      // size of the row and frame labels
    static constexpr unsigned noBound = lastTick; // toTrack: no upper tick bound

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
        bool onGrid = false; // false in the label strip above the grid and the margins beside it
    };

    Flt_ScoreTape(int x, int y, int w, int h, const char *label = nullptr);
    ~Flt_ScoreTape() override;
    Flt_ScoreTape(const Flt_ScoreTape &) = delete;
    Flt_ScoreTape &operator=(const Flt_ScoreTape &) = delete;

    // ---- Model (ScoreTape.cpp) ----
    unsigned ticksPerFrame() const { return ticksPerFrame_; }
    unsigned firstTick() const { return firstTick_; }
    unsigned visibleTicks() const { return visibleTicks_; }
    unsigned visibleRows() const { return visibleRows_; }
    unsigned bottomNote() const { return bottomNote_; }
    unsigned leftMarker() const { return markers_.first; }
    unsigned rightMarker() const { return markers_.second; }
    unsigned playMarker() const { return playMarker_; }
    const std::set<unsigned> &sectionMarkers() const { return sectionMarkers_; }
    unsigned short channelMask() const { return channelMask_; }
    unsigned rowHeight() const { return rowHeight_; }
    unsigned tickWidth() const { return tickWidth_; }
    const std::vector<TapeNote> &notes() const { return notes_; }
    const RowColours &rowColours() const { return rowColours_; }
    Fl_Color channelColour(unsigned channel, bool selected) const;
    unsigned program(unsigned channel) const { return channel < 16 ? programs_[channel] : 0; }
    bool dataChanged() const { return dataChanged_; }
    void setDataChanged(bool changed) { dataChanged_ = changed; }
    Fl_Font labelFont() const { return labelFont_; }
    void setLabelFont(Fl_Font font);
    void setClickCallback(ClickCallback callback) { clickCallback_ = std::move(callback); }
    double timeScale() const { return timeScale_; }
    NoxssThread &player() { return player_; }
    NoxmidiSnd *outputPort() const { return output_; }

    bool isChannelShown(const TapeNote &note) const;
    bool isSelectedAndShown(const TapeNote &note) const;
    // The one gate for single notes: validates, refuses duplicates, keeps the order by start.
    bool addNote(TapeNote note);

    // ---- View, geometry and drawing (ScoreTapeView.cpp, ScoreTapeDraw.cpp) ----
    void draw() override;
    void resize(int x, int y, int w, int h) override;
    void updateVisibleArea(int w, int h);
    void setTicksPerFrame(unsigned ticks);
    void setFirstTick(unsigned tick);
    unsigned endTick() const;
    void scrollToEnd();
    void setBottomNote(unsigned note);
    bool scrollNotes(int rows);
    void setPlayMarker(unsigned tick);
    void setLeftMarker(unsigned tick);
    void setRightMarker(unsigned tick);
    void toggleSectionMarker(unsigned tick);
    void clearSectionMarkers();
    void setRowColours(const RowColours &colours);
    void setChannelMask(unsigned short mask);

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
    // Storage indexes [first, last) of the notes that may overlap the shown ticks.
    std::pair<std::size_t, std::size_t> candidateNotes() const;

    // ---- Pointer input (ScoreTapeInput.cpp) ----
    // Presses and releases on the grid go to the click callback; elsewhere they do nothing.
    int handle(int event) override;
    ClickPosition clickPosition(int eventX, int eventY, int eventState) const;

    // ---- Selection (ScoreTapeSelect.cpp) ----
    void selectAll();
    void unselectAll();
    void invertSelection();
    void selectBetweenMarkers();
    void selectFrom(unsigned tick);
    void setSelected(unsigned index, bool on);
    bool toggleSelectionAt(unsigned tick, unsigned note);
    unsigned selectLoudest(unsigned percent);
    unsigned selectSpecialNotes();
    std::vector<TapeNote> selectedNotes() const;

    // ---- Edits (ScoreTapeEdit.cpp) ----
    bool insertNote(const TapeNote &note);
    bool removeNotesAt(unsigned tick, unsigned note);
    unsigned changeNoteLength(unsigned tick, unsigned note, unsigned channel, int *index);
    void setSelectedLength(unsigned ticks);
    void setSelectedVelocity(unsigned velocity);
    void setSelectedChannel(unsigned channel);
    void selectedNotesHigher();
    void selectedNotesLower();
    void moveSelected(int ticks);
    void removeSelected();
    void insertTime(unsigned tick, int ticks);
    void eraseRegion();
    void insertRegionLength();
    void pasteNotesWithTime(unsigned tick, const std::vector<TapeNote> &list);
    void pasteNotes(unsigned tick, const std::vector<TapeNote> &list);
    void clear();
    void setNotes(const std::vector<TapeNote> &list);
    void sortNotes();
    std::vector<std::reference_wrapper<TapeNote>> notesAt(unsigned tick, unsigned note);

    // ---- Undo and redo (ScoreTapeUndo.cpp) ----
    bool pushUndo();
    void popUndo();
    bool sameAsLastSnapshot() const;
    bool undo();
    bool redo();
    const std::vector<NoteSnapshot> &undoSnapshots() const { return undoSnapshots_; }
    unsigned undoPosition() const { return undoPosition_; }

    // ---- Playback: implemented in ScoreTapePlayback.cpp ----
    void setOutput(NoxmidiSnd *port);
    void sendPrograms();
    void setProgram(unsigned channel, unsigned program);
    void setPrograms(const std::vector<int> &values);
    std::vector<int> programs() const;
    void setSpeed(double factor);
    bool play(unsigned flags);
    bool playNoteAt(unsigned tick, unsigned note);
    // The body that the player's worker runs; not called directly. It gets the port and the
    // seconds per tick taken on the GUI thread when the playout starts, so that it reads
    // nothing of the tape while the GUI thread changes it.
    static void playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track, NoxmidiSnd *port,
                          double secondsPerTick);

    // ---- Melody and MIDI tracks (ScoreTapeMidi.cpp) ----
    NoxmidiTrk toTrack(unsigned from, unsigned to, unsigned channelMask, bool selectedOnly) const;
    NoxmidiTrk toTrack() const { return toTrack(0, noBound, 0xFFFF, false); }
    void fromTrack(const NoxmidiTrk &track, double secondsPerMidiTick);
    int readMidiFile(const char *path);
    int writeMidiFile(const char *path);

private:
    // Marks the melody as edited: sets dataChanged and redraws.
    void melodyEdited();
    // Replaces the melody (undo, redo, setNotes) and forgets what was derived from it.
    void replaceNotes(const NoteSnapshot &snapshot);
    void replaceNotes(std::vector<TapeNote> &&list);
    // setNotes for a list that the tape may take over.
    void takeNotes(std::vector<TapeNote> &&list);
    // Runs one recorded edit: a snapshot first, withdrawn when `change` reports that nothing
    // changed; otherwise the melody is marked as edited.
    void recordEdit(const std::function<bool()> &change);
    // insertTime without the limits of an int.
    void insertTimeBy(unsigned tick, long long ticks);
    // Shifts the start of every note that `pick` accepts by delta ticks. A note whose start
    // or end would leave 0..2^32-1 stays where it is. Keeps the order by start. Returns the
    // number of notes moved.
    template <class Pick> unsigned shiftStarts(long long delta, Pick pick);
    // Storage index of the first note whose start is greater than tick.
    std::size_t upperBound(unsigned tick) const;
    // The longest note length, kept for drawing; recomputed after an edit.
    unsigned longestNote() const;
    void computeChannelColours();

    unsigned rowHeight_ = 11;
    unsigned tickWidth_ = 8;
    unsigned ticksPerFrame_ = 32;
    unsigned firstTick_ = 0;
    unsigned bottomNote_ = 58;
    std::pair<unsigned, unsigned> markers_{0, 0}; // red left, purple right
    unsigned playMarker_ = 0;
    std::set<unsigned> sectionMarkers_;
    unsigned short channelMask_ = 0xFFFF;
    unsigned visibleTicks_ = 0;
    unsigned visibleRows_ = 0;
    std::vector<TapeNote> notes_;
    ClickCallback clickCallback_;
    bool dataChanged_ = false;
    Fl_Font labelFont_ = 0;
    RowColours rowColours_;
    std::array<uint8_t, 16> programs_{};
    Fl_Color channelColours_[16] = {};
    Fl_Color selectedChannelColours_[16] = {};
    std::vector<NoteSnapshot> undoSnapshots_;
    unsigned undoPosition_ = 0;
    NoxssThread player_;
    NoxmidiSnd *output_ = nullptr; // not owned
    double timeScale_ = 1.0;

    // Redo states that the last pushUndo dropped, given back by popUndo; freed by the edit.
    std::vector<NoteSnapshot> droppedRedo_;
    // Derived from the melody for drawing; 0 = to be recomputed.
    mutable unsigned longestNote_ = 0;
};
