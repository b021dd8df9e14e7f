#!/usr/bin/env bash
# With the JACK test server running, a person chooses the receiver's port under
# "Settings/Select MIDI output/" and presses Space: the melody's notes arrive at the receiver.
# The port is remembered: the next start opens it without a word.
E2E_NEEDS_JACK=1
source "$(dirname "$0")/editor_lib.bash"

command -v jack_midi_dump >/dev/null || die "jack_midi_dump is missing (jackd2 brings it)"
jack_lsp >/dev/null 2>&1 || die "no JACK server"

jack_midi_dump >"$WORK/dump.txt" 2>&1 &
EXTRA_PIDS+=($!)
wait_for 'jack_lsp 2>/dev/null | grep -q "^midi-monitor:input$"' || die "the receiver did not start"

song="$HOME/music/song.mid"
make_midi "$song" 60 64 67 || die "cannot write the sample file"
editor_start "$song" || finish

CASE="choose the port"
# Settings is the seventh title; "Select MIDI output" its second entry; "(None)" comes first.
menu_pick 6 1 1
sleep 0.5
no_dialog || fail "$CASE: a message appeared"

CASE="Space plays"
press space
# Three notes of 0.25 s each: wait for the last one's note-off (0x80 0x43).
if ! wait_for 'grep -qi "80 43" "$WORK/dump.txt"' 50; then
    fail "$CASE: the receiver did not get the last note; it got: $(head -c 600 "$WORK/dump.txt")"
fi
for n in 3c 40 43; do
    grep -qi "90 $n" "$WORK/dump.txt" || fail "$CASE: no note-on for 0x$n"
    grep -qi "80 $n" "$WORK/dump.txt" || fail "$CASE: no note-off for 0x$n"
done
no_dialog || fail "$CASE: a message appeared"

CASE="the port is remembered"
press q
wait_exit || fail "$CASE: the editor is still running"
[ "$(pref midiPort)" = "midi-monitor:input" ] || fail "$CASE: midiPort is \"$(pref midiPort)\""
: >"$WORK/dump.txt"
editor_start "$song" || finish
sleep 0.5
no_dialog || fail "$CASE: a message appeared at the start"
press ctrl+p
wait_for 'grep -qi "90 3c" "$WORK/dump.txt"' 50 || fail "$CASE: Ctrl+P played nothing"
press q
wait_exit || fail "$CASE: the editor is still running"
finish
