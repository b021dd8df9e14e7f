#!/usr/bin/env bash
# With "Edit/Drag notes" on, the left button drags as in a piano roll: a drag on empty board
# draws a note as long as the drag, a drag on a note moves it, a drag from its last tick changes
# its length, Shift and a drag select a rectangle, Escape cancels a drag, and a press that moves
# less than four pixels stays the click it was. Each drag is one undo step. With the toggle off,
# Ctrl and a drag moves a note. The melody is read back from the clipboard (Ctrl+A, Ctrl+C).
source "$(dirname "$0")/settings_lib.bash"

# drag_cells FROM_TICK FROM_NOTE TO_TICK TO_NOTE [MODIFIER]: press, move in steps, release.
drag_cells() {
    local x0 y0 x1 y1
    x0=$(cell_x "$1") y0=$(cell_y "$2") x1=$(cell_x "$3") y1=$(cell_y "$4")
    focus_main
    xdotool mousemove --sync "$x0" "$y0"
    [ -n "${5:-}" ] && xdotool keydown "$5"
    xdotool mousedown 1
    for step in 1 2 3 4; do
        xdotool mousemove --sync $((x0 + (x1 - x0) * step / 4)) $((y0 + (y1 - y0) * step / 4))
        sleep 0.05
    done
    xdotool mouseup 1
    [ -n "${5:-}" ] && xdotool keyup "$5"
    sleep 0.3
}
# expect_notes WHAT LINES: Ctrl+A, Ctrl+C and the clipboard's notes, ";" between the lines.
expect_notes() {
    local got
    press ctrl+a ctrl+c
    got=$(clipboard_notes | paste -sd ';')
    press Escape
    [ "$got" = "$2" ] || fail "$CASE: $1: the clipboard holds \"$got\", expected \"$2\""
}

prefs_write <<<"dragNotes:1"
editor_start || finish

CASE="a drag on empty board draws a note as long as the drag"
drag_cells 10 60 15 60
expect_notes "the drawn note" "60 10 6 0"

CASE="a drag on a note moves it by ticks and rows"
drag_cells 12 60 22 63
expect_notes "the moved note" "63 20 6 0"

CASE="a drag from a note's last tick changes its length"
drag_cells 25 63 29 63
expect_notes "the longer note" "63 20 10 0"

CASE="a press without a drag is today's click"
click_cell 40 50
expect_notes "the clicked note" "63 20 10 0;50 40 4 0"

CASE="Escape cancels a drag"
x=$(cell_x 41) y=$(cell_y 50)
focus_main
xdotool mousemove --sync "$x" "$y" mousedown 1
xdotool mousemove --sync $((x + 20)) $((y - 30))
sleep 0.2
xdotool mousemove --sync $((x + 40)) $((y - 50))
xdotool key Escape
sleep 0.2
xdotool mouseup 1
sleep 0.3
expect_notes "after the cancelled drag" "63 20 10 0;50 40 4 0"

CASE="Shift and a drag select the notes in the rectangle"
drag_cells 35 45 45 55 shift
press ctrl+c
got=$(clipboard_notes | paste -sd ';')
[ "$got" = "50 40 4 0" ] || fail "$CASE: the selection copied is \"$got\""
press Escape

CASE="each drag is one undo step"
press ctrl+z
expect_notes "after one undo (the click)" "63 20 10 0"
press ctrl+z
expect_notes "after two (the resize)" "63 20 6 0"
press ctrl+z
expect_notes "after three (the move)" "60 10 6 0"

press q
wait_exit || fail "$CASE: the editor did not end with q"
prefs_changed
[ "$(pref dragNotes)" = 1 ] || fail "the toggle was not kept: dragNotes is \"$(pref dragNotes)\""

CASE="with the toggle off, Ctrl and a drag move a note"
prefs_write <<<"dragNotes:0"
rm -rf "$RECOVERY_DIR" # q kept the unsaved melody: no question about it at this start
editor_start || finish
click_cell 10 60
drag_cells 11 60 20 62 ctrl
expect_notes "the note moved" "62 19 4 0"
drag_cells 30 60 36 60
expect_notes "a plain drag is a click" "62 19 4 0;60 30 4 0"
finish
