#!/usr/bin/env bash
# Sound out of the box where only a JACK server runs: scripts/run-editor.sh (make run) starts the
# General MIDI synthesiser as the JACK client "Tapeworks2-Synth" before the editor. Its port, once
# chosen under "Settings/Select MIDI output/", is stored and opened again at the next run without
# a message, because the synthesiser comes back under the same name; it ends with the editor.
E2E_NEEDS_JACK=1
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

command -v fluidsynth >/dev/null || die "fluidsynth is missing (scripts/install-deps.sh installs it)"
jack_lsp >/dev/null 2>&1 || die "no JACK server"

SYNTH_PORT=Tapeworks2-Synth:midi_00
RUNNER_PID=""

synth_listed() { jack_lsp 2>/dev/null | grep -qx "$SYNTH_PORT"; }

# run_start: make run's way to start the editor; waits for the synthesiser and the editor window.
run_start() {
    "$SOURCE_DIR/scripts/run-editor.sh" "$TW_BIN" >"$WORK/runner.log" 2>&1 &
    RUNNER_PID=$!
    EXTRA_PIDS+=("$RUNNER_PID")
    if ! wait_for 'EDITOR_PID=$(pgrep -P "$RUNNER_PID" -x tapeworks2)' 300; then
        fail "$CASE: the editor did not start; run-editor said: $(cat "$WORK/runner.log")"
        return 1
    fi
    if ! wait_for 'MAIN_WINDOW=$(window_named "$TITLE")' 200; then
        fail "$CASE: the editor window did not appear"
        return 1
    fi
    main_geometry
    synth_listed || fail "$CASE: the synthesiser's port $SYNTH_PORT is not there while the editor runs"
}

# run_quit: q in the editor; run-editor.sh ends with it and takes the synthesiser along.
run_quit() {
    press q
    if ! wait_for '! kill -0 "$RUNNER_PID" 2>/dev/null' 200; then
        fail "$CASE: run-editor.sh did not end with the editor"
        return 1
    fi
    wait "$RUNNER_PID" || fail "$CASE: run-editor.sh ended with status $?"
    EDITOR_PID=""
    prefs_changed
    wait_for '! synth_listed' 50 || fail "$CASE: the synthesiser outlived the editor"
}

CASE="first run"
prefs_reset
if run_start; then
    grep -q "started the synthesiser" "$WORK/runner.log" ||
        fail "$CASE: run-editor.sh did not say that it started the synthesiser"
    sleep 1
    no_dialog || fail "$CASE: a message appeared at the start"
    # Settings is the seventh title, "Select MIDI output" its second entry, "(None)" its first item
    # and the synthesiser, the only port, the second.
    menu_pick 6 1 1
    sleep 0.5
    no_dialog || fail "$CASE: a message appeared on choosing the synthesiser"
    run_quit
fi
expect_pref midiPort "$SYNTH_PORT"

CASE="second run"
if run_start; then
    sleep 1
    no_dialog || fail "$CASE: a message appeared at the start (port not found again?)"
    run_quit
fi
expect_pref midiPort "$SYNTH_PORT"

finish
