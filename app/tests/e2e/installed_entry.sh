#!/usr/bin/env bash
# The installed program as the desktop entry starts it: the entry's command, found on the PATH
# of the installation, goes through the launcher of make run (which says what it does about sound)
# and opens the file given.
source "$(dirname "$0")/editor_lib.bash"

BUILD_DIR=$(cd "$TW_BIN_DIR/.." && pwd)
STAGE="$WORK/stage"
PREFIX=/opt/tapeworks2
if ! DESTDIR="$STAGE" cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$WORK/install.log" 2>&1; then
    die "cmake --install failed: $(tail -n 5 "$WORK/install.log")"
fi
ROOT="$STAGE$PREFIX"
ENTRY="$ROOT/share/applications/tapeworks2.desktop"

CASE="the installed files"
for f in bin/tapeworks2 libexec/tapeworks2/run-editor libexec/tapeworks2/tapeworks2; do
    [ -x "$ROOT/$f" ] || fail "$CASE: $f is missing or cannot run"
done
[ -f "$ENTRY" ] || fail "$CASE: no desktop entry"

CASE="the desktop entry starts the editor through the launcher"
song="$HOME/music/song.mid"
make_midi "$song" 60 || die "cannot write the sample file"
exec_line=$(sed -n 's/^Exec=//p' "$ENTRY")
command=${exec_line%% *}
program=$(PATH="$ROOT/bin:$PATH" command -v "$command") || fail "$CASE: \"$command\" is not on the PATH"
[ "$program" = "$ROOT/bin/tapeworks2" ] || fail "$CASE: the entry runs $program"
# Started like editor_start does, but through the entry's command with the file for %f.
"$program" "$song" >>"$WORK/editor.log" 2>&1 &
RUNNER_PID=$!
EXTRA_PIDS+=("$RUNNER_PID")
wait_for 'EDITOR_PID=$(pgrep -P "$RUNNER_PID" -x tapeworks2)' 100 ||
    fail "$CASE: no editor below the launcher; output: $(head -c 2000 "$WORK/editor.log")"
wait_for 'MAIN_WINDOW=$(window_named "$TITLE - song.mid")' 200 ||
    fail "$CASE: no window titled \"$TITLE - song.mid\""
grep -q '^run-editor: ' "$WORK/editor.log" ||
    fail "$CASE: the launcher did not speak; output: $(head -c 2000 "$WORK/editor.log")"
if [ -n "$MAIN_WINDOW" ]; then
    main_geometry
    press q
    wait_for '! kill -0 "$RUNNER_PID" 2>/dev/null' 100 || fail "$CASE: the launcher did not end with q"
    status=0
    wait "$RUNNER_PID" || status=$?
    [ "$status" = 0 ] || fail "$CASE: the installed program ended with status $status"
    EDITOR_PID=""
fi
finish
