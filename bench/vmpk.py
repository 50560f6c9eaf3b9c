"""vmpk (Debian package vmpk) as the other program of the key-to-ear benchmark: its
FluidSynth output plays to the benchmark's sound server when its configuration file,
under a fresh HOME, names that output and turns MIDI input off (its MIDI-connections
dialog aborts where there is no ALSA sequencer). Its buffer is FluidSynth's: 512 x 8
frames by default, or as --vmpk-buffer says (for example 64x4)."""
import os
import subprocess
import time

import lib_pulse as lp

WINDOW = "Virtual MIDI Piano Keyboard"
WHITE_KEYS = 52  # its keyboard spans the window's width


def is_vmpk(path):
    return os.path.basename(path) == "vmpk"


def start(path, env, home, buffer=None):
    """Starts vmpk with HOME at home; buffer is "PERIODxCOUNT" or None for its defaults."""
    conf = os.path.join(home, ".config", "vmpk.sourceforge.net")
    os.makedirs(conf, exist_ok=True)
    text = ("[Connections]\nOutputDriver=FluidSynth\nOutPort=FluidSynth\n"
            "InEnabled=false\nThruEnabled=false\n")
    if buffer:
        period, count = buffer.lower().split("x")
        text += f"\n[FluidSynth]\nPeriodSize={int(period)}\nPeriods={int(count)}\n"
    with open(os.path.join(conf, "VMPK.conf"), "w") as f:
        f.write(text)
    return subprocess.Popen([path], cwd=home, env=dict(env, HOME=home),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def key_point(clicker, key):
    """The lower part of a white key near the middle of its keyboard; key as in
    lp.white_key (23 is the program's middle C), shifted to vmpk's middle."""
    width, height = clicker.size()
    step = width / WHITE_KEYS
    return int(width / 2 + (key - 23 + 0.5) * step), int(height * 0.94)


def wait_sounding(clicker, rec, limit=30):
    """Clicks until a click is heard: its synthesizer is then ready. True if it was."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        clicker.move(*key_point(clicker, 23))
        start = rec.frames()
        clicker.press()
        heard = lp.wait_until(lambda: rec.first_above(start, 1), 1)
        clicker.release()
        if heard is not None:
            return True
    return False
