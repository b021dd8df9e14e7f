// The melody of the score tape without any display: the notes with their selection, the
// markers, the edits, undo and redo, and the conversion to and from MIDI tracks and files. The
// part of the tape in view is a BoardView beside it; the few operations that bring what they
// found into view take it as an argument.
//
// Whatever changes what the board would show is reported through the change callback; the
// widget maps it to a redraw. Threads: every operation is called on the GUI thread.
#pragma once

#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"
#include "notes/RowColours.h"
#include "notes/TapeNote.h"
#include "scoremodel/BeatGrid.h"
#include "scoremodel/BoardView.h"
#include "scoremodel/TapeFixes.h"
#include "scoremodel/UndoHistory.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tw {

struct Instrument;

class ScoreModel {
public:
    static constexpr unsigned noBound = lastTick; // toTrack: no upper tick bound

    // What a playout or a copy takes: or-ed together.
    enum PlayFlags : unsigned {
        playShownChannels = 1,  // only the channels in the channel mask
        playSelected = 2,       // only the selected notes
        playFromPlayMarker = 4, // from the green marker instead of the first tick
        playLoop = 8,           // between the red and purple markers, over and over
    };

    ScoreModel();
    ScoreModel(const ScoreModel &) = delete;
    ScoreModel &operator=(const ScoreModel &) = delete;
    // Takes over what a drawing or an export of `other` shows: the notes with their selection,
    // the markers, row colours, channel mask, programs and ticks per frame; no undo history
    // and no change callback (a worker's own copy).
    void copyShownFrom(const ScoreModel &other);

    // ---- State ----
    unsigned ticksPerFrame() const { return ticksPerFrame_; }
    unsigned leftMarker() const { return markers_.first; }
    unsigned rightMarker() const { return markers_.second; }
    unsigned playMarker() const { return playMarker_; }
    const std::set<unsigned> &sectionMarkers() const { return sectionMarkers_; }
    unsigned short channelMask() const { return channelMask_; }
    const std::vector<TapeNote> &notes() const { return notes_; }
    const RowColours &rowColours() const { return rowColours_; }
    unsigned program(unsigned channel) const { return channel < 16 ? programs_[channel] : 0; }
    std::vector<int> programs() const;
    // Channel 0..15, program 0..127; anything else is ignored.
    void setProgram(unsigned channel, unsigned program);
    bool dataChanged() const { return dataChanged_; }
    void setDataChanged(bool changed) { dataChanged_ = changed; }
    // Called whenever what the board shows has changed.
    void setChangeCallback(std::function<void()> callback) { changed_ = std::move(callback); }

    bool isChannelShown(const TapeNote &note) const {
        return note.channel < 16 && (channelMask_ >> note.channel) & 1u;
    }
    bool isSelectedAndShown(const TapeNote &note) const;
    // The one gate for single notes: validates, refuses duplicates, keeps the order by start.
    bool addNote(TapeNote note);

    // ---- Markers and what is shown (ScoreModel.cpp) ----
    void setTicksPerFrame(unsigned ticks);
    unsigned endTick() const;
    void setPlayMarker(unsigned tick);
    // Places the red marker and brings it into `view`.
    void setLeftMarker(unsigned tick, BoardView &view);
    void setRightMarker(unsigned tick);
    void toggleSectionMarker(unsigned tick);
    void clearSectionMarkers();
    void setRowColours(const RowColours &colours);
    void setChannelMask(unsigned short mask);
    // Storage indexes [first, last) of the notes that may overlap the ticks `view` shows.
    std::pair<std::size_t, std::size_t> candidateNotes(const BoardView &view) const;
    // Storage indexes [first, last) of the notes that may overlap ticks [from, to): a binary
    // search with the longest note length as the look-back.
    std::pair<std::size_t, std::size_t> candidateNotes(uint64_t from, uint64_t to) const;

    // ---- Selection (ScoreModelSelect.cpp) ----
    void selectAll();
    void unselectAll();
    void invertSelection();
    void selectBetweenMarkers();
    void selectFrom(unsigned tick);
    void setSelected(unsigned index, bool on);
    bool toggleSelectionAt(unsigned tick, unsigned note);
    unsigned selectLoudest(unsigned percent);
    // Selects the notes the row colours mark special and scrolls `view` to the first.
    unsigned selectSpecialNotes(BoardView &view);
    std::vector<TapeNote> selectedNotes() const;

