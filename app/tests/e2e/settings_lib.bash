# Shared steps of the settings end-to-end tests (sourced, not run on its own).
#
# Each test runs the real editor with HOME in a temporary folder on an X server of its own (so that
# screen pixels and window positions cannot be disturbed by other tests), writes the preferences
# file by hand before a start, closes the editor with its "q" key (File/EXIT WITHOUT ASKING!) and
# reads the preferences file that the editor wrote at exit.
#
# Needs TW_BIN_DIR (the build's bin folder). Every wait is bounded; everything started here is
# stopped on every path.

set -uo pipefail

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE_DIR=$(cd "$E2E_DIR/../../.." && pwd)
PY=/usr/bin/python3

# A private X server: run the calling script again under the test environment, without JACK (a
# JACK server already exported by the caller stays usable).
if [ -z "${TW_SETTINGS_PRIVATE_X:-}" ]; then
    export TW_SETTINGS_PRIVATE_X=1
    TW_NO_JACK=1 exec "$SOURCE_DIR/scripts/test-env.sh" bash "$0" "$@"
fi

TW_BIN="${TW_BIN_DIR:?TW_BIN_DIR must name the build bin folder}/tapeworks2"
TITLE="Tapeworks2 V1.10"
FAILURES=0
EDITOR_PID=""
MAIN_WINDOW=""

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
for tool in xdotool xwininfo xprop import convert; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tw-settings.XXXXXX") || die "no temporary folder"
export HOME="$WORK/home"
PREFS="$HOME/.fltk/brn/Tapeworker2.prefs"
mkdir -p "$HOME"

