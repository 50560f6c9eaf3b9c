#!/usr/bin/env python3
"""A pointer for a headless Wayland compositor, for end-to-end tests: a virtual pointer
(wlr-virtual-pointer-unstable-v1) spoken over the Wayland socket directly. Reads
commands from standard input, one a line, until it ends:

    move X Y       the pointer to X,Y of the output layout (compositor units)
    click X Y      there, and the left button pressed and released

WIDTH and HEIGHT (the arguments) are the layout's size in compositor units. Each command
is answered with "ok" once the compositor has handled it (a round trip)."""
import os
import socket
import struct
import sys
import time

BTN_LEFT = 0x110


class Wire:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buf = b""

    def new_id(self):
        i = self.next_id
        self.next_id += 1
        return i

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def events(self):
        while True:
            while len(self.buf) >= 8:
                obj, word = struct.unpack_from("<II", self.buf)
                size = word >> 16
                if len(self.buf) < size:
                    break
                body = self.buf[8:size]
                self.buf = self.buf[size:]
                yield obj, word & 0xFFFF, body
            data = self.sock.recv(65536)
            if not data:
                raise SystemExit("the compositor closed the connection")
            self.buf += data

    def roundtrip(self, on_event=None):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        for obj, opcode, body in self.events():
            if obj == callback:
                return
            if obj == 1 and opcode == 0:
                raise SystemExit("protocol error: %r" % body)
            if on_event:
                on_event(obj, opcode, body)


def string(s):
    b = s.encode() + b"\0"
    return struct.pack("<I", len(b)) + b + b"\0" * (-len(b) % 4)


def main():
    width, height = int(sys.argv[1]), int(sys.argv[2])
    w = Wire()
    registry = w.new_id()
    w.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    found = {}

    def on_global(obj, opcode, body):
        if obj != registry or opcode != 0:
            return
        name, length = struct.unpack_from("<II", body)
        interface = body[8:8 + length - 1].decode()
        found[interface] = name

    w.roundtrip(on_global)
    if "zwlr_virtual_pointer_manager_v1" not in found:
        raise SystemExit("the compositor has no virtual pointers")
    manager = w.new_id()
    w.send(registry, 0, struct.pack("<I", found["zwlr_virtual_pointer_manager_v1"]) +
           string("zwlr_virtual_pointer_manager_v1") + struct.pack("<II", 1, manager))
    pointer = w.new_id()
    w.send(manager, 0, struct.pack("<II", 0, pointer))  # create_virtual_pointer(seat: none)
    w.roundtrip()
    print("ok", flush=True)

    def ms():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF

    for line in sys.stdin:
        words = line.split()
        if len(words) != 3 or words[0] not in ("move", "click"):
            continue
        x, y = int(words[1]), int(words[2])
        w.send(pointer, 1, struct.pack("<IIIII", ms(), x, y, width, height))  # motion_absolute
        w.send(pointer, 4)  # frame
        if words[0] == "click":
            w.roundtrip()
            for state in (1, 0):
                w.send(pointer, 2, struct.pack("<III", ms(), BTN_LEFT, state))  # button
                w.send(pointer, 4)
        w.roundtrip()
        print("ok", flush=True)


if __name__ == "__main__":
    main()
