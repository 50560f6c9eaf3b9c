#!/usr/bin/python3
"""On a real sound server of the test's own (a PulseAudio daemon, or PipeWire, which the
program reaches with a stream of its own) with a null sink: three times in a row the
program starts with a song in slot 0, which plays by itself and must reach the sink's
monitor without a quiet run of 3 ms or more inside its held notes, after at most one
adaptation (a first gap after which the program takes a longer queue is how it learns the
machine's stalls); afterwards a click on a key sounds there. A song with a gap is played
once more, and a gap in that one fails. Then the program stopped for 40 ms in a song must
ask the server for a longer queue, and all 128 programs are chosen in turn while a note is
held, which must not drop out either (after that one adaptation). Last, the server's going
away and standing still (lib_sound_survival): after a restart a key must sound within 2 s
of its return, and while it stands still and 2000 MIDI notes arrive the window must answer
clicks within 100 ms, with no message lost and no note left hanging.

Usage: test_sound_server.py PATH_TO_CLAVORA [--server pulseaudio|pipewire] [--songs N]
                            [--busy N] [--again N]
--busy N runs N busy shell loops beside the program (for the benchmark of a busy
machine; scripts/test runs without). The server runs as a desktop runs it, with its
own priorities (PulseAudio --realtime --high-priority, PipeWire's module-rt);
--server-raised raises its ordinary threads too (lib_pulse.make_realtime), which no
desktop does. The stall probe runs beside the test and its figures are printed with
the drop-outs.
"""
import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lib_pipewire as lpw  # noqa: E402
import lib_pulse as lp  # noqa: E402
import lib_stalls  # noqa: E402
import lib_sound_survival as survival  # noqa: E402

TICK = 0.030  # seconds per tick of a song
# Four notes of 67 ticks (2 s) each, one after another, each pressed at the tick the
# previous one is released: the song sounds without a break for 8 s.
KEYS = [40, 42, 44, 45]
NOTE_TICKS = 67
GAP_FRAMES = 3 * lp.RATE // 1000  # 3 ms of silence inside a held note is a drop-out
SKIP = lp.SKIP
gap_moments = []  # monotonic moments where a drop-out began, for the stall probe's report


def overloaded():
    """True when the machine has far more work than cores: then no program's sound can
    be held to run without a break, and a gap says nothing about this one."""
    return os.getloadavg()[0] > 2 * (os.cpu_count() or 1)


def song_bytes():
    records = []
    for i, key in enumerate(KEYS):
        records.append((key, 100, i * NOTE_TICKS))
        records.append((key, 0, (i + 1) * NOTE_TICKS))
    records.append((-100, -100, len(KEYS) * NOTE_TICKS + 3))
    return b"".join(struct.pack("<hhi", *r) for r in records)


def start_program(binary, server, xserver, workdir, timing="", song=True, extra_env=None):
    """song: True for the test's song in slot 0, bytes for another, False for none."""
    path = os.path.join(workdir, "song.000")
    if song:
        with open(path, "wb") as f:
            f.write(song_bytes() if song is True else song)
    elif os.path.exists(path):
        os.remove(path)
    log = open(os.path.join(workdir, "program.log"), "a")
    env = dict(server.program_env, DISPLAY=xserver.display, SDL_AUDIODRIVER="pulseaudio",
               CLAVORA_TIMING=timing, **(extra_env or {}))
    prog = subprocess.Popen([binary], cwd=workdir, env=env, stdout=log, stderr=subprocess.STDOUT)
    log.close()
    return prog


def quiet_runs(rec, start, end, least):
    """The quiet runs of at least least frames in [start, end): (first frame, length)."""
    runs, run = [], 0
    for i, v in enumerate(rec.levels(start, end) + [2 ** 15]):
        if v <= 1:
            run += 1
            continue
        if run >= least:
            runs.append((start + i - run, run))
        run = 0
    return runs


