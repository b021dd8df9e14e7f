#!/usr/bin/env bash
# The tape export: from the command line without a display (its files, exit codes and errors)
# and from "File/Export tape..." in the running editor, for the instrument chosen there.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

M="$HOME/music"
export XDG_CONFIG_HOME="$WORK/config" # the user's instrument files
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

CASE="a true-scale tape for an instrument file"
# The shipped example: tape 140 mm wide, tracks 5 mm apart from 10 mm above the lower edge, 30 mm
# a second. Its notes in a row at a quarter second each: 7.5 mm apart along the tape.
export_cli --export "$M/true.pdf" --instrument "Example chromatic, two octaves" "$M/tune.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
pdfinfo "$M/true.pdf" | grep -q "Pages: *1$" || fail "$CASE: not one page"
pdfinfo "$M/true.pdf" | grep -q "841.89 x 595.276 pts" || fail "$CASE: not A4 landscape"
pdftoppm -r 254 -gray -f 1 -l 1 -singlefile "$M/true.pdf" "$WORK/true"
# The left ends of the dark runs along the rows 10, 15 and 20 mm above the tape's lower edge,
# which lies 10 + 14 + 140 mm below the top of the page (10 pixels a millimetre).
runs=$("$PY" - "$WORK/true.pgm" <<'PYEOF'
import sys
data = open(sys.argv[1], "rb").read()
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos+1].isspace(): pos += 1
    end = pos
    while not data[end:end+1].isspace(): end += 1
    fields.append(data[pos:end]); pos = end
pos += 1
w, h = int(fields[1]), int(fields[2])
for mm in (10, 15, 20):
    y = (10 + 14 + 140 - mm) * 10
    row = data[pos + y * w: pos + (y + 1) * w]
    starts = [x for x in range(w) if row[x] < 100 and (x == 0 or row[x - 1] >= 100)]
    print(" ".join("%.1f" % (x / 10) for x in starts) or "-")
PYEOF
)
read -r c4 cs4 d4 <<<"$(echo "$runs" | tr ' ' '_' | tr '\n' ' ')"
[ "$cs4" = "-" ] || fail "$CASE: marks on the C#4 track: $runs"
[ "$c4" != "-" ] && [ "$d4" != "-" ] || fail "$CASE: no marks on the C4 or D4 track: $runs"
"$PY" -c 'import sys; a, b = float(sys.argv[1].split("_")[0]), float(sys.argv[2].split("_")[0]); sys.exit(abs(b - a - 7.5) > 0.3)' "$c4" "$d4" ||
    fail "$CASE: C4 and D4 begin $c4 and $d4 mm from the left, not 7.5 mm apart"
cp "$(dirname "$TW_BIN")/../share/tapeworks2/instruments/chromatic-2-octaves.instrument" "$M/mine.instrument"
export_cli --export "$M/path.pdf" --instrument "$M/mine.instrument" "$M/tune.mid"
[ "$RC" = 0 ] && cmp -s <(pdftotext "$M/true.pdf" -) <(pdftotext "$M/path.pdf" -) ||
    fail "$CASE: the instrument file's path gives another tape: $RC $ERR"
echo "notes: C4" >"$M/broken.instrument"
export_cli --export "$M/x.pdf" --instrument "$M/broken.instrument" "$M/tune.mid"
[ "$RC" = 2 ] && [[ "$ERR" == *"broken.instrument, line"* ]] || fail "$CASE: a broken file: $RC $ERR"

CASE="every track when the first has no notes"
export_cli --export "$M/parts.png" --ticks-per-frame 8 "$M/parts.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
[ "$(png_size "$M/parts.png")" = "65 290" ] || fail "$CASE: size $(png_size "$M/parts.png")"

CASE="the tempo of the file"
# The tune at 60 beats a minute: half a second a note, twice as long as at 120.
"$PY" - "$M/slow.mid" <<'PYEOF'
import sys, mido
f = mido.MidiFile(type=0, ticks_per_beat=240)
t = mido.MidiTrack([mido.MetaMessage('set_tempo', tempo=1000000, time=0)])
for n in (60, 62, 64, 65, 67):
    t.append(mido.Message('note_on', note=n, velocity=100, time=0))
    t.append(mido.Message('note_off', note=n, velocity=0, time=120))
