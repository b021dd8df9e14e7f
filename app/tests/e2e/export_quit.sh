#!/usr/bin/env bash
# Quitting the editor while the Export window exports in the background: the export is
# cancelled (no file and no temporary beside it), and the editor ends at once instead of
# waiting for the export. The unsaved-changes question still comes first.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

M="$HOME/music"
# The second instrument file, which has a tape: the PDF is the tape at true scale, which takes
# many seconds at this size however fast the board pictures get.
prefs_write <<<"noteIndic:4"
# 1,000,000 notes in chords of eight: seconds of work to export.
"$PY" - "$M/long.mid" <<'PYEOF'
import struct, sys
events = bytearray(b"\x00\x90")
for step in range(1000000 // 8):
    keys = [40 + (step * 7 + 5 * k) % 40 for k in range(8)]
    for k, n in enumerate(keys):
        events += bytes(([0] if step or k else []) + [n, 90])
    for k, n in enumerate(keys):
        events += bytes([5 if k == 0 else 0, n, 0])
events += b"\x00\xff\x2f\x00"
head = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96)
open(sys.argv[1], "wb").write(head + b"MTrk" + struct.pack(">I", len(events)) + events)
PYEOF

# Ctrl+E and Return in the export window, then waits (generously) until the export writes;
# prints the id of the export window (shown anew while it exports).
start_export() {
    local d
    press ctrl+e
    d=$(wait_dialog) || { fail "$CASE: no export window appeared"; return 1; }
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Return
    wait_for "editor_writes_in $M" 600 || { fail "$CASE: the export did not start writing"; return 1; }
    wait_for 'd=$(window_named "Export tape")' || { fail "$CASE: no export window"; return 1; }
    echo "$d"
}
# Neither the PDF nor a temporary file is left in the music folder.
expect_nothing_left() {
    [ ! -e "$M/long.pdf" ] || fail "$CASE: a cancelled export left $M/long.pdf"
    local leftovers
    leftovers=$(find "$M" -name '.*' -type f)
    [ -z "$leftovers" ] || fail "$CASE: temporary files left: $leftovers"
}

CASE="q while exporting"
editor_start "$M/long.mid" || finish
if start_export >/dev/null; then
    press q
    wait_exit 300 || fail "$CASE: the editor did not end while its export ran"
    expect_nothing_left
fi
stop_pid "$EDITOR_PID"
EDITOR_PID=""

CASE="File/Exit with unsaved changes while exporting"
# The question comes first; Cancel keeps the editor, No ends it. The export may finish while
# the question waits: then its file is complete, never a part of one.
editor_start "$M/long.mid" || finish
click_cell 2 60 # an unsaved change
if d=$(start_export); then
    # No window manager places it: move it off the main window's menu bar.
    xdotool windowmove "$d" 700 300
    menu_pick 0 7 # File/Exit
    q=""
    wait_for 'q=$(editor_dialogs | grep -vx "$d" | head -n 1); [ -n "$q" ]' ||
        fail "$CASE: no question appeared"
    xdotool key Escape # Cancel
    wait_for '! editor_dialogs | grep -qx "$q"' 50 || fail "$CASE: the question stayed open"
    editor_running || fail "$CASE: Cancel ended the editor"
    menu_pick 0 7
    q=""
    wait_for 'q=$(editor_dialogs | grep -vx "$d" | head -n 1); [ -n "$q" ]' ||
        fail "$CASE: no question appeared the second time"
    xdotool key --delay 150 shift+Tab space # No: leave without saving
    wait_exit 300 || fail "$CASE: the editor did not end"
    if [ -e "$M/long.pdf" ]; then
        pdfinfo "$M/long.pdf" >/dev/null 2>&1 || fail "$CASE: a partial $M/long.pdf was left"
    fi
    leftovers=$(find "$M" -name '.*' -type f)
    [ -z "$leftovers" ] || fail "$CASE: temporary files left: $leftovers"
fi
finish
