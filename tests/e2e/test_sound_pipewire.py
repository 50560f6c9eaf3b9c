#!/usr/bin/python3
"""The sound-server test on PipeWire (pipewire, wireplumber and pipewire-pulse, quantum
256 at 48000 Hz): three songs without a drop-out of 3 ms, then a click that sounds.
Skipped, with the reason, where PipeWire cannot run.

Usage: test_sound_pipewire.py PATH_TO_CLAVORA
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_sound_server  # noqa: E402

if __name__ == "__main__":
    sys.exit(test_sound_server.main(sys.argv[1:2] + ["--server", "pipewire"] + sys.argv[2:]))
