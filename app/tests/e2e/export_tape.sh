#!/usr/bin/env bash
# The tape export: from the command line without a display (its files, exit codes and errors)
# and from "File/Export tape..." in the running editor.
source "$(dirname "$0")/editor_lib.bash"

M="$HOME/music"
make_midi "$M/tune.mid" 60 62 64 65 67
# A format-1 file whose first track holds only the tempo: its notes are in tracks 2 and 3.
"$PY" - "$M/parts.mid" <<'PYEOF'
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=240)
f.tracks.append(mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=500000, time=0)]))
for note in (48, 72):
    t = mido.MidiTrack()
    t.append(mido.Message('note_on', note=note, velocity=90, time=0))
    t.append(mido.Message('note_off', note=note, velocity=0, time=480))
    f.tracks.append(t)
f.save(sys.argv[1])
PYEOF
: >"$M/empty.mid"
mkdir -p "$M/folder.png"

# export ARGS...: the program without a display; sets RC and ERR (its standard error).
export_cli() {
    env -u DISPLAY "$TW_BIN" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt"
    RC=$?
    ERR=$(cat "$WORK/err.txt")
}
png_size() { "$PY" -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$1"; }

CASE="PNG of the whole melody"
export_cli --export "$M/tune.png" --ticks-per-frame 8 "$M/tune.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
# 5 notes of a quarter second at 8 ticks a second: 10 ticks, rows 60..67.
[ "$(png_size "$M/tune.png")" = "81 103" ] || fail "$CASE: size $(png_size "$M/tune.png")"

CASE="SVG and PDF, Letter paper, an instrument"
export_cli --export "$M/tune.svg" --instrument "Deleika-26" "$M/tune.mid"
[ "$RC" = 0 ] && grep -q "<svg" "$M/tune.svg" || fail "$CASE: SVG exit $RC: $ERR"
export_cli --export "$M/tune.pdf" --paper letter --instrument "88-key Piano" "$M/tune.mid"
[ "$RC" = 0 ] || fail "$CASE: PDF exit $RC: $ERR"
pdfinfo "$M/tune.pdf" | grep -q "612 pts" || fail "$CASE: not Letter landscape: $(pdfinfo "$M/tune.pdf" | grep size)"

CASE="every track when the first has no notes"
export_cli --export "$M/parts.png" --ticks-per-frame 8 "$M/parts.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
[ "$(png_size "$M/parts.png")" = "65 290" ] || fail "$CASE: size $(png_size "$M/parts.png")"

CASE="wrong usage exits with 2"
for args in "--export" "--export $M/x.jpg $M/tune.mid" "--export $M/x.png" \
    "--export $M/x.png --paper a3 $M/tune.mid" "--export $M/x.png --bogus $M/tune.mid"; do
    # shellcheck disable=SC2086
    export_cli $args
    [ "$RC" = 2 ] || fail "$CASE: \"$args\" exits with $RC"
    grep -q "usage:" "$WORK/err.txt" || fail "$CASE: \"$args\" prints no usage"
done
export_cli --export "$M/x.png" --instrument Harp "$M/tune.mid"
[ "$RC" = 2 ] || fail "$CASE: an unknown instrument exits with $RC"

CASE="failures exit with 1 and say why"
echo "old" >"$M/kept.png"
export_cli --export "$M/kept.png" "$M/empty.mid"
[ "$RC" = 1 ] || fail "$CASE: an unreadable melody exits with $RC"
[[ "$ERR" == *"cannot read"* ]] || fail "$CASE: \"$ERR\""
[ "$(cat "$M/kept.png")" = "old" ] || fail "$CASE: the old file was changed"
export_cli --export "$M/none/tune.png" "$M/tune.mid"
[ "$RC" = 1 ] && [[ "$ERR" == *"No such file or directory"* ]] || fail "$CASE: missing folder: $RC $ERR"
export_cli --export "$M/folder.png" "$M/tune.mid"
[ "$RC" = 1 ] && [[ "$ERR" == *"folder.png"* ]] || fail "$CASE: a folder as target: $RC $ERR"
if [ "$(id -u)" != 0 ]; then
    mkdir -p "$M/locked" && chmod 555 "$M/locked"
    export_cli --export "$M/locked/tune.png" "$M/tune.mid"
    [ "$RC" = 1 ] && [[ "$ERR" == *"Permission denied"* ]] || fail "$CASE: read-only folder: $RC $ERR"
    chmod 755 "$M/locked"
fi
leftovers=$(find "$M" -name '.*' -type f)
[ -z "$leftovers" ] || fail "$CASE: temporary files left: $leftovers"

CASE="File/Export tape... writes the melody's PDF"
editor_start "$M/tune.mid" || finish
rm -f "$M/tune.pdf"
press ctrl+e
if d=$(wait_dialog); then
    [ "$(window_name "$d")" = "Export tape" ] || fail "$CASE: the window is \"$(window_name "$d")\""
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the window stayed open"
    [ "$(head -c 4 "$M/tune.pdf" 2>/dev/null)" = "%PDF" ] || fail "$CASE: no PDF written"
else
    fail "$CASE: no export window appeared"
fi
finish
