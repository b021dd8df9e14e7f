#!/usr/bin/env bash
# F1 shows the Help window, which Escape and its "OK" button hide; a click action armed by a key
# is carried out by the next click, and Escape drops it; the wheel scrolls the board and, with
# Ctrl, moves the red marker; a sideways motion scrolls the way it goes.
source "$(dirname "$0")/editor_lib.bash"

# marker_colour TICK NOTE: the colour of the marker strip at the left edge of the tick's column.
marker_colour() { pixel $((WX + ($1 - FIRST_TICK) * TICK_WIDTH)) "$(cell_y "$2")"; }

editor_start || finish

CASE="F1 shows the Help window"
press F1
wait_for 'window_named Help >/dev/null' || fail "$CASE: no window named Help"
help=$(window_named Help)
xdotool windowmove "$help" 700 100 # no window manager places it
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$help")"
[ "$WIDTH x $HEIGHT" = "600 x 600" ] || fail "$CASE: the Help window is $WIDTH x $HEIGHT"

CASE="Escape hides the Help window"
xdotool windowfocus --sync "$help" 2>/dev/null
xdotool key Escape
wait_for '! window_named Help >/dev/null' 50 || fail "$CASE: still shown"
editor_running || fail "$CASE: the editor ended"

CASE="OK hides the Help window, F1 shows it again"
press F1
wait_for 'window_named Help >/dev/null' || fail "$CASE: F1 did not show it again"
help=$(window_named Help)
eval "$(xdotool getwindowgeometry --shell "$help")"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 15)) click 1
wait_for '! window_named Help >/dev/null' 50 || fail "$CASE: OK did not hide it"

CASE="key 1 then a click sets the red marker"
press 1
click_cell 5 70
[ "$(marker_colour 5 70)" = "$MARKER_RED" ] || fail "$CASE: no red marker at tick 5"
expect_cell 5 70 "$BOARD_WHITE" "no note inserted by the marker click"

CASE="Escape drops a pending click action"
press 1 Escape
click_cell 9 60
expect_cell 9 60 "$NOTE_BLUE" "the click inserts a note instead"
[ "$(marker_colour 9 62)" != "$MARKER_RED" ] || fail "$CASE: the marker moved to tick 9"
[ "$(marker_colour 5 62)" = "$MARKER_RED" ] || fail "$CASE: the marker left tick 5"

CASE="the wheel scrolls by half a frame"
xdotool mousemove --sync "$(cell_x 20)" "$(cell_y 70)" click 5
sleep 0.4
FIRST_TICK=4
expect_cell 9 60 "$NOTE_BLUE" "the note after scrolling 4 ticks"
xdotool click 4
sleep 0.4
FIRST_TICK=0
expect_cell 9 60 "$NOTE_BLUE" "the note after scrolling back"

CASE="a sideways motion scrolls the way it goes"
xdotool click 7 # to the right
sleep 0.4
FIRST_TICK=4
expect_cell 9 60 "$NOTE_BLUE" "the note after a motion to the right"
xdotool click 6 # to the left
sleep 0.4
FIRST_TICK=0
expect_cell 9 60 "$NOTE_BLUE" "the note after a motion back to the left"

CASE="Ctrl+wheel moves the red marker by one tick"
xdotool keydown ctrl click 5 keyup ctrl
sleep 0.4
[ "$(marker_colour 6 70)" = "$MARKER_RED" ] || fail "$CASE: no red marker at tick 6"

CASE="t (a menu shortcut) inserts the marked region's length"
press 2
click_cell 10 70 # the purple marker at tick 10: the region is 6 to 10
press t
expect_cell 13 60 "$NOTE_BLUE" "the note moved from tick 9 by 4 ticks"
expect_cell 9 60 "$BOARD_WHITE" "the note's old place"

CASE="Ctrl+A selects, Up moves the selected notes a row higher"
press ctrl+a Up
expect_cell 13 61 5f5fff "the selected note one row higher"
expect_cell 13 60 "$BOARD_WHITE" "the note's old row"
press Escape
expect_cell 13 61 "$NOTE_BLUE" "the note after Escape unselected it"

CASE="plain keys typed in the Help window stay there"
press ctrl+a
expect_cell 13 61 5f5fff "the note selected"
press F1
wait_for 'window_named Help >/dev/null' || fail "$CASE: no Help window"
help=$(window_named Help)
for pointer in board help; do
    if [ $pointer = board ]; then
        xdotool mousemove --sync "$(cell_x 30)" "$(cell_y 70)"
    else
        eval "$(xdotool getwindowgeometry --shell "$help")"
        xdotool mousemove --sync $((X + 50)) $((Y + 50))
    fi
    xdotool windowfocus --sync "$help" 2>/dev/null
    xdotool key --delay 80 Delete space i x t Up q
    sleep 0.5
    editor_running || fail "$CASE: q there ended the editor (pointer over the $pointer)"
    window_named Help >/dev/null || fail "$CASE: the Help window went away"
    expect_cell 13 61 5f5fff "the selected note untouched (pointer over the $pointer)"
done
xdotool windowfocus --sync "$help" 2>/dev/null
xdotool key Escape
wait_for '! window_named Help >/dev/null' 50 || fail "$CASE: Escape did not hide it"
press Escape

CASE="q also closes the Help window"
press F1
wait_for 'window_named Help >/dev/null' || fail "$CASE: no Help window"
press q
wait_exit || fail "$CASE: the editor is still running"
finish
