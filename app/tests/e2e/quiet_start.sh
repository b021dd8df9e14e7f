#!/usr/bin/env bash
# A start on a machine without any MIDI system (no ALSA sequencer, no JACK server) writes at most
# one line to standard error, the editor's own, instead of the sound libraries' complaints.
source "$(dirname "$0")/editor_lib.bash"

# No JACK server by that name, none started on demand, and an ALSA configuration that knows no
# sequencer, whatever this machine offers.
export JACK_DEFAULT_SERVER="tw-none-$$" JACK_NO_START_SERVER=1
: >"$WORK/asound.conf"
export ALSA_CONFIG_PATH="$WORK/asound.conf"

CASE="start without MIDI"
: >"$WORK/editor.log"
editor_start || finish
press q
wait_exit || fail "$CASE: the editor did not end with q"
lines=$(grep -c '' "$WORK/editor.log")
if ((lines > 1)); then
    fail "$CASE: $lines lines on standard error: $(head -c 2000 "$WORK/editor.log")"
elif ((lines == 1)); then
    line=$(cat "$WORK/editor.log")
    [ "$line" = "RtMidi error no MIDI output system found" ] ||
        fail "$CASE: the line is \"$line\""
fi
finish