f.tracks.append(t)
f.save(sys.argv[1])
PYEOF
export_cli --export "$M/slow.png" --ticks-per-frame 8 "$M/slow.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
[ "$(png_size "$M/slow.png")" = "161 103" ] || fail "$CASE: size $(png_size "$M/slow.png")"

CASE="notes without note-offs are exported and counted"
"$PY" - "$M/nooff.mid" <<'PYEOF'
import sys, mido
f = mido.MidiFile(type=0, ticks_per_beat=96)
t = mido.MidiTrack()
for i in range(20):
    t.append(mido.Message('note_on', note=60 + i % 5, velocity=90, time=48))
f.tracks.append(t)
f.save(sys.argv[1])
PYEOF
export_cli --export "$M/nooff.png" "$M/nooff.mid"
[ "$RC" = 0 ] || fail "$CASE: exit $RC: $ERR"
[ "$(grep -c "20 notes had no note-off" "$WORK/err.txt")" = 1 ] || fail "$CASE: stderr: $ERR"

CASE="wrong usage exits with 2"
for args in "--export" "--export $M/x.jpg $M/tune.mid" "--export $M/x.png" \
    "--export $M/x.png --paper a3 $M/tune.mid" "--export $M/x.png --bogus $M/tune.mid"; do
    # shellcheck disable=SC2086
    export_cli $args
    [ "$RC" = 2 ] || fail "$CASE: \"$args\" exits with $RC"
    grep -q "usage:" "$WORK/err.txt" || fail "$CASE: \"$args\" prints no usage"
done
# An unknown name lists the instruments, and tells of the files left out for their errors.
mkdir -p "$XDG_CONFIG_HOME/tapeworks2/instruments"
printf 'name: Harp\nnotes: C4 H4\n' >"$XDG_CONFIG_HOME/tapeworks2/instruments/harp.instrument"
export_cli --export "$M/x.png" --instrument Harp "$M/tune.mid"
[ "$RC" = 2 ] || fail "$CASE: an unknown instrument exits with $RC"
[[ "$ERR" == *"harp.instrument, line 2"*"\"Example chromatic, two octaves\""* ]] ||
    fail "$CASE: the unknown instrument's message: $ERR"
rm "$XDG_CONFIG_HOME/tapeworks2/instruments/harp.instrument"

CASE="failures exit with 1 and say why"
echo "old" >"$M/kept.png"
export_cli --export "$M/kept.png" "$M/empty.mid"
[ "$RC" = 1 ] || fail "$CASE: an unreadable melody exits with $RC"
[[ "$ERR" == *"cannot read"*"empty.mid"* ]] || fail "$CASE: \"$ERR\""
[ "$(cat "$M/kept.png")" = "old" ] || fail "$CASE: the old file was changed"
export_cli --export "$M/none/tune.png" "$M/tune.mid"
[ "$RC" = 1 ] && [[ "$ERR" == *"none/"*"does not exist"* ]] || fail "$CASE: missing folder: $RC $ERR"
# A MIDI file named like the export is the file being read: it stays as it is.
cp "$M/tune.mid" "$M/in.pdf"
export_cli --export "$M/in.pdf" "$M/in.pdf"
[ "$RC" = 1 ] && [[ "$ERR" == *"is the file being read"* ]] || fail "$CASE: input as output: $RC $ERR"
cmp -s "$M/tune.mid" "$M/in.pdf" || fail "$CASE: the input was changed"
mkfifo "$M/pipe.png"
export_cli --export "$M/pipe.png" "$M/tune.mid"
[ "$RC" = 1 ] && [[ "$ERR" == *"is a FIFO"* ]] && [ -p "$M/pipe.png" ] ||
    fail "$CASE: a FIFO as target: $RC $ERR"
