#!/usr/bin/env bash
# After a message box closes, the menu's keys still do what the menu says, with the keys typed
# as they come (no focus forced back onto the main window): Ctrl+A selects, Escape unselects
# and never closes the window, Ctrl+Z undoes, Ctrl+S saves. The box carries the program's name.
source "$(dirname "$0")/editor_lib.bash"

song="$HOME/music/song.mid"
make_midi "$song" 60 || die "cannot write the sample file"

# message_box_closed [key]: Ctrl+P without a port opens a message box; a click on its button
# closes it (with "key": Return does).
message_box_closed() {
    local d X Y WIDTH HEIGHT SCREEN WINDOW
    focus_main
    xdotool key ctrl+p
    if ! d=$(wait_dialog); then
        fail "$CASE: no message box appeared"
        return 1
    fi
    [ "$(window_name "$d")" = "Tapeworks2" ] ||
        fail "$CASE: the message box is titled \"$(window_name "$d")\""
    if [ "${1:-}" = key ]; then
        xdotool key Return
    else
        eval "$(xdotool getwindowgeometry --shell "$d")"
        xdotool mousemove --sync $((X + WIDTH - 40)) $((Y + HEIGHT - 15)) click 1
    fi
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the message box stayed open"
    sleep 0.3
}
# typed KEY...: keys as they come, without focusing the main window first.
typed() {
    xdotool key --delay 80 "$@"
    sleep 0.4
}

editor_start "$song" || finish
click_cell 4 65
click_cell 8 67

CASE="Ctrl+A after a message box"
message_box_closed
typed ctrl+a
expect_cell 8 67 5f5fff "the note selected"

CASE="Escape after a message box"
message_box_closed
typed Escape
expect_cell 8 67 "$NOTE_BLUE" "the note unselected"
sleep 0.5
editor_running || fail "$CASE: Escape ended the editor"
no_dialog || fail "$CASE: Escape opened a dialog"

CASE="Ctrl+Z after a message box"
message_box_closed
typed ctrl+z
expect_cell 8 67 "$BOARD_WHITE" "the last note undone"
expect_cell 4 65 "$NOTE_BLUE" "the first note kept"

CASE="Ctrl+S after a message box closed with Return"
message_box_closed key
typed ctrl+s
wait_for '[ "$(midi_notes "$song")" = "60 65" ]' 30 ||
    fail "$CASE: the file holds \"$(midi_notes "$song")\""

CASE="Escape with nothing to save"
typed Escape
sleep 0.5
editor_running || fail "$CASE: Escape ended the editor"
finish
