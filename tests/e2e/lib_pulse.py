"""A real sound server for tests and benchmarks of the whole program: a PulseAudio
daemon of our own (user mode, its own runtime directory, a null sink at 44100 Hz
and its monitor), a recorder of the monitor that counts every frame, a reference
player that plays a click at a moment the server reports, an X server of our own and
a clicker that presses the mouse through the X server's test extension.

Used by tests/e2e/test_sound_server.py and bench/latency.py. Needs pulseaudio,
pulseaudio-utils, Xvfb, xdotool and python3-xlib (scripts/install-deps).
"""
import array
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

RATE = 44100
SINK = "clavora_null"
_PA_SAMPLE_S16LE = 3
_PA_STREAM_PLAYBACK = 1
_PA_STREAM_RECORD = 2


class _SampleSpec(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32),
                ("channels", ctypes.c_uint8)]


class _BufferAttr(ctypes.Structure):
    _fields_ = [("maxlength", ctypes.c_uint32), ("tlength", ctypes.c_uint32),
                ("prebuf", ctypes.c_uint32), ("minreq", ctypes.c_uint32),
                ("fragsize", ctypes.c_uint32)]


_simple = None


def _lib():
    global _simple
    if _simple is None:
        lib = ctypes.CDLL("libpulse-simple.so.0")
        lib.pa_simple_new.restype = ctypes.c_void_p
        lib.pa_simple_new.argtypes = [
            ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p,
            ctypes.POINTER(_SampleSpec), ctypes.c_void_p, ctypes.POINTER(_BufferAttr),
            ctypes.POINTER(ctypes.c_int)]
        for name in ("pa_simple_read", "pa_simple_write"):
            f = getattr(lib, name)
            f.restype = ctypes.c_int
            f.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                          ctypes.POINTER(ctypes.c_int)]
        lib.pa_simple_get_latency.restype = ctypes.c_uint64
        lib.pa_simple_get_latency.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
        lib.pa_simple_free.argtypes = [ctypes.c_void_p]
        _simple = lib
    return _simple


def _open(server, direction, device, attr):
    spec = _SampleSpec(_PA_SAMPLE_S16LE, RATE, 2)
    err = ctypes.c_int(0)
    s = _lib().pa_simple_new(server.encode(), b"clavora-bench", direction,
                             device.encode() if device else None, b"probe",
                             ctypes.byref(spec), None, ctypes.byref(attr), ctypes.byref(err))
    if not s:
        raise RuntimeError(f"cannot open a stream on {server} (error {err.value})")
    return s


def now():
    return time.monotonic()


def wait_until(predicate, limit, step=0.02):
    """Polls predicate until it holds or limit seconds pass; returns its last value."""
    end = now() + limit
    while True:
        value = predicate()
        if value or now() >= end:
            return value
        time.sleep(step)


def make_realtime(pids):
    """Raises every ordinary thread of these processes to real-time priority, where
    allowed; False where not. A desktop server runs only its audio threads so; the
    thread that reads its clients' requests is an ordinary one, and on a machine with
    several times more work than cores it was seen to stall for 60 to 130 ms, which no
    client can bridge. The drop-out test is about the program's stream, so its server
    is spared that."""
    done = True
    for pid in pids:
        try:
            tids = [int(t) for t in os.listdir(f"/proc/{pid}/task")]
        except OSError:
            continue
        for tid in tids:
            try:
                if os.sched_getscheduler(tid) == os.SCHED_OTHER:
                    os.sched_setscheduler(tid, os.SCHED_FIFO, os.sched_param(6))
            except PermissionError:
                done = False
            except OSError:
                pass
    return done


class ServerProcess:
    """What a sound server of the tests' own answers, whichever it is: whether it takes
    requests yet, the end of its log, and pactl run against it. The server sets NAME,
    proc, env and dir."""

    NAME = "server"

    def _answers(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"{self.NAME} ended at start: " + self.log_text())
        return subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def log_text(self):
        with open(os.path.join(self.dir, "daemon.log")) as f:
            return f.read()[-2000:]

    def pactl(self, *args):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True,
                              text=True).stdout


