#!/usr/bin/env python3
"""Makes the CD image: the product folder's tree, HD.EXE at the root and an
autorun.inf that starts it, as ISO 9660 with Joliet and Rock Ridge, through
xorriso. Refuses, and leaves no image, when the disc would not install as it
should: an empty or missing product folder, no zel_or.exe at its top, names
that Joliet or Windows would change, paths too deep for the installer.

Usage: make-medium.py --installer HD.EXE --out IMAGE [--product DIR] [--label LABEL]

Without --product, the product is the sample medium (sample/medium) with the
sample zel_or.exe built beside HD.EXE.

Dates: every file this script adds, and every file of the sample, is dated
SOURCE_DATE_EPOCH (the commit's time, set by the caller), and xorriso takes its
volume dates from it too, so the same commit always gives the same image."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

MAIN_PROGRAM = 'zel_or.exe'
SAMPLE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'sample', 'medium'))
# The installer leaves these out at every depth; they never reach the disk.
EXCLUDED = {'autorun.inf', 'start.exe', 'hd.exe'}
DEFAULT_DESTINATION = 'C:\\ZelOr'
MAX_INSTALLED_PATH = 259  # MAX_PATH less its terminator
JOLIET_NAME_LIMIT = 64    # UCS-2 characters a Joliet name may hold
# Joliet cannot record these; Windows cannot name a file with the rest.
FORBIDDEN = set('*/:;?\\<>"|') | {chr(c) for c in range(32)}


class Refused(Exception):
    pass


def product_entries(root):
    """Every file and folder below `root`, as relative paths with '/'."""
    entries = []
    for folder, folders, files in os.walk(root):
        folders.sort()
        relative = os.path.relpath(folder, root)
        for name in sorted(folders) + sorted(files):
            entries.append(name if relative == '.' else f'{relative}/{name}')
    return entries


def check_product(root):
    if not os.path.isdir(root):
        raise Refused(f'product folder {root} does not exist')
    entries = product_entries(root)
    if not any(os.path.isfile(os.path.join(root, e)) for e in entries):
        raise Refused(f'product folder {root} holds no files')
    if not any(name.lower() == MAIN_PROGRAM for name in os.listdir(root)
               if os.path.isfile(os.path.join(root, name))):
        raise Refused(f'no {MAIN_PROGRAM} at the top of {root}: the install would copy the files '
                      f'but make no desktop shortcut and start no program')

    for name in os.listdir(root):
        if name.lower() == 'autorun.inf':
            with open(os.path.join(root, name), 'rb') as autorun:
                lines = autorun.read().decode('cp1251', errors='replace').splitlines()
            opens = [line.split('=', 1)[1].strip() for line in lines if line.strip().lower().startswith('open=')]
            if [program.lower() for program in opens] != ['hd.exe']:
                raise Refused(f'{name} at the top of {root} opens {", ".join(opens) or "nothing"}, not HD.EXE: '
                              f'remove it to get one that does')

    seen = {}
    for entry in entries:
        name = entry.rsplit('/', 1)[-1]
        if len(name) > JOLIET_NAME_LIMIT:
            raise Refused(f'name too long for Joliet ({len(name)} characters, at most '
                          f'{JOLIET_NAME_LIMIT}): {entry}')
        if any(c in FORBIDDEN for c in name) or name != name.rstrip(' .'):
            raise Refused(f'the disc would change this name (a character Joliet or Windows cannot '
                          f'keep, or a trailing dot or space): {entry}')
        try:
            name.encode('cp1251')
        except UnicodeEncodeError:
            raise Refused(f'the installer cannot name this file: it holds characters outside '
                          f'Windows-1251: {entry}')
        key = entry.lower()
        if key in seen:
            raise Refused(f'names that differ only in case, which Windows sees as one: '
                          f'{seen[key]} and {entry}')
        seen[key] = entry

        if name.lower() in EXCLUDED and os.path.isfile(os.path.join(root, entry)):
            continue
        installed = DEFAULT_DESTINATION + '\\' + entry.replace('/', '\\')
        if len(installed) > MAX_INSTALLED_PATH:
            raise Refused(f'path deeper than the installer can copy: {entry} is {len(installed)} '
                          f'characters once installed as {installed} (at most {MAX_INSTALLED_PATH})')


def check_label(label):
    if not label or len(label) > 32 or any(c not in 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_' for c in label):
        raise Refused(f'volume label {label!r}: use 1 to 32 of A-Z, 0-9 and _')


def joliet_files(image):
    """The image's files as Windows shows them: the Joliet tree's paths."""
    # Every name that got this far is Windows-1251, as isoinfo can print it.
    listing = subprocess.run(['isoinfo', '-i', image, '-J', '-j', 'cp1251', '-f'], capture_output=True,
                             check=True).stdout.decode('cp1251')
    return {line.lstrip('/') for line in listing.splitlines() if line.strip()}


def sample_product(args, epoch):
    """The sample medium with the sample program at its top, laid out beside the
    image and kept there (the demo compares what it installed with it). Dated
    `epoch`: the sources' own dates differ from clone to clone."""
    product = os.path.join(os.path.dirname(os.path.abspath(args.out)), 'sample-product')
    shutil.rmtree(product, ignore_errors=True)
    shutil.copytree(SAMPLE, product)
    program = os.path.join(os.path.dirname(os.path.abspath(args.installer)), MAIN_PROGRAM)
    shutil.copy(program, os.path.join(product, MAIN_PROGRAM))
    if epoch:
        for folder, _, files in os.walk(product):
            for name in files + ['.']:
                os.utime(os.path.join(folder, name), (epoch, epoch))
    return product


