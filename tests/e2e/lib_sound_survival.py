"""The sound-server test's cases of a server that goes away or stands still, on either
server (lib_pulse.PulseServer or lib_pipewire.PipeWireServer):

restart: the server ends while the program runs and comes back on the same socket;
a key must sound at the sink within 2 s of its return. The same when the server is
away at the program's start and comes later.

dead output: the server stopped (SIGSTOP) while 2000 MIDI notes arrive through JACK
from tools/midisend; a click on the window must show its key within 100 ms all the
while, MIDI input must report nothing lost, and once the server goes on every note
must have ended (the sink falls silent) and a key sounds again.
"""
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import lib_pulse as lp

NOTES = 2000
ANSWER_MS = 100
MIDDLE_C = 23  # white key index
CLICKED_KEYS = range(40, 50)  # white keys above every note the sender plays


def marks(timing, name):
    """The wall-clock moments of the timing log's lines that begin with name."""
    if not os.path.exists(timing):
        return []
    return [float(line.split()[1]) for line in open(timing) if line.startswith(name)]


def _ready(timing):
    return marks(timing, "synth-ready") and marks(timing, "audio-output-")


def _key_sounds_after(server, clicker, back):
    """Clicks middle C every 0.3 s until the sink hears it; the seconds since back."""
    rec = lp.Recorder(server)
    try:
        while time.time() < back + 2.0:
            if lp.click_heard(rec, clicker, MIDDLE_C, 0.3) is not None:
                return time.time() - back
        lp.fail("no key sounded within 2 s of the server's return")
    finally:
        rec.close()


def restart(launch, server, first_gone=False):
    """launch starts and stops the program (launch.start(timing, song, env), launch.stop,
    launch.display, launch.workdir, launch.log). The server goes away while the program
    rests and comes back (or, first_gone, it is away when the program starts and comes
    later, as a sound card plugged in would). Returns the seconds from the server's going
    to the program's noticing, from its return to the program's stream on it, and to
    the key's sound."""
    timing = os.path.join(launch.workdir, "restart-timing" + ("-late" if first_gone else ""))
    if first_gone:
        server.go_away()
    prog = launch.start(timing, False)
    clicker = None
    try:
        clicker = lp.Clicker(launch.display, prog.pid)
        noticed = float("nan")
        if first_gone:
            if not lp.wait_until(lambda: marks(timing, "synth-ready"), 30, 0.05):
                lp.fail("the synthesizer never loaded without a sound output")
        else:
            if not lp.wait_until(lambda: _ready(timing), 30, 0.05):
                lp.fail("the program never opened its sound output")
            # Silent for a while, as a program is most of the time: its fill rests.
            time.sleep(3)
            gone = time.time()
            server.go_away()
            if not lp.wait_until(lambda: marks(timing, "audio-lost-"), 5, 0.05):
                lp.fail("the program never noticed that its server went away")
            noticed = marks(timing, "audio-lost-")[0] - gone
        opened = len(marks(timing, "audio-output-"))
        time.sleep(0.5)
        server.start_again()
        back = time.time()
        heard = _key_sounds_after(server, clicker, back)
        if prog.poll() is not None:
            lp.fail(f"the program ended with status {prog.returncode} after the restart")
        # Negative where the program was back before the server had its sink again.
        again = [t - back for t in marks(timing, "audio-output-")[opened:]]
        return noticed, (again[0] if again else float("nan")), heard
    finally:
        if clicker:
            clicker.close()
        launch.stop(prog)


def _pixel(clicker, x, y):
    data = clicker.win.get_image(x, y, 1, 1, 2, 0xFFFFFFFF).data  # ZPixmap
    return bytes(data[:3])


def _answer_times(clicker, stop_event, times):
    """Clicks keys in turn every 0.1 s until stop_event; the time from each press until
    the window shows the key pressed goes into times (seconds, None when never shown).
    A clicked key is drawn down for 30 frames, so each is clicked again only once it is
    up again."""
    keys = [lp.white_key(k) for k in CLICKED_KEYS]
    up = [_pixel(clicker, x, y) for x, y in keys]
    turn = 0
    while not stop_event.is_set():
        k = turn % len(keys)
        x, y = keys[k]
        lp.wait_until(lambda: _pixel(clicker, x, y) == up[k], 3, 0.01)
        clicker.move(x, y)
        at = clicker.press()
        shown = lp.wait_until(lambda: _pixel(clicker, x, y) != up[k], 2, 0.002)
        times.append(lp.now() - at if shown else None)
        clicker.release()
        turn += 1
        time.sleep(0.1)