class PulseServer(ServerProcess):
    """A PulseAudio daemon of our own. Runs as root too: in user mode with its own
    runtime, state and home directories, no autospawn, no idle exit, no D-Bus needs."""

    NAME = "pulseaudio"

    def __init__(self, log_level=os.environ.get("CLAVORA_PULSE_LOG", "error"), realtime=False):
        if not shutil.which("pulseaudio"):
            raise RuntimeError("pulseaudio is not installed (scripts/install-deps)")
        self.dir = tempfile.mkdtemp(prefix="clavora-pulse.")
        self.socket = os.path.join(self.dir, "native")
        self.server = "unix:" + self.socket
        script = os.path.join(self.dir, "default.pa")
        with open(script, "w") as f:
            f.write(f"load-module module-null-sink sink_name={SINK} rate={RATE} channels=2 "
                    "format=s16le norewinds=1\n"
                    f"load-module module-native-protocol-unix socket={self.socket} "
                    "auth-anonymous=1\n"
                    f"set-default-sink {SINK}\n"
                    f"set-default-source {SINK}.monitor\n")
        client = os.path.join(self.dir, "client.conf")
        with open(client, "w") as f:
            f.write("autospawn = no\n")
        for sub in ("runtime", "state", "home"):
            os.mkdir(os.path.join(self.dir, sub))
        self.env = dict(os.environ, PULSE_SERVER=self.server, PULSE_CLIENTCONFIG=client,
                        PULSE_RUNTIME_PATH=os.path.join(self.dir, "runtime"),
                        PULSE_STATE_PATH=os.path.join(self.dir, "state"))
        daemon_env = dict(self.env, HOME=os.path.join(self.dir, "home"),
                          XDG_RUNTIME_DIR=os.path.join(self.dir, "runtime"),
                          XDG_CONFIG_HOME=os.path.join(self.dir, "home"))
        daemon_env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.log = open(os.path.join(self.dir, "daemon.log"), "w")
        self.proc = subprocess.Popen(
            ["pulseaudio", "-n", "-F", script, "--daemonize=no", "--system=no",
             "--exit-idle-time=-1", "--use-pid-file=no", "--realtime=yes",
             "--high-priority=yes", "--disallow-exit", "--log-target=stderr",
             f"--log-level={log_level}"],
            env=daemon_env, stdout=self.log, stderr=subprocess.STDOUT)
        if not wait_until(self._answers, 15, 0.05):
            self.close()
            raise RuntimeError("pulseaudio did not answer within 15 s: " + self.log_text())
        self.realtime = realtime and make_realtime([self.proc.pid])
        self.program_env = self.env

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        if os.environ.get("CLAVORA_PULSE_KEEP"):
            print(f"pulse: kept {self.dir}", file=sys.stderr)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


class Recorder:
    """Records the null sink's monitor from now on and keeps every frame, so a frame's
    index is a position on the sink's own clock. Fragments are 25 ms: the recording's
    own delay does not matter, and a short fragment would make the server run the sink
    itself in short blocks, which the program's stream would then have to keep up with."""

    FRAGMENT = RATE // 40

    def __init__(self, server):
        attr = _BufferAttr(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 4 * self.FRAGMENT)
        self._s = _open(server.server, _PA_STREAM_RECORD, SINK + ".monitor", attr)
        self.samples = array.array("h")  # interleaved stereo
        self._lock = threading.Lock()
        self._stop = False
        self.error = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        size = 4 * self.FRAGMENT
        buf = ctypes.create_string_buffer(size)
        err = ctypes.c_int(0)
        while not self._stop:
            if _lib().pa_simple_read(self._s, buf, size, ctypes.byref(err)) < 0:
                self.error = f"read failed (error {err.value})"
                return
            chunk = array.array("h", buf.raw)
            with self._lock:
                self.samples.extend(chunk)

    def frames(self):
        with self._lock:
            return len(self.samples) // 2

    def levels(self, start, end):
        """Largest absolute sample of each frame in [start, end)."""
        with self._lock:
            part = self.samples[2 * max(0, start):2 * end]
        return [max(abs(part[i]), abs(part[i + 1])) for i in range(0, len(part) - 1, 2)]

    def first_above(self, start, threshold, end=None):
        """Index of the first frame from start whose level exceeds threshold, or None."""
        end = self.frames() if end is None else min(end, self.frames())
        for i, v in enumerate(self.levels(start, end)):
            if v > threshold:
                return start + i
        return None

    def longest_quiet(self, start, end, threshold=1):
        """Longest run of frames in [start, end) at or below threshold, and where it starts."""
        best, best_at, run = 0, start, 0
        for i, v in enumerate(self.levels(start, end)):
            run = run + 1 if v <= threshold else 0
            if run > best:
                best, best_at = run, start + i - run + 1
        return best, best_at

    def close(self):
        self._stop = True
        self._thread.join(2)
        if not self._thread.is_alive():
            _lib().pa_simple_free(self._s)


