#!/usr/bin/python3
"""Key to ear through a real sound server: clicks a key of the real program through
the X server and times the note's first sample as it leaves a PulseAudio null sink.

Usage: bench/latency.sh PATH_TO_CLAVORA [--server pulseaudio|pipewire] [--clicks N]
                        [--long N] [--silence S] [--pulse-latency-msec MS]
                        [--server-raised]

Everything runs on servers of the benchmark's own: an Xvfb, and a PulseAudio daemon
in a runtime directory of its own with a null sink at 44100 Hz, or PipeWire with
pipewire-pulse (quantum 256 at 48000 Hz) and a null sink. The sink's monitor is
recorded without a break, so every recorded frame is a position on the sink's clock,
whatever the capture's own delay. That clock is tied to the wall clock by reference
clicks: a second client plays a click and asks the server when it leaves the sink
(the moment it was written plus the stream's reported latency); the frame where the
click shows in the recording is then known to leave at that moment, and every other
frame 1/44100 s before or after it. A key's latency is the moment its first sample
leaves the sink less the moment the button press was sent to the X server.

The server runs as a desktop runs it (its own priorities); --server-raised raises its
ordinary threads too. The stall probe runs beside the benchmark, and its figures are
printed with the key-to-ear figures, as is the goal the median is held to: the worst
stall the probe saw plus 8 ms, and at most 10 ms where that stall is under 2 ms.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import lib_pipewire as lpw  # noqa: E402
import lib_pulse as lp  # noqa: E402
import lib_stalls  # noqa: E402
from latency_parts import key_notes, print_parts, split_keys  # noqa: E402
import vmpk  # noqa: E402

# Goals: median, 9 in 10, worst, and the first key after a silence.
GOALS_MS = {"median": 10.0, "9 in 10": 15.0, "worst": 20.0, "after silence": 10.0}
BUFFER_FRAMES = 384  # the program's queue at a sound server when it starts


def anchors(player, rec, count):
    """Offsets (sink clock to wall clock) from count reference clicks."""
    found, lost = [], 0
    while len(found) < count:
        start = rec.frames()
        played = player.click()
        at = lp.wait_until(lambda: rec.first_above(start, 6000), 3)
        if at is None:
            # Now and then a click does not reach the recording (seen on PipeWire's
            # server for PulseAudio clients): another one is played, twice at most.
            end = rec.frames()
            lost += 1
            if lost > 2:
                sys.exit("latency: a reference click never showed in the recording "
                         f"(frames {start}..{end}, loudest {max(rec.levels(start, end) or [0])})")
            print("  (a reference click never showed: played another)")
            continue
        found.append(played - at / lp.RATE)
        time.sleep(0.05)
    return found


def settle(player, rec, most=20):
    """Plays reference clicks until three in a row agree within 0.5 ms, at most 20. A
    stream just begun reports a latency that settles only over a second or so (on
    PipeWire's server for PulseAudio clients the references around a key disagreed by
    38, 15, then 9 ms), and a key clicked again is no longer one after a silence."""
    found = []
    while len(found) < most:
        found += anchors(player, rec, 1)
        if len(found) >= 3 and max(found[-3:]) - min(found[-3:]) <= 0.0005:
            return True
    apart = 1000 * (max(found[-3:]) - min(found[-3:]))
    print(f"  (references did not settle: the last three {apart:.1f} ms apart)")
    return False


def wait_quiet(rec, seconds=0.15, limit=4.0):
    """Waits until the last seconds of the recording are silent; True if they are."""
    span = int(seconds * lp.RATE)

    def quiet():
        end = rec.frames()
        return end > span and max(rec.levels(end - span, end)) <= 1
    return bool(lp.wait_until(quiet, limit))


def server_latency(server):
    """The program's stream as the server reports it: buffer and sink latency, in ms."""
    blocks = server.pactl("list", "sink-inputs").split("Sink Input #")
    text = "".join(b for b in blocks if "clavora-bench" not in b)
    buf = re.search(r"Buffer Latency: (\d+) usec", text)
    sink = re.search(r"Sink Latency: (\d+) usec", text)
    return (int(buf.group(1)) / 1000 if buf else None, int(sink.group(1)) / 1000 if sink else None)


