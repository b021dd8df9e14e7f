#!/usr/bin/env bash
# Renews the README's picture of a cut file: the cutter SVG of a melody for the 30-note music box
# exported by the command line, its first two pieces rendered to PNG with rsvg-convert (the
# cutter's hairlines drawn 0.2 mm wide so that the picture shows them).
#   scripts/cut-picture.sh [EDITOR] [MIDI-FILE] [OUTPUT]
# Defaults: build/bin/tapeworks2, docs/clementi.mid, docs/cut-file.png.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
editor=${1:-$root/build/bin/tapeworks2}
melody=${2:-$root/docs/clementi.mid}
output=${3:-$root/docs/cut-file.png}
[ -x "$editor" ] || { echo "cut-picture: no editor at $editor (make build first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$editor" --export "$work/strip.svg" --cut --max-rest 2 \
    --instrument "$root/data/instruments/music-box-30.instrument" "$melody" >/dev/null
sed 's/stroke-width="0.01"/stroke-width="0.2"/' "$work/strip.svg" >"$work/wide.svg"
# 4 pixels a millimetre; two pieces of 70 mm with the margins and the gap between them.
rsvg-convert --dpi-x 101.6 --dpi-y 101.6 --background-color white "$work/wide.svg" -o "$work/all.png"
convert "$work/all.png" -crop "x$((4 * (5 + 70 + 8 + 70 + 4)))+0+0" +repage "$output"
echo "wrote $output"
