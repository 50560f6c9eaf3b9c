"""A real sound server for tests and benchmarks of the whole program: a PulseAudio
daemon of our own (user mode, its own runtime directory, a null sink at 44100 Hz
and its monitor), an X server of our own and a clicker that presses the mouse
through the X server's test extension. The recorder of the monitor and the reference
player (lib_pa_streams) are taken from here too.

Used by tests/e2e/test_sound_server.py and bench/latency.py. Needs pulseaudio,
pulseaudio-utils, Xvfb, xdotool and python3-xlib (scripts/install-deps).
"""
import os
import shutil
import subprocess
import sys
import tempfile

from lib_pa_streams import RATE, SINK, Recorder, ReferencePlayer, now  # noqa: E402,F401
from lib_proc import SKIP, Xvfb, fail, stop, wait_until  # noqa: E402,F401


def make_realtime(pids):
    """Raises every ordinary thread of these processes to real-time priority, where
    allowed; False where not. A desktop server runs only its audio threads so; the
    thread that reads its clients' requests is an ordinary one, and on a machine with
    several times more work than cores it was seen to stall for 60 to 130 ms, which no
    client can bridge. Only on request (--server-raised): the tests and benchmarks run
    their servers as a desktop does."""
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
        self._daemon_env = daemon_env

    def pids(self):
        """The processes that make the server, for stopping it (SIGSTOP) and going on."""
        return [self.proc.pid]

    def go_away(self):
        """Ends the daemon, as a restart or an upgrade of it does; start_again brings it
        back on the same socket."""
        stop(self.proc)

    def start_again(self):
        """Starts the daemon again as it was; returns once it answers."""
        self.proc = subprocess.Popen(self.proc.args, env=self._daemon_env, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        if not wait_until(self._answers, 15, 0.05):
            raise RuntimeError("pulseaudio did not answer again within 15 s: " + self.log_text())
        if self.realtime:
            make_realtime([self.proc.pid])

    def close(self):
        stop(self.proc, 5)
        self.log.close()
        keep_or_remove(self.dir, "pulse")


def keep_or_remove(path, name):
    """A server's folder goes when it ends, unless CLAVORA_PULSE_KEEP asks to look at it."""
    if os.environ.get("CLAVORA_PULSE_KEEP"):
        print(f"{name}: kept {path}", file=sys.stderr)
    else:
        shutil.rmtree(path, ignore_errors=True)


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


def quiet_for(rec, frames):
    """True when the last frames of the recording are silent."""
    end = rec.frames()
    return end > frames and max(rec.levels(end - frames, end)) <= 1


def click_heard(rec, clicker, key, limit):
    """Clicks white key index key; the first frame of its sound in the recording within
    limit seconds, or None."""
    clicker.move(*white_key(key))
    start = rec.frames()
    clicker.press()
    sounded = wait_until(lambda: rec.first_above(start, 1), limit, 0.02)
    clicker.release()
    return sounded
