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
MANAGER = "zwlr_virtual_pointer_manager_v1"


class Wire:
    def __init__(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"],
                                       os.environ.get("WAYLAND_DISPLAY", "wayland-0")))
        self.next_id, self.buf = 2, b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, *words, tail=b""):
        payload = struct.pack(f"<{len(words)}I", *words) + tail
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def roundtrip(self, on_event=lambda obj, opcode, body: None):
        """Sends wl_display.sync and hands every event to on_event until its callback."""
        callback = self.new_id()
        self.send(1, 0, callback)
        while True:
            while len(self.buf) >= 8:
                obj, word = struct.unpack_from("<II", self.buf)
                if len(self.buf) < word >> 16:
                    break
                body, self.buf = self.buf[8:word >> 16], self.buf[word >> 16:]
                if obj == callback:
                    return
                if obj == 1 and word & 0xFFFF == 0:
                    raise SystemExit("protocol error: %r" % body)
                on_event(obj, word & 0xFFFF, body)
            data = self.sock.recv(65536)
            if not data:
                raise SystemExit("the compositor closed the connection")
            self.buf += data


def main():
    width, height = int(sys.argv[1]), int(sys.argv[2])
    w = Wire()
    registry, found = w.new_id(), {}
    w.send(1, 1, registry)  # wl_display.get_registry

    def on_global(obj, opcode, body):
        if obj == registry and opcode == 0:
            name, length = struct.unpack_from("<II", body)
            found[body[8:8 + length - 1].decode()] = name
    w.roundtrip(on_global)
    if MANAGER not in found:
        raise SystemExit("the compositor has no virtual pointers")
    manager, pointer = w.new_id(), w.new_id()
    name = MANAGER.encode() + b"\0"
    w.send(registry, 0, found[MANAGER], len(name), tail=name + b"\0" * (-len(name) % 4) +
           struct.pack("<II", 1, manager))  # wl_registry.bind
    w.send(manager, 0, 0, pointer)  # create_virtual_pointer(seat: none)
    w.roundtrip()
    print("ok", flush=True)

    def ms():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF
    for line in sys.stdin:
        words = line.split()
        if len(words) != 3 or words[0] not in ("move", "click"):
            continue
        w.send(pointer, 1, ms(), int(words[1]), int(words[2]), width, height)  # motion_absolute
        w.send(pointer, 4)  # frame
        if words[0] == "click":
            w.roundtrip()
            for state in (1, 0):
                w.send(pointer, 2, ms(), BTN_LEFT, state)  # button
                w.send(pointer, 4)
        w.roundtrip()
        print("ok", flush=True)


if __name__ == "__main__":
    main()
