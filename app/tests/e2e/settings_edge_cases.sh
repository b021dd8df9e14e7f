#!/usr/bin/env bash
# Stored settings that the editor must treat with care, each written into the preferences file by
# hand before a start of the real editor, then checked in the window and in the file it writes.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

tune="$WORK/tune.mid"
other="$WORK/other.mid"
make_midi "$tune" 72 74 76
make_midi "$other" 79 77

# run_case NAME DIALOGS [ARGS...]: the preferences come from standard input; DIALOGS message
# boxes must be shown at start (each is closed with Return); then the editor is ended with q.
# A function named check_window, when defined, runs while the window is shown.
run_case() {
    CASE=$1
    local dialogs=$2
    shift 2
    prefs_reset
    prefs_write
    editor_start "$@" || return 1
    expect_dialogs "$dialogs"
    if declare -F check_window >/dev/null; then
        check_window
        unset -f check_window
    fi
    editor_quit
}

# The colour of the guide line of NOTE with the default lowest row 43.
row_colour() {
    window_pixel 404 "$(row_y "$1" 43)"
}

# An unknown note indicator choice changes nothing: the tape keeps the piano indicators (C4 red)
# and the stored choice stays.
check_window() {
    [ "$(row_colour 60)" = ff0000 ] || fail "$CASE: the C4 row is not red (piano indicators)"
}
run_case "noteIndic 99" 0 <<<"noteIndic:99"
expect_pref noteIndic 99

# "None": every row in the same grey, C4 included.
check_window() {
    local c60 c61
    c60=$(row_colour 60)
    c61=$(row_colour 61)
    [ "$c60" = "$c61" ] && [ "$c60" != ff0000 ] && [ "$c60" != ffffff ] ||
        fail "$CASE: the C4 and C#4 rows are $c60 and $c61, not one grey (no indicators)"
}
run_case "noteIndic 0" 0 <<<"noteIndic:0"
expect_pref noteIndic 0

run_case "playNote 5" 0 <<<"playNote:5"
expect_pref playNote 1

run_case "TicksPerFrame -4" 0 <<<"TicksPerFrame:-4"
expect_pref TicksPerFrame 8

# The tape refuses 0 and keeps its own initial value.
run_case "TicksPerFrame 0" 0 <<<"TicksPerFrame:0"
expect_pref TicksPerFrame 32

run_case "TicksPerFrame 201" 0 <<<"TicksPerFrame:201"
expect_pref TicksPerFrame 32

# Seventeen programs are not applied; the exit rewrites 0 to 15 and leaves the 17th alone.
run_case "17 programs" 0 < <(for c in $(seq 0 16); do printf 'MIDIpgms%d:%d\n' "$c" $((c + 40)); done)
expect_programs 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15
expect_pref MIDIpgms16 56

# A gap ends the array: eight programs are not applied either.
run_case "programs with a gap" 0 < <(for c in 0 1 2 3 4 5 6 7 9 10 11 12 13 14 15; do
    printf 'MIDIpgms%d:%d\n' "$c" $((c + 40))
done)
expect_programs 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15

# Out-of-range programs are refused one by one; the others are applied.
run_case "programs out of range" 0 < <(for c in $(seq 0 15); do
    case $c in 2) p=128 ;; 5) p=-7 ;; *) p=$((c + 40)) ;; esac
    printf 'MIDIpgms%d:%d\n' "$c" "$p"
done)
expect_programs 40 41 2 43 44 5 46 47 48 49 50 51 52 53 54 55

run_case "midiChan 3" 0 <<<"midiChan:3"
expect_pref midiChan 3

run_case "midiChan 99" 0 <<<"midiChan:99"
expect_pref midiChan 0

run_case "midiChan -3" 0 <<<"midiChan:-3"
expect_pref midiChan 0

# One argument is opened instead of the stored file, and is stored at exit.
check_window() {
    [ "$(window_name "$MAIN_WINDOW")" = "$TITLE - tune.mid" ] ||
        fail "$CASE: title \"$(window_name "$MAIN_WINDOW")\""
}
run_case "file argument over fname" 0 "$tune" <<<"fname:$other"
expect_pref fname "$tune"

# With two arguments the stored file is opened.
check_window() {
    [ "$(window_name "$MAIN_WINDOW")" = "$TITLE - other.mid" ] ||
        fail "$CASE: title \"$(window_name "$MAIN_WINDOW")\""
}
run_case "two arguments" 0 "$tune" "$other" <<<"fname:$other"
expect_pref fname "$other"

# A stored file that cannot be read: one message, and no file name at exit.
check_window() {
    [ "$(window_name "$MAIN_WINDOW")" = "$TITLE" ] ||
        fail "$CASE: title \"$(window_name "$MAIN_WINDOW")\""
}
run_case "stored file gone" 1 <<<"fname:$WORK/gone.mid"
expect_pref fname ""

# A stored port that no longer exists: one message, and the entry is deleted.
run_case "stored port gone" 1 <<<"midiPort:Tapeworks2 test port that does not exist:0"
expect_no_pref midiPort

# Both at once: two messages, the port's first.
run_case "port and file gone" 2 <<<"midiPort:gone
fname:$WORK/gone.mid"
expect_no_pref midiPort
expect_pref fname ""

finish
