#!/usr/bin/env python3
"""Clavora's processor use while nothing happens, each figure beside its goal: the whole
process, by thread, with the synthesizer loaded and no key sounding, on SDL's dummy
audio driver and on a PulseAudio server of its own (a null sink in a runtime directory
of its own); both with no game and with a game asking (its clock and column moving).
The X server's use is printed beside.

Usage: idle.py PATH_TO_CLAVORA [--seconds S] [--runs N] [--no-pulse]
"""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measure  # noqa: E402  (the Xvfb, the program and the /proc readers)
import lib_pulse  # noqa: E402  (measure puts tests/e2e on the path)


def one_run(binary, xserver, env, game, seconds):
    """Processor shares (program, by thread, X server) over `seconds` of idling."""
    saved = dict(os.environ)
    os.environ.clear()
    os.environ.update(env)
    try:
        p = measure.Program(binary, xserver.display, audio=env["SDL_AUDIODRIVER"])
    finally:
        os.environ.clear()
        os.environ.update(saved)
    try:
        m = p.wait_marks(["first-frame", "synth-ready"])
        if "synth-ready" not in m or not p.find_window():
            raise RuntimeError("the program did not start with its synthesizer")
        # One key, so that the synthesizer has sounded; a game asks if wanted; then
        # everything settles (the synthesizer falls asleep after 2 s of silence, the
        # released key's tail included).
        p.click(79 + 12 * 23 + 6, 490)
        if game:
            p.key("n")
        time.sleep(7.0)
        c0, x0, t0 = measure.cpu_seconds(p.proc.pid), measure.cpu_seconds(xserver.proc.pid), time.time()
        th0 = measure.thread_seconds(p.proc.pid)
        time.sleep(seconds)
        c1, x1, t1 = measure.cpu_seconds(p.proc.pid), measure.cpu_seconds(xserver.proc.pid), time.time()
        th1 = measure.thread_seconds(p.proc.pid)
        if p.proc.poll() is not None:
            raise RuntimeError("the program ended while idle")
    finally:
        p.stop()
    span = t1 - t0
    threads = {n: 100 * (th1[n] - th0.get(n, 0)) / span for n in th1}
    return 100 * (c1 - c0) / span, threads, 100 * (x1 - x0) / span


def measure_case(binary, xserver, env, label, game, seconds, runs):
    shares, xs, by = [], [], {}
    for _ in range(runs):
        share, threads, x = one_run(binary, xserver, env, game, seconds)
        shares.append(share)
        xs.append(x)
        for n, v in threads.items():
            by.setdefault(n, []).append(v)
    med = statistics.median(shares)
    goal = 1.0 if game else 0.5
    what = "a game asking" if game else "no game"
    measure.report(f"idle, {label}, {what}, median of {runs}", f"{med:.2f} % core",
                   f"<= {goal} %", med <= goal)
    parts = sorted(((statistics.median(v), n) for n, v in by.items()), reverse=True)
    print("    by thread: " + ", ".join(f"{n} {v:.2f} %" for v, n in parts if v > 0.005)
          + f"; X server {statistics.median(xs):.2f} %", flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("binary")
    ap.add_argument("--seconds", type=float, default=20.0)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--no-pulse", action="store_true")
    args = ap.parse_args()
    binary = os.path.abspath(args.binary)
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            sys.exit(f"idle: {tool} is not installed (scripts/install-deps)")
    # Measured in clock ticks of /proc: 20 s gives steps of 0.05 %.
    print(f"Idle processor use, whole process ({args.seconds:.0f} s a run):")
    xserver = measure.Xvfb()
    try:
        dummy = dict(os.environ, SDL_AUDIODRIVER="dummy")
        for game in (False, True):
            measure_case(binary, xserver, dummy, "SDL dummy audio", game, args.seconds, args.runs)
        if not args.no_pulse:
            if not shutil.which("pulseaudio"):
                sys.exit("idle: pulseaudio is not installed (scripts/install-deps)")
            server = lib_pulse.PulseServer()
            try:
                pulse = dict(server.program_env, SDL_AUDIODRIVER="pulseaudio")
                for game in (False, True):
                    measure_case(binary, xserver, pulse, "PulseAudio null sink", game,
                                 args.seconds, args.runs)
            finally:
                server.close()
    finally:
        xserver.close()
    missed = [r[0] for r in measure.results if not r[3]]
    print("All goals met." if not missed else "Goals missed: " + "; ".join(missed))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
