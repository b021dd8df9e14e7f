#!/usr/bin/env bash
# A format 1 file given on the command line holds its notes in tracks after a tempo track: the
# editor opens the "Import MIDI tracks" window, Return imports the notes of every track at the
# file's tempo, and Ctrl+S asks for a new name instead of replacing the file. A whole path typed
# into the file dialog saves exactly that path, though another file's name begins with it.
source "$(dirname "$0")/editor_lib.bash"

song="$HOME/music/multi.mid"
"$PY" - "$song" <<'PYEOF' || die "cannot write the sample file"
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=96)
tempo = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=666667, time=0)])
lead = mido.MidiTrack([mido.MetaMessage('track_name', name='Lead', time=0)])
for n in (60, 62, 64):
    lead.append(mido.Message('note_on', note=n, velocity=100, time=0))
    lead.append(mido.Message('note_off', note=n, velocity=0, time=96))
bass = mido.MidiTrack([mido.Message('note_on', channel=1, note=40, velocity=90, time=48),
                       mido.Message('note_off', channel=1, note=40, velocity=0, time=192),
                       mido.Message('note_on', channel=1, note=43, velocity=90, time=0),
                       mido.Message('note_off', channel=1, note=43, velocity=0, time=96)])
f.tracks += [tempo, lead, bass]
f.save(sys.argv[1])
PYEOF
before=$(md5sum <"$song")
echo "another file" >"$HOME/music/allegro.mid"
cd "$HOME/music" || die "no music folder"

CASE="a format 1 file opens the import window"
editor_start "$song" || finish
wait_for 'window_named "Import MIDI tracks" >/dev/null' || fail "$CASE: no import window"
import_window=$(window_named "Import MIDI tracks")
expect_title "$TITLE"

CASE="Return imports every track"
xdotool windowfocus --sync "$import_window" 2>/dev/null
xdotool key Return
wait_for '! window_named "Import MIDI tracks" >/dev/null' 50 || fail "$CASE: the window stayed"
sleep 0.3
expect_title "$TITLE - multi.mid (imported)"
# 90 bpm at 8 ticks a second: the notes start at ticks 0, 3, 5, 11 and 13.
expect_cell 0 60 "$NOTE_BLUE" "the lead's first note"
expect_cell 11 64 "$NOTE_BLUE" "the lead's last note"

CASE="Ctrl+S asks for a name and leaves the file untouched"
press ctrl+s
if d=$(wait_dialog); then
    [ "$(window_name "$d")" = "Save MIDI file" ] || fail "$CASE: the dialog is \"$(window_name "$d")\""
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key --delay 60 End shift+Home BackSpace
    xdotool type --delay 60 "$HOME/music/all"
    xdotool key Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the file dialog stayed open"
    sleep 0.3
else
    fail "$CASE: no file dialog"
fi
[ "$(md5sum <"$song")" = "$before" ] || fail "$CASE: multi.mid changed"
[ "$(cat "$HOME/music/allegro.mid")" = "another file" ] || fail "$CASE: allegro.mid changed"
[ -f "$HOME/music/all.mid" ] || fail "$CASE: all.mid was not written"
[ "$(midi_notes "$HOME/music/all.mid")" = "60 40 62 64 43" ] ||
    fail "$CASE: all.mid holds \"$(midi_notes "$HOME/music/all.mid")\""
expect_title "$TITLE - all.mid"
press q
wait_exit || fail "the editor is still running"
[ "$(pref fname)" = "$HOME/music/all.mid" ] || fail "fname is \"$(pref fname)\""

CASE="Escape in the import window reads the first track"
editor_start "$song" || finish
wait_for 'window_named "Import MIDI tracks" >/dev/null' || fail "$CASE: no import window"
xdotool windowfocus --sync "$(window_named "Import MIDI tracks")" 2>/dev/null
xdotool key Escape
wait_for '! window_named "Import MIDI tracks" >/dev/null' 50 || fail "$CASE: the window stayed"
expect_title "$TITLE - multi.mid"

CASE="Ctrl+S onto the file with more tracks asks, and Return keeps the file"
click_cell 4 60
press ctrl+s
if d=$(wait_dialog); then
    [ "$(window_name "$d")" = "Question" ] || fail "$CASE: the dialog is \"$(window_name "$d")\""
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the question stayed open"
else
    fail "$CASE: no question"
fi
[ "$(md5sum <"$song")" = "$before" ] || fail "$CASE: multi.mid changed"
finish
