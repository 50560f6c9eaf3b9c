#!/usr/bin/python3
"""clavora-midi against an independent MIDI library (mido): exported songs read back
at the same times to the millisecond, a file mido writes imports to the frames
expected, files of many tracks (made here, and real ones) import as well-formed songs
with every note mido reads there within half a frame, and every refusal leaves the
song files byte for byte as they were.

Usage: test_clavora_midi.py PATH/TO/clavora-midi"""
import os
import struct
import subprocess
import sys
import tempfile

import mido

TOOL = os.path.abspath(sys.argv[1])
END = -100
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)


def run(*args):
    p = subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def song_file(events, end):
    return b''.join(struct.pack('<hhi', k, v, t) for k, v, t in events) + struct.pack('<hhi', END, END, end)


def read_song(name):
    data = open(name, 'rb').read()
    return [struct.unpack_from('<hhi', data, i) for i in range(0, len(data), 8)]


def midi_file(name, tracks, ticks_per_beat=10, type=1):
    """Writes a file of these tracks with mido, each a table of rows at absolute ticks in
    the order written: (tick, 'on' or 'off', channel, note[, velocity 64]), (tick,
    'tempo', microseconds a beat) or (tick, 'end'); mido ends a track without one."""
    mid = mido.MidiFile(type=type, ticks_per_beat=ticks_per_beat)
    for rows in tracks:
        track, now = mido.MidiTrack(), 0
        for tick, kind, *rest in rows:
            if kind == 'end':
                msg = mido.MetaMessage('end_of_track')
            elif kind == 'tempo':
                msg = mido.MetaMessage('set_tempo', tempo=rest[0])
            else:
                channel, note, velocity = (rest + [64])[:3]
                msg = mido.Message('note_' + kind, channel=channel, note=note, velocity=velocity)
            track.append(msg.copy(time=tick - now))
            now = tick
        mid.tracks.append(track)
    mid.save(name)


def test_export_reads_back_in_mido():
    events = [(40, 100, 0), (44, 100, 0), (47, 100, 0), (40, 0, 17), (44, 0, 17), (47, 0, 17),
              (-64, -1, 17), (40, 100, 17), (40, 0, 33), (-64, -2, 34), (88, 100, 1000), (1, 100, 1001), (88, 0, 40001), (1, 0, 40003),
              (-25, 100, 40004), (110, 0, 40005)]
    open('song.010', 'wb').write(song_file(events, 40010))
    rc, out, err = run('export', '10', 'out.mid')
    check(rc == 0, f'export exits 0, not {rc}: {err}')
    check('left out 2 of' in err and err.count('\n') == 1, f'export counts the events without a note: {err!r}')
    mid = mido.MidiFile('out.mid')
    check(mid.type == 0 and len(mid.tracks) == 1, 'one track, format 0')
    check(any(m.type == 'track_name' and '10' in m.name for m in mid.tracks[0]), 'track named after the slot')
    seconds, got = 0.0, []
    for m in mid:  # mido's own clock: delta times through the tempo map, in seconds
        seconds += m.time
        if m.type in ('note_on', 'note_off'):
            on = m.type == 'note_on' and m.velocity > 0
            check(not on or m.velocity == 112, f'Note On of velocity 112, not {m.velocity}')
            got.append((m.note - 20, 100 if on else 0, round(seconds * 1000)))
        if m.type == 'control_change':  # the sustain pedal
            got.append((-64, -1 if m.value == 127 else -2 if m.value == 0 else m.value, round(seconds * 1000)))
    want = [(k, v, t * 30) for k, v, t in events if 0 <= k + 20 <= 127 or k == -64]
    check(got == want, f'mido reads the notes at tick x 30 ms:\n{got}\n{want}')
    check(abs(seconds - 40010 * 0.030) < 0.0005, f'the track ends at the end marker, not at {seconds}')


