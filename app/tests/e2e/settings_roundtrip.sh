#!/usr/bin/env bash
# The editor's settings between runs, end to end: a first start writes the defaults at exit, and
# a start from a preferences file with every entry changed applies each one (window geometry,
# note indicators, file) and writes it back unchanged.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

# The lowest shown row's guide line colours for three notes: C4 (60), C#4 (61), D4 (62).
row_colours() {
    local y60 y61 y62
    y60=$(row_y 60 "$1")
    y61=$(row_y 61 "$1")
    y62=$(row_y 62 "$1")
    echo "$(window_pixel 404 "$y60") $(window_pixel 404 "$y61") $(window_pixel 404 "$y62")"
}

CASE="first start"
prefs_reset
if editor_start; then
    geometry=$(window_geometry)
    [ "$geometry" = "196 96 508 408" ] ||
        fail "$CASE: window at/size \"$geometry\", expected \"196 96 508 408\""
    name=$(window_name "$MAIN_WINDOW")
    [ "$name" = "$TITLE" ] || fail "$CASE: title \"$name\""
    # The piano's note indicators: C red, C# light grey, D black.
    read -r c60 c61 c62 <<<"$(row_colours 43)"
    [ "$c60" = ff0000 ] || fail "$CASE: the C4 row is $c60, not red (piano indicators)"
    [ "$c62" = 000000 ] || fail "$CASE: the D4 row is $c62, not black (piano indicators)"
    case "$c61" in ff0000 | 000000 | ffffff) fail "$CASE: the C#4 row is $c61, not grey" ;; esac
    editor_quit
fi
[ -f "$PREFS" ] || fail "$CASE: no preferences file was written"
expect_pref bottomNote 43
expect_pref marker1 0
expect_pref marker2 0
expect_pref midiChan 0
expect_pref noteIndic 1
expect_pref playNote 0
expect_programs 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15
expect_pref TicksPerFrame 8
expect_no_pref midiPort
expect_pref fname ""
expect_pref x 200 ./posize
expect_pref y 100 ./posize
expect_pref w 500 ./posize
expect_pref h 400 ./posize

CASE="every entry restored"
tune="$WORK/tune of the day.mid"
make_midi "$tune" 72 74 76 77 79
programs=(0 24 40 73 19 56 11 5 33 68 71 42 0 127 9 104)
prefs_reset
restore_entries() {
    printf 'bottomNote:50\nmarker1:16\nmarker2:40\nmidiChan:3\nnoteIndic:2\nplayNote:1\n'
    for c in $(seq 0 15); do printf 'MIDIpgms%d:%d\n' "$c" "${programs[$c]}"; done
    printf 'TicksPerFrame:16\nfname:%s\n\n[./posize]\n\nx:300\ny:200\nw:600\nh:500\n' "$tune"
}
prefs_write < <(restore_entries)
if editor_start; then
    geometry=$(window_geometry)
    [ "$geometry" = "296 196 608 508" ] ||
        fail "$CASE: window at/size \"$geometry\", expected \"296 196 608 508\""
    name=$(window_name "$MAIN_WINDOW")
    [ "$name" = "$TITLE - tune of the day.mid" ] || fail "$CASE: title \"$name\""
    # Deleika-26 indicators: C4 and D4 are playable (grey), C#4 is not (white).
    read -r c60 c61 c62 <<<"$(row_colours 50)"
    [ "$c61" = ffffff ] || fail "$CASE: the C#4 row is $c61, not white (Deleika-26)"
    [ "$c60" = "$c62" ] && [ "$c60" != ff0000 ] && [ "$c60" != ffffff ] ||
        fail "$CASE: the C4 and D4 rows are $c60 and $c62, not the same grey (Deleika-26)"
    editor_quit
fi
expect_pref bottomNote 50
expect_pref marker1 16
expect_pref marker2 40
expect_pref midiChan 3
expect_pref noteIndic 2
expect_pref playNote 1
expect_programs "${programs[@]}"
expect_pref TicksPerFrame 16
expect_no_pref midiPort
expect_pref fname "$tune"
# The window at (296, 196) of 608 x 508 is written back as the values it came from, so the
# next start puts it at the same place with the same size.
expect_pref x 300 ./posize
expect_pref y 200 ./posize
expect_pref w 600 ./posize
expect_pref h 500 ./posize

finish
