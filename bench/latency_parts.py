"""A key's way to the ear in parts, for bench/latency.py: the program's timing log keeps
its last notes (arrival, hand-over to the synthesizer, first sample rendered, on the
monotonic clock), which are set beside the moment the benchmark pressed the key and the
moment its sound left the sink."""
import re
import statistics


def key_notes(timing):
    """The program's last notes: (arrived, sent to the synthesizer, first rendered), in
    seconds on the monotonic clock the benchmark's own moments use."""
    try:
        text = open(timing).read()
    except OSError:
        return []
    return [(int(a) / 1e9, int(s) / 1e9, int(r) / 1e9) for a, s, r in re.findall(
        r"key-note \d+ arrived-ns (\d+) sent-ns (\d+) rendered-ns (\d+)", text)]


def split_keys(keys, notes):
    """Each key's way to the ear in parts (ms): press to the program's sound side (the X
    server, the window), to the synthesizer, to the first sample rendered, and from
    there to the sink. keys are (pressed, total ms); a key without its note is left out."""
    parts = []
    for pressed, total in keys:
        mine = [n for n in notes if 0 <= n[0] - pressed < 0.5]
        if mine:
            a, s, r = mine[0]
            parts.append((1000 * (a - pressed), 1000 * (s - a), 1000 * (r - s),
                          total - 1000 * (r - pressed)))
    return parts


def print_parts(label, parts):
    if not parts:
        return
    cols = list(zip(*parts))
    med = [statistics.median(c) for c in cols]
    print(f"  parts, {label} (median of {len(parts)}): press to window {med[0]:.1f} ms, "
          f"to the synthesizer {med[1]:.1f}, to rendered {med[2]:.1f}, rendered to the sink "
          f"{med[3]:.1f}")
