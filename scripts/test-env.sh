#!/usr/bin/env bash
# Runs a command with a private X server (Xvfb) and a private JACK server (dummy backend),
# and stops both afterwards, whatever the command's outcome.
#   scripts/test-env.sh COMMAND [ARGS...]
# Exports DISPLAY, JACK_DEFAULT_SERVER and JACK_NO_START_SERVER=1 for the command.
# Set TW_NO_JACK=1 or TW_NO_X=1 to leave one of them out.
set -uo pipefail

xvfb_pid=""
jack_pid=""
cleanup() {
    [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT INT TERM

if [ "${TW_NO_X:-0}" != 1 ]; then
    # The server picks a display number that no other server uses and writes it to fd 3 once it
    # accepts connections (two environments starting at once cannot pick the same number).
    # -noreset: without it the server resets whenever its last client leaves, and a client that
    # connects during the reset is refused ("Can't open display").
    dispfile=$(mktemp "${TMPDIR:-/tmp}/tw-display.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dispfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    n=""
    for _ in $(seq 1 200); do
        n=$(head -n 1 "$dispfile")
        [ -n "$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$dispfile"
    [ -n "$n" ] || echo "test-env: Xvfb did not start; tests that need X will fail" >&2
    export DISPLAY=":$n"
fi

if [ "${TW_NO_JACK:-0}" != 1 ]; then
    # shellcheck source=scripts/jack-server.sh
    source "$(dirname "$0")/jack-server.sh"
    if jack_server_start "tw-test-$$"; then
        jack_pid="$JACK_SERVER_PID"
    else
        echo "test-env: JACK server did not start; tests that need it will fail" >&2
    fi
fi

"$@"
status=$?
exit $status
