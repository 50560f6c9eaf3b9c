#!/usr/bin/env bash
# The window on native Wayland, with no X server for it: under sway's headless backend
# (run as an ordinary user, as it must be), at output scale 1 and 2, the window maps
# floating at 800 x 520 compositor units with the desktop entry's application id, and
# its picture (grim) is the X11 frame pixel for pixel: at scale 2 a 1600 x 1040 picture
# from the 2x art, the same as the window under X at 200 %. Then the mouse (a virtual
# pointer) moves the preset marker, steps the slot and plays two keys, the keyboard (a
# virtual keyboard, wtype) records and stops, Escape closes, and song.001 holds what was
# played. Skipped (77) where the tools are missing or the compositor cannot start.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
skip() { echo "SKIP: $*" >&2; exit 77; }
for tool in sway swaymsg grim wtype xvfb-run xrdb import compare convert; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
# The X11 frames to compare with come from an X server of the test's own.
if [ -z "${E2E_XVFB:-}" ]; then
    E2E_XVFB=1 exec xvfb-run -a -s "-screen 0 2000x1200x24 -nolisten tcp -noreset" "$0" "$@"
fi
e2e_init "$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
# Pictures apart from the program's directory, which must hold only its own files.
PICS="$(mktemp -d "${TMPDIR:-/tmp}/clavora-wl-pics.XXXXXX")"
[ -n "${WL_KEEP:-}" ] || e2e_on_exit "rm -rf '$PICS'"
APP_ID=org.clavora.Clavora

# sway refuses to run as root: as root the compositor and the program run as a system
# user of the test's own.
e2e_user clavora-e2e || skip "cannot make a user to run the compositor"
e2e_as_user - -- test -x "$E2E_BIN" || skip "user $E2E_USER cannot run $E2E_BIN"

# x11_frame FILE: the program's first picture under X, with the resources loaded so far.
x11_frame() {
    rm -f "$E2E_DIR/Clavora.hsc"
    E2E_WINDOW_TIMEOUT=30 e2e_start
    e2e_wait_painted
    import -window "$E2E_WIN" -depth 8 "$1" || e2e_fail "cannot capture the X11 window"
    e2e_key Escape
    e2e_wait_exit 10
}
x11_frame "$PICS/x11-1.png"
echo "Xft.dpi: 192" | xrdb -nocpp -merge || e2e_fail "xrdb could not load the resources"
x11_frame "$PICS/x11-2.png"
rm -f "$E2E_DIR/Clavora.hsc"
chown "$E2E_USER" "$E2E_DIR" 2>/dev/null || true

# wl_start SCALE: a headless sway with one 1280 x 800 output at SCALE, and the program
# on it. Sets WL_RT (its runtime directory), WL_ENV (what its clients need), E2E_PID.
wl_start() {
    WL_RT="$(mktemp -d "${TMPDIR:-/tmp}/clavora-wl.XXXXXX")"
    cat >"$WL_RT/config" <<CONF
xwayland disable
output HEADLESS-1 resolution $((1280 * $1))x$((800 * $1)) scale $1
default_border none
default_floating_border none
CONF
    e2e_as_user "$WL_RT" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman -- \
        sway -c "$WL_RT/config" >"$WL_RT.log" 2>&1 &
    WL_SWAY=$!
    e2e_on_exit "e2e_stop $WL_SWAY; rm -rf '$WL_RT' '$WL_RT.log'"
    sway_up() { ls "$WL_RT"/wayland-[0-9]* "$WL_RT"/sway-ipc.*.sock >/dev/null 2>&1; }
    e2e_poll 10 sway_up || skip "sway could not start here: $(tail -n 3 "$WL_RT.log" | tr '\n' ' ')"
    local socket
    socket="$(basename "$(ls "$WL_RT"/wayland-[0-9]* | grep -v lock | head -n 1)")"
    WL_ENV=(XDG_RUNTIME_DIR="$WL_RT" WAYLAND_DISPLAY="$socket" SWAYSOCK="$(ls "$WL_RT"/sway-ipc.*.sock)")
    (cd "$E2E_DIR" && e2e_as_user "$WL_RT" "${WL_ENV[@]:1}" SDL_AUDIODRIVER=dummy \
        WAYLAND_DEBUG=${WL_DEBUG:-0} -- "$E2E_BIN") >"$E2E_LOG" 2>&1 &
    E2E_PID=$!
}

# wl_window: "X Y WIDTH HEIGHT FLOATING" of the program's window, in compositor units.
wl_window() {
    env "${WL_ENV[@]}" swaymsg -t get_tree 2>/dev/null | /usr/bin/python3 -c '
import json, sys
def walk(n):
    if n.get("app_id") == sys.argv[1] and n.get("pid"):
        r, g = n["rect"], n["geometry"]
        print(r["x"], r["y"], g["width"], g["height"], "floating" if n["type"] == "floating_con" else "tiled")
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))' "$APP_ID"
}
wl_mapped() {
    kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the program ended on Wayland"
    read -r WX WY WW WH WFLOAT < <(wl_window) && [ "$WW $WH $WFLOAT" = "800 520 floating" ]
}

