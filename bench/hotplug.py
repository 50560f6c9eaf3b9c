"""MIDI hot-plug figures beside their goals, on a JACK server with the dummy driver:

- from a sender port's appearance to the program's first message from it, over N
  senders that come and go one after another (median and worst; goal: under 1 s);
- from a sender's end to the release of what it held (goal: under 1 s);
- the processor time of the thread that watches the ports while the program idles
  (goal: under 0.05 % of a core).

Usage: bench/hotplug.sh PATH_TO_CLAVORA [--runs N] [--idle SECONDS]
Run it under an X server (hotplug.sh starts one with xvfb-run).
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lib_proc  # noqa: E402


def wait_until(what, check, seconds):
    if not lib_proc.wait_until(check, seconds):
        sys.exit(f"hotplug: {what}: not within {seconds} s")


def jack_ports(env):
    r = subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True)
    return r.stdout.split("\n") if r.returncode == 0 else []


def device_linked(env):
    """True while our port "device 0" is connected to a source."""
    r = subprocess.run(["jack_lsp", "-c", "Clavora:device 0"], env=env, capture_output=True, text=True)
    return any(line.startswith((" ", "\t")) for line in r.stdout.splitlines())


def thread_cpu(pid, name):
    """Seconds on a processor of the named thread (schedstat: nanoseconds, exact)."""
    for task in pathlib.Path(f"/proc/{pid}/task").iterdir():
        if (task / "comm").read_text().strip() == name:
            return int((task / "schedstat").read_text().split()[0]) / 1e9
    sys.exit(f"hotplug: no thread named {name}")


def process_cpu(pid):
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def marks(path, name):
    out = []
    for line in pathlib.Path(path).read_text().splitlines():
        words = line.split()
        if words and words[0] == name:
            out.append(float(words[1]))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("clavora")
    ap.add_argument("--runs", type=int, default=10)
    ap.add_argument("--idle", type=float, default=60)
    args = ap.parse_args()
    clavora = os.path.abspath(args.clavora)
    midisend = os.path.join(os.path.dirname(clavora), "midisend")
    work = tempfile.mkdtemp(prefix="clavora-hotplug.")
    env = dict(os.environ, JACK_DEFAULT_SERVER=f"clavora-bench-{os.getpid()}",
               JACK_NO_AUDIO_RESERVATION="1", SDL_AUDIODRIVER="dummy")
    timing = os.path.join(work, "timing.txt")
    jackd = subprocess.Popen(["jackd", "-R", "-n", env["JACK_DEFAULT_SERVER"], "-d", "dummy",
                              "-r", "44100", "-p", "1024"], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    prog = None
    try:
        wait_until("jackd coming up", lambda: jack_ports(env), 10)
        prog = subprocess.Popen([clavora], cwd=work, env=dict(env, CLAVORA_TIMING=timing),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until("the program's own port", lambda: "Clavora:Clavora" in jack_ports(env), 20)
        time.sleep(2)  # start-up work settles

        watch0, all0, t0 = thread_cpu(prog.pid, "midi-watch"), process_cpu(prog.pid), time.monotonic()
        time.sleep(args.idle)
        watch1, all1, t1 = thread_cpu(prog.pid, "midi-watch"), process_cpu(prog.pid), time.monotonic()
        watch_pct = 100 * (watch1 - watch0) / (t1 - t0)
        all_pct = 100 * (all1 - all0) / (t1 - t0)

        # Each sender plays a note every 4 ms from the moment its port exists.
        commands = "".join("90 3c 40\nsleep 2\n90 3c 00\nsleep 2\n" for _ in range(300))
        opened, ended = [], []
        for _ in range(args.runs):
            r = subprocess.run([midisend, "--stamp"], input=commands, env=env,
                               capture_output=True, text=True, timeout=30)
            stamp = [l for l in r.stdout.splitlines() if l.startswith("opened-at ")]
            if not stamp:
                sys.exit(f"hotplug: the sender said {r.stdout!r} {r.stderr!r}")
            opened.append(float(stamp[0].split()[1]))
            closed = [l for l in r.stdout.splitlines() if l.startswith("closed-at ")]
            if not closed:
                sys.exit(f"hotplug: the sender said {r.stdout!r} {r.stderr!r}")
            ended.append(float(closed[0].split()[1]))
            # The port is gone: wait until device 0 is let go before the next one.
            wait_until("device 0 let go", lambda: not device_linked(env), 5)
        first = marks(timing, "midi-device-first-message")
        if len(first) != len(opened):
            sys.exit(f"hotplug: {len(first)} first messages for {len(opened)} senders")
        delays = [f - o for f, o in zip(first, opened)]
        released = marks(timing, "midi-device-released")
        if len(released) != len(ended):
            sys.exit(f"hotplug: {len(released)} releases for {len(ended)} senders")
        gone = [r - e for r, e in zip(released, ended)]
    finally:
        lib_proc.stop(prog, 5)
        lib_proc.stop(jackd)

    print(f"port appearance to first message, {len(delays)} senders: median "
          f"{1000 * statistics.median(delays):.0f} ms, worst {1000 * max(delays):.0f} ms "
          f"(goal: under 1000 ms)")
    print(f"  each: {' '.join(f'{1000 * d:.0f}' for d in delays)} ms")
    print(f"sender's end to the release of its keys: median "
          f"{1000 * statistics.median(gone):.0f} ms, worst {1000 * max(gone):.0f} ms "
          f"(goal: under 1000 ms)")
    print(f"idle over {t1 - t0:.0f} s: port watcher {watch_pct:.4f} % of a core "
          f"(goal: under 0.05 %), whole program {all_pct:.2f} %")


if __name__ == "__main__":
    main()
