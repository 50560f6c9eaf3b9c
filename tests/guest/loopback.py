#!/usr/bin/python3
"""Checks the program's sound as recorded from the loopback card, against the moments
cases.sh logged (EVENTS: "label seconds" lines, wall clock): a plain C4 held and let go,
then a C4 under the sustain pedal whose key comes up long before the pedal does.

  - the sound reaches the loopback card at all;
  - the plain note falls silent after its key comes up; that time is the release time;
  - the pedalled note still sounds after its key came up, longer than the release time,
    until the pedal comes up, and falls silent within the release time after that;
  - the last sound, a pedalled note played back from a song, lasts as long as the pedal.

Sound and log are set against each other at the onset of the plain note, found as the
onset that the pedalled note's follows as far apart as in the log. Prints the figures; exit status 1 on failure.
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

    # The plain note's onset: of the onsets (sound after at least 0.2 s of silence), the
    # one that another follows most nearly as the pedalled note followed the plain one.
    floor = 0.0003
    onsets = [i * STEP for i in range(20, len(levels))
              if levels[i] > floor and max(levels[i - 20:i]) <= floor]
    gap = events["pedal-on"] - events["plain-on"]
    pairs = [(abs(p - o - gap), o) for o in onsets for p in onsets if p > o]
    error, onset = min(pairs, default=(None, None))
    if onset is None or error > MARGIN:
        fail("no two notes %.2f s apart reached the loopback card (peak %.5f)"
             % (gap, max(levels or [0.0])))
    t0 = onset
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
    # In tenths of a second: an emulated machine's late audio thread can leave one empty
    # now and then, a release leaves all of them empty from then on.
    held = span(held_from, held_to)
    blocks = [max(held[i:i + 10]) >= quiet for i in range(0, max(1, len(held) - 9), 10)]
    share = sum(blocks) / len(blocks)
    if share < 0.8 or not any(blocks[-3:]):
        fail("the pedalled C4 fell silent while the pedal was down (%.0f %% of it sounding%s)"
             % (100 * share, "" if any(blocks[-3:]) else ", silent at the end"))
    print("loopback: pedalled C4 still sounds %.2f s after its key came up"
          % (held_to - wav("pedal-keyup")))
    after = silent_after(wav("pedal-up"), 1.4)
    if after is None or after > release + MARGIN:
        fail("the pedalled C4 still sounded %s after the pedal came up (release %.2f s)"
             % ("1.4 s" if after is None else "%.2f s" % after, release))
    print("loopback: silent %.2f s after the pedal came up" % after)

    # The last sound on the card: slot 1 played back, a C4 whose key was down for a
    # moment under a pedal held for longer; it must sound about as long as the pedal.
    end = at(onsets[-1])
    while end < len(levels) and max(levels[end:end + 20]) >= quiet:
        end += 1
    length = end * STEP - onsets[-1]
    key = events["song-keyup"] - events["song-on"]
    pedal = events["song-pedal-up"] - events["song-on"]
    if length < pedal - MARGIN:
        fail("played back, the pedalled C4 sounded %.2f s, its key down %.2f s, the pedal %.2f s"
             % (length, key, pedal))
    print("loopback: played back, the pedalled C4 sounds %.2f s (key down %.2f s, pedal %.2f s)"
          % (length, key, pedal))


if __name__ == "__main__":
    main()
