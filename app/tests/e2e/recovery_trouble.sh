#!/usr/bin/env bash
# Recovery when things go wrong: a recovery folder that cannot be made tells the user once and
# makes q ask "Data changed - save?"; a FIFO and a damaged file among the recovery files neither
# hang the start nor get a lock file, and are named; a save in place (onto a hard-linked file)
# killed midway leaves a kept copy that the next start offers and puts back byte for byte.
source "$(dirname "$0")/editor_lib.bash"

answer() {
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool key "$2"
}

CASE="the recovery folder cannot be made"
song="$HOME/music/three.mid"
make_midi "$song" 60 64 67 || die "cannot write the sample file"
mkdir -p "$XDG_STATE_HOME"
echo "not a folder" >"$RECOVERY_DIR" # root too cannot make a folder where a file is
editor_start "$song" || finish
click_cell 10 72
d=$(wait_dialog) || fail "$CASE: no message that the work cannot be kept"
[ -n "${d:-}" ] && answer "$d" Return
wait_for no_dialog 50 || fail "$CASE: the message stayed open"
press q
d=$(wait_dialog) || fail "$CASE: q left without asking"
[ -n "${d:-}" ] && answer "$d" Escape # Cancel: the editor stays
wait_for no_dialog 50 || fail "$CASE: the question stayed open"
editor_running || fail "$CASE: Cancel ended the editor"
click_cell 12 74
sleep 3
no_dialog || fail "$CASE: the message was shown a second time"
press q
d=$(wait_dialog) || fail "$CASE: q left without asking the second time"
[ -n "${d:-}" ] && answer "$d" Return # Yes: saved, then the editor ends
wait_exit || fail "$CASE: the editor did not end after saving"
[ "$(midi_notes "$song")" = "60 64 67 72 74" ] || fail "$CASE: mido reads \"$(midi_notes "$song")\""
rm -f "$RECOVERY_DIR"

CASE="a FIFO and a damaged file among the recovery files"
mkdir -p "$RECOVERY_DIR"
mkfifo "$RECOVERY_DIR/editor-1-1.recovery"
echo "damaged" >"$RECOVERY_DIR/editor-2-2.recovery"
: >"$WORK/editor.log"
editor_start || finish
sleep 1
no_dialog || fail "$CASE: a question about files that cannot be read"
grep -q "cannot be read" "$WORK/editor.log" || fail "$CASE: nothing said: $(cat "$WORK/editor.log")"
for id in editor-1-1 editor-2-2; do
    grep -q "$id.recovery" "$WORK/editor.log" || fail "$CASE: $id is not named"
    [ -e "$RECOVERY_DIR/$id.lock" ] && fail "$CASE: $id got a lock file"
done
[ -p "$RECOVERY_DIR/editor-1-1.recovery" ] || fail "$CASE: the FIFO was touched"
press q
wait_exit || fail "$CASE: the editor did not end with q"
rm -f "$RECOVERY_DIR"/editor-[12]-*

CASE="a save in place killed midway"
# 64 MB of old content behind two names, and 72 MB of new content to save onto it.
big() {
    "$PY" - "$1" "$2" "$3" <<'PYEOF'
import struct, sys
path, size, fill = sys.argv[1], int(sys.argv[2]) << 20, sys.argv[3].encode()
text = fill * (size // len(fill))
length = len(text)
vlq = []
while True:
    vlq.insert(0, (length & 0x7F) | (0x80 if vlq else 0))
    length >>= 7
    if not length:
        break
track = bytes([0, 0xFF, 0x01]) + bytes(vlq) + text + bytes([0, 0x90, 60, 100, 96, 0x80, 60, 0, 0, 0xFF, 0x2F, 0])
with open(path, "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(track)) + track)
PYEOF
}
big "$HOME/music/old.mid" 64 "old " || die "cannot write the old file"
cp "$HOME/music/old.mid" "$WORK/pristine.mid"
ln "$HOME/music/old.mid" "$HOME/music/other-name.mid"
big "$WORK/new.mid" 72 "new!" || die "cannot write the new file"
"$TW_BIN_DIR/smfinfo" --copy "$WORK/new.mid" "$HOME/music/old.mid" >/dev/null 2>&1 &
saver=$!
killed=0
for _ in $(seq 1 20000); do
    if compgen -G "$RECOVERY_DIR/*.kept" >/dev/null; then
        kill -KILL "$saver" 2>/dev/null && killed=1
        break
    fi
    kill -0 "$saver" 2>/dev/null || break
done
wait "$saver" 2>/dev/null
if [ "$killed" = 1 ] && compgen -G "$RECOVERY_DIR/*.kept" >/dev/null; then
    editor_start || finish
    d=$(wait_dialog) || fail "$CASE: the next start offers nothing"
    [ "$(window_name "${d:-0}")" = "Restore unsaved work" ] ||
        fail "$CASE: the question is \"$(window_name "${d:-0}")\""
    [ -n "${d:-}" ] && answer "$d" Return
    wait_for no_dialog 100 || fail "$CASE: the question stayed open"
    cmp -s "$WORK/pristine.mid" "$HOME/music/other-name.mid" || fail "$CASE: the old content is not back"
    compgen -G "$RECOVERY_DIR/*.kept" >/dev/null && fail "$CASE: the kept copy stayed"
    press q
    wait_exit || fail "$CASE: the editor did not end with q"
else
    # Killed too late to catch the copy: the whole new file must be there.
    cmp -s "$WORK/new.mid" "$HOME/music/other-name.mid" ||
        cmp -s "$WORK/pristine.mid" "$HOME/music/other-name.mid" ||
        fail "$CASE: neither the old nor the new file is there"
    echo "note: the save ended before its kept copy was seen"
fi
finish