def test_mido_file_imports_to_the_expected_frames():
    midi_file('played.mid', [[(0, 'tempo', 500000), (960, 'tempo', 250000)],  # after 1 s
                             [(0, 'on', 0, 60, 80),
                              (0, 'on', 0, 64, 80),      # running status
                              (0, 'on', 9, 36, 90),      # drums
                              (0, 'on', 0, 20, 70),      # below A0
                              (480, 'on', 0, 60, 0),     # 500 ms
                              (720, 'on', 0, 64, 75),    # 750 ms: struck again
                              (960, 'off', 0, 64, 0),    # 1000 ms: lifts it
                              (1200, 'off', 0, 64, 0),   # 1125 ms: a stray one
                              (1300, 'on', 0, 108, 70),  # 1177.08 ms
                              (1400, 'off', 0, 108, 0)]],  # 1229.17 ms
              ticks_per_beat=480)
    check(b'\x00\x40\x50' in open('played.mid', 'rb').read(), 'mido wrote running status')
    rc, out, err = run('import', 'played.mid', '12')
    check(rc == 0, f'import exits 0, not {rc}: {err}')
    check('left out 1 drum notes' in err and '1 notes lie outside' in err, f'import says what it left out: {err!r}')
    # Note 64 struck again on its channel is released and pressed again, and its first
    # Note Off lifts it; note 20 has no key, but is kept as the program records it.
    want = [(40, 100, 0), (44, 100, 0), (0, 100, 0), (40, 0, 17), (44, 0, 25), (44, 100, 25), (44, 0, 33),
            (88, 100, 39), (88, 0, 41), (0, 0, 41), (END, END, 41)]
    check(read_song('song.012') == want, f'imported frames:\n{read_song("song.012")}\n{want}')
    rc, out, err = run('list')
    check(rc == 0 and out == ' 10     7 notes  20:00\n 12     5 notes  0:01\n', f'list: {out!r}')


def well_formed(song):
    """What is wrong with a song as a recording: a key pressed while down, released while
    up, or left down at its end marker."""
    down, wrong = set(), []
    for k, v, t in song:
        if (k, v) == (END, END):
            break
        if k == -64 and v < 0:  # the pedal
            continue
        if (v > 0) == (k in down):
            wrong.append(f'key {k} {"pressed" if v else "released"} at frame {t} while {"down" if v else "up"}')
        (down.add if v > 0 else down.discard)(k)
    return wrong + [f'key {k} left down' for k in sorted(down)]


def onsets_differ(name, song, cut):
    """The notes mido reads in the file (drums aside) that have no press of their key in
    the song within half a frame, one press to a note; and the presses that have no note.
    A song cut short at a full slot need only have notes for its presses."""
    onsets, presses, seconds = {}, {}, 0.0
    for m in mido.MidiFile(name):
        seconds += m.time
        if m.type == 'note_on' and m.velocity > 0 and m.channel != 9:
            onsets.setdefault(m.note - 20, []).append(seconds)
    for k, v, t in song:
        if v > 0 and k != END:
            presses.setdefault(k, []).append(t * 0.030)
    wrong = []
    for k in sorted(set(onsets) | set(presses)):
        notes, left = sorted(onsets.get(k, [])), 0
        for t in sorted(presses.get(k, [])):
            while left < len(notes) and notes[left] < t - 0.015 - 1e-6:
                if not cut:
                    wrong.append(f'key {k}: no press for the note at {notes[left]:.4f} s')
                left += 1
            if left < len(notes) and abs(notes[left] - t) <= 0.015 + 1e-6:
                left += 1
            else:
                wrong.append(f'key {k}: no note for the press at {t:.3f} s')
        if not cut:
            wrong += [f'key {k}: no press for the note at {n:.4f} s' for n in notes[left:]]
    return wrong


