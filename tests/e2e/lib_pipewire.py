"""A PipeWire server of our own for tests and benchmarks of the whole program:
pipewire, wireplumber and pipewire-pulse (its server for PulseAudio clients) under
dbus-run-session, in a runtime directory of their own, with the graph running at
48000 Hz in quanta of 256 frames (5.3 ms) as on a desktop machine (PipeWire would
otherwise choose 1024 on a machine it believes is virtual), and a null sink named as
lib_pulse's, so that lib_pulse's Recorder and ReferencePlayer work on it unchanged.

Needs pipewire, pipewire-bin, wireplumber, pipewire-pulse, dbus and pulseaudio-utils
(scripts/install-deps).
"""
import os
import shutil
import subprocess
import tempfile

import lib_pulse as lp

QUANTUM = 256
GRAPH_RATE = 48000
_TOOLS = ("pipewire", "wireplumber", "pipewire-pulse", "dbus-run-session", "pactl")

_PIPEWIRE_DROPIN = f"""context.properties = {{
    default.clock.rate = {GRAPH_RATE}
    default.clock.quantum = {QUANTUM}
    default.clock.min-quantum = {QUANTUM}
    vm.overrides = {{ default.clock.min-quantum = {QUANTUM} }}
}}
"""
_PULSE_DROPIN = f"""pulse.properties = {{
    pulse.min.quantum = {QUANTUM}/{GRAPH_RATE}
    vm.overrides = {{ pulse.min.quantum = {QUANTUM}/{GRAPH_RATE} }}
}}
"""


def missing():
    """The tools that are not installed, or an empty list."""
    return [t for t in _TOOLS if not shutil.which(t)]


class PipeWireServer(lp.ServerProcess):
    """The same face as lib_pulse.PulseServer: server, env, pactl(), close()."""

    NAME = "pipewire"

    def __init__(self, realtime=False):
        gone = missing()
        if gone:
            raise RuntimeError("not installed: " + ", ".join(gone))
        self.dir = tempfile.mkdtemp(prefix="clavora-pipewire.")
        runtime = os.path.join(self.dir, "runtime")
        config = os.path.join(self.dir, "config")
        for sub, text in (("pipewire.conf.d", _PIPEWIRE_DROPIN),
                          ("pipewire-pulse.conf.d", _PULSE_DROPIN)):
            os.makedirs(os.path.join(config, "pipewire", sub))
            with open(os.path.join(config, "pipewire", sub, "clavora.conf"), "w") as f:
                f.write(text)
        os.makedirs(runtime, mode=0o700)
        os.makedirs(os.path.join(self.dir, "state"))
        self.socket = os.path.join(runtime, "pulse", "native")
        self.server = "unix:" + self.socket
        self.env = dict(os.environ, PULSE_SERVER=self.server, XDG_RUNTIME_DIR=runtime,
                        PULSE_RUNTIME_PATH=os.path.join(runtime, "pulse"))
        # The program finds PipeWire itself in the runtime directory; a PULSE_SERVER
        # would make it take the server for PulseAudio clients instead.
        self.program_env = dict(self.env)
        self.program_env.pop("PULSE_SERVER")
        daemon_env = dict(self.env, XDG_CONFIG_HOME=config, HOME=self.dir,
                          XDG_STATE_HOME=os.path.join(self.dir, "state"),
                          PIPEWIRE_RUNTIME_DIR=runtime)
        for name in ("DBUS_SESSION_BUS_ADDRESS", "PIPEWIRE_REMOTE", "PULSE_SERVER"):
            daemon_env.pop(name, None)
        self.log = open(os.path.join(self.dir, "daemon.log"), "w")
        self._daemon_env = daemon_env
        self._want_realtime = realtime
        try:
            self.start_again()
        except RuntimeError:
            self.close()
            raise

    def start_again(self):
        """Starts the servers (again, after go_away) and the null sink; returns once the
        sink is there."""
        # One process group: closing it ends the bus and the three servers together.
        self.proc = subprocess.Popen(
            ["dbus-run-session", "--", "sh", "-c",
             "pipewire & sleep 0.3; wireplumber & pipewire-pulse & wait"],
            env=self._daemon_env, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        if not lp.wait_until(self._answers, 20, 0.1):
            raise RuntimeError("pipewire-pulse did not answer within 20 s: " + self.log_text())
        self.realtime = self._want_realtime and lp.make_realtime(self.pids())
        self.pactl("load-module", "module-null-sink", f"sink_name={lp.SINK}",
                   f"rate={lp.RATE}", "channels=2")
        self.pactl("set-default-sink", lp.SINK)
        if not lp.wait_until(lambda: lp.SINK in self.pactl("list", "short", "sinks"), 10, 0.1):
            raise RuntimeError("the null sink did not appear: " + self.log_text())

    def pids(self):
        """The processes that make the server (the bus among them)."""
        return [int(p) for p in subprocess.run(["pgrep", "-g", str(self.proc.pid)],
                                               capture_output=True, text=True).stdout.split()]

    def go_away(self):
        """Ends the servers, as `systemctl --user restart pipewire` or an upgrade does."""
        lp.stop(self.proc, 5, group=True)

    def quantum(self):
        """The graph's quantum and rate as pw-metadata reports them, for the record."""
        out = subprocess.run(["pw-metadata", "-n", "settings"], env=self.env,
                             capture_output=True, text=True).stdout
        return " ".join(line.split("'")[1] + "=" + line.split("'")[3]
                        for line in out.splitlines() if "clock." in line and line.count("'") >= 6)

    def close(self):
        lp.stop(self.proc, 5, group=True)
        self.log.close()
        lp.keep_or_remove(self.dir, "pipewire")
