#!/usr/bin/env python3
"""Checks make-medium.py's images with xorriso reading them back as Windows
would (the Joliet tree), and its refusals: each bad product gets its error,
names the file, and leaves no image, not even an older one.
Usage: check_medium.py make-medium.py HD.EXE SCRATCH"""
import os
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402

make_medium, installer, scratch = sys.argv[1:4]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as out:
        out.write(data)


def make(product, label=None, layout=None):
    image = os.path.join(scratch, 'medium.iso')
    command = [sys.executable, make_medium, '--installer', installer, '--out', image, '--product', product]
    if label is not None:
        command += ['--label', label]
    if layout is not None:
        command += ['--layout', layout]
    # The C locale, as in a bare container: the image must not depend on the caller's.
    result = subprocess.run(command, capture_output=True,
                            env=dict(os.environ, SOURCE_DATE_EPOCH='1700000000', LC_ALL='C'))
    return result, image


def joliet_tree(image):
    """Every file of the image's Joliet tree with its bytes, extracted by xorriso."""
    target = os.path.join(scratch, 'extracted')
    if os.path.isdir(target):
        subprocess.run(['chmod', '-R', 'u+w', target])
        shutil.rmtree(target)
    subprocess.run(['xorriso', '-no_rc', '-report_about', 'FAILURE', '-osirrox', 'on', '-local_charset', 'UTF-8',
                    '-read_fs', 'norock',
                    '-indev', image, '-extract', '/', target], check=True, capture_output=True)
    return tree(target)


def tree(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, 'rb') as data:
                files[os.path.relpath(path, root)] = data.read()
    return files


shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
with open(installer, 'rb') as data:
    installer_bytes = data.read()

# A product with nested names in several scripts, binary content, no autorun.inf.
product = os.path.join(scratch, 'product')
write(os.path.join(product, 'zel_or.exe'), b'MZ' + bytes(range(256)) * 8)
write(os.path.join(product, 'Карты', 'Карта 1.bin'), os.urandom(70000))
write(os.path.join(product, 'Карты', '地図の凡例.bin'), os.urandom(3000))
write(os.path.join(product, 'Οδηγίες', 'Εγχειρίδιο χρήσης.txt'), 'Οδηγίες'.encode('utf-16'))
write(os.path.join(product, 'docs', 'Größe und Maße – Übersicht.txt'), b'Gr\xf6\xdfe\r\n')
write(os.path.join(product, 'docs', 'Справка по программе.txt'), 'Справка'.encode('cp1251'))
write(os.path.join(product, 'docs', "Player's guide.txt"), b'guide\r\n')
write(os.path.join(product, 'docs', 'deep', 'er', 'readme.txt'), b'readme\r\n')
write(os.path.join(product, 'docs', 'n' * 60 + '.txt'), b'the longest name Joliet holds: 64 characters')
result, image = make(product)
check(result.returncode == 0, f'a good product makes an image: {result.stderr.decode(errors="replace")}')
check(b'sha256 ' in result.stdout.splitlines()[-1] if result.stdout else False, 'the last line gives the SHA-256')
disc = joliet_tree(image) if os.path.exists(image) else {}
expected = tree(product)
for path, data in expected.items():
    check(disc.get(path) == data, f'{path} is on the disc under its own name with the same bytes')
check(disc.get('HD.EXE') == installer_bytes, 'HD.EXE is at the root')
autorun = disc.get('autorun.inf', b'').decode('cp1251').lower().split()
check('open=hd.exe' in autorun and 'icon=hd.exe' in autorun, f'autorun.inf opens HD.EXE (got {autorun})')
check(set(disc) == set(expected) | {'HD.EXE', 'autorun.inf'}, 'nothing else is on the disc')