stop_editor_hard() {
    if [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; then
        kill -TERM "$EDITOR_PID" 2>/dev/null
        for _ in $(seq 1 30); do
            kill -0 "$EDITOR_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$EDITOR_PID" 2>/dev/null
        wait "$EDITOR_PID" 2>/dev/null
    fi
    EDITOR_PID=""
    prefs_changed
}

cleanup() {
    stop_editor_hard
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the preferences file -------------------------------------------------------------------

# The entries of the file as last read: "group|key" -> first value, and -> number of entries.
declare -A PREF_VALUE=() PREF_COUNT=()
PREFS_LOADED=0

# Forgets what was read; the next look-up reads the file again. Called whenever the file may
# have changed (written here, or by the editor at its end).
prefs_changed() {
    PREFS_LOADED=0
}

# Removes the whole preferences folder: the next start is a first start.
prefs_reset() {
    rm -rf "$HOME/.fltk"
    prefs_changed
}

# Writes the preferences file from standard input: the application entries, then, after a line
# "[./posize]" if wanted, the window geometry. The FLTK header is added here.
prefs_write() {
    mkdir -p "$(dirname "$PREFS")"
    {
        printf '; FLTK preferences file format 1.0\n; vendor: brn\n; application: Tapeworker2\n\n[.]\n\n'
        cat
    } >"$PREFS"
    prefs_changed
}

# Prints "group<TAB>key<TAB>value" for every entry of the file, continuation lines joined.
prefs_parse() {
    "$PY" - "$PREFS" <<'EOF'
import sys
group, entries = None, []
try:
    lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().split("\n")
except OSError:
    sys.exit(0)
for line in lines:
    if not line or line.startswith(";"):
        continue
    if line.startswith("["):
        group = line[1:line.find("]")]
    elif line.startswith("+") and entries:
        entries[-1][2] += line[1:]
    else:
        key, _, value = line.partition(":")
        entries.append([group, key, value.replace("\t", " ")])
for g, k, v in entries:
    print(f"{g}\t{k}\t{v}")
EOF
}

# Reads the file into PREF_VALUE and PREF_COUNT unless that was done since it last changed.
# Must run in the test's own shell (not in a command substitution) for the result to stay.
prefs_load() {
    [ "$PREFS_LOADED" = 1 ] && return
    PREF_VALUE=()
    PREF_COUNT=()
    local g k v n
    while IFS=$'\t' read -r g k v; do
        if [ -z "${PREF_COUNT["$g|$k"]+set}" ]; then
            PREF_VALUE["$g|$k"]=$v
            PREF_COUNT["$g|$k"]=1
        else
            # Never an array element inside $(( )): bash would expand a key such as "$(...)".
            n=${PREF_COUNT["$g|$k"]}
            PREF_COUNT["$g|$k"]=$((n + 1))
        fi
    done < <(prefs_parse)
    PREFS_LOADED=1
}

# pref_get KEY [GROUP]: the value of the entry in PREF (group "." by default); status 1 when
# the entry is absent.
pref_get() {
    prefs_load
    PREF=""
    [ -n "${PREF_COUNT["${2:-.}|$1"]+set}" ] || return 1
    PREF=${PREF_VALUE["${2:-.}|$1"]}
}

# pref KEY [GROUP]: prints the value of the entry; status 1 when absent.
pref() {
    pref_get "$@" || return 1
    printf '%s\n' "$PREF"
}

# pref_count KEY [GROUP]: how many entries carry the key.
pref_count() {
    prefs_load
    echo "${PREF_COUNT["${2:-.}|$1"]:-0}"
}

# expect_pref KEY EXPECTED [GROUP]
expect_pref() {
    if ! pref_get "$1" "${3:-.}"; then
        fail "$CASE: entry \"$1\" is missing (expected \"$2\")"
    elif [ "$PREF" != "$2" ]; then
        fail "$CASE: entry \"$1\" is \"${PREF:0:120}\", expected \"$2\""
    fi
}

expect_no_pref() {
    if pref_get "$1" "${2:-.}"; then
        fail "$CASE: entry \"$1\" should be absent but is \"${PREF:0:120}\""
    fi
}

# expect_programs P0 ... P15: the sixteen "MIDIpgms" entries.
expect_programs() {
    local c=0 p
    for p in "$@"; do
        expect_pref "MIDIpgms$c" "$p"
        c=$((c + 1))
    done
}

# expect_in_range KEY LOW HIGH [GROUP]: present once, an integer between LOW and HIGH.
expect_in_range() {
    prefs_load
    local count=${PREF_COUNT["${4:-.}|$1"]:-0}
    [ "$count" = 1 ] || fail "$CASE: entry \"$1\" appears $count times"
    pref_get "$1" "${4:-.}" || return
    if ! [[ "$PREF" =~ ^-?[0-9]{1,18}$ ]] || ((PREF < $2 || PREF > $3)); then
        fail "$CASE: entry \"$1\" is \"${PREF:0:120}\", expected a number from $2 to $3"
    fi
}

# --- the running editor ---------------------------------------------------------------------

# Visible top-level windows of the editor process, one id per line, with their names.
editor_windows() {
    local w
    for w in $(xdotool search --onlyvisible --pid "$EDITOR_PID" "" 2>/dev/null); do
        xprop -id "$w" WM_NAME >/dev/null 2>&1 || continue
        xprop -id "$w" WM_NAME 2>/dev/null | grep -q '=' || continue # not one of ours
        echo "$w"
    done
}

window_name() {
    xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_0-9]*) = "\(.*\)"$/\1/p'
}

# Message boxes: windows of the editor that are transient for another window.
editor_dialogs() {
    local w
    for w in $(editor_windows); do
        xprop -id "$w" WM_TRANSIENT_FOR 2>/dev/null | grep -q 'window id' && echo "$w"
    done
}

# editor_start [ARGS...]: starts the editor and waits (at most 20 s) for its main window.
editor_start() {
    "$TW_BIN" "$@" >"$WORK/editor.log" 2>&1 &
    EDITOR_PID=$!
    MAIN_WINDOW=""
    local w
    for _ in $(seq 1 200); do
        for w in $(editor_windows); do
            case "$(window_name "$w")" in
            "$TITLE"*)
                MAIN_WINDOW=$w
                return 0
                ;;
            esac
        done
        kill -0 "$EDITOR_PID" 2>/dev/null || break
        sleep 0.1
    done
    fail "$CASE: the editor window did not appear; output: $(head -c 2000 "$WORK/editor.log")"
    stop_editor_hard
    return 1
}

