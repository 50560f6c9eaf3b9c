#!/usr/bin/python3
"""Sends a window the window manager's close request: a WM_PROTOCOLS client message
carrying WM_DELETE_WINDOW, as a window manager does when the user closes the window.

Usage: lib_wm_close.py WINDOW_ID   (decimal or 0x hex, as xdotool prints it)
"""
import sys

from Xlib import X, display
from Xlib.protocol import event


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    disp = display.Display()
    win = disp.create_resource_object("window", int(sys.argv[1], 0))
    wm_protocols = disp.intern_atom("WM_PROTOCOLS")
    wm_delete = disp.intern_atom("WM_DELETE_WINDOW")
    protocols = win.get_wm_protocols() or []
    if wm_delete not in protocols:
        print("the window does not take WM_DELETE_WINDOW", file=sys.stderr)
        return 1
    message = event.ClientMessage(
        window=win,
        client_type=wm_protocols,
        data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]),
    )
    win.send_event(message, event_mask=X.NoEventMask)
    disp.sync()  # a round trip: the server has taken the request before we hang up
    disp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