# A product's own autorun.inf that opens HD.EXE is kept as it is.
own = b'[autorun]\r\nopen=hd.exe\r\nicon=zel_or.exe\r\nlabel=Orventa\r\n'
write(os.path.join(product, 'autorun.inf'), own)
result, image = make(product)
check(result.returncode == 0 and joliet_tree(image).get('autorun.inf') == own, "the product's own autorun.inf is kept")
os.remove(os.path.join(product, 'autorun.inf'))


def bad(name, build, expect, label=None):
    """`build(folder)` makes a bad product; make-medium must refuse it with
    `expect` in its message and leave no image behind."""
    folder = os.path.join(scratch, 'bad')
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    write(os.path.join(folder, 'zel_or.exe'), b'MZ')
    build(folder)
    write(os.path.join(scratch, 'medium.iso'), b'an older image')
    result, image = make(folder, label)
    message = result.stderr.decode(errors='replace')
    check(result.returncode != 0 and expect in message and not os.path.exists(image),
          f'{name}: refused with "{expect}", no image (got {result.returncode}: {message.strip()})')


bad('missing folder', lambda f: shutil.rmtree(f), 'does not exist')
bad('empty folder', lambda f: os.remove(os.path.join(f, 'zel_or.exe')), 'holds no files')
bad('no zel_or.exe', lambda f: (os.remove(os.path.join(f, 'zel_or.exe')), write(os.path.join(f, 'data', 'zel_or.exe'), b'MZ')),
    'make no desktop shortcut and start no program')
bad('name too long for Joliet', lambda f: write(os.path.join(f, 'd', 'n' * 61 + '.txt'), b''),
    'too long for Joliet (65 characters, at most 64): d/' + 'n' * 61 + '.txt')
bad('name Joliet would change', lambda f: write(os.path.join(f, 'a:b.txt'), b''), 'would change this name')
bad('name with a trailing dot', lambda f: write(os.path.join(f, 'notes.'), b''), 'would change this name')
bad('names differing only in case', lambda f: (write(os.path.join(f, 'Map.bin'), b''), write(os.path.join(f, 'map.bin'), b'')),
    'differ only in case')
bad('Greek names differing only in case', lambda f: (write(os.path.join(f, 'Οδηγίες.txt'), b''),
                                                     write(os.path.join(f, 'ΟΔΗΓΊΕΣ.TXT'), b'')),
    'differ only in case')
bad('name outside UCS-2', lambda f: write(os.path.join(f, 'Карты', 'Мир \U0001F5FA.bin'), b''),
    'Joliet holds UCS-2, and U+1F5FA lies outside it: Карты/Мир \U0001F5FA.bin')
# Too long as well, however counted: a shorter name would still not be carried.
bad('name outside UCS-2 and too long', lambda f: write(os.path.join(f, 'n' * 60 + '\U0001F5FA.bin'), b''),
    'Joliet holds UCS-2, and U+1F5FA lies outside it')
# Its folders fit once installed (232 characters, at most 247); the file does not (265).
deep = '/'.join(['folder_' + str(i) * 20 for i in range(8)]) + '/' + 'f' * 28 + '.bin'
bad('path too deep to install', lambda f: write(os.path.join(f, deep), b''), f'{deep} is 265 characters once installed')
# The folder is 248 characters installed; its file would fit as a file (254).
too_deep = '/'.join(['folder_' + str(i) * 50 for i in range(4)]) + '/' + 'f' * 7
bad('folder too deep to create', lambda f: write(os.path.join(f, too_deep, 'a.bin'), b''),
    f'folder deeper than the installer can create: {too_deep} is 248 characters once installed')
# Both the folder and its file are too deep: the folder is the one to shorten.
bad('folder and its file too deep', lambda f: write(os.path.join(f, too_deep, 'f' * 20 + '.bin'), b''),
    f'folder deeper than the installer can create: {too_deep} is 248')
# 121 characters from the disc's root: it would fit once installed, but not on the disc.
joliet_long = '/'.join(['j' * 59, 'k' * 60])
bad('path too long for Joliet', lambda f: write(os.path.join(f, joliet_long), b''),
    f'path too long for Joliet (121 characters from the disc\'s root, at most 120): {joliet_long}')
