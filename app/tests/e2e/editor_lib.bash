# Shared steps of the editor's end-to-end tests (sourced, not run on its own).
#
# A test starts the real editor with HOME in a temporary folder on an X server of its own and
# drives it as a person would: keys and clicks through xdotool (XTEST), menu picks by clicking the
# menu bar and walking the menu with the cursor keys. It checks what a person sees or gets: window
# titles, screen pixels, the files written.
#
# Usage: source it with the build's bin folder as $1 or in TW_BIN_DIR. Set E2E_NEEDS_JACK=1
# before sourcing for a private JACK server too. Every wait is bounded; everything started here
# is stopped on every path.
set -uo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$E2E_DIR/../../.." && pwd)
PY=/usr/bin/python3

if [ -n "${1:-}" ]; then
    export TW_BIN_DIR="$1"
fi
: "${TW_BIN_DIR:?the build bin folder is needed as the first argument or in TW_BIN_DIR}"
TW_BIN_DIR=$(cd "$TW_BIN_DIR" && pwd) || exit 1
export TW_BIN_DIR

# A private X server (and JACK server when asked for): run the calling script again inside the
# test environment.
if [ -z "${TW_E2E_PRIVATE_ENV:-}" ]; then
    export TW_E2E_PRIVATE_ENV=1
    if [ "${E2E_NEEDS_JACK:-0}" = 1 ]; then
        exec "$SOURCE_DIR/scripts/test-env.sh" bash "$0" "$@"
    else
        TW_NO_JACK=1 exec "$SOURCE_DIR/scripts/test-env.sh" bash "$0" "$@"
    fi
fi

TW_BIN="$TW_BIN_DIR/tapeworks2"
# The program's title and preferences names, written by the build beside its bin folder.
IDENTITY="$TW_BIN_DIR/../identity.env"
if [ ! -r "$IDENTITY" ]; then
    echo "ERROR: no $IDENTITY (configure the build with cmake)" >&2
    exit 1
fi
# shellcheck source=/dev/null
source "$IDENTITY"
TITLE="$TW_TITLE"
MENU_HEIGHT=25
ROW_HEIGHT=11
TICK_WIDTH=8
FAILURES=0
EDITOR_PID=""
MAIN_WINDOW=""
EXTRA_PIDS=()

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}
die() {
    echo "ERROR: $*" >&2
    exit 1
}

[ -x "$TW_BIN" ] || die "no editor at $TW_BIN"
[ -n "${DISPLAY:-}" ] || die "no X display"
for tool in xdotool xprop import; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tw-app-e2e.XXXXXX") || die "no temporary folder"
export HOME="$WORK/home"
# Unsaved work is kept here (the editor's recovery files).
export XDG_STATE_HOME="$HOME/.local/state"
RECOVERY_DIR="$XDG_STATE_HOME/tapeworks2"
mkdir -p "$HOME/music"
PREFS="$HOME/.fltk/$TW_VENDOR/$TW_APPLICATION.prefs"

