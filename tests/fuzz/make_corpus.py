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


# MIDI files: the chunks and events of Standard MIDI Files, big-endian.
def varlen(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def chunk(kind, body): return kind + struct.pack('>I', len(body)) + body
def smf(fmt, division, *tracks):
    return chunk(b'MThd', struct.pack('>HHH', fmt, len(tracks), division)) + \
        b''.join(chunk(b'MTrk', t) for t in tracks)


def ev(delta, *b): return varlen(delta) + bytes(b)
def tempo(delta, us): return ev(delta, 0xFF, 0x51, 3) + struct.pack('>I', us)[1:]


EOT = ev(0, 0xFF, 0x2F, 0)
write('midi_file', 'format0', smf(0, 96, tempo(0, 500000) + ev(0, 0x90, 60, 100) + ev(96, 0x80, 60, 0) +
                                  ev(0, 0x90, 64, 90) + ev(48, 64, 0) + EOT))
write('midi_file', 'format1_tempo_map', smf(
    1, 480, ev(0, 0xFF, 0x03, 4) + b'Head' + tempo(960, 250000) + EOT,
    ev(0, 0xF0, 3, 0x7E, 0x7F, 0xF7) + ev(0, 0x91, 21, 80) + ev(0, 0x99, 36, 90) + ev(240, 108, 70) +
    ev(480, 21, 0) + ev(0, 0x81, 108, 0) + ev(0, 0xF7, 1, 0) + ev(100, 0x90, 20, 9) + EOT,
    ev(10, 0xC0, 5) + ev(0, 0xB0, 64, 127) + ev(0, 0x90, 60, 50) + ev(5, 0x90, 60, 50) + ev(5, 0x80, 60, 0) +
    ev(1000, 0xE0, 0, 64) + EOT))
write('midi_file', 'smpte', smf(0, 0xE728, ev(44, 0x90, 70, 1) + ev(1, 0x80, 70, 0) + EOT))
write('midi_file', 'smpte_2997', smf(1, 0xE302, ev(0, 0x90, 70, 1) + ev(9, 0x80, 70, 0) + EOT,
                                     ev(3, 0x92, 72, 1) + EOT))
write('midi_file', 'held_to_end', smf(0, 1, tempo(0, 30000) + ev(0, 0x90, 40, 1) + ev(0, 0x90, 41, 1) +
                                      ev(50, 0xFF, 0x2F, 0)))
write('midi_file', 'longer_than_a_slot', smf(0, 1, tempo(0, 30000) + ev(0, 0x90, 30, 64) +
                                             b''.join(ev(1, 0x90, 60 + i % 12, 64) + ev(1, 60 + i % 12, 0)
                                                      for i in range(2100)) + ev(1, 0x80, 30, 0) + EOT))
write('midi_file', 'not_midi', b'RIFF\x00\x00\x00\x04MIDI')
