#!/usr/bin/env bash
# The editor ended from outside keeps the newest unsaved work: for each of SIGTERM, SIGHUP and a
# killed X server, a person copies the melody, adds notes and scrolls the board by a row, and the editor is ended
# right after the last change, before its recovery file and its settings would have been written
# a few seconds later. The recovery file then holds the newest notes, not the older ones it held
# just before; after a signal the settings file holds the newest bottom row too.
#
# The killed X server is one of this script's own, so that killing it disturbs no other test.
source "$(dirname "$0")/editor_lib.bash"

song="$HOME/music/three.mid"
make_midi "$song" 60 64 67 || die "cannot write the sample file"
SHARED_DISPLAY=$DISPLAY

# Starts an X server of this script's own and points DISPLAY at it; sets OWN_X_PID.
own_x_start() {
    local dispfile n=""
    dispfile=$(mktemp "$WORK/display.XXXXXX") || return 1
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dispfile" >/dev/null 2>&1 &
    OWN_X_PID=$!
    EXTRA_PIDS+=("$OWN_X_PID")
    wait_for '[ -s "$dispfile" ] || ! kill -0 "$OWN_X_PID" 2>/dev/null' 200
    n=$(head -n 1 "$dispfile")
    [ -n "$n" ] || return 1
    OWN_X_NUMBER=$n
    export DISPLAY=":$n"
}
# Kills that server hard, and removes the socket (and lock file, where it keeps one) that it
# leaves behind.
own_x_kill() {
    local lock="/tmp/.X$OWN_X_NUMBER-lock"
    kill -KILL "$OWN_X_PID" 2>/dev/null
    wait "$OWN_X_PID" 2>/dev/null
    if [ ! -e "$lock" ] || [ "$(tr -d ' ' 2>/dev/null <"$lock")" = "$OWN_X_PID" ]; then
        rm -f "$lock" "/tmp/.X11-unix/X$OWN_X_NUMBER"
    fi
}

# The notes of the running editor's recovery file (empty while it has none).
kept_tones() {
    local file
    file=$(recovery_of "$EDITOR_PID")
    [ -n "$file" ] && recovery_tones "$file"
}

# end_case HOW: HOW is TERM, HUP (the signal sent) or X (the X server killed).
end_case() {
    local how=$1 tick=20 note=74 expected="60 64 67 72" status=0 tries pid file
    CASE="ended by $how"
    export DISPLAY=$SHARED_DISPLAY
    rm -rf "$HOME/.fltk" "$RECOVERY_DIR" # a first start, with no work kept
    BOTTOM_NOTE=43
    : >"$WORK/editor.log"
    if [ "$how" = X ]; then
        own_x_start || {
            fail "$CASE: no X server of its own"
            return
        }
    fi
    editor_start "$song" || return
    pid=$EDITOR_PID
    # A copy first: the clipboard then has X connections of its own, on threads of its own.
    press ctrl+a ctrl+c Escape
    click_cell 10 72
    wait_for '[ "$(kept_tones)" = "$expected" ]' 200 ||
        fail "$CASE: the older work was never kept: \"$(kept_tones)\""

    # The newest changes: one row scrolled (a setting), then a note; the note drawn on the
    # scrolled board shows that both have been taken.
    press Page_Up
    BOTTOM_NOTE=44
    for tries in 1 2 3 4; do
        click_cell "$tick" "$note"
        expected="$expected $note"
        wait_for '[ "$(cell_colour "$tick" "$note")" = "$NOTE_BLUE" ]' 100 ||
            fail "$CASE: the note $note was not drawn"
        # On a very slow machine the delayed write can come first: then one more note.
        [ "$(kept_tones)" != "$expected" ] && break
        echo "note: $CASE: the delayed write came first (try $tries)"
        tick=$((tick + 10)) note=$((note + 2))
    done
    [ "$(pref bottomNote)" = 44 ] && echo "note: $CASE: the settings were written before the end"

    case "$how" in
    TERM | HUP)
        kill -s "$how" "$EDITOR_PID"
        wait_exit 300 || fail "$CASE: the editor did not end within 30 s"
        [ "$(pref bottomNote)" = 44 ] ||
            fail "$CASE: the settings file holds bottomNote \"$(pref bottomNote)\", expected 44"
        ;;
    X)
        EXTRA_PIDS+=("$pid") # stopped at the end should it outlive its X server
        own_x_kill
        wait_for '! editor_running' 300 || fail "$CASE: the editor did not end within 30 s"
        wait "$pid" 2>/dev/null || status=$?
        EDITOR_PID=""
        [ "$status" = 1 ] || fail "$CASE: the editor exited with status $status, expected 1"
        # Said once: only the GUI thread writes the state, the clipboard's threads wait for it.
        [ "$(grep -c "connection to the X server was lost" "$WORK/editor.log")" = 1 ] ||
            fail "$CASE: not said once: $(head -c 2000 "$WORK/editor.log")"
        check_editor_log
        ;;
    esac
    file=$(recovery_of "$pid")
    if [ -z "$file" ]; then
        fail "$CASE: no recovery file was kept"
    else
        [ "$(recovery_tones "$file")" = "$expected" ] ||
            fail "$CASE: the recovery file holds \"$(recovery_tones "$file")\", expected \"$expected\""
    fi
}

for how in TERM HUP X; do
    end_case "$how"
done
finish