    // ---- Edits (ScoreModelEdit.cpp) ----
    bool insertNote(const TapeNote &note);
    bool removeNotesAt(unsigned tick, unsigned note);
    unsigned changeNoteLength(unsigned tick, unsigned note, unsigned channel,
                              std::optional<std::size_t> *index);
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
    // The same, taking the list over instead of copying it (a melody just imported).
    void setNotes(std::vector<TapeNote> &&list);
    std::vector<std::reference_wrapper<TapeNote>> notesAt(unsigned tick, unsigned note);

    // ---- Fixed-note instruments (ScoreModelInstrument.cpp) ----
    // The notes a fit looks at: the selected shown notes, or every shown note when none is.
    std::vector<TapeNote> notesToFit() const;
    // Moves those notes by `shift` semitones and, with `octaves`, the ones the instrument cannot
    // play then by whole octaves where that makes them playable: one edit; the selection stays.
    // False when no note changed.
    bool fitToInstrument(const Instrument &instrument, int shift, bool octaves);
    // Selects the shown notes that start too soon after the end of the previous note of their
    // key for the instrument at the current ticks per frame (or, when it gives a hole spacing,
    // too soon after that note's start), scrolls the first into `view` and returns how many
    // there are.
    unsigned selectNotesTooClose(const Instrument &instrument, BoardView &view);
    // Mends the shown notes too close to repeat with the chosen ways as one edit (nothing to
    // undo when nothing changed); returns what it did (ScoreModelFix.cpp).
    FixCounts fixNotesTooClose(const RepeatRule &rule, const std::bitset<128> &playable,
                               const FixChoice &choice);
    // Shortens every rest longer than `seconds` (at the ticks per frame; 0 to
    // maxRestSecondsLimit) to that length as one edit; returns how many rests became shorter.
    unsigned shortenRests(double seconds);

    // ---- Beat grid and time scaling (ScoreModelTime.cpp) ----
    const BeatGrid &beatGrid() const { return beatGrid_; }
    // Refuses a grid whose values are out of range; false then.
    bool setBeatGrid(const BeatGrid &grid);
    // A tick snapped to the grid at the current ticks per frame (itself while snap is off).
    unsigned snapDown(unsigned tick) const { return beatGrid_.snapDown(tick, ticksPerFrame_); }
    unsigned snapNearest(unsigned tick) const {
        return beatGrid_.snapNearest(tick, ticksPerFrame_);
    }
    // The ticks from the first start to the last end of the notes scaleTime changes: the
    // selected shown notes, or every shown note when none is selected.
    uint64_t scaleTimeSpan() const;
    // The end of the melody after scaleTime(factor), or 0 when it would refuse the factor.
    unsigned endTickAfterScale(double factor) const;
    // Stretches (factor > 1) or squeezes those notes in time around the red marker, as
    // scaleNoteTimes does: one edit. False when nothing changed or the factor is refused.
    bool scaleTime(double factor);

    // ---- A drag's preview (ScoreModelTime.cpp) ----
    // Shows `list` as the melody without recording it or marking it as edited.
    void previewNotes(std::vector<TapeNote> list);
    // Puts `original` back and records `final` as one edit (nothing when they hold the same
    // notes). True when it was recorded.
    bool endPreview(std::vector<TapeNote> original, std::vector<TapeNote> final);
    // Something the board draws beside the melody changed (a drag's rectangle).
    void viewChanged() { modelChanged(); }

    // ---- Undo and redo (ScoreModelUndo.cpp) ----
    bool undo();
    bool redo();
    const UndoHistory &undoHistory() const { return history_; }
    // Every snapshot decoded, oldest first (a copy each: for tests).
    std::vector<std::vector<TapeNote>> undoSnapshots() const { return history_.snapshots(); }
    unsigned undoPosition() const { return unsigned(history_.position()); }
    // Compresses up to `bytes` of what large edits left raw in the undo history, for idle
    // time; true while some may be left.
    bool compressUndoHistory(std::size_t bytes) {
        history_.compressPending(bytes);
        return history_.mayHoldRaw();
    }
    bool undoHistoryMayHoldRaw() const { return history_.mayHoldRaw(); }