def adapted_after(timing, at):
    """True when the program took a longer queue within 0.5 s after the monotonic moment
    at (an underflow's size is known only once the sound is back)."""
    wall = at + time.time() - time.monotonic()
    for line in open(timing) if timing and os.path.exists(timing) else []:
        parts = line.split()
        if len(parts) >= 2 and parts[0].startswith("audio-latency-frames-"):
            if wall - 0.05 <= float(parts[1]) <= wall + 0.5:
                return True
    return False


def longest_after_adaptation(rec, timing, onset, end, what):
    """The longest quiet run in [onset, end) and where it begins. A first drop-out after
    which the program took a longer queue is its one adaptation to the machine (a program
    just started has not yet met the machine's stalls): the longest quiet run after it
    counts."""
    gap, gap_at = rec.longest_quiet(onset, end)
    runs = quiet_runs(rec, onset, end, GAP_FRAMES)
    if runs and adapted_after(timing, rec.when(runs[0][0])):
        first_at, first = runs[0]
        print(f"e2e: a gap of {1000 * first / lp.RATE:.1f} ms at "
              f"{(first_at - onset) / lp.RATE:.2f} s into the {what}, after which the program "
              "took a longer queue: its one adaptation",
              file=sys.stderr)
        gap, gap_at = rec.longest_quiet(first_at + first, end)
    return gap, gap_at