# wl_grab WxH+X+Y FILE: that rectangle of the window (units), at the output's scale.
wl_grab() {
    local w h x y
    IFS='x+' read -r w h x y <<<"$1"
    env "${WL_ENV[@]}" grim -g "$((WX + x)),$((WY + y)) ${w}x${h}" "$2" 2>/dev/null
}
# ref_crop SCALE WxH+X+Y FILE: the same rectangle of the X11 frame at SCALE.
ref_crop() {
    local s=$1 w h x y
    IFS='x+' read -r w h x y <<<"$2"
    convert "$PICS/x11-$s.png" -crop "$((w * s))x$((h * s))+$((x * s))+$((y * s))" +repage "$3"
}
# wl_shows SCALE WxH+X+Y: the window shows there what the X11 frame shows at rest.
wl_shows_rest() {
    ref_crop "$1" "$2" "$PICS/ref.png" && wl_grab "$2" "$PICS/now.png" &&
        e2e_same "$PICS/ref.png" "$PICS/now.png"
}
wl_differs() { ! wl_shows_rest "$@"; }

# The virtual pointer: one for the whole run, so that the program keeps its wl_pointer.
pointer_start() {
    mkfifo "$WL_RT/pointer.in"
    env "${WL_ENV[@]}" /usr/bin/python3 "$HERE/lib_wl_pointer.py" 1280 800 \
        <"$WL_RT/pointer.in" >"$WL_RT/pointer.out" 2>&1 &
    WL_POINTER=$!
    exec 7>"$WL_RT/pointer.in"
    e2e_on_exit "exec 7>&-; e2e_stop $WL_POINTER"
    pointer_ready() { [ "$(grep -c '^ok' "$WL_RT/pointer.out")" -ge 1 ]; }
    e2e_poll 10 pointer_ready || e2e_fail "no virtual pointer: $(cat "$WL_RT/pointer.out")"
}
# click X Y: a click at X,Y of the window; then the pointer leaves it, so that its
# cursor is in no picture taken.
click() {
    pointer click "$1" "$2"
    pointer move 810 260
}
# pointer CMD X Y: move or click at X,Y of the window, once the compositor has it.
pointer() {
    local n
    n="$(grep -c '^ok' "$WL_RT/pointer.out")"
    echo "$1 $((WX + $2)) $((WY + $3))" >&7
    answered() { [ "$(grep -c '^ok' "$WL_RT/pointer.out")" -gt "$n" ]; }
    e2e_poll 10 answered || e2e_fail "the virtual pointer did not answer: $(cat "$WL_RT/pointer.out")"
}
# key ARGS...: wtype, after a pause in which the program binds the new keyboard.
key() { env "${WL_ENV[@]}" wtype -s 300 "$@" || e2e_fail "wtype $*"; }

run_at() {
    local s=$1
    wl_start "$s"
    e2e_poll 20 wl_mapped || e2e_fail "no window mapped at scale $s: $(wl_window) $(tail -n 5 "$WL_RT.log")"
    picture_is_x11() {
        env "${WL_ENV[@]}" grim -g "$WX,$WY 800x520" "$PICS/wl-$s.png" 2>/dev/null &&
            e2e_same "$PICS/x11-$s.png" "$PICS/wl-$s.png"
    }
    if ! e2e_poll 20 picture_is_x11; then
        local diff
        diff="$(compare -metric AE "$PICS/x11-$s.png" "$PICS/wl-$s.png" null: 2>&1 || true)"
        e2e_fail "at scale $s the picture is not the X11 frame: $(identify -format '%wx%h' "$PICS/wl-$s.png"), $diff pixels differ"
    fi
    e2e_log "scale $s: mapped floating at 800 x 520 units, picture $(identify -format '%wx%h' "$PICS/wl-$s.png") equal to the X11 frame"

    pointer_start
    pointer move 810 260
    # The third preset of the lower row takes the marker (the first click may come before
    # the program has bound the pointer the compositor just gained: it is clicked again).
    ref_crop "$s" 16x12+14+372 "$PICS/marker.png"
    marker_on_third() {
        wl_grab 16x12+48+385 "$PICS/third.png" && e2e_same "$PICS/marker.png" "$PICS/third.png"
    }
    local tries=0
    until e2e_poll 2 marker_on_third; do
        tries=$((tries + 1))
        [ "$tries" -le 5 ] || e2e_fail "at scale $s the preset marker did not move"
        click 56 390
    done
    # Slot up, then R records once its light is on.
    click 783 378
    key r
    e2e_poll 10 wl_differs "$s" 4x4+726+407 || e2e_fail "at scale $s the record light did not come on"
    # Two keys, each shown pressed and up again: C4 (key number 40), C#4 (41).
    local at
    for at in "360 480" "365 440"; do
        # shellcheck disable=SC2086
        set -- $at
        click "$1" "$2"
        e2e_poll 10 wl_differs "$s" "1x1+$1+$2" || e2e_fail "at scale $s the key at $at was not pressed"
        e2e_poll 10 wl_shows_rest "$s" "1x1+$1+$2" || e2e_fail "at scale $s the key at $at did not come up"
    done
    key -k space
    key -k Escape
    e2e_wait_exit 10
    e2e_expect_files Clavora.hsc song.001
    e2e_expect_song song.001 "40:100 40:0 41:100 41:0 -100:-100 "
    e2e_log "scale $s: preset, slot arrow and keys clicked, R, Space and Escape typed: song.001 as played"
    rm -f "$E2E_DIR"/Clavora.hsc "$E2E_DIR"/song.*
    exec 7>&-
    e2e_stop "$WL_POINTER"
    e2e_stop "$WL_SWAY"
}

run_at 1
run_at 2
