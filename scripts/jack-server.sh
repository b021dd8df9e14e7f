#!/usr/bin/env bash
# Start and stop a private JACK server with the dummy backend (no sound hardware needed).
# Source this file, then:
#   jack_server_start NAME [PERIOD]   starts it, exports JACK_DEFAULT_SERVER and
#                                     JACK_NO_START_SERVER, sets JACK_SERVER_PID; 0 when it answers
#   jack_server_stop                  stops the server started last

jack_server_start() {
    local name="$1" period="${2:-256}"
    export JACK_NO_START_SERVER=1
    export JACK_DEFAULT_SERVER="$name"
    # -S (synchronous): each cycle waits for every client. In the default asynchronous mode a
    # client that finishes late on a busy machine loses the MIDI events of that cycle, which
    # makes tests that check the exact bytes at a receiver fail now and then.
    jackd -n "$name" -S -r -d dummy -r 48000 -p "$period" >/dev/null 2>&1 &
    JACK_SERVER_PID=$!
    export JACK_SERVER_PID
    local i
    for i in $(seq 1 100); do
        if jack_lsp >/dev/null 2>&1; then
            return 0
        fi
        if ! kill -0 "$JACK_SERVER_PID" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
    return 1
}

jack_server_stop() {
    if [ -n "${JACK_SERVER_PID:-}" ]; then
        kill "$JACK_SERVER_PID" 2>/dev/null
        wait "$JACK_SERVER_PID" 2>/dev/null
        JACK_SERVER_PID=""
    fi
}
