#!/usr/bin/env bash
# With the JACK test server running, a person chooses a keyboard under "Settings/Select MIDI
# input/", presses r ("Play/Record") and plays a phrase while the melody plays from the green
# marker; r again stops, and the phrase is in the saved file on the ticks where it was heard.
# The keyboard (midi_phrase_player) starts its phrase when the melody's first note reaches it,
# so that the times are known. The input port is remembered: after a restart it records again.
E2E_NEEDS_JACK=1
source "$(dirname "$0")/settings_lib.bash"

PLAYER="$TW_BIN_DIR/midi_phrase_player"
[ -x "$PLAYER" ] || die "no $PLAYER"
jack_lsp >/dev/null 2>&1 || die "no JACK server"

mkfifo "$WORK/keys" || die "no fifo"
"$PLAYER" e2e <"$WORK/keys" >"$WORK/player.txt" 2>&1 &
EXTRA_PIDS+=($!)
exec 3>"$WORK/keys"
wait_for 'grep -q "^ready " "$WORK/player.txt"' || die "the keyboard did not start"
read -r _ keyboard listener <"$WORK/player.txt"
play() { echo "$*" >&3; }
# recorded_notes FILE: "note start length channel" per note, on the editor's ticks (8 a second).
recorded_notes() {
    "$PY" - "$1" <<'PYEOF'
import sys, mido
t, on, notes = 0.0, {}, []
for m in mido.MidiFile(sys.argv[1]):
    t += m.time
    if m.type == 'note_on' and m.velocity > 0:
        on[(m.channel, m.note)] = t
    elif m.type in ('note_on', 'note_off') and (m.channel, m.note) in on:
        start = on.pop((m.channel, m.note))
        notes.append((m.note, round(start * 8), round((t - start) * 8), m.channel))
for n in sorted(notes, key=lambda n: (n[1], n[0])):
    print(*n)
PYEOF
}

# The editor plays into the keyboard's listening port; the melody is one note at tick 0.
prefs_write <<EOF
midiPort:$listener
EOF
song="$HOME/music/song.mid"
make_midi "$song" 60 || die "cannot write the sample file"
editor_start "$song" || finish

CASE="choose the input"
# Settings: "Select MIDI input" is its third entry; "None" comes first, then the keyboard.
menu_pick 6 2 1
no_dialog || fail "$CASE: a message appeared"

CASE="record a phrase"
# Eighth notes are two ticks at 8 ticks a frame: D, E, then a chord G+B of four ticks.
for line in "at 0 90 3e 64" "at 250 80 3e 00" "at 250 90 40 64" "at 500 80 40 00" \
    "at 500 90 43 64" "at 500 90 47 64" "at 1000 80 43 00" "at 1000 80 47 00"; do
    play "$line"
done
play cue
press r
wait_for 'grep -q "^sent 8" "$WORK/player.txt"' 100 || fail "$CASE: the phrase was not played"
sleep 0.5
press r
press ctrl+s
no_dialog || fail "$CASE: a message appeared"
expected=$'60 0 2 0\n62 0 2 0\n64 2 2 0\n67 4 4 0\n71 4 4 0'
got=$(recorded_notes "$song")
[ "$got" = "$expected" ] || fail "$CASE: the saved notes are"$'\n'"$got"$'\nexpected\n'"$expected"

CASE="the input is remembered"
press q
wait_exit || fail "$CASE: the editor is still running"
[ "$(pref midiInPort)" = "$keyboard" ] || fail "$CASE: midiInPort is \"$(pref midiInPort)\""
editor_start "$song" || finish
no_dialog || fail "$CASE: a message appeared at the start"
play "at 0 90 48 50"
play "at 250 80 48 00"
play cue
press r
wait_for '[ "$(grep -c "^sent" "$WORK/player.txt")" = 2 ]' 100 || fail "$CASE: not played"
sleep 0.5
press r
press ctrl+s
recorded_notes "$song" | grep -qx "72 0 2 0" || fail "$CASE: C5 was not recorded: $(recorded_notes "$song")"
play quit
finish