# wait_dialog: waits (at most 10 s) for a message box of the editor; prints its id.
wait_dialog() {
    local d
    for _ in $(seq 1 100); do
        d=$(editor_dialogs | head -n 1)
        if [ -n "$d" ]; then
            echo "$d"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# close_dialog ID: answers a message box with Return, as a user closes it; waits until it is gone.
close_dialog() {
    xdotool key --window "$1" Return >/dev/null 2>&1
    for _ in $(seq 1 50); do
        editor_dialogs | grep -qx "$1" || return 0
        sleep 0.1
    done
    fail "$CASE: the message box did not close"
    return 1
}

# expect_dialogs N: N message boxes are shown one after the other at start; each is closed.
expect_dialogs() {
    local i d
    for i in $(seq 1 "$1"); do
        if ! d=$(wait_dialog); then
            fail "$CASE: message box $i of $1 was not shown"
            return 1
        fi
        close_dialog "$d" || return 1
    done
}

# editor_quit: presses q in the main window (File/EXIT WITHOUT ASKING!) and waits (at most 20 s)
# for the editor to end by itself. A message box still shown makes the case fail.
editor_quit() {
    local status
    xdotool key --window "$MAIN_WINDOW" q >/dev/null 2>&1
    for _ in $(seq 1 200); do
        if ! kill -0 "$EDITOR_PID" 2>/dev/null; then
            wait "$EDITOR_PID"
            status=$?
            EDITOR_PID=""
            prefs_changed
            if [ "$status" != 0 ]; then
                fail "$CASE: the editor ended with status $status; output: $(head -c 2000 "$WORK/editor.log")"
                return 1
            fi
            return 0
        fi
        sleep 0.1
    done
    if [ -n "$(editor_dialogs)" ]; then
        fail "$CASE: an unexpected message box kept the editor from ending"
    else
        fail "$CASE: the editor did not end after q"
    fi
    stop_editor_hard
    return 1
}

# Main window geometry as "X Y W H" (no window manager: the window is placed as asked).
main_geometry() {
    xwininfo -id "$MAIN_WINDOW" | awk '
        /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
        /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }'
}

# pixel X Y: the colour of a pixel of the main window as hex "RRGGBB".
pixel() {
    import -window "$MAIN_WINDOW" "$WORK/shot.png" 2>/dev/null || return 1
    convert "$WORK/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1
}

# close_any_dialogs: closes every message box that shows up until none has come for 2 s (at most
# 20 s in all); prints how many were closed.
close_any_dialogs() {
    local quiet=0 closed=0 d
    for _ in $(seq 1 200); do
        d=$(editor_dialogs | head -n 1)
        if [ -n "$d" ]; then
            close_dialog "$d" || break
            closed=$((closed + 1))
            quiet=0
        else
            quiet=$((quiet + 1))
            [ "$quiet" -ge 20 ] && break
        fi
        sleep 0.1
    done
    echo "$closed"
}

# row_y NOTE BOTTOM: the height (in window pixels) of the guide line of note NOTE when the lowest
# shown row is BOTTOM: the score tape starts below the 25-pixel menu bar, its grid 11 pixels lower,
# with rows 11 pixels high.
row_y() {
    local h rows
    h=$(main_geometry | awk '{ print $4 }')
    rows=$(((h - 25 - 15) / 11))
    echo $((25 + 11 + 5 + 11 * ($2 + rows - 1 - $1)))
}

# make_midi PATH NOTE...: a format-0 file, 96 ticks per quarter, one quarter note per NOTE.
make_midi() {
    "$PY" - "$@" <<'PYTHON'
import struct, sys
path, notes = sys.argv[1], [int(n) for n in sys.argv[2:]]
track = b"\x00\xff\x51\x03\x07\xa1\x20"
for n in notes:
    track += bytes([0x00, 0x90, n, 100, 0x60, 0x80, n, 0])
track += b"\x00\xff\x2f\x00"
with open(path, "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96))
    f.write(b"MTrk" + struct.pack(">I", len(track)) + track)
PYTHON
}

# finish: the script's result.
finish() {
    if [ "$FAILURES" -gt 0 ]; then
        echo "$FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}