def dead_output(launch, server):
    """Returns the click answer times (ms) while the server stood still, or None where
    JACK or midisend is missing."""
    midisend = os.path.join(os.path.dirname(launch.binary), "midisend")
    if not shutil.which("jackd") or not os.access(midisend, os.X_OK):
        return None
    # One name for every run: JACK keeps a slot per server name in a table shared by the
    # machine (8 of them), and takes the slot of a dead server back only for its name.
    env = dict(os.environ, JACK_DEFAULT_SERVER="clavora-sound-test",
               JACK_NO_AUDIO_RESERVATION="1")
    # Real-time where the machine allows it, as test_midi_jack.sh: a client that misses
    # its cycle on a busy machine loses that cycle's events.
    jack = subprocess.Popen(["jackd", "-R", "-n", env["JACK_DEFAULT_SERVER"], "-d", "dummy",
                             "-r", "44100", "-p", "1024"], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sender, prog, clicker = None, None, None
    timing = os.path.join(launch.workdir, "dead-timing")
    try:
        if not lp.wait_until(lambda: jack.poll() is None and subprocess.run(
                ["jack_lsp"], env=env, capture_output=True).returncode == 0, 10, 0.05):
            # Another of its servers running, or the machine's table of them full.
            print("e2e: jackd did not come up (another server of this name, or too many "
                  "JACK servers on the machine)", file=sys.stderr)
            return None
        sender = subprocess.Popen([midisend], env=env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)
        if sender.stdout.readline().strip() != "ready":
            lp.fail("midisend did not start")
        prog = launch.start(timing, False, {"JACK_DEFAULT_SERVER": env["JACK_DEFAULT_SERVER"]})
        clicker = lp.Clicker(launch.display, prog.pid)
        linked = lambda: "Clavora" in subprocess.run(  # noqa: E731
            ["jack_lsp", "-c", "midisend:out"], env=env, capture_output=True, text=True).stdout
        if not lp.wait_until(lambda: linked() and _ready(timing), 30, 0.05):
            lp.fail("the program never took the sender's port and opened its sound")
        for pid in server.pids():
            os.kill(pid, signal.SIGSTOP)
        try:
            done, times = threading.Event(), []
            clicks = threading.Thread(target=_answer_times, args=(clicker, done, times))
            clicks.start()
            time.sleep(0.3)
            for i in range(NOTES):
                note = 21 + i % 38
                sender.stdin.write(f"90 {note:02x} 40\n90 {note:02x} 00\n")
                if i % 10 == 9:  # over about 6 s
                    sender.stdin.write("sleep 30\n")
            sender.stdin.write("sync\n")
            sender.stdin.flush()
            if not lp.wait_until(lambda: sender.stdout.readline().strip() == "synced", 60, 0):
                lp.fail("the sender never finished")
            time.sleep(0.5)
            done.set()
            clicks.join(10)
        finally:
            for pid in server.pids():
                os.kill(pid, signal.SIGCONT)
        if not marks(timing, "synth-queue-full"):
            with open(timing) as f:
                said = " | ".join(line.split()[0] for line in f if not line.startswith("frame"))
            lp.fail(f"the synthesizer's queue never filled: {NOTES} notes proved nothing "
                    f"(the program's timing log: {said})")
        with open(launch.log) as f:
            if "lost messages" in f.read():
                lp.fail("MIDI input reported messages lost while the sound stood still")
        if not times or None in times:
            lp.fail(f"a click was never shown while the sound stood still ({times})")
        rec = lp.Recorder(server)
        try:
            # Every note ended while the server stood still: once it goes on, the sink
            # falls silent, and a key sounds again.
            if not lp.wait_until(lambda: lp.quiet_for(rec, lp.RATE // 4), 10, 0.05):
                lp.fail("notes still sounded 10 s after the server went on: a release was lost")
            if lp.click_heard(rec, clicker, MIDDLE_C, 5) is None:
                lp.fail("no key sounded after the server went on")
        finally:
            rec.close()
        return [1000 * t for t in times]
    finally:
        if clicker:
            clicker.close()
        if prog:
            launch.stop(prog)
        # Ended with SIGTERM, so that jackd gives its slot in the machine's table back.
        for p in (sender, jack):
            lp.stop(p)