    // ---- Melody and MIDI tracks (ScoreModelMidi.cpp) ----
    NoxmidiTrk toTrack(unsigned from, unsigned to, unsigned channelMask, bool selectedOnly) const;
    NoxmidiTrk toTrack() const { return toTrack(0, noBound, 0xFFFF, false); }
    // One pass of a loop over ticks [from, to) (ScoreModelTime.cpp): the notes that start
    // there, as toTrack chooses them, timed from `from` (the first delta is the silence before
    // the first note) and ended at `to` at the latest, so that no note sounds into the next
    // pass. Empty when from >= to or no note is chosen.
    NoxmidiTrk loopTrack(unsigned from, unsigned to, unsigned channelMask, bool selectedOnly) const;
    void fromTrack(const NoxmidiTrk &track, double secondsPerMidiTick);
    int readMidiFile(const char *path);
    // The melody of a read file's first track, as readMidiFile takes it.
    void loadMidiFile(const MidiFile &file);
    // The same from a checked file, whose bytes go as their notes are made; it is left cleared.
    void loadMidiFile(CheckedMidiFile &&file);
    // Saves the melody as a format-0 file through the safe writer: 0, errCannotOpen or
    // errWrite, with the writer's code and words in *status when given.
    int writeMidiFile(const char *path, SafeFileStatus *status = nullptr,
                      const SafeFileOptions &options = SafeFileOptions());

private:
    void modelChanged() {
        if (changed_)
            changed_();
    }

    // The longest note length, kept for drawing; recomputed after an edit.
    unsigned longestNote() const;

    unsigned ticksPerFrame_ = 32;
    std::pair<unsigned, unsigned> markers_{0, 0}; // red left, purple right
    unsigned playMarker_ = 0;
    std::set<unsigned> sectionMarkers_;
    unsigned short channelMask_ = 0xFFFF;
    std::vector<TapeNote> notes_;
    bool dataChanged_ = false;
    RowColours rowColours_;
    std::array<uint8_t, 16> programs_{};
    BeatGrid beatGrid_;
    std::function<void()> changed_;

    // The notes that scaleTime changes (see scaleTimeSpan).
    bool scalesNote(const TapeNote &note, bool anySelected) const;
    bool anySelectedShown() const;
    // Undo history: snapshots, and a snapshot withdrawn when an edit turned out to change nothing.
    bool pushUndo();
    void popUndo();
    bool sameAsLastSnapshot() const;
    void sortNotes();

    // Marks the melody as edited: sets dataChanged and reports the change.
    void melodyEdited();
    // Replaces the melody (setNotes) and forgets what was derived from it.
    void replaceNotes(std::vector<TapeNote> &&list);
    // setNotes for a list that the model may take over.
    void takeNotes(std::vector<TapeNote> &&list);
    // Runs one recorded edit: a snapshot first, withdrawn when `change` reports that nothing
    // changed; otherwise the melody is marked as edited. A `narrow` change reports every note
    // it touches itself (touchNotes); any other counts as touching the whole melody.
    void recordEdit(const std::function<bool()> &change, bool narrow = false);
    // Notes [first, last) of the melody are about to change (first == last: notes are about
    // to be inserted there). What the history compares on the next snapshot is only what lies
    // between the first and the last note touched since the melody was last exchanged with it.
    void touchNotes(std::size_t first, std::size_t last);
    // Any note may change.
    void touchAllNotes() { untouched_ = {}; }
    // The melody and the history hold the same notes.
    void notesExchanged() { untouched_ = {UndoHistory::allNotes, UndoHistory::allNotes}; }
    // insertTime without the limits of an int.
    void insertTimeBy(unsigned tick, long long ticks);
    // Shifts the start of every note that `pick` accepts by delta ticks. A note whose start
    // or end would leave 0..2^32-1 stays where it is. Keeps the order by start. Returns the
    // number of notes moved.
    template <class Pick> unsigned shiftStarts(long long delta, Pick pick);
    // Adds the notes of `list` moved by delta ticks (those that stay within the tick range);
    // true when at least one came in.
    bool addShifted(const std::vector<TapeNote> &list, long long delta);
    // Storage index of the first note whose start is greater than tick.
    std::size_t upperBound(unsigned tick) const;

    UndoHistory history_;
    // The notes at the front and the back untouched since the last exchange with history_.
    UndoHistory::Unchanged untouched_;
    // Derived from the melody for drawing; 0 = to be recomputed.
    mutable unsigned longestNote_ = 0;
};

} // namespace tw
