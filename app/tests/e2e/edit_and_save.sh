#!/usr/bin/env bash
# A person opens a MIDI file given on the command line, inserts a note with the mouse, saves with
# Ctrl+S and leaves with "q": the title names the file, the note shows on the board where it was
# clicked, and the saved file holds it (read back with smfinfo and with mido).
source "$(dirname "$0")/editor_lib.bash"

CASE="open, insert, save"
song="$HOME/music/three.mid"
make_midi "$song" 60 64 67 || die "cannot write the sample file"
editor_start "$song" || finish
expect_title "$TITLE - three.mid"

# 120 MIDI ticks at 240 per beat and 120 bpm last 0.25 s: two tape ticks at 8 ticks per frame.
expect_cell 0 60 "$NOTE_BLUE" "the file's first note"
expect_cell 3 64 "$NOTE_BLUE" "the file's second note"
expect_cell 10 72 "$BOARD_WHITE" "empty board before the click"
click_cell 10 72
expect_cell 10 72 "$NOTE_BLUE" "the inserted note"
expect_cell 13 72 "$NOTE_BLUE" "the inserted note's last tick (length 4)"
expect_cell 14 72 "$BOARD_WHITE" "after the inserted note"
expect_title "$TITLE - three.mid"

press ctrl+s
no_dialog || fail "$CASE: saving under the current name shows a dialog"
[ "$(midi_notes "$song")" = "60 64 67 72" ] || fail "$CASE: mido reads \"$(midi_notes "$song")\""
[ "$(smf_tones "$song")" = "60 64 67 72" ] || fail "$CASE: smfinfo lists \"$(smf_tones "$song")\""

CASE="a second click removes the note"
click_cell 10 72
expect_cell 10 72 "$BOARD_WHITE" "the removed note"

CASE="q leaves without a question"
press q
wait_exit || fail "$CASE: the editor is still running"
[ "$(pref fname)" = "$song" ] || fail "$CASE: fname is \"$(pref fname)\""
[ "$(midi_notes "$song")" = "60 64 67 72" ] || fail "$CASE: the unsaved removal reached the file"
finish
