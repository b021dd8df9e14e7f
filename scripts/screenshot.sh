#!/usr/bin/env bash
# Takes the README's screenshot (make screenshot): the real editor on a private X server, with a
# piano piece, the piano note indicators and the note name column, playing to a MIDI receiver on
# a private JACK server, its window saved as a PNG with the playhead a few seconds in.
#   scripts/screenshot.sh [EDITOR] [MIDI-FILE] [OUTPUT]
# Defaults: build/bin/tapeworks2, docs/clementi.mid, docs/screenshot.png. EDITOR is the editor of a
# build: the build's identity.env beside its bin folder gives the window title and preferences
# names. The editor runs with HOME in a temporary folder, so the user's own settings are neither
# used nor changed.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
editor=${1:-$root/build/bin/tapeworks2}
melody=${2:-$root/docs/clementi.mid}
output=${3:-$root/docs/screenshot.png}

# A private X server and JACK server: run again under the test environment.
if [ -z "${TW_SCREENSHOT_X:-}" ]; then
    export TW_SCREENSHOT_X=1
    exec "$root/scripts/test-env.sh" "$0" "$editor" "$melody" "$output"
fi

say() { echo "screenshot: $*" >&2; }

[ -x "$editor" ] || { say "no editor at $editor (make build first)"; exit 1; }
# The program's title and preferences names, written by the build beside its bin folder.
identity=$(dirname "$editor")/../identity.env
[ -r "$identity" ] || { say "no $identity (EDITOR must be one of a build)"; exit 1; }
# shellcheck source=/dev/null
source "$identity"
[ -r "$melody" ] || { say "cannot read $melody"; exit 1; }
for tool in xdotool xprop import jack_midi_dump jack_lsp; do
    command -v "$tool" >/dev/null || { say "$tool is missing (scripts/install-deps.sh)"; exit 1; }
done
melody=$(cd "$(dirname "$melody")" && pwd)/$(basename "$melody")

work=$(mktemp -d "${TMPDIR:-/tmp}/tw-screenshot.XXXXXX") || exit 1
editor_pid=""
receiver_pid=""
cleanup() {
    [ -n "$receiver_pid" ] && kill "$receiver_pid" 2>/dev/null && wait "$receiver_pid" 2>/dev/null
    if [ -n "$editor_pid" ] && kill -0 "$editor_pid" 2>/dev/null; then
        kill -TERM "$editor_pid" 2>/dev/null
        sleep 0.5
        kill -KILL "$editor_pid" 2>/dev/null
        wait "$editor_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The editor plays to this receiver, so that the playhead moves.
jack_midi_dump >"$work/received.txt" 2>&1 &
receiver_pid=$!
for _ in $(seq 1 100); do
    jack_lsp 2>/dev/null | grep -q '^midi-monitor:input$' && break
    sleep 0.1
done
jack_lsp 2>/dev/null | grep -q '^midi-monitor:input$' || { say "the MIDI receiver did not start"; exit 1; }

# The view: rows 36 to 86 (the piece's range) with the piano's note indicators and the note
# names, 12 ticks a second, the red and purple region markers around the second phrase.
export HOME="$work/home"
export XDG_STATE_HOME="$HOME/.local/state" # no unsaved work of the user's own is offered
mkdir -p "$HOME/.fltk/$TW_VENDOR"
cat >"$HOME/.fltk/$TW_VENDOR/$TW_APPLICATION.prefs" <<EOF
; FLTK preferences file format 1.0
; vendor: $TW_VENDOR
; application: $TW_APPLICATION

[.]

bottomNote:36
marker1:48
marker2:96
noteIndic:1
TicksPerFrame:12
noteNames:1
midiPort:midi-monitor:input

[./posize]

x:4
y:4
w:960
h:600
EOF

"$editor" "$melody" >"$work/editor.log" 2>&1 &
editor_pid=$!

window=""
for _ in $(seq 1 200); do
    for w in $(xdotool search --onlyvisible --pid "$editor_pid" "" 2>/dev/null); do
        case "$(xprop -id "$w" WM_NAME 2>/dev/null)" in
        *"\"$TW_TITLE - "*) window=$w ;;
        esac
    done
    [ -n "$window" ] && break
    kill -0 "$editor_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    say "the editor window with the melody did not appear:"
    cat "$work/editor.log" >&2
    exit 1
fi

sleep 1 # let the first drawing finish
# Play all notes (Ctrl+P) and rest the pointer on a row, so that the name column and the
# menu bar tell what is under it.
xdotool windowfocus --sync "$window" >/dev/null 2>&1
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 600)) $((Y + 170)) >/dev/null 2>&1
for _ in 1 2 3; do
    : >"$work/received.txt"
    xdotool key ctrl+p >/dev/null 2>&1
    sleep 1
    grep -qi ' 90 ' "$work/received.txt" && break # a note-on arrived: it plays
done
grep -qi ' 90 ' "$work/received.txt" || say "the melody does not play; the picture has no playhead"
sleep 3.2
mkdir -p "$(dirname "$output")"
if ! import -window "$window" "$output"; then
    say "could not take the picture"
    exit 1
fi

# End the editor the way a user does: q is "File/EXIT WITHOUT ASKING!".
xdotool key --window "$window" q >/dev/null 2>&1
for _ in $(seq 1 100); do
    kill -0 "$editor_pid" 2>/dev/null || break
    sleep 0.1
done
say "wrote $output"
