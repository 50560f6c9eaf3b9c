#!/usr/bin/env bash
# The Debian package, unpacked into a temporary directory (never installed): lintian
# finds no error in it, its desktop entry and metainfo validate, every icon is there at
# its own pixel size, and the program started the way the desktop entry's Exec line
# says, with an empty HOME, keeps its records in ~/.local/share/clavora and leaves
# nothing in the directory it was started from. Its window's class is the entry's
# StartupWMClass.
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

# The Exec line names a path on the installed system; here it lies under the unpacked tree.
exec_line="$(sed -n 's/^Exec=//p' "${desktop[0]}")"
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