def program_marks(timing):
    """How the program's sound went: its real-time grant, the queue it settled at, how
    often it changed and the underflows the server reported."""
    grant = "unknown"
    try:
        lines = open(timing).read().split("\n")
    except OSError:
        return grant, None, 0, 0
    frames, grew, underflows = None, 0, 0
    for line in lines:
        word = line.split(" ")[0]
        if word.startswith("audio-realtime-"):
            grant = word[len("audio-realtime-"):]
        elif word.startswith("audio-latency-frames-"):
            frames, grew = int(word.rsplit("-", 1)[1]), grew + 1
        elif word == "audio-underflow":
            underflows += 1
    return grant, frames, grew, underflows


def in_program(timing):
    """What the program measured itself, written as it ends: notes, the mean and the
    worst time from a note sent to the synthesizer to its first sample rendered (ms)."""
    try:
        text = open(timing).read()
    except OSError:
        return None
    m = re.search(r"key-to-sound notes (\d+) mean-ms ([\d.]+) max-ms ([\d.]+)", text)
    if not m:
        return None
    # Natively on PipeWire the program also says how far ahead of the sink it filled.
    ahead = re.search(r"audio-ahead-mean-us-(\d+)-max-us-(\d+)", text)
    return (int(m.group(1)), float(m.group(2)), float(m.group(3)),
            int(ahead.group(1)) / 1000 if ahead else None)


def click_once(clicker, rec, offset, key):
    """One click on a white key: the moment it was sent and the frame where its sound
    begins (None if none came)."""
    clicker.move(*(vmpk.key_point(clicker, key) if clicker.other else lp.white_key(key)))
    time.sleep(0.02)
    pressed = clicker.press()
    expected = int((pressed - offset) * lp.RATE)
    onset = lp.wait_until(lambda: rec.first_above(expected - 88, 1), 3)
    time.sleep(0.06)
    clicker.release()
    return pressed, onset


def measured_click(player, clicker, rec, key):
    """One key's latency in ms, tied to the clock by a reference click just before it
    and checked by another just after; also how far the two references disagree. A
    key whose references disagree by more than 3 ms (the server's clock moved under
    one of them) is clicked again, up to three times, and then left out (None)."""
    for _ in range(3):
        ms, spread = tied_click(player, clicker, rec, key)
        if spread <= 3.0:
            return ms, spread
        print(f"  (references {spread:.1f} ms apart: clicked again)")
        wait_quiet(rec)
    return None, spread


