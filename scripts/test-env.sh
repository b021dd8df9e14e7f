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
    # Pick a display number that no other server uses.
    for n in $(seq 90 199); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            disp=":$n"
            break
        fi
    done
    Xvfb "$disp" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY="$disp"
    for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X${disp#:}" ] && break
        sleep 0.05
    done
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