def test_made_multitrack_files_import_well_formed():
    P, R = 100, 0
    cases = [
        ('one channel: one track releases where an earlier one strikes',
         [[(4, 'on', 0, 60), (8, 'off', 0, 60)], [(0, 'on', 0, 60), (4, 'off', 0, 60)]],
         [(40, P, 0), (40, R, 4), (40, P, 4), (40, R, 8)]),
        ('two channels: the same',
         [[(4, 'on', 1, 60), (8, 'off', 1, 60)], [(0, 'on', 0, 60), (4, 'off', 0, 60)]],
         [(40, P, 0), (40, R, 4), (40, P, 4), (40, R, 8)]),
        ('one track writes a struck-again note before the release',
         [[(0, 'on', 0, 60), (4, 'on', 0, 60), (4, 'off', 0, 60), (8, 'off', 0, 60)]],
         [(40, P, 0), (40, R, 4), (40, P, 4), (40, R, 8)]),
        ('overlap on one channel: down until the last note on the key ends',
         [[(0, 'on', 0, 60), (10, 'off', 0, 60)], [(4, 'on', 0, 60), (6, 'off', 0, 60)]],
         [(40, P, 0), (40, R, 4), (40, P, 4), (40, R, 10)]),
        ('unison: two tracks strike one key at once on two channels',
         [[(0, 'on', 0, 64), (6, 'off', 0, 64)], [(0, 'on', 2, 64), (3, 'off', 2, 64)]],
         [(44, P, 0), (44, R, 0), (44, P, 0), (44, R, 6)]),
        ('a note of no length',
         [[(2, 'on', 0, 67), (2, 'off', 0, 67), (5, 'on', 0, 60), (7, 'off', 0, 60)]],
         [(47, P, 2), (47, R, 2), (40, P, 5), (40, R, 7)]),
        ('struck again and again on its channel, released once',
         [[(0, 'on', 0, 60), (2, 'on', 0, 60), (4, 'on', 0, 60), (6, 'off', 0, 60)]],
         [(40, P, 0), (40, R, 2), (40, P, 2), (40, R, 4), (40, P, 4), (40, R, 6)]),
        ('a chord handed from one track to two others at one instant',
         [[(0, 'on', 0, 60), (0, 'on', 0, 64), (5, 'off', 0, 60), (5, 'off', 0, 64)],
          [(5, 'on', 1, 60), (9, 'off', 1, 60)],
          [(5, 'on', 2, 64), (5, 'on', 2, 67), (9, 'off', 2, 64), (9, 'off', 2, 67)]],
         [(40, P, 0), (44, P, 0), (40, R, 5), (44, R, 5), (40, P, 5), (44, P, 5), (47, P, 5),
          (40, R, 9), (44, R, 9), (47, R, 9)]),
        ('a note never released comes up where the piece ends',
         [[(0, 'on', 3, 60), (12, 'end')], [(1, 'off', 3, 64)]],
         [(40, P, 0), (40, R, 12)]),
    ]
    for what, tracks, want in cases:
        # A tempo track first, and one tick a frame (30 ms).
        midi_file('made.mid', [[(0, 'tempo', 300000)]] + tracks)
        rc, out, err = run('import', 'made.mid', '30', '--replace')
        song = read_song('song.030')
        check(rc == 0 and song == want + [(END, END, want[-1][2])], f'{what}: {err}\n{song}\n{want}')
        check(not well_formed(song), f'{what}: {well_formed(song)}')
        check(not onsets_differ('made.mid', song, False), f'{what}: {onsets_differ("made.mid", song, False)}')


# Real pieces: a free music set for a train game, shipped by Debian as MIDI files.
REAL_FILES = '/usr/share/games/openttd/baseset/openmsx'