rm -f "$M/in.pdf" "$M/pipe.png"
export_cli --export "$M/folder.png" "$M/tune.mid"
[ "$RC" = 1 ] && [[ "$ERR" == *"folder.png"* ]] || fail "$CASE: a folder as target: $RC $ERR"
if [ "$(id -u)" != 0 ]; then
    mkdir -p "$M/locked" && chmod 555 "$M/locked"
    export_cli --export "$M/locked/tune.png" "$M/tune.mid"
    [ "$RC" = 1 ] && [[ "$ERR" == *"no permission"* ]] || fail "$CASE: read-only folder: $RC $ERR"
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
press q
wait_exit || fail "$CASE: the editor did not end with q"

# Ctrl+E, then Return in the export window: prints the window's id; 1 when none appeared.
export_ok() {
    local d
    press ctrl+e
    d=$(wait_dialog) || return 1
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Return
    echo "$d"
}

CASE="File/Export tape... for the chosen instrument file"
# The note indicators of the second instrument file: the example with a tape.
prefs_write <<<"noteIndic:4"
editor_start "$M/tune.mid" || finish
rm -f "$M/tune.pdf"
if d=$(export_ok); then
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the window stayed open"
    pdftotext "$M/tune.pdf" - 2>/dev/null | grep -q "tune.mid Example chromatic, two octaves print at 100 %" ||
        fail "$CASE: not the instrument's tape: $(pdftotext "$M/tune.pdf" - 2>&1 | head -3)"
    cmp -s <(pdftotext "$M/true.pdf" -) <(pdftotext "$M/tune.pdf" -) ||
        fail "$CASE: another tape than the command line's"
else
    fail "$CASE: no export window appeared"
fi
press q
wait_exit || fail "$CASE: the editor did not end with q"

CASE="Cancel stops a long export in the window: no file and no temporary"
# 400,000 notes: a board PDF of a few hundred pages, seconds of work.
"$PY" - "$M/long.mid" <<'PYEOF'
import struct, sys
events = bytearray()
for i in range(400000):
    note = 40 + (i * 7) % 40
    events += bytes([6 if i % 8 == 0 and i else 0]) + (b"\x90" if i == 0 else b"")
    events += bytes([note, 90, 5, note, 0])
events += b"\x00\xff\x2f\x00"
head = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96)
open(sys.argv[1], "wb").write(head + b"MTrk" + struct.pack(">I", len(events)) + events)
PYEOF
editor_start "$M/long.mid" || finish
rm -f "$M/long.pdf"
if d=$(export_ok); then
    wait_for "editor_writes_in $M" 600 || fail "$CASE: the export did not start writing"
    [ -e "$M/long.pdf" ] && fail "$CASE: the export ended before it could be cancelled"
    # While it exports the window no longer holds the editor: it is shown anew.
    d=$(wait_dialog) || fail "$CASE: no window while exporting"
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Escape
    # Cancelled, the window stays for another try; Escape again closes it.
    wait_for "! editor_writes_in $M" 300 || fail "$CASE: the export went on after Cancel"
    editor_dialogs | grep -qx "$d" || fail "$CASE: the window closed on Cancel"
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Escape
    wait_for "! editor_dialogs | grep -qx $d" 100 || fail "$CASE: the window stayed open"
    [ ! -e "$M/long.pdf" ] || fail "$CASE: a cancelled export left $M/long.pdf"
    leftovers=$(find "$M" -name '.*' -type f)
    [ -z "$leftovers" ] || fail "$CASE: temporary files left: $leftovers"
else
    fail "$CASE: no export window appeared"
fi
press q
wait_exit || fail "$CASE: the editor did not end with q"

CASE="File/Export tape... of an imported melody proposes its file's name in its folder"
prefs_write <<<"noteIndic:0"
editor_start "$M/parts.mid" || finish
if d=$(wait_dialog); then # the import window: take both tracks
    xdotool windowfocus --sync "$d" 2>/dev/null
    xdotool key Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the import window stayed open"
fi
rm -f "$M/parts.pdf"
if d=$(export_ok); then
    wait_for "! editor_dialogs | grep -qx $d" 100 || fail "$CASE: the window stayed open"
    [ "$(head -c 4 "$M/parts.pdf" 2>/dev/null)" = "%PDF" ] || fail "$CASE: no $M/parts.pdf"
else
    fail "$CASE: no export window appeared"
fi
finish