bad('autorun.inf opening another program', lambda f: write(os.path.join(f, 'autorun.inf'), b'[autorun]\r\nopen=start.exe\r\n'),
    'opens start.exe, not HD.EXE')
bad('bad volume label', lambda f: None, 'volume label', label='my disc')

# The files of a disc in the order the installer copies them on Windows: each
# Joliet folder listed in the order of its records, by UTF-16 code units
# (capitals before small letters, "_" between them, a space before a dot,
# Greek before Cyrillic, "Ё" before "А" and "ё" after "я"), a folder walked
# where it is listed. The mastering library's default order, by the ISO 9660
# names (upper-cased, Cyrillic mangled to "_"), differs in most places.
COPY_ORDER = [('Carte.bin', 5000), ('Video/Intro.avi', 9000), ('Video/extra.avi', 100), ('Zeta.bin', 3000),
              ('_notes.txt', 10), ('data/B.bin', 2048), ('data/a b.bin', 2049), ('data/a.bin', 1),
              ('data/empty.txt', 0), ('data/maps/m1.bin', 7000), ('data/z.bin', 20), ('zel_or.exe', 600),
              ('Οδηγός.txt', 30), ('Ёж.txt', 40), ('Карты/Карта 1.bin', 4000), ('Карты/Ярус.bin', 50),
              ('Карты/архив.bin', 60), ('Карты/яр.bin', 70), ('Карты/ёлка.bin', 80), ('архив/файл.bin', 90)]
START_UP = ['HD.EXE', 'autorun.inf', 'data/start.exe']


def sectors(image):
    """Joliet path -> first sector of its data, from xorriso's report_lba."""
    lines = subprocess.run(['xorriso', '-no_rc', '-report_about', 'FAILURE', '-local_charset', 'UTF-8', '-read_fs',
                            'norock', '-indev', image, '-find', '/', '-exec', 'report_lba'],
                           capture_output=True, check=True).stdout.decode().splitlines()
    fields = [line.split(':', 1)[1].split(',', 4) for line in lines if line.startswith('File data lba:')]
    return {shlex.split(path)[0].lstrip('/'): int(sector) for _, sector, _, _, path in fields}


ordered = os.path.join(scratch, 'ordered')
shutil.rmtree(ordered, ignore_errors=True)
for path, size in reversed(COPY_ORDER):  # written backwards: the order is not the folder's
    write(os.path.join(ordered, path), os.urandom(size))
write(os.path.join(ordered, 'data', 'start.exe'), b'MZ start')
layout_file = os.path.join(scratch, 'layout')
result, image = make(ordered, layout=layout_file)
check(result.returncode == 0, f'a disc of mixed-case and Cyrillic names is made: {result.stderr.decode(errors="replace")}')
on_disc = sectors(image) if os.path.exists(image) else {}
read = [(on_disc.get(path, -1), path) for path, size in COPY_ORDER if size > 0]
behind = [(a, b) for (first, a), (second, b) in zip(read, read[1:]) if second <= first]
check(not behind and len(read) == len(COPY_ORDER) - 1,
      f'the files lie on the disc in the order the installer reads them (out of order: {behind[:3]})')
last = max(sector for sector, _ in read) if read else 0
check(all(on_disc.get(path, -1) > last for path in START_UP),
      f'the medium\'s start-up files lie after them ({[(p, on_disc.get(p)) for p in START_UP]}, last file at {last})')
with open(layout_file, encoding='utf-8') if os.path.exists(layout_file) else open(os.devnull) as listed:
    given = {line.rstrip('\n').split(' ', 2)[2]: int(line.split(' ', 1)[0]) for line in listed}
check(given == on_disc and bool(given), '--layout gives every file\'s first sector as the image has it')

finish()