def test_real_files_import_well_formed():
    names = sorted(f for f in os.listdir(REAL_FILES) if f.endswith('.mid')) if os.path.isdir(REAL_FILES) else []
    check(len(names) >= 20, f'the real MIDI files of openttd-openmsx (scripts/install-deps) in {REAL_FILES}')
    cut = 0
    for f in names:
        path = os.path.join(REAL_FILES, f)
        rc, out, err = run('import', path, '31', '--replace')
        check(rc == 0, f'{f} imports: {err}')
        song = read_song('song.031')
        cut += 'more than a slot holds' in err
        wrong = well_formed(song) + onsets_differ(path, song, 'more than a slot holds' in err)
        check(not wrong, f'{f}: {len(wrong)} faults, first {wrong[:3]}')
    print(f'{len(names)} real files, {cut} cut short at a full slot')


def test_refusals_change_nothing():
    midi_file('good.mid', [[(0, 'on', 0, 60, 9), (100, 'off', 0, 60)]], ticks_per_beat=480, type=0)
    g = open('good.mid', 'rb').read()
    bad = {
        'text.mid': b'just some text, no MIDI here\n',
        'cut.mid': g[:-3],
        'varlen.mid': g[:14] + b'MTrk\x00\x00\x00\x02\x81\x81',
        'tracks.mid': g[:10] + b'\xff\xff' + g[12:],
        'format2.mid': g[:8] + b'\x00\x02' + g[10:],
        'drums.mid': g.replace(b'\x90', b'\x99').replace(b'\x80', b'\x89'),
    }
    for name, data in bad.items():
        open(name, 'wb').write(data)
    before = open('song.012', 'rb').read()
    files = sorted(os.listdir('.'))
    for name in bad:
        for slot in ('12', '13'):
            args = ['import', name, slot] + (['--replace'] if slot == '12' else [])
            rc, out, err = run(*args)
            check(rc == 1, f'{args} exits 1, not {rc}')
            check(err.count('\n') == 1 and name in err, f'{args}: one line naming the file: {err!r}')
    rc, out, err = run('import', 'good.mid', '12')
    check(rc == 1 and 'song.012' in err and '--replace' in err, f'a slot in use is refused: {err!r}')
    rc, out, err = run('export', '13', 'empty.mid')
    check(rc == 1 and 'song.013' in err, f'an empty slot is not exported: {err!r}')
    rc, out, err = run('export', '12', 'no/such/dir/x.mid')
    check(rc == 1 and 'x.mid' in err, f'an unwritable file is refused: {err!r}')
    check(open('song.012', 'rb').read() == before, 'the song file is byte for byte unchanged')
    check(sorted(os.listdir('.')) == files, f'nothing was written: {sorted(os.listdir("."))}')
    rc, out, err = run('import', 'good.mid', '12', '--replace')
    # 100 ticks of 480 a quarter at the default 120 a minute: 104 ms, frame 3.
    check(rc == 0 and read_song('song.012') == [(40, 100, 0), (40, 0, 3), (END, END, 3)],
          f'--replace replaces: {rc} {err}')
    for args in ([], ['frob'], ['export', '128', 'x.mid'], ['export', '1'], ['import', 'good.mid', 'x'],
                 ['list', 'extra']):
        rc, out, err = run(*args)
        check(rc == 2 and err, f'{args} is a wrong command line: {rc}')
    # A file that holds no song is an empty slot, as list and the program see it.
    open('song.014', 'wb').write(song_file([], 0))
    rc, out, err = run('import', 'good.mid', '14')
    check(rc == 0 and read_song('song.014')[0] == (40, 100, 0), f'a song file without a song is free: {err!r}')
    rc, out, err = run('--help')
    check(rc == 0 and 'clavora-midi import FILE.mid SLOT [--replace]' in out, 'help')


with tempfile.TemporaryDirectory() as d:
    os.chdir(d)
    test_export_reads_back_in_mido()
    test_mido_file_imports_to_the_expected_frames()
    test_made_multitrack_files_import_well_formed()
    test_real_files_import_well_formed()
    test_refusals_change_nothing()
print('clavora-midi:', 'FAILED' if failures else 'all passed')
sys.exit(1 if failures else 0)
