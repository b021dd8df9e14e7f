#!/usr/bin/env bash
# Unsaved work survives a killed editor: a person opens a file, adds a note and the editor is
# killed (kill -9). A second editor that ran beside it all along keeps its own recovery file and
# is never offered the first one's. The next editor started asks "Restore unsaved work"; Return
# brings the melody back as unsaved work under its file name, and Ctrl+S saves it (read back
# with mido and smfinfo). `q` with unsaved changes keeps them for the next start.
source "$(dirname "$0")/editor_lib.bash"

QUESTION="Restore unsaved work"
# answer KEY: the key into the question box.
answer() {
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key "$1"
}

CASE="the first editor keeps its work"
song="$HOME/music/three.mid"
make_midi "$song" 60 64 67 || die "cannot write the sample file"
editor_start "$song" || finish
first_pid=$EDITOR_PID
first_window=$MAIN_WINDOW
EXTRA_PIDS+=("$first_pid")
click_cell 10 72
wait_for '[ -n "$(recovery_of "$first_pid")" ]' 100 || fail "$CASE: no recovery file after 10 s"
first_file=$(recovery_of "$first_pid")
[ "$(recovery_tones "$first_file")" = "60 64 67 72" ] ||
    fail "$CASE: the recovery file holds \"$(recovery_tones "$first_file")\""

CASE="a second editor beside it"
# On a file of its own: without one it would open the last file, which the first editor's
# settings already name.
make_midi "$HOME/music/empty.mid" || die "cannot write the empty file"
editor_start "$HOME/music/empty.mid" || finish
second_pid=$EDITOR_PID
sleep 1
no_dialog || fail "$CASE: the second editor asked about the running editor's work"
click_cell 20 50
wait_for '[ -n "$(recovery_of "$second_pid")" ]' 100 || fail "$CASE: no recovery file after 10 s"
[ "$(recovery_tones "$(recovery_of "$second_pid")")" = "50" ] ||
    fail "$CASE: its recovery file holds \"$(recovery_tones "$(recovery_of "$second_pid")")\""
[ "$(recovery_count)" = 2 ] || fail "$CASE: $(recovery_count) recovery files, expected 2"
second_window=$MAIN_WINDOW
# Both windows open at the same place: the second one moves aside.
xdotool windowmove --sync "$second_window" 600 300

CASE="kill -9 and restore"
kill -KILL "$first_pid"
wait "$first_pid" 2>/dev/null
[ -f "$first_file" ] || fail "$CASE: the killed editor's recovery file is gone"
EXTRA_PIDS+=("$second_pid")
editor_start || finish
d=$(wait_dialog) || fail "$CASE: no question at the start"
[ "$(window_name "$d")" = "$QUESTION" ] || fail "$CASE: the question is titled \"$(window_name "$d")\""
answer Return
wait_for no_dialog 50 || fail "$CASE: the question stayed open"
sleep 1
no_dialog || fail "$CASE: a second question (the running editor's work) was asked"
expect_title "$TITLE - three.mid"
expect_cell 10 72 "$NOTE_BLUE" "the restored note"
[ -f "$first_file" ] && fail "$CASE: the restored recovery file is still there"
[ -n "$(recovery_of "$EDITOR_PID")" ] || fail "$CASE: the restoring editor keeps no recovery file"
[ "$(midi_notes "$song")" = "60 64 67" ] || fail "$CASE: the file changed before saving"
press ctrl+s
no_dialog || fail "$CASE: saving shows a dialog"
[ "$(midi_notes "$song")" = "60 64 67 72" ] || fail "$CASE: mido reads \"$(midi_notes "$song")\""
[ "$(smf_tones "$song")" = "60 64 67 72" ] || fail "$CASE: smfinfo lists \"$(smf_tones "$song")\""
wait_for '[ -z "$(recovery_of "$EDITOR_PID")" ]' 30 || fail "$CASE: the recovery file stayed after saving"
press q
wait_exit || fail "$CASE: the editor did not end with q"

CASE="q keeps unsaved work"
EDITOR_PID=$second_pid
MAIN_WINDOW=$second_window
main_geometry
click_cell 30 52
press q
wait_exit || fail "$CASE: the editor did not end with q"
second_file=$(recovery_files)
[ "$(recovery_tones "$second_file")" = "50 52" ] ||
    fail "$CASE: the kept file holds \"$(recovery_tones "$second_file")\""
ls "$RECOVERY_DIR"/*.lock >/dev/null 2>&1 || fail "$CASE: the lock file beside the kept work is gone"

CASE="Escape leaves the work for later"
editor_start || finish
d=$(wait_dialog) || fail "$CASE: no question at the start"
answer Escape
wait_for no_dialog 50 || fail "$CASE: the question stayed open"
[ -f "$second_file" ] || fail "$CASE: the work is gone"
expect_cell 20 50 "$BOARD_WHITE" "nothing restored"
press q
wait_exit || fail "$CASE: the editor did not end with q"

CASE="the question comes before a file given at the start, Later then opens it"
other="$HOME/music/other.mid"
make_midi "$other" 70 || die "cannot write the sample file"
editor_start "$other" || finish
d=$(wait_dialog) || fail "$CASE: no question at the start"
expect_cell 0 70 "$BOARD_WHITE" "the file opened before the question was answered"
answer Escape
wait_for no_dialog 50 || fail "$CASE: the question stayed open"
wait_for '[ "$(title)" = "$TITLE - other.mid" ]' 50 || fail "$CASE: title \"$(title)\""
expect_cell 0 70 "$NOTE_BLUE" "the given file's note"
[ -f "$second_file" ] || fail "$CASE: the work is gone"
finish