def tied_click(player, clicker, rec, key):
    first = anchors(player, rec, 1)[0]
    pressed, onset = click_once(clicker, rec, first, key)
    if onset is None:
        sys.exit("latency: a click gave no sound")
    wait_quiet(rec)
    second = anchors(player, rec, 1)[0]
    offset = (first + second) / 2
    tied_click.pressed = pressed
    return 1000 * (onset / lp.RATE + offset - pressed), 1000 * abs(second - first)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("binary")
    ap.add_argument("--clicks", type=int, default=30)
    ap.add_argument("--long", type=int, default=3, help="clicks after a long silence")
    ap.add_argument("--silence", type=float, default=12.0, help="seconds of that silence")
    ap.add_argument("--pulse-latency-msec", type=int, default=None)
    ap.add_argument("--via-pulse", action="store_true",
                    help="on PipeWire: through its server for PulseAudio clients (PULSE_SERVER)")
    ap.add_argument("--vmpk-buffer", default=None, help="with vmpk: FluidSynth's PERIODxCOUNT")
    ap.add_argument("--server", choices=("pulseaudio", "pipewire"), default="pulseaudio")
    ap.add_argument("--server-raised", action="store_true",
                    help="raise the server's ordinary threads to real-time (lib_pulse.make_realtime), "
                         "as no desktop does")
    ap.add_argument("--server-ordinary", action="store_true",
                    help="the server as a desktop runs it (the default)")
    args = ap.parse_args()
    for tool in ("Xvfb", "xdotool", "pulseaudio", "pactl"):
        if not shutil.which(tool):
            sys.exit(f"latency: {tool} is not installed (scripts/install-deps)")
    probe = lib_stalls.StallProbe(args.binary)
    xserver = lp.Xvfb()
    rt = args.server_raised
    server = (lpw.PipeWireServer(realtime=rt) if args.server == "pipewire"
              else lp.PulseServer(realtime=rt))
    rec = lp.Recorder(server)
    workdir = tempfile.mkdtemp(prefix="clavora-latency.")
    timing = os.path.join(workdir, "timing.txt")
    base_env = server.env if args.via_pulse else server.program_env
    env = dict(base_env, DISPLAY=xserver.display, SDL_AUDIODRIVER="pulseaudio",
               CLAVORA_TIMING=timing)
    if args.pulse_latency_msec is not None:
        env["PULSE_LATENCY_MSEC"] = str(args.pulse_latency_msec)
    other = vmpk.is_vmpk(args.binary)
    if other:
        prog = vmpk.start(shutil.which(args.binary) or args.binary, dict(server.env,
                          DISPLAY=xserver.display), workdir, args.vmpk_buffer)
    else:
        prog = subprocess.Popen([os.path.abspath(args.binary)], cwd=workdir, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    clicker = None
    try:
        clicker = lp.Clicker(xserver.display, prog.pid, name=vmpk.WINDOW if other else None)
        clicker.other = other
        ready = (vmpk.wait_sounding(clicker, rec) if other else
                 lp.wait_until(lambda: os.path.exists(timing) and
                               "synth-ready" in open(timing).read(), 30))
        if not ready:
            sys.exit("latency: the synthesizer did not become ready")
        # The sink runs in long blocks until a stream asks for a short latency; the
        # recording is one steady clock only once the program's stream plays.
        if not lp.wait_until(lambda: rec.frames() > lp.RATE, 10):
            sys.exit("latency: the sink's monitor gives nothing")
        player = lp.ReferencePlayer(server)
        time.sleep(0.5)
        where = (f"PipeWire {lpw.GRAPH_RATE} Hz, quantum {lpw.QUANTUM} ({server.quantum()})"
                 if args.server == "pipewire" else f"PulseAudio, {lp.RATE} Hz")
        where += ", server wholly real-time" if server.realtime else ", server as on a desktop"
        if args.server == "pipewire":
            where += ", program through pipewire-pulse" if args.via_pulse else ", program native"
        if other:
            where += f", vmpk with FluidSynth's buffer {args.vmpk_buffer or 'at its default'}"
        print(f"Key to ear through {where} (null sink), "
              f"PULSE_LATENCY_MSEC={args.pulse_latency_msec or 'unset'}:")
        plain, reported, spreads, left_out = [], None, [], 0
        plain_keys, silence_keys = [], []
        # As many keys as asked, each tied to the clock; keys left out are made up for.
        for i in range(2 * args.clicks):
            if len(plain) == args.clicks:
                break
            if not wait_quiet(rec):
                print("  (sound had not died away before a click)")
            ms, spread = measured_click(player, clicker, rec, 20 + (i * 7) % 12)
            if ms is None:
                left_out += 1
                continue
            plain.append(ms)
            plain_keys.append((tied_click.pressed, ms))
            spreads.append(spread)
            reported = server_latency(server)
            time.sleep(0.1)
        after_silence = []
        # On PipeWire the reference stream plays on through the silence: a stream new to
        # its server for PulseAudio clients reports a latency still 4 ms astray after 20
        # clicks, and the references around the first key then disagreed by 8 to 38 ms.
        # The program's stream rests all the same; the graph goes on at its quantum, as
        # it does wherever another application plays.
        keep = args.server == "pipewire"
        for _ in range(args.long):
            # Elsewhere the reference stream goes too, so nothing but the program keeps
            # the sink busy; it comes back only for the moment of the click.
            if not keep:
                player.close()
            wait_quiet(rec)
            time.sleep(args.silence)
            if not keep:
                player = lp.ReferencePlayer(server)
                time.sleep(0.5)
                settle(player, rec)
            ms, spread = measured_click(player, clicker, rec, 23)
            if ms is None:
                left_out += 1
                continue
            after_silence.append(ms)
            silence_keys.append((tied_click.pressed, ms))
            spreads.append(spread)
        player.close()
        grant, settled, grew, underflows = program_marks(timing)
    finally:
        if clicker:
            clicker.close()
        lp.stop(prog)
        inside = in_program(timing)
        notes = key_notes(timing)
        dropped = re.findall(r"audio-pulse-silence-dropped-(\d+)", open(timing).read()
                             if os.path.exists(timing) else "")
        stalls = probe.stop()
        rec.close()
        server.close()
        xserver.close()
        shutil.rmtree(workdir, ignore_errors=True)
    everything = plain + after_silence
    ranked = sorted(plain)
    figures = {"median": statistics.median(plain), "9 in 10": ranked[(9 * len(ranked) - 1) // 10],
               "worst": max(everything)}
    if after_silence:
        figures["after silence"] = max(after_silence)
    print(f"  clicks: {len(plain)}, best {ranked[0]:.1f} ms")
    if after_silence:
        print(f"  after {args.silence:.0f} s of silence"
              f"{' (the reference stream playing on)' if keep else ''}: " +
              ", ".join(f"{v:.1f} ms" for v in after_silence))
    buf, sink = reported or (None, None)
    print(f"  server reports buffer latency {buf} ms, sink latency {sink} ms (last click)")
    if not other and args.server == "pipewire" and not args.via_pulse:
        # Natively on PipeWire there is no queue of the program's own: the graph asks
        # for one quantum at a time and the callback fills it in place.
        print(f"  program: real-time audio thread {grant}; fills the graph's quantum in "
              f"place, asked {settled or 256}/44100 at the end ({grew} changes); "
              f"cycles missed: {underflows}")
    elif not other:
        queue = (f"{settled} frames ({1000 * settled / lp.RATE:.1f} ms)" if settled else
                 f"{BUFFER_FRAMES} frames ({1000 * BUFFER_FRAMES / lp.RATE:.1f} ms), as it started")
        print(f"  program: real-time audio thread {grant}; its queue changed {grew} times, "
              f"settled at {queue}; underflows reported: {underflows}")
    if inside:
        print(f"  in the program, note sent to its first sample rendered: mean {inside[1]:.1f} ms, "
              f"worst {inside[2]:.1f} ms ({inside[0]} notes)")
        # The same path added up from its parts, as the program and the server report
        # them: a check on the references, which no part of depends on.
        queued = inside[3] if inside[3] is not None else sum(reported or (0, 0))
        print(f"  sum of the parts: {inside[1]:.1f} ms to the render, then {queued:.1f} ms queued "
              f"ahead of the sink = {inside[1] + queued:.1f} ms (mean, without the X server)")
    if dropped:
        print(f"  program: queued silence dropped before a key {dropped[-1]} times")
    print_parts("clicks", split_keys(plain_keys, notes))
    for i, part in enumerate(split_keys(silence_keys, notes)):
        print_parts(f"after silence {i + 1}", [part])
    print(f"  method: two reference clicks around each key agree within "
          f"{max(spreads):.2f} ms (median {statistics.median(spreads):.2f} ms); "
          f"{left_out} keys left out whose references never agreed within 3 ms")
    load = os.getloadavg()
    print(f"  machine: {os.cpu_count()} cores, load average {load[0]:.1f} {load[1]:.1f} {load[2]:.1f}")
    print(f"  {stalls}")
    met = True
    goals = dict(GOALS_MS)
    if probe.worst is not None:
        # The median is held to the machine's floor: nothing shorter plays through its
        # worst stall, nothing much longer is needed (10 ms where it stalls under 2 ms).
        goals["median"] = probe.worst + 8.0
        print(f"  the median's goal: the worst stall {probe.worst:.1f} ms + 8 ms")
    for name, value in figures.items():
        ok = value <= goals[name]
        met = met and ok
        print(f"  key to ear, {name}: {value:.1f} ms   goal <= {goals[name]:.1f} ms "
              f"{'met' if ok else 'MISSED'}")
    if args.long and not after_silence:
        # A goal that could not be measured is not met.
        print(f"  key to ear, after silence: not measured   goal <= "
              f"{GOALS_MS['after silence']:.0f} ms MISSED")
        met = False
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