stop_pid() {
    local pid=$1
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    fi
    [ -n "$pid" ] && wait "$pid" 2>/dev/null
}
cleanup() {
    stop_pid "$EDITOR_PID"
    local p
    for p in "${EXTRA_PIDS[@]}"; do
        stop_pid "$p"
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Ends the script: the number of failures decides the status.
finish() {
    if editor_running; then
        press q
        wait_exit || fail "the editor did not end with q"
    fi
    check_editor_log
    if [ "$FAILURES" -gt 0 ]; then
        echo "$FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

# --- windows ----------------------------------------------------------------------------------

window_name() {
    xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p'
}
# Visible named top-level windows of the editor, one id per line (--all: the process and the
# name pattern both, not either, so that other editors' windows stay out).
editor_windows() {
    local w
    [ -n "$EDITOR_PID" ] || return 0
    for w in $(xdotool search --all --onlyvisible --pid "$EDITOR_PID" "" 2>/dev/null); do
        xprop -id "$w" WM_NAME 2>/dev/null | grep -q '=' && echo "$w"
    done
}
# Message boxes, questions and file dialogs: windows transient for another one.
editor_dialogs() {
    local w
    for w in $(editor_windows); do
        xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q 'window id' && echo "$w"
    done
}
# editor_writes_in FOLDER: the editor holds a file in FOLDER open for writing (an export writing
# its unnamed or hidden temporary beside the target; files it reads stay open read-only).
editor_writes_in() {
    local fd flags
    for fd in /proc/"$EDITOR_PID"/fd/*; do
        [[ "$(readlink "$fd" 2>/dev/null)" == "$1"/* ]] || continue
        flags=$(sed -n 's/^flags:[[:space:]]*//p' "/proc/$EDITOR_PID/fdinfo/${fd##*/}" 2>/dev/null)
        [ -n "$flags" ] && (((8#$flags & 3) != 0)) && return 0
    done
    return 1
}
# wait_for CONDITION-COMMAND [TENTHS]: polls until the command succeeds (default 10 s).
wait_for() {
    local tries=${2:-100}
    for _ in $(seq 1 "$tries"); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}
# wait_dialog: waits (at most 10 s) for a dialog of the editor and prints its id.
wait_dialog() {
    local d
    for _ in $(seq 1 100); do
        d=$(editor_dialogs | head -n 1)
        if [ -n "$d" ]; then
            sleep 0.3 # let it draw and take the focus
            echo "$d"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
no_dialog() { [ -z "$(editor_dialogs)" ]; }
# A window with exactly this name, if the editor shows one.
window_named() {
    local w
    for w in $(editor_windows); do
        [ "$(window_name "$w")" = "$1" ] && echo "$w" && return 0
    done
    return 1
}
editor_running() { [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; }
# wait_exit [TENTHS]: waits for the editor to end by itself; 1 when it is still running.
# An ending editor must exit with status 0 and without a sanitizer report.
wait_exit() {
    if wait_for '! editor_running' "${1:-100}"; then
        local status=0
        wait "$EDITOR_PID" 2>/dev/null || status=$?
        EDITOR_PID=""
        [ "$status" = 0 ] || fail "${CASE:-}: the editor exited with status $status"
        check_editor_log
        return 0
    fi
    return 1
}
# Sanitizer reports in the editor's output count as failures.
check_editor_log() {
    if grep -qE "ERROR: (Address|Leak|Thread)Sanitizer|runtime error:" "$WORK/editor.log" 2>/dev/null; then
        fail "${CASE:-}: sanitizer report: $(grep -m1 -A12 -E "Sanitizer|runtime error:" "$WORK/editor.log")"
    fi
}

# editor_start [ARGS...]: starts the editor and waits (at most 20 s) for its main window; sets
# MAIN_WINDOW and the geometry WX, WY, WW, WH of its client area.
editor_start() {
    "$TW_BIN" "$@" >>"$WORK/editor.log" 2>&1 &
    EDITOR_PID=$!
    MAIN_WINDOW=""
    local w
    for _ in $(seq 1 200); do
        for w in $(editor_windows); do
            case "$(window_name "$w")" in
            "$TITLE"*) MAIN_WINDOW=$w ;;
            esac
        done
        [ -n "$MAIN_WINDOW" ] && break
        editor_running || break
        sleep 0.1
    done
    if [ -z "$MAIN_WINDOW" ]; then
        fail "the editor window did not appear; output: $(head -c 2000 "$WORK/editor.log")"
        return 1
    fi
    sleep 0.5 # first drawing
    main_geometry
}
main_geometry() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$MAIN_WINDOW")"
    WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
}
title() { window_name "$MAIN_WINDOW"; }
expect_title() {
    local t
    t=$(title)
    [ "$t" = "$1" ] || fail "$CASE: title is \"$t\", expected \"$1\""
}

# --- input ------------------------------------------------------------------------------------

focus_main() {
    xdotool windowfocus --sync "$MAIN_WINDOW" 2>/dev/null || xdotool windowfocus "$MAIN_WINDOW"
    sleep 0.1
}
# press KEY...: key presses into the main window, as typed.
press() {
    focus_main
    xdotool key --delay 80 "$@"
    sleep 0.3
}

# The board's geometry (the tape lies below the 25-pixel menu bar): the score rows shown, the
# bottom row and the first tick as the editor has them after a first start.
BOTTOM_NOTE=43
FIRST_TICK=0
visible_rows() {
    local rows=$(((WH - MENU_HEIGHT - 15) / ROW_HEIGHT))
    ((rows > 128)) && rows=128
    echo "$rows"
}
# Screen position inside the cell of (tick, note): the middle of the tick, and above the row's
# guide line (which runs through the middle of the row) so that a pixel shows the note bar.
cell_x() { echo $((WX + ($1 - FIRST_TICK) * TICK_WIDTH + TICK_WIDTH / 2)); }
cell_y() {
    local strip=$(($(visible_rows) + BOTTOM_NOTE - $1))
    echo $((WY + MENU_HEIGHT + strip * ROW_HEIGHT + 3))
}
# click_cell TICK NOTE [BUTTON] [MODIFIERS]: a click on the board, e.g. click_cell 4 60 3 shift.
click_cell() {
    local x y
    x=$(cell_x "$1")
    y=$(cell_y "$2")
    focus_main
    xdotool mousemove --sync "$x" "$y"
    if [ -n "${4:-}" ]; then
        xdotool keydown "$4" click "${3:-1}" keyup "$4"
    else
        xdotool click "${3:-1}"
    fi
    sleep 0.3
}

# menu_pick TITLE ITEM [SUBITEM]: picks a menu item by position: TITLE counts the menu bar's
# titles from 0 (File, Select, Edit, Play, Scroll, Settings, Help), ITEM the entries of that
# menu from 0 (dividers do not count), SUBITEM the entries of a submenu.
menu_pick() {
    focus_main
    xdotool mousemove --sync $((WX + 20)) $((WY + 12)) click 1
    sleep 0.4
    local keys=()
    for _ in $(seq 1 "$1"); do keys+=(Right); done
    for _ in $(seq 0 "$2"); do keys+=(Down); done
    if [ -n "${3:-}" ]; then
        keys+=(Right)
        for _ in $(seq 1 "$3"); do keys+=(Down); done
    fi
    keys+=(Return)
    xdotool key --delay 150 "${keys[@]}"
    sleep 0.4
}

# --- what a person sees -----------------------------------------------------------------------

# pixel X Y: the screen colour there as RRGGBB (hex, lower case).
pixel() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr 'A-F' 'a-f' | head -n 1
}
cell_colour() { pixel "$(cell_x "$1")" "$(cell_y "$2")"; }
NOTE_BLUE=0000fc   # an unselected note of channel 0
MARKER_RED=ff0000  # the red left marker
BOARD_WHITE=ffffff
# expect_cell TICK NOTE COLOUR WHAT
expect_cell() {
    local c
    c=$(cell_colour "$1" "$2")
    [ "$c" = "$3" ] || fail "$CASE: $4: the board at tick $1, note $2 is #$c, expected #$3"
}

# --- files ------------------------------------------------------------------------------------

# make_midi PATH NOTE...: a format-0 file, 240 ticks per beat, one note per 120 ticks.
make_midi() {
    "$PY" - "$@" <<'PYEOF'
import sys, mido
path, notes = sys.argv[1], [int(n) for n in sys.argv[2:]]
f = mido.MidiFile(type=0, ticks_per_beat=240)
t = mido.MidiTrack()
f.tracks.append(t)
for n in notes:
    t.append(mido.Message('note_on', note=n, velocity=100, time=0))
    t.append(mido.Message('note_off', note=n, velocity=0, time=120))
f.save(path)
PYEOF
}
# midi_notes PATH: the note numbers of the file's note-ons, in order, read with mido.
midi_notes() {
    "$PY" - "$1" <<'PYEOF'
import sys, mido
f = mido.MidiFile(sys.argv[1])
print(" ".join(str(m.note) for t in f.tracks for m in t
               if m.type == 'note_on' and m.velocity > 0))
PYEOF
}
# smf_tones PATH: the note numbers of the note-ons that smfinfo --events lists.
smf_tones() {
    "$TW_BIN_DIR/smfinfo" --events "$1" 2>/dev/null | "$PY" -c '
import sys
tones = []
for line in sys.stdin:
    parts = line.rstrip("\n").split("\t")
    if len(parts) == 2 and len(parts[1]) == 6 and parts[1][0] == "9" and parts[1][4:] != "00":
        tones.append(str(int(parts[1][2:4], 16)))
print(" ".join(tones))'
}
# clipboard_notes: the notes on the clipboard in the editor's own format, one "note start
# length channel" a line, in clipboard order (after Ctrl+C in the editor).
clipboard_notes() {
    timeout 10 xclip -o -selection clipboard -t ScoreTapeFmt 2>/dev/null | "$PY" -c '
import struct, sys
data = sys.stdin.buffer.read()
for i in range(0, len(data) - len(data) % 24, 24):
    note, start, length, channel, velocity = struct.unpack_from("<5I", data, i)
    print(note, start, length, channel)'
}
# The editor's recovery files, how many there are, and the one of the editor with this pid.
recovery_files() { ls "$RECOVERY_DIR"/*.recovery 2>/dev/null; }
recovery_count() { recovery_files | wc -l; }
recovery_of() { ls "$RECOVERY_DIR"/editor-"$1"-*.recovery 2>/dev/null; }
# The notes of a recovery file: the note numbers, in melody order.
recovery_tones() {
    awk 'f && $0 != "end" { printf "%s%s", s, $3; s = " " } /^notes / { f = 1 } END { print "" }' "$1"
}
# pref KEY: the value of a root entry of the preferences file; status 1 when absent.
pref() {
    [ -f "$PREFS" ] || return 1
    awk -v k="$1" 'index($0, "[") == 1 { g = $0 } g == "[.]" && index($0, k ":") == 1 {
                       print substr($0, length(k) + 2); found = 1; exit } END { exit !found }' "$PREFS"
}
