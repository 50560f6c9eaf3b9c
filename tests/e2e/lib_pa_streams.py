"""Streams on a sound server through libpulse-simple, for tests and benchmarks of the
whole program: a recorder of the null sink's monitor that keeps every frame, and a
reference player that plays a click at a moment the server reports. They work the
same on a PulseAudio daemon and on PipeWire's server for PulseAudio clients.
"""
import array
import ctypes
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


def now():
    return time.monotonic()


class _Stream:
    """A stream on the server with a thread of its own (_run, started by the subclass)."""

    def __init__(self, server, direction, device, attr):
        spec = _SampleSpec(_PA_SAMPLE_S16LE, RATE, 2)
        err = ctypes.c_int(0)
        self._s = _lib().pa_simple_new(server.server.encode(), b"clavora-bench", direction,
                                       device.encode(), b"probe", ctypes.byref(spec), None,
                                       ctypes.byref(attr), ctypes.byref(err))
        if not self._s:
            raise RuntimeError(f"cannot open a stream on {server.server} (error {err.value})")
        self._stop = False
        self._thread = threading.Thread(target=self._run, daemon=True)

    def close(self):
        self._stop = True
        self._thread.join(2)
        if not self._thread.is_alive():
            _lib().pa_simple_free(self._s)


class Recorder(_Stream):
    """Records the null sink's monitor from now on and keeps every frame, so a frame's
    index is a position on the sink's own clock. Fragments are 25 ms: the recording's
    own delay does not matter, and a short fragment would make the server run the sink
    itself in short blocks, which the program's stream would then have to keep up with."""

    FRAGMENT = RATE // 40

    def __init__(self, server):
        attr = _BufferAttr(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 4 * self.FRAGMENT)
        super().__init__(server, _PA_STREAM_RECORD, SINK + ".monitor", attr)
        self.samples = array.array("h")  # interleaved stereo
        self._reads = []  # (monotonic time, frames recorded by then) after each read
        self._lock = threading.Lock()
        self.error = None
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
                self._reads.append((time.monotonic(), len(self.samples) // 2))

    def when(self, frame):
        """Roughly when frame left the sink, on the monotonic clock: the recording's
        reads give it within a fragment."""
        with self._lock:
            for t, n in self._reads:
                if n > frame:
                    return t - (n - frame) / RATE
        return None

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


class ReferencePlayer(_Stream):
    """Plays silence into the sink without a break and, when asked, a short click whose
    moment of leaving the sink the server itself reports (write time plus the stream's
    latency). Matching that click in the recording ties recorded frames to the clock."""

    CHUNK = 44  # 1 ms

    def __init__(self, server, buffer_ms=20):
        attr = _BufferAttr(0xFFFFFFFF, 4 * RATE * buffer_ms // 1000, 0xFFFFFFFF,
                           0xFFFFFFFF, 0xFFFFFFFF)
        super().__init__(server, _PA_STREAM_PLAYBACK, SINK, attr)
        self._want = threading.Event()
        self._done = threading.Event()
        self.played_at = None
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
