#!/usr/bin/python3
"""Checks the paced medium's drive (fault_fs.PacedDrive) on reads laid out
by hand: when a read is a seek, what it costs, and when the drive starts it.
Usage: check_pace.py"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402
from fault_fs import PacedDrive  # noqa: E402

R, SEEK = PacedDrive.RATE, PacedDrive.SEEK
# /a holds 3,000 bytes from sector 10 (its last byte in sector 11), /b 2,048
# from sector 12, /c from sector 20; /x is not on the disc's map.
LAYOUT = {'/a': 10, '/b': 12, '/c': 20}

# Each row: reads as (path, offset, length, when it arrives: seconds after the
# last read was done, and this medium's own time since), the seeks expected
# and when the last read is done, after the first one's arrival.
ROWS = [
    ('the first read seeks', [('/a', 0, 2048, 0, 0)], 1, 2048 / R + SEEK),
    ('a file read on from where the last read ended', [('/a', 0, 1000, 0, 0), ('/a', 1000, 2000, 0, 0)],
     1, 3000 / R + SEEK),
    ('the next file in the sector after the last one read',
     [('/a', 0, 3000, 0, 0), ('/b', 0, 2048, 0, 0)], 1, 5048 / R + SEEK),
    ('a read that starts in the last sector read', [('/a', 0, 2500, 0, 0), ('/a', 2100, 900, 0, 0)],
     1, 3400 / R + SEEK),
    ('a sector skipped is a seek', [('/b', 0, 2048, 0, 0), ('/c', 0, 100, 0, 0)], 2, 2148 / R + 2 * SEEK),
    ('going back is a seek', [('/b', 0, 2048, 0, 0), ('/a', 0, 100, 0, 0)], 2, 2148 / R + 2 * SEEK),
    ('an empty read costs nothing and moves nothing',
     [('/a', 0, 3000, 0, 0), ('/c', 100, 0, 0, 0), ('/b', 0, 2048, 0, 0)], 1, 5048 / R + SEEK),
    ('a file off the map seeks at every read', [('/x', 0, 100, 0, 0), ('/x', 100, 100, 0, 0)],
     2, 200 / R + 2 * SEEK),
    ('the drive waits for a reader that comes late', [('/a', 0, 1000, 0, 0), ('/a', 1000, 1000, 0.05, 0)],
     1, 2000 / R + SEEK + 0.05),
    ("this medium's own time is not the reader's", [('/a', 0, 1000, 0, 0), ('/a', 1000, 1000, 0.05, 0.03)],
     1, 2000 / R + SEEK + 0.02),
    ('but a read never starts before the last one is done',
     [('/a', 0, 1000, 0, 0), ('/a', 1000, 1000, 0.01, 0.03)], 1, 2000 / R + SEEK),
    ('a read that comes while the drive is busy waits for it',
     [('/a', 0, 1000, 0, 0), ('/a', 1000, 1000, -0.05, 0)], 1, 2000 / R + SEEK),
]

for name, reads, seeks, done in ROWS:
    drive = PacedDrive(LAYOUT)
    last = start = 100.0
    for path, offset, length, late, own in reads:
        drive.own = own
        last = drive.charge(path, offset, length, last + late)
    check(drive.seeks == seeks and abs(last - start - done) < 1e-9,
          f'{name}: {seeks} seeks, done after {done:.6f} s (got {drive.seeks}, {last - start:.6f} s)')

drive = PacedDrive(LAYOUT)
for offset in range(0, 3000, 1000):
    drive.charge('/a', offset, 1000, 0)
check((drive.reads, drive.bytes, round(drive.busy, 9)) == (3, 3000, round(3000 / R + SEEK, 9)),
      f'the account: reads, bytes and the drive\'s busy time (got {drive.report().strip()})')
finish()
