#!/usr/bin/env bash
# Starts the editor so that it can be heard out of the box (make run).
#   scripts/run-editor.sh EDITOR [FILE]
#
# The editor plays on a MIDI output port. When the machine offers none that makes a sound, a
# software synthesiser is started first: FluidSynth with the General MIDI sound font, as a MIDI
# client with a fixed name ("Tapeworks2-Synth"), so that its port is found again under the same
# name at the next run. It is stopped when the editor ends.
#
#   ALSA sequencer present (/dev/snd/seq): FluidSynth becomes an ALSA sequencer client; its sound
#     goes to the desktop's sound server (PipeWire or PulseAudio), else to JACK, else to ALSA.
#   Only a JACK server running: FluidSynth becomes a JACK MIDI client playing into JACK.
#   Neither: the editor runs without sound, and this is said once.
#
# TW_NO_SYNTH=1 runs the editor alone. TW_SOUNDFONT names another sound font.
set -uo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 EDITOR [FILE]" >&2
    exit 2
fi
editor=$1
shift

SYNTH_ID=Tapeworks2-Synth
SEQ_CLIENTS=/proc/asound/seq/clients
synth_pid=""
synth_dir=""

say() { echo "run-editor: $*" >&2; }

stop_synth() {
    exec 3>&- # FluidSynth reads the end of its commands and quits
    if [ -n "$synth_pid" ]; then
        for _ in $(seq 1 30); do
            kill -0 "$synth_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -TERM "$synth_pid" 2>/dev/null
        wait "$synth_pid" 2>/dev/null
    fi
    synth_pid=""
    [ -n "$synth_dir" ] && rm -rf "$synth_dir"
    synth_dir=""
}
# The editor runs in the background so that a signal to this script reaches the trap at once;
# the trap passes it on to the editor, and the synthesiser is stopped on every way out.
editor_pid=""
run_editor() {
    local status
    "$editor" "$@" 3>&- &
    editor_pid=$!
    wait "$editor_pid"
    status=$?
    editor_pid=""
    return "$status"
}
on_signal() {
    if [ -n "$editor_pid" ]; then
        kill -TERM "$editor_pid" 2>/dev/null
        wait "$editor_pid" 2>/dev/null
    fi
    exit 130
}
trap stop_synth EXIT
trap on_signal INT TERM

# --- what the machine offers ----------------------------------------------------------------

alsa_seq_usable() {
    [ -c /dev/snd/seq ] && [ -r /dev/snd/seq ] && [ -w /dev/snd/seq ]
}

# Sequencer ports that other clients may write to, as "client name<TAB>port name", leaving out
# those that make no sound: the kernel's own clients (System, Midi Through) and the ports of the
# PipeWire bridge.
alsa_seq_sound_ports() {
    [ -r "$SEQ_CLIENTS" ] || return 0
    awk '
        /^Client +[0-9]+ : / {
            match($0, /"[^"]*"/)
            client = substr($0, RSTART + 1, RLENGTH - 2)
            kernel = ($0 ~ /\[Kernel\]/)
            next
        }
        /^  Port +[0-9]+ : / {
            if (kernel || client ~ /^PipeWire/) next
            match($0, /"[^"]*"/)
            port = substr($0, RSTART + 1, RLENGTH - 2)
            if (match($0, /\([-RrWwXxe]+\)/) && substr($0, RSTART + 2, 1) == "W")
                print client "\t" port
        }' "$SEQ_CLIENTS"
}

jack_running() {
    command -v jack_lsp >/dev/null && JACK_NO_START_SERVER=1 timeout 5 jack_lsp >/dev/null 2>&1
}

# JACK MIDI ports that receive, one name a line.
jack_midi_inputs() {
    JACK_NO_START_SERVER=1 timeout 5 jack_lsp -p -t 2>/dev/null | awk '
        /^[^\t ]/ { name = $0; input = 0; next }
        /properties:/ { input = ($0 ~ /input/); next }
        /midi/ { if (input) print name }'
}

pulse_server_running() {
    [ -n "${PULSE_SERVER:-}" ] && return 0
    [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ]
}

alsa_pcm_present() {
    compgen -G '/dev/snd/pcmC*p' >/dev/null
}

# --- the synthesiser ------------------------------------------------------------------------

