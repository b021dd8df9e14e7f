#!/usr/bin/env bash
# A person writes an instrument file into the configuration folder, has chosen it before (the
# stored "noteIndic" 3 is the first instrument read from a file), opens a melody that lies a
# semitone too high for it, presses Ctrl+F and takes the best transposition with Return: the
# saved melody lies on the instrument's notes. A broken instrument file is named on standard
# error and leaves the editor running.
# shellcheck source=app/tests/e2e/settings_lib.bash
source "$(dirname "$0")/settings_lib.bash"

export XDG_CONFIG_HOME="$WORK/config"
folder="$XDG_CONFIG_HOME/tapeworks2/instruments"
mkdir -p "$folder"
# Sorts before the examples that come with the editor.
cat >"$folder/pipe.instrument" <<'END'
name: A test pipe   # C major from C4 to C5
notes: C4 D4 E4 F4 G4 A4 B4 C5
END
printf 'name: broken\nnotes: C4 H4\n' >"$folder/broken.instrument"

CASE="fit with Ctrl+F and Return"
song="$HOME/music/high.mid"
make_midi "$song" 61 63 65 66 68 || die "cannot write the sample file"
prefs_write <<<"noteIndic:3"
editor_start "$song" || finish
grep -q "broken.instrument, line 2: \"H4\"" "$WORK/editor.log" ||
    fail "$CASE: the broken file is not named on standard error: $(head -c 600 "$WORK/editor.log")"

# The instrument's rows: C4 dark, C#4 white.
[ "$(window_pixel 404 "$(row_y 61 43)")" = "$BOARD_WHITE" ] || fail "$CASE: the C#4 row is not white"
[ "$(window_pixel 404 "$(row_y 60 43)")" != "$BOARD_WHITE" ] || fail "$CASE: the C4 row is white"

press ctrl+f
if dialog=$(wait_dialog); then
    name=$(window_name "$dialog")
    [ "$name" = "Fit to instrument" ] || fail "$CASE: the window is titled \"$name\""
    xdotool windowfocus "$dialog" 2>/dev/null
    xdotool key --window "$dialog" Return >/dev/null 2>&1
    wait_for no_dialog 50 || fail "$CASE: Return did not close the window"
else
    fail "$CASE: Ctrl+F showed no window"
fi
press ctrl+s
[ "$(midi_notes "$song")" = "60 62 64 65 67" ] || fail "$CASE: the saved notes are \"$(midi_notes "$song")\""

CASE="the choice stays"
editor_quit
expect_pref noteIndic 3
finish
