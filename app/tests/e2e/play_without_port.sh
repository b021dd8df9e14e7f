#!/usr/bin/env bash
# Without any MIDI output port, Space and Ctrl+P tell the user where to choose one; the message
# box closes with Return and the editor goes on.
source "$(dirname "$0")/editor_lib.bash"

song="$HOME/music/song.mid"
make_midi "$song" 60 62 || die "cannot write the sample file"
editor_start "$song" || finish
for key in space ctrl+p; do
    CASE="$key without a port"
    press "$key"
    if d=$(wait_dialog); then
        xdotool windowfocus --sync "$d" 2>/dev/null
        xdotool key Return
        wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the message stayed open"
    else
        fail "$CASE: no message appeared"
    fi
    editor_running || fail "$CASE: the editor ended"
done
press q
wait_exit || fail "the editor is still running"
grep -q "^midiPort:" "$PREFS" && fail "a port was stored"
finish
