#!/usr/bin/env bash
# A preferences file edited by hand into garbage (huge and negative numbers, text where numbers
# belong, very long strings, keys missing or given twice, binary noise) never crashes the editor,
# and the file it writes at exit holds every entry once, with a usable value.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

# run_garbage NAME: the preferences come from standard input. Whatever message boxes the start
# shows are closed; the editor must then end normally with q.
run_garbage() {
    CASE=$1
    prefs_reset
    prefs_write
    editor_start || return 1
    close_any_dialogs >/dev/null
    main_geometry
    ((WW >= 208 && WW <= 16392 && WH >= 208 && WH <= 16392)) ||
        fail "$CASE: window size ${WW}x$WH"
    editor_quit
}

# Every entry that the editor writes at exit: present once and within its range.
expect_sane_file() {
    local c
    expect_in_range bottomNote 0 127
    expect_in_range marker1 0 2147483647
    expect_in_range marker2 0 2147483647
    local m1 m2
    pref_get marker1 && m1=$PREF && pref_get marker2 && m2=$PREF &&
        [[ "$m1" =~ ^[0-9]{1,10}$ && "$m2" =~ ^[0-9]{1,10}$ ]] && ((m1 > m2)) &&
        fail "$CASE: the left marker $m1 lies after the right marker $m2"
    expect_in_range midiChan 0 15
    expect_in_range playNote 0 1
    expect_in_range TicksPerFrame 2 200
    for c in $(seq 0 15); do
        expect_in_range "MIDIpgms$c" 0 127
    done
    prefs_load
    [ "${PREF_COUNT[.|fname]:-0}" = 1 ] || fail "$CASE: \"fname\" appears ${PREF_COUNT[.|fname]:-0} times"
    expect_in_range w 200 16384 ./posize
    expect_in_range h 200 16384 ./posize
    expect_in_range x -16384 16384 ./posize
    expect_in_range y -16384 16384 ./posize
}

long_text() { head -c "$1" /dev/zero | tr '\0' "$2"; }

run_garbage "huge numbers" <<EOF
bottomNote:99999999999
marker1:4294967295
marker2:99999999999999999999
midiChan:2147483647
noteIndic:2147483648
playNote:99999999999
TicksPerFrame:4294967297
MIDIpgms0:99999999999
MIDIpgms1:4294967296
MIDIpgms2:2147483647
MIDIpgms3:3
MIDIpgms4:4
MIDIpgms5:5
MIDIpgms6:6
MIDIpgms7:7
MIDIpgms8:8
MIDIpgms9:9
MIDIpgms10:10
MIDIpgms11:11
MIDIpgms12:12
MIDIpgms13:13
MIDIpgms14:14
MIDIpgms15:15

[./posize]

x:99999999999
y:2147483647
w:99999999999
h:2147483647
EOF
expect_sane_file

run_garbage "negative numbers" <<EOF
bottomNote:-1
marker1:-5
marker2:-2147483648
midiChan:-1
noteIndic:-1
playNote:-1
TicksPerFrame:-2147483648
MIDIpgms0:-1
MIDIpgms1:-128
MIDIpgms2:-2147483648
MIDIpgms3:3
MIDIpgms4:4
MIDIpgms5:5
MIDIpgms6:6
MIDIpgms7:7
MIDIpgms8:8
MIDIpgms9:9
MIDIpgms10:10
MIDIpgms11:11
MIDIpgms12:12
MIDIpgms13:13
MIDIpgms14:14
MIDIpgms15:15

[./posize]

x:-300
y:-2147483648
w:-600
h:-1
EOF
expect_sane_file

# Text where numbers belong, a file name of 20000 characters (in FLTK's continuation lines), a
# port name of 5000 characters on one line, and an empty value.
text_and_long_strings() {
    printf 'bottomNote:many\nmarker1:12abc\nmarker2:\nmidiChan:three\nnoteIndic:piano\n'
    printf 'playNote:yes\nTicksPerFrame:8.5e3\n'
    printf 'fname:%s\n' "$WORK/$(long_text 50 n)"
    local line
    line=$(long_text 80 n)
    for _ in $(seq 1 250); do printf '+%s\n' "$line"; done
    printf 'midiPort:%s\n' "$(long_text 5000 p)"
    printf '\n[./posize]\n\nx:left\ny:\nw:wide\nh:%s\n' "$(long_text 3000 9)"
}
run_garbage "text and very long strings" < <(text_and_long_strings)
expect_sane_file
expect_pref fname ""
expect_no_pref midiPort

# Keys missing, keys given twice (the last one counts), a line without a colon, an unknown group.
run_garbage "missing and duplicate keys" <<EOF
bottomNote:50
bottomNote:60
marker2:30
marker2:20
no colon on this line
TicksPerFrame:12
TicksPerFrame:12

[./junk]

bottomNote:70

[./posize]

w:640
w:700
EOF
expect_sane_file
expect_pref bottomNote 60
expect_pref marker1 0
expect_pref marker2 20
expect_pref TicksPerFrame 12
expect_pref midiChan 0
expect_pref playNote 0
expect_programs 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15
# The last "w" counts and is written back as it was read.
expect_pref w 700 ./posize

# Binary noise instead of a preferences file.
CASE="binary noise"
prefs_reset
mkdir -p "$(dirname "$PREFS")"
"$PY" -c 'import random, sys; r = random.Random(7); sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(20000)))' >"$PREFS"
prefs_changed
if editor_start; then
    close_any_dialogs >/dev/null
    editor_quit
fi
expect_sane_file

finish
