# Steps of the settings end-to-end tests (sourced, not run on its own), on top of the editor's
# end-to-end steps in editor_lib.bash (private X server, HOME in a temporary folder, the editor's
# windows found by its process id).
#
# A test writes the preferences file by hand before a start, closes the message boxes the start
# shows as a user does (Return), ends the editor with its "q" key (File/EXIT WITHOUT ASKING!) and
# reads the preferences file that the editor wrote at exit.

# shellcheck source=app/tests/e2e/editor_lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/editor_lib.bash"

CASE=""
for tool in xwininfo convert; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

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
        printf '; FLTK preferences file format 1.0\n; vendor: %s\n; application: %s\n\n[.]\n\n' \
            "$TW_VENDOR" "$TW_APPLICATION"
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
# --- the running editor ---------------------------------------------------------------------

# Stops the editor at once (after a failed check), and forgets the preferences read before.
stop_editor() {
    stop_pid "$EDITOR_PID"
    EDITOR_PID=""
    prefs_changed
}

# close_dialog ID: answers a message box with Return, as a user closes it; waits until it is gone.
close_dialog() {
    xdotool key --window "$1" Return >/dev/null 2>&1
    if ! wait_for "! editor_dialogs | grep -qx $1" 50; then
        fail "$CASE: the message box did not close"
        return 1
    fi
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

# close_any_dialogs: closes every message box that shows up until none has come for 2 s (at most
# 30 s in all); prints how many were closed.
close_any_dialogs() {
    local closed=0 d start=$SECONDS quiet_since=$SECONDS
    while ((SECONDS - start < 30 && SECONDS - quiet_since < 3)); do
        d=$(editor_dialogs | head -n 1)
        if [ -n "$d" ]; then
            close_dialog "$d" || break
            closed=$((closed + 1))
            quiet_since=$SECONDS
        fi
        sleep 0.1
    done
    echo "$closed"
}

# editor_quit: presses q in the main window (File/EXIT WITHOUT ASKING!) and waits (at most 20 s)
# for the editor to end by itself. A message box still shown makes the case fail.
editor_quit() {
    local pid=$EDITOR_PID status
    xdotool key --window "$MAIN_WINDOW" q >/dev/null 2>&1
    if wait_for '! editor_running' 200; then
        wait "$pid"
        status=$?
        EDITOR_PID=""
        prefs_changed
        if [ "$status" != 0 ]; then
            fail "$CASE: the editor ended with status $status; output: $(head -c 2000 "$WORK/editor.log")"
            return 1
        fi
        return 0
    fi
    if [ -n "$(editor_dialogs)" ]; then
        fail "$CASE: an unexpected message box kept the editor from ending"
    else
        fail "$CASE: the editor did not end after q"
    fi
    stop_editor
    return 1
}

# The main window's position and size as "X Y W H" (no window manager: placed as asked).
window_geometry() {
    main_geometry
    echo "$WX $WY $WW $WH"
}

# window_pixel X Y: the colour of a pixel of the main window (window coordinates), RRGGBB.
window_pixel() {
    pixel $((WX + $1)) $((WY + $2))
}

# row_y NOTE BOTTOM: the height (in window pixels) of the guide line of note NOTE when the lowest
# shown row is BOTTOM: the score tape starts below the menu bar, its grid 11 pixels lower, with
# rows ROW_HEIGHT pixels high.
row_y() {
    local rows
    rows=$(visible_rows)
    echo $((MENU_HEIGHT + 11 + ROW_HEIGHT / 2 + ROW_HEIGHT * ($2 + rows - 1 - $1)))
}