def song_gap(rec, start, timing=None):
    """Plays the song that has started after frame start through: its longest quiet run
    in ms, and where (after the program's one adaptation); fails when it never sounds or
    stops early."""
    onset = lp.wait_until(lambda: rec.first_above(start, 1), 30, 0.05)
    if onset is None:
        lp.fail("the song in slot 0 never reached the sink")
    song = len(KEYS) * NOTE_TICKS * TICK
    # Held notes cover everything up to the last release; a start delayed by the
    # SoundFont's loading shifts the song, so the check stops a little early.
    checked = int((song - 1.5) * lp.RATE)
    still = int((song - 1.0) * lp.RATE)
    if not lp.wait_until(lambda: rec.frames() > onset + still + lp.RATE // 2, song + 20, 0.1):
        lp.fail("the recording stopped: " + str(rec.error))
    gap, gap_at = longest_after_adaptation(rec, timing, onset, onset + checked, "song")
    if rec.first_above(onset + still, 1, onset + still + lp.RATE // 2) is None:
        lp.fail(f"the song fell silent before {song - 1.0:.1f} s")
    if gap >= GAP_FRAMES:
        print(f"e2e: the gap began near {rec.when(gap_at):.3f} on the monotonic clock",
              file=sys.stderr)
        gap_moments.append(rec.when(gap_at))
    return 1000 * gap / lp.RATE, (gap_at - onset) / lp.RATE


def settle(rec, limit, when):
    """Waits until the sink has been silent for 0.25 s; fails after limit seconds."""
    if not lp.wait_until(lambda: lp.quiet_for(rec, lp.RATE // 4), limit, 0.05):
        not_silent(rec, when)


def not_silent(rec, when):
    """Fails saying what the recording shows: still moving, and how loud its last 0.25 s."""
    before = rec.frames()
    lp.wait_until(lambda: rec.frames() > before + lp.RATE // 2, 1, 0.05)
    end = rec.frames()
    level = max(rec.levels(end - lp.RATE // 4, end)) if end > lp.RATE // 4 else None
    lp.fail(f"the sink never fell silent {when} (the recording moved {end - before} frames "
            f"in a second, its last 0.25 s peaks at {level}; {rec.error or 'no error'})")


def click_sounds(rec, clicker):
    """The last note dies away; then one click on middle C must sound."""
    settle(rec, 15, "after the song")
    if lp.click_heard(rec, clicker, 23, 5) is None:
        lp.fail("a click on middle C never reached the sink")


def marks(timing, name):
    """How many moments the program's timing log names with name at their start."""
    return sum(line.startswith(name) for line in open(timing)) if os.path.exists(timing) else 0


def sound_marks(timing, at):
    """Prints what the program's sound marked in the 1.5 s before a gap (at, monotonic)
    and just after it: underflows, what they lacked, queue changes, pauses and states."""
    wall = at + time.time() - time.monotonic()
    seen = []
    for line in open(timing) if os.path.exists(timing) else []:
        parts = line.split()
        if len(parts) >= 2 and parts[0].startswith("audio-"):
            try:
                moment = float(parts[1])
            except ValueError:
                continue
            if wall - 1.5 <= moment <= wall + 0.5:
                seen.append(f"{parts[0]} {moment - wall:+.3f}")
    print("e2e: the sound's marks around the gap (s from it): " + (", ".join(seen) or "none"),
          file=sys.stderr)


def stall_lengthens_queue(binary, server, xserver, workdir, rec):
    """The program stopped for 40 ms while its song plays, as when a virtual machine's
    processor is taken away: the server reports the underflow (on PipeWire the stream
    sees the graph's cycle it missed) and the program asks for a longer queue."""
    timing = os.path.join(workdir, "stall-timing")
    start = rec.frames()
    prog = start_program(binary, server, xserver, workdir, timing)
    try:
        if lp.wait_until(lambda: rec.first_above(start, 1000), 30, 0.05) is None:
            lp.fail("the song in slot 0 never reached the sink")
        # Underflows within half a second of the stream's start or of the last change
        # are one run with it: a stall of the machine's own just before may have
        # taken this one's place, so the program is stopped up to three times.
        for _ in range(3):
            time.sleep(0.7)
            before = marks(timing, "audio-latency-frames-")
            os.kill(prog.pid, signal.SIGSTOP)
            time.sleep(0.04)
            os.kill(prog.pid, signal.SIGCONT)
            if lp.wait_until(lambda: marks(timing, "audio-latency-frames-") > before, 3, 0.05):
                return
        lp.fail(f"the program stopped three times for 40 ms never asked for a longer queue "
                f"({marks(timing, 'audio-underflow')} underflows marked)")
    finally:
        lp.stop(prog)


PROGRAM_UP = (167, 377)  # the program-up arrow
# One note held far longer than the check: every command adds a frame of its own, so the
# 128 clicks bring its release closer by 128 ticks. A piano key decays below hearing after
# about 5 s; the check ends before.
SWEEP_NOTE_TICKS = 2000
SWEEP_CHECKED = 4.0


def program_sweep(binary, server, xserver, workdir, rec):
    """Every program chosen in turn with the program-up arrow, 128 clicks that end on the
    first one again, while one note is held: each choice may read an instrument's samples
    from the SoundFont, and the held note must sound on without a quiet run of 3 ms after
    the program's one adaptation, as in the songs. The longest quiet run in ms, and where."""
    held = struct.pack("<hhi", 44, 100, 0) + struct.pack("<hhi", 44, 0, SWEEP_NOTE_TICKS) + \
        struct.pack("<hhi", -100, -100, SWEEP_NOTE_TICKS + 3)
    start = rec.frames()
    timing = os.path.join(workdir, "sweep-timing")
    if os.path.exists(timing):
        os.remove(timing)
    prog = start_program(binary, server, xserver, workdir, timing, song=held)
    clicker = None
    try:
        clicker = lp.Clicker(xserver.display, prog.pid)
        onset = lp.wait_until(lambda: rec.first_above(start, 1), 30, 0.05)
        if onset is None:
            lp.fail("the held note never reached the sink")
        clicker.move(*PROGRAM_UP)
        for _ in range(128):
            clicker.press()
            time.sleep(0.005)
            clicker.release()
            time.sleep(0.01)
        checked = int(SWEEP_CHECKED * lp.RATE)
        if not lp.wait_until(lambda: rec.frames() > onset + checked, 30, 0.1):
            lp.fail("the recording stopped: " + str(rec.error))
        gap, gap_at = longest_after_adaptation(rec, timing, onset, onset + checked, "sweep")
        if gap >= GAP_FRAMES:
            gap_moments.append(rec.when(gap_at))
            sound_marks(timing, gap_moments[-1])
        if prog.poll() is not None:
            lp.fail(f"the program ended with status {prog.returncode} in the program sweep")
        return 1000 * gap / lp.RATE, (gap_at - onset) / lp.RATE
    finally:
        if clicker:
            clicker.close()
        lp.stop(prog)


class Launch:
    """The program as the survival cases start it: on this server, display and folder."""

    def __init__(self, binary, server, xserver, workdir):
        self.binary, self.display, self.workdir = binary, xserver.display, workdir
        self.log = os.path.join(workdir, "program.log")
        self.start = lambda timing, song, env=None: start_program(
            binary, server, xserver, workdir, timing, song, env)
        self.stop = lp.stop


def survives(binary, server, xserver, workdir):
    """The server's restart and standing still (lib_sound_survival)."""
    launch = Launch(binary, server, xserver, workdir)
    noticed, stream, heard = survival.restart(launch, server)
    print(f"e2e: the server restarted: the program noticed its going after {noticed:.3f} s; "
          f"its stream was back {stream:.3f} s and a key sounded {heard:.3f} s after its "
          "return", file=sys.stderr)
    _, stream, heard = survival.restart(launch, server, first_gone=True)
    print(f"e2e: started without its server: its stream was on the server {stream:.3f} s "
          f"and a key sounded {heard:.3f} s after the server came", file=sys.stderr)
    times = survival.dead_output(launch, server)
    if times is None:
        return "no JACK server could run here: the dead output was not tried"
    times.sort()
    print(f"e2e: the server stood still while {survival.NOTES} MIDI notes came: "
          f"{len(times)} clicks answered in median {times[len(times) // 2]:.1f} ms, worst "
          f"{times[-1]:.1f} ms; no message lost; every note ended", file=sys.stderr)
    if times[-1] > survival.ANSWER_MS:
        message = f"a click took {times[-1]:.1f} ms to show while the sound stood still"
        if not overloaded():
            lp.fail(message)
        return f"{message} (load {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores)"
    return None


def open_server(kind, realtime):
    """The sound server, or None with the reason printed when PipeWire cannot run here."""
    if kind == "pulseaudio":
        return lp.PulseServer(realtime=realtime)
    try:
        return lpw.PipeWireServer(realtime=realtime)
    except RuntimeError as e:
        print(f"SKIP: PipeWire cannot run here: {e}", file=sys.stderr)
        return None


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--server", choices=("pulseaudio", "pipewire"), default="pulseaudio")
    ap.add_argument("--songs", type=int, default=3)
    ap.add_argument("--busy", type=int, default=0)
    ap.add_argument("--again", type=int, default=1,
                    help="songs and sweeps with a gap played once more before the test fails "
                    "(0: none)")
    ap.add_argument("--server-raised", action="store_true",
                    help="raise the server's ordinary threads to real-time, as no desktop does")
    ap.add_argument("--server-ordinary", action="store_true",
                    help="the server as a desktop runs it (the default)")
    ap.add_argument("--survival-only", action="store_true",
                    help="only the server's restart and standing still")
    args = ap.parse_args(argv)
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        lp.fail(f"no program at {args.binary}")
    server = open_server(args.server, args.server_raised)
    if server is None:
        return SKIP
    probe = lib_stalls.StallProbe(binary)
    xserver = lp.Xvfb()
    rec = lp.Recorder(server)
    workdir = tempfile.mkdtemp(prefix="clavora-e2e-sound.")
    busy = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(args.busy)]
    prog, clicker, unproven, gaps = None, None, [], []
    where = args.server + (f", quantum {lpw.QUANTUM} at {lpw.GRAPH_RATE} Hz"
                           if args.server == "pipewire" else "")
    where += ", server raised" if server.realtime else ", server as on a desktop"
    try:
        i, again = 0, 0
        if args.survival_only:
            rec.close()
            rec = None
            slow = survives(binary, server, xserver, workdir)
            if slow:
                print("SKIP: " + slow, file=sys.stderr)
                return SKIP
            return 0
        while i < args.songs:
            # The last song's tail (the server may still play what it holds after the
            # program is gone) must not count as the next song's start.
            if i > 0 or again:
                settle(rec, 10, "after a song")
            timing = os.path.join(workdir, f"timing-{i}-{again}")
            prog = start_program(binary, server, xserver, workdir, timing)
            last = i == args.songs - 1
            if last:
                clicker = lp.Clicker(xserver.display, prog.pid)
            gap, at = song_gap(rec, rec.frames(), timing)
            gaps.append(gap)
            load = os.getloadavg()[0]
            if gap >= 1000 * GAP_FRAMES / lp.RATE:
                message = f"song {i + 1}: a gap of {gap:.1f} ms at {at:.2f} s into the song"
                sound_marks(timing, gap_moments[-1])
                if again < args.again:
                    # A virtual machine's processor can be taken away for longer than the
                    # queue for a moment: one such gap is played again, and only a second
                    # one in a row fails. Every gap is printed.
                    print(f"e2e: {message} ({where}, load {load:.1f}); played once more",
                          file=sys.stderr)
                    again += 1
                    if last:
                        clicker.close()
                        clicker = None
                    lp.stop(prog)
                    continue
                if not overloaded():
                    lp.fail(f"{message} ({where}, load {load:.1f})")
                # The rest of the test still runs; only this check is given up.
                unproven.append(f"{message} on a machine with load {load:.1f} on "
                                f"{os.cpu_count()} cores")
            again = 0
            if last:
                click_sounds(rec, clicker)
                if prog.poll() is not None:
                    lp.fail(f"the program ended with status {prog.returncode}")
            lp.stop(prog)
            i += 1
        print(f"e2e: {args.songs} songs on {where}"
              f"{f' beside {args.busy} busy loops' if args.busy else ''}: longest quiet runs "
              + ", ".join(f"{g:.2f} ms" for g in gaps)
              + f" (load {os.getloadavg()[0]:.1f}); a click on middle C sounded", file=sys.stderr)
        settle(rec, 10, "after the last song")
        stall_lengthens_queue(binary, server, xserver, workdir, rec)
        print("e2e: stopped for 40 ms mid-song, the program asked for a longer queue",
              file=sys.stderr)
        for attempt in range(args.again + 1):
            settle(rec, 10, "before the program sweep")
            gap, at = program_sweep(binary, server, xserver, workdir, rec)
            load = os.getloadavg()[0]
            message = (f"128 programs chosen while a note was held: longest quiet run "
                       f"{gap:.2f} ms at {at:.2f} s ({where}, load {load:.1f})")
            if gap < 1000 * GAP_FRAMES / lp.RATE:
                print(f"e2e: {message}", file=sys.stderr)
                break
            # As with the songs: a gap may be the machine's, and is played once more;
            # the last one allowed fails.
            final = attempt == args.again
            print(f"e2e: {message}" + ("" if final else "; played once more"), file=sys.stderr)
            if final and not overloaded():
                lp.fail(message)
            if final:
                unproven.append(message)
        rec.close()
        rec = None
        slow = survives(binary, server, xserver, workdir)
        if slow:
            unproven.append(slow)
        if unproven:
            print("SKIP: " + "; ".join(unproven), file=sys.stderr)
            return SKIP
    finally:
        print("e2e: " + probe.stop(), file=sys.stderr)
        for at in gap_moments:
            print(f"e2e: late wakes near the gap at {at:.3f}: {probe.near(at)}", file=sys.stderr)
        if clicker:
            clicker.close()
        if prog:
            lp.stop(prog)
        for b in busy:
            b.kill()
            b.wait()
        if rec:
            rec.close()
        server.close()
        xserver.close()
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
