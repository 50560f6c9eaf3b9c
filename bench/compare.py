#!/usr/bin/python3
"""Clavora beside other piano programs, measured alike in one run: exec to a visible
window, resident size 5 s after exec, idle processor use, processor use while the
keyboard is clicked ten times a second, and key to ear (median of bench/latency.sh's
clicks on a PulseAudio server; for vmpk at its default buffer and at 64 x 4 frames).

Usage: bench/compare.sh PATH_TO_CLAVORA [OTHER_PROGRAM ...] [--runs N] [--seconds S]
                        [--today PATH_TO_AN_EARLIER_CLAVORA] [--no-ear]

--today runs an earlier build of Clavora beside this one, alike, and checks this one
against it and vmpk: the window shows within 5 ms of the earlier one's, the piano sounds
within 0.5 s of exec (the synthesizer's ready mark in CLAVORA_TIMING), resident size at
rest at most 100 MiB at 1x, and ten clicks a second cost no more processor time.
--no-ear leaves out the key-to-ear column (a minute or more per program).

Clavora runs with SDL's dummy audio driver, on a PulseAudio daemon of the benchmark's
own (null sink), and at 2x (CLAVORA_SCALE=2, on a 2000 x 1200 screen) with dummy audio; the other programs (vmpk, pianobooster, ... named by
path or by command) run on that PulseAudio daemon too. Each figure is the median of
--runs runs. Every program gets an Xvfb of its own. Processor use is the whole
process (all threads, utime + stime from /proc).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lib_pulse as lp  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def window_of(d, win, pid):
    """win when it is a top-level window of process pid (its _NET_WM_PID), else None."""
    from Xlib import X
    try:
        prop = win.get_full_property(d.intern_atom("_NET_WM_PID"), X.AnyPropertyType)
    except Exception:  # a window that went away meanwhile
        return None
    return win if prop and prop.value and int(prop.value[0]) == pid else None


def wait_mapped(d, proc, limit):
    """The first window of proc the X server maps, watched through the root window's
    MapNotify events, so that waiting costs the server nothing; None on time-out."""
    import select
    from Xlib import X
    end = time.monotonic() + limit
    while time.monotonic() < end:
        while d.pending_events():
            e = d.next_event()
            if e.type == X.MapNotify and window_of(d, e.window, proc.pid):
                return e.window
        if proc.poll() is not None:
            return None
        select.select([d.fileno()], [], [], 0.05)
    return None


def synth_ready_ms(timing, start_wall):
    """The synthesizer's ready mark in ms after exec, or None without one."""
    try:
        with open(timing) as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0] == "synth-ready":
                    return 1000 * (float(parts[1]) - start_wall)
    except (FileNotFoundError, ValueError):
        pass
    return None


def park_pointer(d, origin, geom):
    """The pointer in the window's far corner, and a second for the program to settle."""
    from Xlib import X
    from Xlib.ext import xtest
    xtest.fake_input(d, X.MotionNotify, x=-origin.x + geom.width - 5,
                     y=-origin.y + geom.height - 5)
    d.sync()
    time.sleep(1)


def click_ten_a_second(d, origin, geom, t0, seconds):
    """Ten clicks a second from t0 for seconds: near the keyboard's bottom, across the middle."""
    from Xlib import X
    from Xlib.ext import xtest
    n = 0
    while time.monotonic() - t0 < seconds:
        x = geom.width // 2 + ((n * 37) % 120) - 60
        xtest.fake_input(d, X.MotionNotify, x=-origin.x + x,
                         y=-origin.y + int(geom.height * 0.94))
        xtest.fake_input(d, X.ButtonPress, 1)
        d.sync()
        time.sleep(0.05)
        xtest.fake_input(d, X.ButtonRelease, 1)
        d.sync()
        n += 1
        time.sleep(max(0.0, t0 + n * 0.1 - time.monotonic()))


