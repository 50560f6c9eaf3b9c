#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/<target>/.

The files are committed; run this again only to change them."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
END = -100


def rec(key, velocity, tick):
    return struct.pack('<hhi', key, velocity, tick)


def write(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


# Song files: 8-byte records (key number, velocity, tick), little-endian.
write('song_file', 'normal_song', rec(40, 100, 0) + rec(40, 0, 10) + rec(44, 100, 12) +
      rec(44, 0, 42) + rec(END, END, 45))
write('song_file', 'full_slot', b''.join(rec(1 + (i // 2) % 88, 0 if i % 2 else 100, i // 2)
                                         for i in range(4000)))
write('song_file', 'truncated_record', rec(40, 100, 0) + rec(40, 0, 6) + bytes([0x29, 0x00, 0x64]))
write('song_file', 'bytes_after_end', rec(60, 100, 0) + rec(END, END, 3) + b'\x09' * 13)
write('song_file', 'half_marked_first_event', rec(END, 100, 0) + rec(40, 0, 1) + rec(END, END, 2))
write('song_file', 'notes_without_keys', rec(-20, 100, 0) + rec(107, 0, 5) + rec(0, 100, 5) +
      rec(END, END, 9))

# Best-records files: time (32-bit), mistakes (16-bit), for letter mode, then piano mode.
write('records_file', 'records_12', struct.pack('<ihih', 75, 3, 659, 99))
write('records_file', 'records_5', struct.pack('<ihih', 75, 3, 659, 99)[:5])
write('records_file', 'records_20', struct.pack('<ihih', 61, 0, 90, 12) + b'\xff' * 8)

# MIDI input scripts: one byte chooses a step (its value mod 16), the bytes after it
# give its values. 0-2 a message of 4 bytes, 4-5 a note (note, release if the next
# byte is a multiple of 3, else velocity), 6-7 frames (1 + n mod 8), 8 a click
# anywhere (x, y as 16-bit, double-click flag), 9-10 a click on control n, 11 a key
# (n < 192: A-G, N, K, J, R, Space by n mod 12), 12 a right answer, 13 a click on
# piano key n, 14 a frame while minimized, 15 a run of notes (note, 16-bit count).
R, SPACE, N, K = 10, 11, 7, 8


def key(n): return bytes([11, n])
def frames(n):
    out = b''
    while n > 0:
        out += bytes([6, min(n, 8) - 1])
        n -= min(n, 8)
    return out


def note(n, velocity): return bytes([4, n, 1, velocity]) if velocity else bytes([4, n, 0])
def answer(by_midi): return bytes([12, 1 if by_midi else 0])
def control(i, x=0, y=0): return bytes([9, i, x, y])


write('midi_in', 'record_and_play', key(R) + note(60, 64) + frames(10) + note(60, 0) +
      bytes([0]) + struct.pack('<I', 0x00407F90) + frames(3) + key(SPACE) + key(SPACE) +
      frames(32) + frames(32))
write('midi_in', 'piano_game', key(K) + b''.join(answer(i % 2 == 0) + frames(2) for i in range(29)) +
      frames(20))
write('midi_in', 'letter_game', key(N) + key(0) + b''.join(answer(False) for _ in range(29)) +
      frames(20))
write('midi_in', 'full_slot', key(R) + bytes([15, 60]) + struct.pack('<H', 4050) + key(SPACE) +
      key(SPACE) + frames(32) + bytes([14]) + frames(8))
write('midi_in', 'slots_and_close', control(8, 3, 2) + key(R) + bytes([13, 39]) + frames(31) +
      control(8, 3, 20) + bytes([8]) + struct.pack('<HH', 340, 40) + bytes([0]) +
      struct.pack('<I', 0x00403C90))
