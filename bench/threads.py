#!/usr/bin/python3
"""Where a running piano program spends its processor time, thread by thread: the
program runs on an Xvfb of its own (with SDL's dummy audio, or on the benchmark's own
PulseAudio daemon with --pulse), rests for --seconds, then is clicked ten times a
second for --seconds as bench/compare.sh clicks it. Each thread's utime + stime from
/proc/PID/task/TID/schedstat over each phase, in % of one core, and its wake-ups (voluntary
and involuntary context switches) per second.

Usage: bench/threads.py PATH_TO_PROGRAM [--pulse] [--seconds S] [--runs N] [--attach COMMAND]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import compare  # noqa: E402
import lib_pulse as lp  # noqa: E402


def threads(pid):
    """{thread name and id: (processor seconds, context switches)} of every thread."""
    out = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                text = f.read()
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                status = f.read()
        except OSError:  # a thread that ended meanwhile
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        try:  # the scheduler's own count in ns, finer than the clock ticks of stat
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                cpu = int(f.read().split()[0]) / 1e9
        except (OSError, ValueError, IndexError):
            fields = text.rsplit(")", 1)[1].split()
            cpu = (int(fields[11]) + int(fields[12])) / compare.TICK
        switches = sum(int(line.split()[1]) for line in status.splitlines()
                       if line.split(":")[0].endswith("ctxt_switches"))
        out[(name, int(tid))] = (cpu, switches)
    return out


def split(before, after, seconds):
    """{name: (% of a core, wake-ups a second)} between two samples; threads that share
    a name are told apart by their order of birth (name, name#2, ...), and a thread born
    in between counts from zero."""
    rows, seen = {}, {}
    for key in sorted(after, key=lambda k: k[1]):
        cpu, sw = after[key]
        cpu0, sw0 = before.get(key, (0.0, 0))
        seen[key[0]] = seen.get(key[0], 0) + 1
        name = key[0] if seen[key[0]] == 1 else f"{key[0]}#{seen[key[0]]}"
        rows[name] = (100 * (cpu - cpu0) / seconds, (sw - sw0) / seconds)
    return rows


def one_run(command, env, seconds, attach=None):
    from Xlib import X, display as xdisplay
    xserver = lp.Xvfb()
    workdir = tempfile.mkdtemp(prefix="clavora-threads.")
    d = xdisplay.Display(xserver.display)
    d.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    d.sync()
    proc = subprocess.Popen(command, cwd=workdir, env=dict(env, DISPLAY=xserver.display,
                            HOME=workdir), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        win = compare.wait_mapped(d, proc, 30)
        if win is None:
            raise RuntimeError("no window within 30 s")
        time.sleep(4)
        geom = win.get_geometry()
        origin = win.translate_coords(d.screen().root, 0, 0)
        compare.park_pointer(d, origin, geom)
        s0, t0 = threads(proc.pid), time.monotonic()
        time.sleep(seconds)
        s1, t1 = threads(proc.pid), time.monotonic()
        idle = split(s0, s1, t1 - t0)
        recorder = subprocess.Popen("exec " + attach.replace("{pid}", str(proc.pid)), shell=True,
                                    stdout=subprocess.DEVNULL) if attach else None
        compare.click_ten_a_second(d, origin, geom, t1, seconds)
        busy = split(s1, threads(proc.pid), time.monotonic() - t1)
        if recorder:
            recorder.send_signal(2)
            recorder.wait(30)
        return idle, busy
    finally:
        proc.terminate()
        proc.wait(10)
        d.close()
        xserver.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("program")
    ap.add_argument("--pulse", action="store_true")
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--attach", metavar="COMMAND",
                    help="runs over the click phase, {pid} the program's, ended by SIGINT: "
                         "'perf record -g -o FILE -p {pid}', 'perf trace -s -p {pid} -o FILE'")
    args = ap.parse_args()
    server = lp.PulseServer() if args.pulse else None
    try:
        env = dict(server.env, SDL_AUDIODRIVER="pulseaudio") if server else \
            dict(os.environ, SDL_AUDIODRIVER="dummy")
        runs = [one_run([os.path.abspath(args.program)], env, args.seconds, args.attach)
                for _ in range(args.runs)]
    finally:
        if server:
            server.close()
    for phase, index in (("idle", 0), ("10 clicks/s", 1)):
        names = sorted({n for r in runs for n in r[index]})
        med = {n: [statistics.median(r[index].get(n, (0, 0))[k] for r in runs) for k in (0, 1)]
               for n in names}
        total = sum(v[0] for v in med.values())
        print(f"{phase}: whole process {total:.2f} % of a core (median of {len(runs)})")
        for n in sorted(names, key=lambda n: -med[n][0]):
            print(f"  {n:<18} {med[n][0]:6.2f} %  {med[n][1]:7.1f} wake-ups/s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
