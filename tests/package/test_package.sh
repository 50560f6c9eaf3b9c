#!/usr/bin/env bash
# The Debian package, unpacked into a temporary directory (never installed): lintian
# finds no error in it, its desktop entry and metainfo validate, every icon is there at
# its own pixel size, and the program started the way the desktop entry's Exec line
# says, with an empty HOME, keeps its records in ~/.local/share/clavora and leaves
# nothing in the directory it was started from. Its window's class is the entry's
# StartupWMClass. Its "Practice progress" action draws the history kept there and
# opens the picture with xdg-open.
#
#   tests/package/test_package.sh build-package/clavora_<version>_<arch>.deb
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
. "$here/../e2e/lib.sh"
deb="$(readlink -f "${1:?usage: test_package.sh DEB}")"
e2e_under_xvfb "$@"

root="$(mktemp -d "${TMPDIR:-/tmp}/clavora-deb.XXXXXX")"
home="$(mktemp -d "${TMPDIR:-/tmp}/clavora-home.XXXXXX")"
# Until the program's test takes them over with e2e_init, the temporary trees go at exit.
trap 'rm -rf "$root" "$home"' EXIT
dpkg-deb -x "$deb" "$root" || e2e_fail "cannot unpack $deb"

# lintian: warnings are shown, an error fails.
lint="$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)"
[ -z "$lint" ] || echo "$lint" >&2
grep -q '^E:' <<<"$lint" && e2e_fail "lintian reports errors"

desktop=("$root"/usr/share/applications/*.desktop)
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ "${#desktop[@]}" -eq 1 ] && [ -f "${desktop[0]}" ] || e2e_fail "no single desktop entry"
[ -f "${metainfo[0]}" ] || e2e_fail "no metainfo"
id="$(basename "${desktop[0]}" .desktop)"
desktop-file-validate "${desktop[0]}" || e2e_fail "desktop-file-validate: ${desktop[0]}"
appstreamcli validate --no-net "${metainfo[0]}" || e2e_fail "appstreamcli validate: ${metainfo[0]}"
grep -q "<id>$id</id>" "${metainfo[0]}" || e2e_fail "the metainfo's id is not $id"
grep -qx "Icon=$id" "${desktop[0]}" || e2e_fail "the desktop entry's icon is not $id"

for side in 16 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${side}x${side}/apps/$id.png"
    [ -f "$png" ] || e2e_fail "no $side px icon"
    got="$(identify -format '%w %h' "$png")"
    [ "$got" = "$side $side" ] || e2e_fail "the $side px icon is $got"
done
xmllint --noout "$root/usr/share/icons/hicolor/scalable/apps/$id.svg" ||
    e2e_fail "the scalable icon is not well-formed SVG"
[ -f "$root/usr/share/man/man1/clavora.1.gz" ] || e2e_fail "no manual page"
[ -f "$root/usr/share/man/man1/clavora-progress.1.gz" ] || e2e_fail "no manual page of clavora-progress"

# The Exec line names a path on the installed system; here it lies under the unpacked tree.
exec_line="$(sed -n 's/^Exec=//p' "${desktop[0]}" | head -n 1)"
launcher="${exec_line%% *}"
case "$launcher" in /*) launcher="$root$launcher" ;; esac
wmclass="$(sed -n 's/^StartupWMClass=//p' "${desktop[0]}")"

e2e_init "$launcher"
e2e_on_exit rm -rf "$root" "$home"
# A PATH with no clavora on it: the launcher must start the one beside it.
e2e_start HOME="$home" XDG_DATA_HOME= PATH=/usr/bin:/bin
deadline=$(( $(date +%s) + 5 ))
until class="$(xprop -id "$E2E_WIN" WM_CLASS 2>/dev/null)" && grep -q "\"$wmclass\"\$" <<<"$class"; do
    [ "$(date +%s)" -lt "$deadline" ] || e2e_fail "the window's class is '$class', not '$wmclass'"
    sleep 0.1
done
e2e_key Escape
e2e_wait_exit 10

records="$home/.local/share/clavora/Clavora.hsc"
[ -f "$records" ] || e2e_fail "no $records"
got="$(od -An -v -tx1 "$records" | tr -d ' \n')"
[ "$got" = "$E2E_DEFAULT_RECORDS" ] || e2e_fail "Clavora.hsc holds $got"
left="$(ls -A "$E2E_DIR")"
[ -z "$left" ] || e2e_fail "files left where it was started: $left"
e2e_log "package $(basename "$deb"): validated; started from the menu, closed after $E2E_EXIT_TIME s"

# The "Practice progress" action, with one finished game in the data directory and an
# xdg-open that notes what it was asked to open.
action="$(sed -n '/^\[Desktop Action progress\]/,/^\[/s/^Exec=//p' "${desktop[0]}")"
[ -n "$action" ] || e2e_fail "no Practice progress action"
case "$action" in /*) action="$root$action" ;; esac
bin="$(mktemp -d "${TMPDIR:-/tmp}/clavora-bin.XXXXXX")"
e2e_on_exit rm -rf "$bin"
printf '#!/bin/sh\necho "$1" > "%s/opened"\n' "$bin" > "$bin/xdg-open"
chmod +x "$bin/xdg-open"
data="$home/.local/share/clavora"
stamp="$(date +%Y-%m-%dT%H:%M:%S%:z -d '1 hour ago')"
{
    echo "start,mode,note,clef,seconds,wrong"
    for n in C2 D2 E2 F2 G2 A2 B2 C3 D3 E3 F3 G3 A3 B3; do echo "$stamp,letter,$n,bass,1.20,0"; done
    echo "$stamp,letter,C4,treble,2.10,1"
    for n in D4 E4 F4 G4 A4 B4 C5 D5 E5 F5 G5 A5 B5 C6; do echo "$stamp,letter,$n,treble,0.90,0"; done
} > "$data/Clavora-history.csv"
HOME="$home" XDG_DATA_HOME= PATH="$bin:/usr/bin:/bin" "$action" || e2e_fail "the Practice progress action failed"
[ "$(cat "$bin/opened" 2>/dev/null)" = "$data/progress.png" ] || e2e_fail "xdg-open was not given $data/progress.png"
[ "$(identify -format '%m %w' "$data/progress.png")" = "PNG 1200" ] || e2e_fail "no picture in $data"
e2e_log "package: the Practice progress action opened $data/progress.png"
