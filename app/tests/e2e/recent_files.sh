#!/usr/bin/env bash
# "File/Recent files" as a person uses it: a stored list is offered, picking a file opens it and
# puts it first, picking a file that is gone says so and drops it; the list is kept at the end.
source "$(dirname "$0")/editor_lib.bash"

a="$HOME/music/a.mid"
b="$HOME/music/b.mid"
gone="$HOME/music/gone.mid"
make_midi "$a" 60 && make_midi "$b" 62 || die "cannot write the sample files"
mkdir -p "$(dirname "$PREFS")"
printf '; FLTK preferences file format 1.0\n; vendor: brn\n; application: Tapeworker2\n\n[.]\n\n%s\n' \
    "recentFile0:$a" "recentFile1:$b" "recentFile2:$gone" >"$PREFS"

editor_start || finish

CASE="a recent file opens"
menu_pick 0 2 1 # File/Recent files/, the second entry
wait_for '[ "$(title)" = "$TITLE - b.mid" ]' 30 || fail "$CASE: the title is \"$(title)\""

CASE="a gone file is dropped with a message"
menu_pick 0 2 2
if d=$(wait_dialog); then
    xdotool key Return
    wait_for "! editor_dialogs | grep -qx $d" 50 || fail "$CASE: the message stayed open"
else
    fail "$CASE: no message"
fi
expect_title "$TITLE - b.mid"

CASE="the list at the end"
press q
wait_exit || fail "$CASE: the editor is still running"
[ "$(pref recentFile0)" = "$b" ] || fail "$CASE: recentFile0 is \"$(pref recentFile0)\""
[ "$(pref recentFile1)" = "$a" ] || fail "$CASE: recentFile1 is \"$(pref recentFile1)\""
pref recentFile2 >/dev/null && fail "$CASE: recentFile2 is \"$(pref recentFile2)\""
finish
