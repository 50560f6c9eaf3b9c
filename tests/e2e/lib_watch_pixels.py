#!/usr/bin/python3
"""Watches pixels of a window, so that a test sees a change that lasts only a moment:
prints "X,Y #RRGGBB SECONDS" at start and whenever one of them changes colour (SECONDS
since the epoch), one flushed line each, every 10 ms, until the window is gone.

Usage: lib_watch_pixels.py WINDOW_ID X,Y...   (client coordinates)
"""
import sys
import time

from Xlib import X, display, error


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    disp = display.Display()
    win = disp.create_resource_object("window", int(sys.argv[1], 0))
    points = [tuple(int(v) for v in a.split(",")) for a in sys.argv[2:]]
    last = {}
    while True:
        for x, y in points:
            try:
                data = win.get_image(x, y, 1, 1, X.ZPixmap, 0xFFFFFFFF).data
            except (error.XError, error.ConnectionClosedError):
                return 0  # the window or the server is gone
            # 24-bit visuals hand pixels over as blue, green, red, unused.
            colour = "#%02X%02X%02X" % (data[2], data[1], data[0])
            if last.get((x, y)) != colour:
                last[(x, y)] = colour
                print("%d,%d %s %.3f" % (x, y, colour, time.time()), flush=True)
        time.sleep(0.01)


if __name__ == "__main__":
    sys.exit(main())
