#!/usr/bin/env bash
# Checks the Debian package that `make deb` built (make test runs it through make test-deb):
#   scripts/check-deb.sh tapeworks2_VERSION_amd64.deb
# The package is unpacked into a scratch root with dpkg-deb -x (nothing is installed on the
# machine); the program there must say its name and the package's version, answer --help and
# refuse a wrong option with 2, and export a tape; the desktop entry, the AppStream metainfo and
# the manual page must be there and valid, and lintian must find no error (its warnings are
# printed).
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 PACKAGE.deb" >&2
    exit 2
fi
deb=$(readlink -f "$1")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() {
    echo "check-deb: FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tw-check-deb.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "check-deb: dpkg-deb -x failed" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
program="$root/usr/bin/tapeworks2"

for f in usr/bin/tapeworks2 usr/libexec/tapeworks2/tapeworks2 usr/libexec/tapeworks2/run-editor \
    usr/share/applications/tapeworks2.desktop usr/share/man/man1/tapeworks2.1.gz \
    usr/share/icons/hicolor/48x48/apps/tapeworks2.png usr/share/doc/tapeworks2/copyright \
    usr/share/tapeworks2/instruments/chromatic-2-octaves.instrument; do
    [ -e "$root/$f" ] || fail "the package holds no /$f"
done

# The installed program, without a display: it must not need one for any of this.
run() {
    env -u DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        "$program" "$@" >"$work/out" 2>"$work/err"
    rc=$?
}
run --version
[ "$rc" = 0 ] && [ "$(cat "$work/out")" = "Tapeworks2 $version" ] ||
    fail "--version: exit $rc, \"$(cat "$work/out" "$work/err")\", not \"Tapeworks2 $version\""
# An option goes past the launcher's search for a synthesiser, which would speak on stderr.
[ ! -s "$work/err" ] || fail "--version went through the launcher: $(cat "$work/err")"
run --help
[ "$rc" = 0 ] && grep -q -- "--export OUT" "$work/out" || fail "--help: exit $rc"
run --no-such-option
[ "$rc" = 2 ] && grep -q "unknown option --no-such-option" "$work/err" ||
    fail "a wrong option: exit $rc, \"$(cat "$work/err")\""
# An export for the example instrument that the package installs, named by its path.
run --export "$work/tape.pdf" --instrument "$root/usr/share/tapeworks2/instruments/chromatic-2-octaves.instrument" \
    "$source_dir/docs/clementi.mid"
[ "$rc" = 0 ] && [ "$(head -c 4 "$work/tape.pdf" 2>/dev/null)" = "%PDF" ] ||
    fail "--export: exit $rc, $(cat "$work/err")"
run --export "$work/tape.png" --instrument Deleika-26 "$source_dir/docs/clementi.mid"
[ "$rc" = 0 ] && [ "$(head -c 4 "$work/tape.png" | tail -c 3 2>/dev/null)" = "PNG" ] ||
    fail "--export PNG: exit $rc, $(cat "$work/err")"

desktop-file-validate "$root/usr/share/applications/tapeworks2.desktop" || fail "desktop-file-validate"
grep -q '^MimeType=.*audio/midi;' "$root/usr/share/applications/tapeworks2.desktop" ||
    fail "the desktop entry does not offer the program for audio/midi"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
if [ -f "${metainfo[0]}" ]; then
    # --no-net: the screenshot and the home page are not fetched.
    appstreamcli validate --no-net "${metainfo[0]}" || fail "appstreamcli validate"
    grep -q "<release version=\"$version\"" "${metainfo[0]}" ||
        fail "the metainfo names another release than $version"
else
    fail "no AppStream metainfo in /usr/share/metainfo"
fi
man_warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$root/usr/share/man/man1/tapeworks2.1.gz" 2>&1 >/dev/null)
[ -z "$man_warnings" ] || fail "the manual page: $man_warnings"

# lintian: errors fail the check, warnings are listed. (It says so when run as root.)
lintian --fail-on error "$deb" 2>&1 | grep -v "running with root privileges" >"$work/lintian"
lintian_rc=${PIPESTATUS[0]}
if [ -s "$work/lintian" ]; then
    echo "check-deb: lintian says:"
    sed 's/^/  /' "$work/lintian"
fi
[ "$lintian_rc" = 0 ] || fail "lintian found errors (exit $lintian_rc)"

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures check(s) of $(basename "$deb") failed" >&2
    exit 1
fi
echo "check-deb: $(basename "$deb") is fine"
