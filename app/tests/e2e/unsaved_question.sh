#!/usr/bin/env bash
# The unsaved-changes question of "File/Exit", answered each way: "Cancel" keeps the editor and
# the Help window open, "No" leaves without saving, "Yes" saves under the current name and leaves.
# Without changes, "File/Exit" asks nothing.
source "$(dirname "$0")/editor_lib.bash"

song="$HOME/music/song.mid"
make_midi "$song" 60 || die "cannot write the sample file"

# answer_question KEYS...: waits for the question, answers it with the keys (the buttons read
# "No", "Yes" (the default) and "Cancel" from left to right; the focus starts on "Yes").
answer_question() {
    local d
    if ! d=$(wait_dialog); then
        fail "$CASE: no question appeared"
        return 1
    fi
    xdotool key --delay 150 "$@"
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the question stayed open"
}

CASE="Cancel"
editor_start "$song" || finish
click_cell 10 65
press F1
wait_for 'window_named Help >/dev/null' || fail "$CASE: no Help window"
# No window manager places it here: move it off the main window.
xdotool windowmove "$(window_named Help)" 700 100
menu_pick 0 7 # File/Exit
answer_question Escape
sleep 0.5
editor_running || fail "$CASE: the editor ended"
window_named Help >/dev/null || fail "$CASE: the Help window went away"

CASE="No"
menu_pick 0 7
answer_question shift+Tab space
wait_exit || fail "$CASE: the editor is still running"
[ "$(midi_notes "$song")" = "60" ] || fail "$CASE: the file changed: $(midi_notes "$song")"

CASE="Yes"
editor_start "$song" || finish
click_cell 10 65
menu_pick 0 7
answer_question Return
wait_exit || fail "$CASE: the editor is still running"
[ "$(midi_notes "$song")" = "60 65" ] || fail "$CASE: the file holds \"$(midi_notes "$song")\""

CASE="no changes, no question"
editor_start "$song" || finish
menu_pick 0 7
wait_exit 50 || fail "$CASE: the editor is still running"
finish