def one_run(command, env, seconds):
    """(exec to window ms, RSS at 5 s MiB, idle %, clicking %, piano ready ms or None) or
    a reason it failed."""
    from Xlib import X, display as xdisplay
    # A window at 2x needs a screen that holds 1600 x 1040.
    xserver = lp.Xvfb("2000x1200x24" if env.get("CLAVORA_SCALE") else "1024x768x24")
    workdir = tempfile.mkdtemp(prefix="clavora-compare.")
    d = xdisplay.Display(xserver.display)
    d.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    timing = os.path.join(workdir, "timing.txt")
    run_env = dict(env, DISPLAY=xserver.display, HOME=workdir, CLAVORA_TIMING=timing)
    start_wall = time.time()
    start = time.monotonic()
    proc = subprocess.Popen(command, cwd=workdir, env=run_env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        win = wait_mapped(d, proc, 30)
        shown = 1000 * (time.monotonic() - start)
        if win is None:
            if proc.poll() is not None:
                return f"ended at start (status {proc.returncode})"
            return "no window within 30 s"
        time.sleep(max(0.0, start + 5 - time.monotonic()))
        if proc.poll() is not None:
            return f"ended after its window showed (status {proc.returncode})"
        rss = rss_mib(proc.pid)
        geom = win.get_geometry()
        origin = win.translate_coords(d.screen().root, 0, 0)
        # Park the pointer in a corner, then measure the idle program.
        park_pointer(d, origin, geom)
        c0, t0 = cpu_seconds(proc.pid), time.monotonic()
        time.sleep(seconds)
        idle = 100 * (cpu_seconds(proc.pid) - c0) / (time.monotonic() - t0)
        # Ten clicks a second on the keyboard: near the bottom, across the middle.
        c0, t0 = cpu_seconds(proc.pid), time.monotonic()
        click_ten_a_second(d, origin, geom, t0, seconds)
        busy = 100 * (cpu_seconds(proc.pid) - c0) / (time.monotonic() - t0)
        if proc.poll() is not None:
            return "ended while clicked"
        return shown, rss, idle, busy, synth_ready_ms(timing, start_wall)
    finally:
        lp.stop(proc)
        d.close()
        xserver.close()
        shutil.rmtree(workdir, ignore_errors=True)


def key_to_ear(path, *extra):
    """The median key to ear in ms that bench/latency.py measures, or a reason."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "latency.py")
    out = subprocess.run([sys.executable, script, path, "--clicks", "10", "--long", "1",
                          *extra], capture_output=True, text=True).stdout
    found = [line for line in out.splitlines() if "key to ear, median:" in line]
    return found[0].split(":")[1].split("ms")[0].strip() + " ms" if found else "not measured"


def ear_column(name, path):
    if "dummy" in name:
        return "no sound server"
    if os.path.basename(path) == "vmpk":
        return (f"{key_to_ear(path)} (512 x 8); "
                f"{key_to_ear(path, '--vmpk-buffer', '64x4')} (64 x 4)")
    return key_to_ear(path)


def version(command):
    name = os.path.basename(command[0])
    out = subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                         text=True).stdout
    return f"{name} {out.split('-')[0]} (Debian)" if out else name


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("binary")
    ap.add_argument("others", nargs="*")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--today")
    ap.add_argument("--no-ear", action="store_true")
    args = ap.parse_args()
    server = lp.PulseServer()
    try:
        rows = [("Clavora, SDL dummy audio", [os.path.abspath(args.binary)],
                 dict(os.environ, SDL_AUDIODRIVER="dummy")),
                ("Clavora, PulseAudio (null sink)", [os.path.abspath(args.binary)],
                 dict(server.env, SDL_AUDIODRIVER="pulseaudio")),
                ("Clavora at 2x (1600 x 1040), SDL dummy audio", [os.path.abspath(args.binary)],
                 dict(os.environ, SDL_AUDIODRIVER="dummy", CLAVORA_SCALE="2"))]
        if args.today:
            today = [os.path.abspath(args.today)]
            rows += [("Clavora today, SDL dummy audio", today,
                      dict(os.environ, SDL_AUDIODRIVER="dummy")),
                     ("Clavora today, PulseAudio (null sink)", today,
                      dict(server.env, SDL_AUDIODRIVER="pulseaudio"))]
        for other in args.others:
            path = shutil.which(other)
            if path:
                rows.append((version([path]), [path], dict(server.env)))
            else:
                print(f"compare: {other} is not installed; left out", file=sys.stderr)
        print("| program | exec to window | piano ready | resident at 5 s | idle CPU | "
              "10 clicks/s CPU | key to ear, median |")
        print("|---|---|---|---|---|---|---|")
        medians = {}
        for name, command, env in rows:
            runs = [one_run(command, env, args.seconds) for _ in range(args.runs)]
            good = [r for r in runs if not isinstance(r, str)]
            if not good:
                print(f"| {name} | {runs[0]} | | | | | |", flush=True)
                continue
            med = [statistics.median(r[i] for r in good) for i in range(4)]
            ready = [r[4] for r in good if r[4] is not None]
            med.append(statistics.median(ready) if ready else None)
            medians[name] = med
            note = "" if len(good) == len(runs) else f" ({len(runs) - len(good)} runs failed)"
            ear = "not measured" if args.no_ear else ear_column(name, command[0])
            piano = f"{med[4]:.0f} ms" if med[4] is not None else "-"
            print(f"| {name}{note} | {med[0]:.0f} ms | {piano} | {med[1]:.1f} MiB | "
                  f"{med[2]:.1f} % | {med[3]:.1f} % | {ear} |", flush=True)
        if args.today:
            return goals(medians)
    finally:
        server.close()
    return 0


def goals(medians):
    """This build beside the earlier one and vmpk, each figure beside its goal."""
    now, today = medians.get("Clavora, SDL dummy audio"), medians.get("Clavora today, SDL dummy audio")
    now_pa = medians.get("Clavora, PulseAudio (null sink)")
    today_pa = medians.get("Clavora today, PulseAudio (null sink)")
    vmpk = next((m for n, m in medians.items() if n.startswith("vmpk")), None)
    if not now or not today:
        print("compare: a Clavora row failed; no goals checked", file=sys.stderr)
        return 1
    checks = [
        ("window, dummy audio: this build minus the earlier one", now[0] - today[0], "ms", 5),
        ("piano ready after exec, dummy audio", now[4], "ms", 500),
        ("resident at rest, 1x, dummy audio", now[1], "MiB", min(100, vmpk[1]) if vmpk else 100),
        ("10 clicks/s CPU, dummy audio: this build minus the earlier one", now[3] - today[3], "%", 0),
    ]
    if now_pa and today_pa:
        checks += [
            ("window, PulseAudio: this build minus the earlier one", now_pa[0] - today_pa[0], "ms", 5),
            ("piano ready after exec, PulseAudio", now_pa[4], "ms", 500),
            ("resident at rest, 1x, PulseAudio", now_pa[1], "MiB", 100),
            ("10 clicks/s CPU, PulseAudio: this build minus the earlier one",
             now_pa[3] - today_pa[3], "%", 0),
        ]
    missed = 0
    for what, value, unit, limit in checks:
        met = value is not None and value <= limit
        missed += not met
        shown = "-" if value is None else f"{value:+.1f}" if "minus" in what else f"{value:.1f}"
        print(f"  {what:<64} {shown:>8} {unit:<3}  goal <= {limit:g} {unit}  "
              f"{'met' if met else 'MISSED'}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