def stage(args, stage_dir):
    """Lays out the disc's content in `stage_dir`."""
    epoch = int(os.environ.get('SOURCE_DATE_EPOCH', '0')) or None
    product = args.product or sample_product(args, epoch)
    check_product(product)
    shutil.copytree(product, stage_dir, dirs_exist_ok=True)

    added = [os.path.join(stage_dir, 'HD.EXE')]
    shutil.copy(args.installer, added[0])
    if not any(name.lower() == 'autorun.inf' for name in os.listdir(stage_dir)):
        added.append(os.path.join(stage_dir, 'autorun.inf'))
        with open(added[-1], 'wb') as autorun:
            autorun.write(b'[autorun]\r\nopen=HD.EXE\r\nicon=HD.EXE\r\n')
    if epoch:
        for path in added + [stage_dir]:
            os.utime(path, (epoch, epoch))


def make_image(args):
    check_label(args.label)
    out_dir = os.path.dirname(os.path.abspath(args.out))
    os.makedirs(out_dir, exist_ok=True)
    work = tempfile.mkdtemp(prefix='medium-', dir=out_dir)
    try:
        stage_dir = os.path.join(work, 'disc')
        os.makedirs(stage_dir)
        stage(args, stage_dir)
        partial = os.path.join(work, 'medium.iso')
        result = subprocess.run(
            ['xorriso', '-no_rc', '-report_about', 'FAILURE', '-abort_on', 'FAILURE',
             '-outdev', partial, '-volid', args.label, '-joliet', 'on', '-rockridge', 'on',
             '-map', stage_dir, '/', '-commit'],
            capture_output=True)
        if result.returncode != 0:
            raise Refused('xorriso failed:\n' + result.stderr.decode(errors='replace'))
        # Windows reads the Joliet tree: every name must arrive there unchanged.
        wanted = set(product_entries(stage_dir))
        got = joliet_files(partial)
        changed = sorted(wanted - got)
        if changed:
            raise Refused(f'the disc would change this name: {changed[0]} (Joliet holds '
                          f'{", ".join(sorted(got - wanted)[:3])})')
        os.replace(partial, args.out)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    with open(args.out, 'rb') as image:
        digest = hashlib.sha256(image.read()).hexdigest()
    print(f'medium: {args.out} ({os.path.getsize(args.out)} bytes, label {args.label}) sha256 {digest}')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--installer', required=True)
    parser.add_argument('--out', required=True)
    parser.add_argument('--product')
    parser.add_argument('--label', default='ZELARIT_ORVENTA')
    args = parser.parse_args()
    # A refused or failed run leaves no image, not even an older one.
    if os.path.exists(args.out):
        os.remove(args.out)
    try:
        make_image(args)
    except Refused as refusal:
        print(f'medium: {refusal}', file=sys.stderr)
        sys.exit(1)


if __name__ == '__main__':
    main()
