#!/usr/bin/env bash
# "File/Save As..." and Ctrl+S without a current file ask for a name in the file dialog; a name
# whose extension is not exactly ".mid" gets ".mid" appended; the title follows the saved file.
source "$(dirname "$0")/editor_lib.bash"

# save_in_dialog NAME [CURRENT]: types a name into the open file dialog and confirms it. The
# dialog's name field starts with the current file's path, or with the folder and a "/"; like a
# person, the test erases the current file's name and types after the folder. The dialog
# completes names as they are typed; Delete drops a completion left selected after the last key.
save_in_dialog() {
    local d erase=()
    if ! d=$(wait_dialog); then
        fail "$CASE: no file dialog appeared"
        return 1
    fi
    [ "$(window_name "$d")" = "Save MIDI file" ] || fail "$CASE: the dialog is \"$(window_name "$d")\""
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key End
    local current=${2:-}
    for _ in $(seq 1 ${#current}); do erase+=(BackSpace); done
    [ ${#erase[@]} -gt 0 ] && xdotool key --delay 60 "${erase[@]}"
    xdotool type --delay 60 "$1"
    xdotool key --delay 100 Delete Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the file dialog stayed open"
    sleep 0.3
}

# The dialog opens in the editor's working folder.
cd "$HOME/music" || die "no music folder"
editor_start || finish
click_cell 3 62

CASE="Ctrl+S without a file asks for a name"
press ctrl+s
save_in_dialog tune
[ -f "$HOME/music/tune.mid" ] || fail "$CASE: tune.mid was not written"
expect_title "$TITLE - tune.mid"
[ "$(midi_notes "$HOME/music/tune.mid")" = "62" ] || fail "$CASE: the file holds the wrong notes"

CASE="Save As with tune.MID writes tune.MID.mid"
menu_pick 0 5
save_in_dialog tune.MID tune.mid
[ -f "$HOME/music/tune.MID.mid" ] || fail "$CASE: tune.MID.mid was not written"
[ -e "$HOME/music/tune.MID" ] && fail "$CASE: tune.MID was written"
expect_title "$TITLE - tune.MID.mid"

CASE="Save As with a dot only in a folder name"
mkdir -p "$HOME/music/music.old"
menu_pick 0 5
save_in_dialog music.old/tune tune.MID.mid
[ -f "$HOME/music/music.old/tune.mid" ] || fail "$CASE: music.old/tune.mid was not written"
expect_title "$TITLE - tune.mid"

CASE="Save As with tune.mid keeps the name"
menu_pick 0 5
save_in_dialog other.mid music.old/tune.mid
[ -f "$HOME/music/other.mid" ] || fail "$CASE: other.mid was not written"
[ -e "$HOME/music/other.mid.mid" ] && fail "$CASE: other.mid.mid was written"
expect_title "$TITLE - other.mid"

CASE="cancelling the dialog changes nothing"
click_cell 8 64
menu_pick 0 5
d=$(wait_dialog) || fail "$CASE: no file dialog"
xdotool key Escape
wait_for "! editor_dialogs | grep -qx '$d'" 50 || fail "$CASE: the file dialog stayed open"
expect_title "$TITLE - other.mid"
[ "$(midi_notes "$HOME/music/other.mid")" = "62" ] || fail "$CASE: other.mid changed"
press q
wait_exit || fail "the editor is still running"
finish
