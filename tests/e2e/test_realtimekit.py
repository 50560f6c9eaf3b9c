#!/usr/bin/python3
"""Real-time scheduling as a desktop gives it: the program, run as an ordinary user who
may not raise a thread's priority itself, asks RealtimeKit for its sound thread and
must get SCHED_RR or SCHED_FIFO at min(4, RealtimeKit's MaxRealtimePriority): below the
sound servers' own threads, whatever more RealtimeKit would hand out.

Everything runs on a system bus of the test's own (dbus-daemon with a configuration of
its own), with polkitd, whose rule grants RealtimeKit's real-time action to the test's
user as an active desktop session has it granted (the rule is bind-mounted over
/etc/polkit-1/rules.d in a mount namespace of polkitd's own, so the machine's rules are
never touched), and rtkit-daemon. Here rtkit-daemon needs --no-drop-privileges
--no-chroot (the test's machine runs it without the capabilities to change user and
root). The user is one the test makes; it cannot be given an RLIMIT_RTPRIO, since root
here lacks CAP_SYS_RESOURCE, which is why this proves the RealtimeKit way and not the
direct one. The sound thread is SDL's on its dummy driver: the same call raises the
PulseAudio and PipeWire outputs' threads. The policy and priority are read from
/proc/PID/task/*/stat.

Usage: test_realtimekit.py PATH_TO_CLAVORA. Skipped (77) where a piece is missing.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lib_proc import User, Xvfb, fail, skip, stop  # noqa: E402
from lib_proc import wait_until as poll  # noqa: E402

USER = "clavora-rtkit-test"
POLKITD = "/usr/lib/polkit-1/polkitd"
RTKIT = "/usr/libexec/rtkit-daemon"
RULE = """polkit.addRule(function(action, subject) {
    if (action.id == "org.freedesktop.RealtimeKit1.acquire-real-time" &&
        subject.user == "%s")
        return polkit.Result.YES;
});
""" % USER
SYSTEM_CONF = "/usr/share/dbus-1/system.conf"


def bus_config(socket):
    """The machine's system bus configuration with its policies, listening on socket,
    without its user, daemon mode, pid file, activation and syslog."""
    text = open(SYSTEM_CONF).read()
    for tag in ("user", "pidfile", "servicehelper", "listen"):
        text = re.sub(rf"<{tag}>[^<]*</{tag}>", "", text)
    text = re.sub(r"<(fork|syslog|standard_system_servicedirs)/>", "", text)
    text = text.replace("<includedir>system.d</includedir>",
                        f"<includedir>{os.path.dirname(SYSTEM_CONF)}/system.d</includedir>")
    return text.replace("</busconfig>", f"<listen>unix:path={socket}</listen></busconfig>")
# rtkit-daemon's highest priority for clients, and what the sound thread must get.
CASES = [(20, 4), (3, 3)]


def threads(pid):
    """(thread id, name, policy, rt priority) of each thread of pid, from /proc."""
    found = []
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            text = open(f"/proc/{pid}/task/{tid}/stat").read()
        except OSError:
            continue
        name = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        # Fields 40 and 41 of stat (counting from 1): rt_priority and policy.
        found.append((int(tid), name, int(fields[38]), int(fields[37])))
    return found


class Daemons:
    """The bus, polkitd and rtkit-daemon, each a process of the test's own."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.procs = []
        self.rtkit = None

    def open(self):
        workdir = self.workdir
        self.bus = os.path.join(workdir, "system_bus_socket")
        config = os.path.join(workdir, "system.conf")
        with open(config, "w") as f:
            f.write(bus_config(self.bus))
        self.env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + self.bus)
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.start("dbus", ["dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile"])
        if not poll(lambda: os.path.exists(self.bus), 10):
            fail("the test's system bus did not start: " + self.log("dbus"))
        os.chmod(self.bus, 0o777)
        rules = os.path.join(workdir, "rules.d")
        os.mkdir(rules)
        with open(os.path.join(rules, "50-clavora-test.rules"), "w") as f:
            f.write(RULE)
        os.chmod(workdir, 0o755)
        os.chmod(rules, 0o755)
        # polkitd starts as root and changes to its own user itself.
        self.start("polkitd", ["unshare", "-m", "sh", "-c",
                               f"mount --bind {rules} /etc/polkit-1/rules.d && "
                               f"exec {POLKITD}"])
        if not poll(lambda: self.owner("org.freedesktop.PolicyKit1"), 15, 0.2):
            fail("polkitd did not take its name on the test's bus: " + self.log("polkitd"))

    def start(self, name, argv):
        log = open(os.path.join(self.workdir, name + ".log"), "w")
        proc = subprocess.Popen(argv, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                start_new_session=True)
        self.procs.append(proc)
        return proc

    def log(self, name):
        with open(os.path.join(self.workdir, name + ".log")) as f:
            return f.read()[-1500:]

    def owner(self, name):
        out = subprocess.run(["dbus-send", "--system", "--print-reply",
                              "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                             env=self.env, capture_output=True, text=True).stdout
        return "boolean true" in out

    def start_rtkit(self, most):
        self.stop_rtkit()
        # rtkit-daemon sets its own RLIMIT_FSIZE to 0, so it cannot write a log file:
        # what it says comes through a pipe.
        self.said = []
        self.rtkit = subprocess.Popen([
            RTKIT, "--stderr", "--no-drop-privileges", "--no-chroot",
            f"--max-realtime-priority={most}", f"--our-realtime-priority={most + 1}"],
            env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            start_new_session=True)
        self.procs.append(self.rtkit)
        threading.Thread(target=lambda out=self.rtkit.stdout: self.said.extend(out),
                         daemon=True).start()
        if not poll(lambda: self.owner("org.freedesktop.RealtimeKit1"), 15, 0.2):
            fail("rtkit-daemon did not take its name: " + self.rtkit_said())

    def rtkit_said(self):
        return " | ".join(line.strip() for line in self.said[-12:])

    def stop_rtkit(self):
        if self.rtkit:
            stop(self.rtkit)
            self.procs.remove(self.rtkit)
        self.rtkit = None

    def close(self):
        for proc in reversed(self.procs):
            stop(proc, 5, group=True)


def run_case(binary, daemons, user, display, most, expected):
    home = tempfile.mkdtemp(prefix="clavora-rtkit-run.")
    timing = os.path.join(home, "timing")
    # The user's session: its own home and runtime directory.
    env = user.env(home, daemons.env, DISPLAY=display, SDL_AUDIODRIVER="dummy",
                   CLAVORA_TIMING=timing)
    log = open(os.path.join(home, "program.log"), "w")
    prog = subprocess.Popen([binary], cwd=home, env=env, stdout=log, stderr=subprocess.STDOUT,
                            **user.popen_args())
    try:
        def granted():
            if prog.poll() is not None:
                fail(f"the program ended with status {prog.returncode}")
            if not os.path.exists(timing):
                return None
            marks = [line.split()[0] for line in open(timing) if line.startswith("audio-realtime-")]
            return marks[0] if marks else None
        grant = poll(granted, 30)
        if grant != "audio-realtime-rtkit":
            fail(f"RealtimeKit at most {most}: the sound thread's grant was {grant} "
                 f"(rtkit-daemon said: {daemons.rtkit_said()})")
        # The grant is marked once the thread has it; the scheduler is read after that.
        raised = poll(lambda: [t for t in threads(prog.pid) if t[2] in (1, 2)], 5)
        if not raised:
            fail(f"RealtimeKit at most {most}: no thread of the program is real-time: "
                 f"{threads(prog.pid)}")
        wrong = [t for t in raised if t[3] != expected]
        if wrong:
            fail(f"RealtimeKit at most {most}: threads at other priorities than {expected}: "
                 f"{wrong} (policy 1 FIFO, 2 RR)")
        print(f"e2e: RealtimeKit at most {most}: thread {raised[0][1]!r} runs "
              f"{'SCHED_FIFO' if raised[0][2] == 1 else 'SCHED_RR'} {raised[0][3]}, "
              f"as an ordinary user", file=sys.stderr)
    finally:
        stop(prog)
        log.close()
        shutil.rmtree(home, ignore_errors=True)


def main(argv):
    if len(argv) != 1:
        fail("usage: test_realtimekit.py PATH_TO_CLAVORA")
    binary = os.path.abspath(argv[0])
    if os.geteuid() != 0:
        skip("needs root, to make a user and to run a system bus, polkitd and rtkit-daemon")
    missing = [t for t in ("dbus-daemon", "dbus-send", "unshare", "useradd", "Xvfb")
               if not shutil.which(t)] + [p for p in (POLKITD, RTKIT, SYSTEM_CONF)
                                          if not os.path.exists(p)]
    if missing:
        skip("not installed: " + ", ".join(missing) + " (scripts/install-deps)")
    if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        skip("no mount namespace here, so polkitd cannot be given a rule of the test's own")
    user = User(USER)
    # A checkout in a folder only root may enter (mktemp -d) keeps the program from the user.
    if subprocess.run(["test", "-x", binary], **user.popen_args()).returncode != 0:
        skip(f"user {USER} cannot run {binary}")
    workdir = tempfile.mkdtemp(prefix="clavora-rtkit.")
    daemons, xvfb = None, None
    try:
        # An X server of the user's own, which the program as that user may reach.
        try:
            xvfb = Xvfb(**user.popen_args())
        except RuntimeError as e:
            fail(str(e))
        daemons = Daemons(workdir)
        daemons.open()
        for most, expected in CASES:
            daemons.start_rtkit(most)
            run_case(binary, daemons, user, xvfb.display, most, expected)
    finally:
        if daemons:
            daemons.close()
        if xvfb:
            xvfb.close()
        shutil.rmtree(workdir, ignore_errors=True)
        user.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
