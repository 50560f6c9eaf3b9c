"""The stall probe (build/clavora_stall_probe) run beside a test or benchmark of sound, so
that each figure is printed beside what the machine did in the same minutes: how often
and how long a real-time thread on each processor woke late, and when every processor
was late at once."""
import os
import re
import signal
import subprocess

_SUMMARY = re.compile(r"stall probe: .*?([\d.]+) s, (\d+) wakes; (\d+) later than [\d.]+ ms, "
                      r"worst ([\d.]+) ms; (\d+) moments")


class StallProbe:
    """Starts the probe next to the program binary (in the same build directory) until
    stop(); without one, says so in its line and reports no worst stall."""

    def __init__(self, program):
        path = os.path.join(os.path.dirname(os.path.abspath(program)), "clavora_stall_probe")
        if not os.access(path, os.X_OK):  # another program measured: the project's build
            path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                os.environ.get("CLAVORA_BUILD", "build"), "clavora_stall_probe")
        self.proc = None
        self.worst = None
        self.late = []  # (monotonic seconds, processor, ms)
        self.summary = "stall probe: not built (build/clavora_stall_probe)"
        if os.access(path, os.X_OK):
            self.proc = subprocess.Popen([path, "0"], stdout=subprocess.PIPE,
                                         stderr=subprocess.DEVNULL, text=True)

    def stop(self):
        """Ends the probe and reads what it saw; the summary line for printing."""
        if self.proc is None:
            return self.summary
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            out, _ = self.proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, _ = self.proc.communicate()
        self.proc = None
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 5 and parts[2] == "late":
                self.late.append((float(parts[0]), parts[1], float(parts[3])))
            m = _SUMMARY.search(line)
            if m:
                self.worst = float(m.group(4))
                self.summary = (f"stall probe, same run: {m.group(1)} s, {m.group(2)} wakes, "
                                f"{m.group(3)} later than 2 ms, worst {m.group(4)} ms, "
                                f"{m.group(5)} moments with every processor late at once")
        return self.summary

    def near(self, at, span=0.05):
        """The late wakes within span seconds of a monotonic moment, as text."""
        hits = [f"{cpu} {ms:.1f} ms at {t:.3f}" for t, cpu, ms in self.late if abs(t - at) <= span]
        return ", ".join(hits) if hits else "none"
