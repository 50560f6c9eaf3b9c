#!/usr/bin/python3
"""clavora-progress: a made-up history of 60 days drawn as SVG holds one point per game
in each chart, and as PNG is a picture of the size expected; bad histories are refused
or have their bad lines skipped with one line each on standard error.

Usage: test_clavora_progress.py PATH/TO/clavora-progress"""
import datetime
import os
import random
import re
import subprocess
import sys
import tempfile

TOOL = os.path.abspath(sys.argv[1])
HEADER = 'start,mode,note,clef,seconds,wrong\n'
NOTES = [l + str(o) for o in range(2, 7) for l in 'CDEFGAB'][:29]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)


def run(*args):
    p = subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def game_rows(start, mode, rng):
    stamp = start.isoformat(timespec='seconds')
    rows = []
    for note in rng.sample(NOTES, 29):
        clef = 'treble' if NOTES.index(note) > 14 else 'bass'
        rows.append(f'{stamp},{mode},{note},{clef},{rng.randint(20, 400) / 100:.2f},{rng.choice([0, 0, 0, 1, 2])}\n')
    return rows


def made_up_history(days):
    """Games on most of the last `days` days: 0 to 3 a day in each mode. Returns the
    text and the number of games of each mode."""
    rng = random.Random(19)
    tz = datetime.timezone(datetime.timedelta(hours=1))
    first = datetime.datetime.now(tz).replace(hour=8, minute=0, second=0, microsecond=0) - datetime.timedelta(days=days)
    rows, games = [HEADER], {'letter': 0, 'piano': 0}
    for d in range(days):
        for g in range(rng.randint(0, 3)):
            for mode in ('letter', 'piano'):
                start = first + datetime.timedelta(days=d, hours=g * 3, minutes=rng.randint(0, 50))
                rows += game_rows(start, mode, rng)
                games[mode] += 1
    return ''.join(rows), games


def test_sixty_days_drawn():
    text, games = made_up_history(60)
    open('Clavora-history.csv', 'w').write(text)
    rc, out, err = run('-o', 'p.svg')
    check(rc == 0 and err == '', f'60 days draw: {rc} {err!r}')
    svg = open('p.svg').read()
    # Game points are the only shapes filled with this colour (0.2, 0.4, 0.8).
    points = len(re.findall(r'fill:rgb\(20%,40%,80%\)|fill="rgb\(20%,40%,80%\)"', svg))
    total = games['letter'] + games['piano']
    check(points == 2 * total, f'one point per game in each of the two charts: {points}, games {games}')
    for mode in ('letter', 'piano'):
        check(re.search(rf'^{mode}\s+{games[mode]}\s', out, re.M), f'the table counts the {mode} games: {out}')
    rc, out, err = run('--last', '5')
    check(rc == 0 and 'last 5 games' in out, f'--last 5: {rc} {out} {err}')
    head = open('progress.png', 'rb').read(24)
    check(head[:8] == b'\x89PNG\r\n\x1a\n' and int.from_bytes(head[16:20], 'big') == 1200,
          'progress.png is a PNG 1200 pixels wide')


def test_drills_beside_games():
    now = datetime.datetime.now().astimezone()
    rng = random.Random(28)
    text = HEADER + ''.join(''.join(game_rows(now - datetime.timedelta(hours=10 - h), 'letter-drill' if h % 3 == 2 else 'letter', rng))
                            for h in range(9))
    open('Clavora-history.csv', 'w').write(text)
    rc, out, err = run('-o', 'd.svg')
    check(rc == 0 and err == '' and re.search(r'^letter\s+6\s+3\s', out, re.M), f'6 games and 3 drills: {rc} {out} {err}')
    svg = open('d.svg').read()
    drills = len(re.findall(r'fill:rgb\(85%,20%,15%\)|fill="rgb\(85%,20%,15%\)"', svg))
    check(drills == 2 * 3, f'one red point per drill in each chart: {drills}')
    weak = re.search(r'^letter, the five weakest notes.*\n((?:  [A-G][2-6] .*\n){5})', out, re.M)
    check(weak is not None, f'five weakest notes: {out}')


def test_bad_histories():
    now = datetime.datetime.now().astimezone()
    rng = random.Random(7)
    good = ''.join(game_rows(now - datetime.timedelta(days=1), 'letter', rng))
    later = ''.join(game_rows(now - datetime.timedelta(hours=2), 'letter', rng))
    future = ''.join(game_rows(now + datetime.timedelta(days=3), 'piano', rng))
    cases = [
        # (what, file contents or None for no file, exit status, stderr pattern, letter games)
        ('missing file', None, 1, r'No such file', None),
        ('empty file', '', 1, r'holds no finished game', None),
        ('header only', HEADER, 1, r'holds no finished game', None),
        ('not a history', 'a,b,c\n' + good, 1, r'not a practice history', None),
        ('torn last line', HEADER + good + later + good[:40], 0, r'line 60 skipped: its last line is cut short', 2),
        ('wrong columns', HEADER + good + later.replace(',', ';', 1), 0, r'1 line skipped, the first at line 31: a line without the six columns', 1),
        ('bad values', HEADER + good.replace('treble', 'alto', 1) + later, 0, r'1 line skipped.*a line whose values', 1),
        ('a line of 5 MB', HEADER + 'x' * 5_000_000 + '\n' + good, 0, r'1 line skipped, the first at line 2: a line without', 1),
        ('a date in the future', HEADER + good + future, 0, r'29 lines skipped.*dated after now', 1),
    ]
    for what, contents, status, pattern, letter_games in cases:
        if os.path.exists('Clavora-history.csv'):
            os.unlink('Clavora-history.csv')
        if contents is not None:
            open('Clavora-history.csv', 'w').write(contents)
        rc, out, err = run('-o', 'bad.svg')
        check(rc == status, f'{what}: exit {rc}, not {status}: {err!r}')
        check(re.search(pattern, err) and err.count('\n') == 1, f'{what}: one line on stderr like {pattern!r}: {err!r}')
        if letter_games is not None:
            check(re.search(rf'^letter\s+{letter_games}\s', out, re.M), f'{what}: {letter_games} letter games kept: {out}')


def test_command_line():
    for args in (['--last', '0'], ['--bogus'], ['-o', 'p.jpg'], ['--data']):
        rc, _, err = run(*args)
        check(rc == 2 and 'Try' in err, f'{args}: exit 2, not {rc}: {err!r}')
    rc, out, _ = run('--help')
    check(rc == 0 and 'Usage' in out, '--help')


with tempfile.TemporaryDirectory() as d:
    os.chdir(d)
    test_sixty_days_drawn()
    test_drills_beside_games()
    test_bad_histories()
    test_command_line()
if failures:
    sys.exit(f'{len(failures)} failures')
print('PASS: clavora-progress')