class ReferencePlayer:
    """Plays silence into the sink without a break and, when asked, a short click whose
    moment of leaving the sink the server itself reports (write time plus the stream's
    latency). Matching that click in the recording ties recorded frames to the clock."""

    CHUNK = 44  # 1 ms

    def __init__(self, server, buffer_ms=20):
        attr = _BufferAttr(0xFFFFFFFF, 4 * RATE * buffer_ms // 1000, 0xFFFFFFFF,
                           0xFFFFFFFF, 0xFFFFFFFF)
        self._s = _open(server.server, _PA_STREAM_PLAYBACK, SINK, attr)
        self._want = threading.Event()
        self._done = threading.Event()
        self._stop = False
        self.played_at = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        silence = bytes(4 * self.CHUNK)
        click = array.array("h", [12000, 12000] * 8 + [0, 0] * (self.CHUNK - 8)).tobytes()
        err = ctypes.c_int(0)
        lib = _lib()
        while not self._stop:
            if self._want.is_set():
                lib.pa_simple_write(self._s, click, len(click), ctypes.byref(err))
                before = now()
                latency = lib.pa_simple_get_latency(self._s, ctypes.byref(err)) / 1e6
                asked = (before + now()) / 2
                # The latency is that of the last frame written; the click is its first.
                self.played_at = asked + latency - self.CHUNK / RATE
                self._want.clear()
                self._done.set()
            else:
                lib.pa_simple_write(self._s, silence, len(silence), ctypes.byref(err))

    def click(self):
        """Plays one click; returns the moment (monotonic) it leaves the sink."""
        self._done.clear()
        self._want.set()
        if not self._done.wait(5):
            raise RuntimeError("the reference click was not written")
        return self.played_at

    def close(self):
        self._stop = True
        self._thread.join(2)
        if not self._thread.is_alive():
            _lib().pa_simple_free(self._s)


class Xvfb:
    """An X server of our own; its display number comes back through a pipe."""

    def __init__(self, screen="1024x768x24"):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Clicker:
    """Presses and releases the left button through the X server's test extension,
    the way a mouse would, at client coordinates of one window."""

    def __init__(self, display, pid, limit=30, name=None):
        from Xlib import X, display as xdisplay  # python3-xlib
        from Xlib.ext import xtest
        self._X, self._xtest = X, xtest
        env = dict(os.environ, DISPLAY=display)
        which = ["--name", f"^{name}$"] if name else ["--pid", str(pid)]
        found = wait_until(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", *which], env=env,
            capture_output=True, text=True).stdout.split(), limit, 0.05)
        if not found:
            raise RuntimeError(f"no window of process {pid} within {limit} s")
        self.d = xdisplay.Display(display)
        self.win = self.d.create_resource_object("window", int(found[0]))

    def size(self):
        geom = self.win.get_geometry()
        return geom.width, geom.height

    def move(self, x, y):
        origin = self.win.translate_coords(self.d.screen().root, 0, 0)
        self._xtest.fake_input(self.d, self._X.MotionNotify, x=x - origin.x, y=y - origin.y)
        self.d.sync()

    def press(self):
        """Presses the button; returns the moment (monotonic) just before it was sent."""
        at = now()
        self._xtest.fake_input(self.d, self._X.ButtonPress, 1)
        self.d.sync()
        return at

    def release(self):
        self._xtest.fake_input(self.d, self._X.ButtonRelease, 1)
        self.d.sync()

    def close(self):
        self.d.close()


def white_key(index):
    """Client coordinates of the lower part of white key index (0 = the lowest A)."""
    return 79 + 12 * index + 6, 490


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)