find_soundfont() {
    local f
    for f in "${TW_SOUNDFONT:-}" /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/default-GM.sf2 \
        /usr/share/sounds/sf3/default-GM.sf3; do
        [ -n "$f" ] && [ -r "$f" ] && echo "$f" && return 0
    done
    return 1
}

# start_synth CHECK ARGS...: starts FluidSynth with ARGS and waits (at most 15 s) until the
# command CHECK finds its port. Status 1 when it does not come up.
# FluidSynth reads its commands from a pipe that this script holds open: it runs as long as the
# pipe is open and quits when it closes, even when this script is killed.
start_synth() {
    local check=$1
    shift
    synth_dir=$(mktemp -d "${TMPDIR:-/tmp}/tapeworks2-synth.XXXXXX") || return 1
    mkfifo "$synth_dir/commands" || return 1
    fluidsynth -q -g 0.6 "$@" "$soundfont" <"$synth_dir/commands" >"$synth_dir/log" 2>&1 &
    synth_pid=$!
    exec 3>"$synth_dir/commands"
    for _ in $(seq 1 150); do
        if ! kill -0 "$synth_pid" 2>/dev/null; then
            wait "$synth_pid" 2>/dev/null
            synth_pid=""
            say "the synthesiser stopped at once:"
            grep -v '^> *$' "$synth_dir/log" | tail -n 5 | sed 's/^/  /' >&2
            return 1
        fi
        "$check" && return 0
        sleep 0.1
    done
    say "the synthesiser's MIDI port did not appear"
    stop_synth
    return 1
}

synth_seq_port_listed() {
    if [ -r "$SEQ_CLIENTS" ]; then
        grep -q "$SYNTH_ID" "$SEQ_CLIENTS"
    else
        # No listing to watch: give the sound font a moment to load.
        sleep 2
    fi
}

synth_jack_port_listed() {
    jack_midi_inputs | grep -q "^$SYNTH_ID:"
}

# --- choose -----------------------------------------------------------------------------------

if [ "${TW_NO_SYNTH:-0}" = 1 ]; then
    run_editor "$@"
    exit $?
fi

if alsa_seq_usable; then
    if [ -n "$(alsa_seq_sound_ports)" ]; then
        run_editor "$@"
        exit $?
    fi
    mode=alsa_seq
elif jack_running; then
    if [ -n "$(jack_midi_inputs)" ]; then
        run_editor "$@"
        exit $?
    fi
    mode=jack
else
    say "no MIDI system here (no ALSA sequencer /dev/snd/seq, no JACK server running), so no sound;" \
        "the editor runs anyway."
    run_editor "$@"
    exit $?
fi

if ! command -v fluidsynth >/dev/null; then
    say "no MIDI output port and no fluidsynth (scripts/install-deps.sh installs it), so no sound;" \
        "the editor runs anyway."
    run_editor "$@"
    exit $?
fi
if ! soundfont=$(find_soundfont); then
    say "no General MIDI sound font (package fluid-soundfont-gm), so no sound; the editor runs anyway."
    run_editor "$@"
    exit $?
fi

started=0
if [ "$mode" = jack ]; then
    if start_synth synth_jack_port_listed -m jack -a jack -j \
        -o "midi.jack.id=$SYNTH_ID" -o "audio.jack.id=$SYNTH_ID"; then
        started=1
    fi
else
    if pulse_server_running; then
        audio=(-a pulseaudio)
    elif jack_running; then
        audio=(-a jack -j -o "audio.jack.id=$SYNTH_ID")
    elif alsa_pcm_present; then
        audio=(-a alsa)
    else
        audio=()
    fi
    if [ ${#audio[@]} -eq 0 ]; then
        say "no sound output (no PipeWire or PulseAudio server, no JACK server, no ALSA playback" \
            "device), so no sound; the editor runs anyway."
    elif start_synth synth_seq_port_listed -m alsa_seq "${audio[@]}" -o "midi.alsa_seq.id=$SYNTH_ID"; then
        started=1
    fi
fi

if [ "$started" = 1 ]; then
    say "started the synthesiser $SYNTH_ID (choose its port once under Settings/Select MIDI output/;" \
        "later runs open it again)."
else
    say "the editor runs without sound."
fi
run_editor "$@"
