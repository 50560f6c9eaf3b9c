#!/usr/bin/python3
"""Checks the program's sound as recorded from the loopback card, against the moments
cases.sh logged (EVENTS: "label seconds" lines, wall clock): a plain C4 held and let go,
then a C4 under the sustain pedal whose key comes up long before the pedal does.

  - the sound reaches the loopback card at all;
  - the plain note falls silent after its key comes up; that time is the release time;
  - the pedalled note still sounds after its key came up, longer than the release time,
    until the pedal comes up, and falls silent within the release time after that.

Sound and log are set against each other at the onset of the plain note (the first
sound after the silence that precedes it). Prints the figures; exit status 1 on failure.
Usage: loopback.py WAV EVENTS
"""
import array
import math
import sys
import wave

STEP = 0.01   # seconds per RMS window
QUIET = 0.002  # silent: below this fraction of the plain note's loudest window
MARGIN = 0.25  # seconds allowed for the timing of the log against the sound


def rms_windows(path):
    with wave.open(path) as w:
        rate, channels = w.getframerate(), w.getnchannels()
        samples = array.array("h", w.readframes(w.getnframes()))
    n = int(rate * STEP) * channels
    out = []
    for i in range(0, len(samples) - n + 1, n):
        chunk = samples[i:i + n]
        out.append(math.sqrt(sum(s * s for s in chunk) / n) / 32768.0)
    return out


def main():
    levels = rms_windows(sys.argv[1])
    events = {}
    for line in open(sys.argv[2]):
        label, when = line.split()
        events[label] = float(when)
    at = lambda t: max(0, min(len(levels), int(round(t / STEP))))  # noqa: E731
    span = lambda a, b: levels[at(a):at(b)] or [0.0]  # noqa: E731

    def fail(what):
        print("loopback: FAIL: " + what, file=sys.stderr)
        sys.exit(1)

    # The recording began at "arecord"; the plain note's onset is the first window after
    # the silence before it that rises above a low floor.
    rough = events["plain-on"] - events["arecord"]
    floor = 0.002
    start = at(rough - 1.0)
    while start < len(levels) and levels[start] > floor:
        start += 1  # past the end of whatever sounded before
    onset = next((i for i in range(start, len(levels)) if levels[i] > floor), None)
    if onset is None:
        fail("no sound reached the loopback card (peak %.5f)" % max(levels or [0.0]))
    t0 = onset * STEP
    wav = lambda label: t0 + events[label] - events["plain-on"]  # noqa: E731
    peak = max(span(wav("plain-on"), wav("plain-off")))
    quiet = QUIET * peak
    print("loopback: sound on the card, plain C4 peak %.1f dBFS" % (20 * math.log10(peak)))

    def silent_after(t, limit):
        """Seconds from t until the sound stays below quiet up to t + limit."""
        levels_after = span(t, t + limit)
        last_loud = max((i for i, v in enumerate(levels_after) if v >= quiet), default=-1)
        if last_loud == len(levels_after) - 1:
            return None
        return (last_loud + 1) * STEP

    release = silent_after(wav("plain-off"), events["pedal-on"] - events["plain-off"] - MARGIN)
    if release is None:
        fail("the plain C4 never fell silent after its key came up")
    print("loopback: release time %.2f s" % release)
    held_from = wav("pedal-keyup") + release + MARGIN
    held_to = wav("pedal-up") - MARGIN
    if held_to - held_from < 0.3:
        fail("the release time %.2f s leaves no time to hear the pedal hold" % release)
    low = min(span(held_from, held_to))
    if low < quiet:
        fail("the pedalled C4 fell silent while the pedal was down (%.1f dB under the peak)"
             % (20 * math.log10(max(low, 1e-9) / peak)))
    print("loopback: pedalled C4 still sounds %.2f s after its key came up"
          % (held_to - wav("pedal-keyup")))
    after = silent_after(wav("pedal-up"), 1.4)
    if after is None or after > release + MARGIN:
        fail("the pedalled C4 still sounded %s after the pedal came up (release %.2f s)"
             % ("1.4 s" if after is None else "%.2f s" % after, release))
    print("loopback: silent %.2f s after the pedal came up" % after)


if __name__ == "__main__":
    main()
