#!/usr/bin/env python3
"""Makes the CD image: the product folder's tree, HD.EXE at the root and an
autorun.inf that starts it, as ISO 9660 with Joliet and Rock Ridge, through
xorriso. Refuses, and leaves no image, when the disc would not install as it
should: an empty or missing product folder, no zel_or.exe at its top, names
that Joliet or Windows would change, paths too deep for the installer.

Usage: make-medium.py --installer HD.EXE --out IMAGE [--product DIR] [--label LABEL]
         [--sign-cert CERT.pem --sign-key KEY.pem | --sign-pfx FILE.pfx] [--sign-timestamp URL]
         [--layout FILE]

Layout: the files' data lie on the disc in the order the installer reads
them on Windows, so that a drive reads the install in one sweep, without a
seek between files; the medium's own start-up files come after them. The
script checks the finished image for it. --layout writes where each file lies,
one line a file: its first sector, its size and its Joliet path.

Without --product, the product is the sample medium (sample/medium) with the
sample zel_or.exe built beside HD.EXE.

Signing: with a certificate, HD.EXE goes onto the disc with an Authenticode
signature (SHA-256) made by osslsigncode, and only once it verifies against
the given chain. The key's password comes from the environment variable
SIGN_PASS and reaches openssl and osslsigncode through a pipe, never on a
command line. Without --sign-timestamp the signing time is SOURCE_DATE_EPOCH,
so the same commit signs to the same bytes (RSA signatures are deterministic).

Dates: every file this script adds, and every file of the sample, is dated
SOURCE_DATE_EPOCH (the commit's time, set by the caller), and xorriso takes its
volume dates from it too, so the same commit always gives the same image."""
import argparse
import calendar
import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

MAIN_PROGRAM = 'zel_or.exe'
SAMPLE = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'sample', 'medium'))
# The installer leaves these out at every depth; they never reach the disk.
EXCLUDED = {'autorun.inf', 'start.exe', 'hd.exe'}
DEFAULT_DESTINATION = 'C:\\ZelOr'
MAX_INSTALLED_PATH = 259  # MAX_PATH less its terminator
# CreateDirectory keeps room for an 8.3 name below the folder: 248 with the terminator.
MAX_INSTALLED_FOLDER = 247
JOLIET_NAME_LIMIT = 64    # UCS-2 characters a Joliet name may hold
# UCS-2 characters a Joliet path may hold from the root, its separators and
# leading slash included (240 bytes); xorriso leaves longer ones out.
JOLIET_PATH_LIMIT = 120
# Joliet cannot record these; Windows cannot name a file with the rest.
FORBIDDEN = set('*/:;?\\<>"|') | {chr(c) for c in range(32)}


# Trusted besides the chain the publisher gives, when verifying a signature.
SYSTEM_ROOTS = '/etc/ssl/certs/ca-certificates.crt'


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


def windows_case(path):
    """`path` as Windows compares names: upcased a character at a time, so
    that ς and σ are one letter, as Σ, while ß stays ß. str.lower() keeps ς
    apart from σ, and str.upper() makes ß SS."""
    return ''.join(c.upper() if len(c.upper()) == 1 else c for c in path)


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
        # Before the length: past this every character is one UCS-2 unit, so
        # len() counts what Joliet counts.
        wide = next((c for c in name if ord(c) > 0xFFFF), None)
        if wide:
            raise Refused(f'the disc cannot carry this name: Joliet holds UCS-2, and U+{ord(wide):04X} '
                          f'lies outside it: {entry}')
        if len(name) > JOLIET_NAME_LIMIT:
            raise Refused(f'name too long for Joliet ({len(name)} characters, at most '
                          f'{JOLIET_NAME_LIMIT}): {entry}')
        if any(c in FORBIDDEN for c in name) or name != name.rstrip(' .'):
            raise Refused(f'the disc would change this name (a character Joliet or Windows cannot '
                          f'keep, or a trailing dot or space): {entry}')
        key = windows_case(entry)
        if key in seen:
            raise Refused(f'names that differ only in case, which Windows sees as one: '
                          f'{seen[key]} and {entry}')
        seen[key] = entry

        installed = DEFAULT_DESTINATION + '\\' + entry.replace('/', '\\')
        # os.walk lists a folder before anything in it, so a folder too deep
        # is named rather than the first of its files.
        if os.path.isdir(os.path.join(root, entry)):
            if len(installed) > MAX_INSTALLED_FOLDER:
                raise Refused(f'folder deeper than the installer can create: {entry} is {len(installed)} '
                              f'characters once installed as {installed} (at most {MAX_INSTALLED_FOLDER})')
            continue
        if name.lower() in EXCLUDED:
            continue
        if len(installed) > MAX_INSTALLED_PATH:
            raise Refused(f'path deeper than the installer can copy: {entry} is {len(installed)} '
                          f'characters once installed as {installed} (at most {MAX_INSTALLED_PATH})')
    # Once the installer's own limits have been said: the disc's.
    for entry in entries:
        if 1 + len(entry) > JOLIET_PATH_LIMIT:
            raise Refused(f'path too long for Joliet ({1 + len(entry)} characters from the disc\'s root, at most '
                          f'{JOLIET_PATH_LIMIT}): {entry}')


def check_label(label):
    if not label or len(label) > 32 or any(c not in 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_' for c in label):
        raise Refused(f'volume label {label!r}: use 1 to 32 of A-Z, 0-9 and _')


def find_in_image(image, *action):
    """xorriso's -find over the image's Joliet tree, the tree Windows reads
    (isoinfo -j knows only single-byte charsets): its lines, in UTF-8 as it
    wrote them. It prints each path shell-quoted, one a line: no name that got
    this far holds a line break."""
    return subprocess.run(['xorriso', '-no_rc', '-report_about', 'FAILURE', '-abort_on', 'FAILURE',
                           '-local_charset', 'UTF-8', '-read_fs', 'norock', '-indev', image, '-find', '/', *action],
                          capture_output=True, check=True).stdout.decode('utf-8', errors='surrogateescape').splitlines()


def joliet_files(image):
    """The image's files and folders as Windows shows them: the Joliet tree's paths."""
    return {shlex.split(line)[0].lstrip('/') for line in find_in_image(image) if line.strip()} - {''}


def data_layout(image):
    """Where each file's data lies on the disc: Joliet path -> (first sector, size)."""
    layout = {}
    # "File data lba:  0 ,      70 ,      49 ,   100000 , '/Video/Intro.avi'":
    # extent, first sector, sectors, bytes, path.
    for line in find_in_image(image, '-exec', 'report_lba'):
        if line.startswith('File data lba:'):
            _, start, _, size, path = line.split(':', 1)[1].split(',', 4)
            path = shlex.split(path)[0].lstrip('/')
            first, total = layout.get(path, (int(start), 0))  # a file of several extents
            layout[path] = (min(first, int(start)), total + int(size))
    return layout


def windows_listing_key(name):
    """Where Windows lists a name in its Joliet folder: a CD's file system
    gives the folder's records in the order they have on the disc, which the
    mastering library sorts by their UCS-2 code units, upper case before
    lower ("Video" before "data", "Карты" before "архив"). Wine sorts a
    listing itself, case-insensitively, and so reads such a disc in another
    order."""
    return name.encode('utf-16-be')


def copy_order(root):
    """The files below `root` in the order the installer copies them from the
    disc on Windows: each folder's entries as Windows lists them, a folder
    walked where it is listed, the medium's start-up files left out."""
    order = []

    def walk(relative):
        for name in sorted(os.listdir(os.path.join(root, relative)), key=windows_listing_key):
            path = relative + name
            if os.path.isdir(os.path.join(root, path)):
                walk(path + '/')
            elif name.lower() not in EXCLUDED:
                order.append(path)
    walk('')
    return order


def sort_weights(files, commands):
    """Writes xorriso commands that give `files`, in order, falling weights:
    the higher a file's weight, the lower its sectors. Every other file keeps
    weight 0 and comes after them. Paths go in double quotes, which no name
    on the disc holds (check_product refuses it)."""
    with open(commands, 'w', encoding='utf-8') as out:
        out.write('-iso_rr_pattern off\n')
        for rank, path in enumerate(files):
            out.write(f'-find "/{path}" -exec sort_weight {len(files) - rank} --\n')


def check_layout(order, layout):
    """The files of `order` lie on the disc in that order: the drive reads
    the install without a seek between files. Empty files hold no sectors."""
    placed = [(layout[path][0], path) for path in order if layout.get(path, (0, 0))[1] > 0]
    for (first, before), (second, after) in zip(placed, placed[1:]):
        if second <= first:
            raise Refused(f'xorriso did not lay the disc out in the order the installer reads it: {after} '
                          f'(sector {second}) lies before {before} (sector {first}), which is read first')


def run_tool(command, password=None, stdin=b''):
    """Runs openssl or osslsigncode, its output captured. With `password`,
    PASSFD in the command stands for a pipe that holds it."""
    fds = ()
    if password is not None:
        read, write = os.pipe()
        os.write(write, password)
        os.close(write)
        fds = (read,)
        command = [part.replace('PASSFD', str(read)) for part in command]
    try:
        return subprocess.run(command, input=stdin, capture_output=True, pass_fds=fds)
    finally:
        for fd in fds:
            os.close(fd)


def read_file(path, what):
    try:
        with open(path, 'rb') as data:
            return data.read()
    except OSError as error:
        raise Refused(f'signing: cannot read the {what} {path}: {error.strerror}')


def certificates(pem):
    return re.findall(rb'-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----\n?', pem, re.S)


def password_refusal(path, password):
    if password:
        return Refused(f'signing: wrong password for {path} (SIGN_PASS)')
    return Refused(f'signing: {path} is protected by a password: give it in the environment variable SIGN_PASS')


class Signer:
    """The publisher's certificate and key, checked before anything is signed:
    readable, the key unlocked by SIGN_PASS and belonging to the certificate,
    the certificate for code signing and valid at the signing time."""

    def __init__(self, args, password):
        self.args, self.password = args, password
        self.timestamp = args.sign_timestamp
        epoch = int(os.environ.get('SOURCE_DATE_EPOCH', '0'))
        # A timestamp authority dates the signature now; without one the
        # signing time is the commit's, which makes the signature reproducible.
        self.time = int(time.time()) if self.timestamp or not epoch else epoch
        self.time_source = 'now' if self.timestamp or not epoch else 'SOURCE_DATE_EPOCH'
        if args.sign_pfx:
            self.source = args.sign_pfx
            leaf, self.chain, key_public = self.load_pfx(args.sign_pfx)
        else:
            self.source = args.sign_cert
            self.chain = certificates(read_file(args.sign_cert, 'certificate file'))
            key_public = self.load_key(args.sign_key)
            if not self.chain:
                raise Refused(f'signing: no certificate in {args.sign_cert}')
            leaf = self.chain[0]
        leaf_public = run_tool(['openssl', 'x509', '-noout', '-pubkey'], stdin=leaf).stdout
        if not leaf_public:
            raise Refused(f'signing: the first certificate in {self.source} is not one that openssl can read')
        if leaf_public != key_public:
            raise Refused(f'signing: the key {args.sign_key or args.sign_pfx} does not belong to the certificate '
                          f'in {self.source}')
        self.check_certificate(leaf)

    def passin(self):
        # Without a password, the empty one: openssl must never ask on the terminal.
        return ['-passin', 'fd:PASSFD' if self.password else 'pass:']

    def load_key(self, path):
        data = read_file(path, 'key file')
        result = run_tool(['openssl', 'pkey', '-in', path, '-pubout', *self.passin()], self.password)
        if result.returncode != 0:
            if b'ENCRYPTED' in data:
                raise password_refusal(path, self.password)
            raise Refused(f'signing: no private key that openssl can read in {path}')
        return result.stdout

    def pkcs12(self, path, *options):
        # PKCS#12 files from older tools use RC2, which OpenSSL 3 reads only
        # with its legacy provider.
        for legacy in ([], ['-legacy']):
            result = run_tool(['openssl', 'pkcs12', '-in', path, *self.passin(), *legacy, *options], self.password)
            if result.returncode == 0 or b'unsupported' not in result.stderr:
                return result
        return result

    def load_pfx(self, path):
        read_file(path, 'PKCS#12 file')
        opened = self.pkcs12(path, '-noout')
        if opened.returncode != 0:
            if b'invalid password' in opened.stderr:
                raise password_refusal(path, self.password)
            raise Refused(f'signing: {path} is not a PKCS#12 file that openssl can read')
        leaf = certificates(self.pkcs12(path, '-nokeys', '-clcerts').stdout)
        others = certificates(self.pkcs12(path, '-nokeys', '-cacerts').stdout)
        if not leaf:
            raise Refused(f'signing: no certificate with its key in {path}')
        key = self.pkcs12(path, '-nocerts', '-nodes').stdout
        key_public = run_tool(['openssl', 'pkey', '-pubout'], stdin=key).stdout
        return leaf[0], leaf[:1] + others, key_public

    def check_certificate(self, leaf):
        text = run_tool(['openssl', 'x509', '-noout', '-subject', '-nameopt', 'RFC2253', '-startdate', '-enddate',
                         '-ext', 'extendedKeyUsage'], stdin=leaf).stdout.decode(errors='replace')
        fields = dict(line.split('=', 1) for line in text.splitlines() if '=' in line)
        self.subject = fields.get('subject', '?')
        usage = text.split('Extended Key Usage:', 1)[1] if 'Extended Key Usage:' in text else ''
        if 'Code Signing' not in usage:
            raise Refused(f'signing: the certificate in {self.source} ({self.subject}) is not for code signing: '
                          f'its extended key usage lacks Code Signing')
        starts, ends = (calendar.timegm(time.strptime(fields[name], '%b %d %H:%M:%S %Y GMT'))
                        for name in ('notBefore', 'notAfter'))
        when = f'{time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(self.time))} ({self.time_source})'
        if self.time < starts:
            raise Refused(f'signing: the certificate in {self.source} is not yet valid at the signing time {when}: '
                          f'valid from {fields["notBefore"]}')
        if self.time > ends:
            raise Refused(f'signing: the certificate in {self.source} has expired at the signing time {when}: '
                          f'valid until {fields["notAfter"]}')

    def sign(self, unsigned, signed, work):
        command = ['osslsigncode', 'sign', '-h', 'sha256']
        if self.args.sign_pfx:
            command += ['-pkcs12', self.args.sign_pfx]
        else:
            command += ['-certs', self.args.sign_cert, '-key', self.args.sign_key]
        if self.password:  # osslsigncode takes an empty password file for an error
            command += ['-readpass', '/dev/fd/PASSFD']
        command += ['-ts', self.timestamp] if self.timestamp else ['-time', str(self.time)]
        result = run_tool(command + ['-in', unsigned, '-out', signed], self.password)
        if result.returncode != 0:
            said = [line for line in result.stderr.decode(errors='replace').splitlines() if line.strip()]
            raise Refused('signing: osslsigncode could not sign HD.EXE' +
                          (f' with the timestamp authority {self.timestamp}' if self.timestamp else '') +
                          (f': {said[-1]}' if said else ''))
        self.verify(signed, work)

    def verify(self, signed, work):
        anchors = os.path.join(work, 'anchors.pem')
        with open(anchors, 'wb') as out:
            out.write(b''.join(self.chain))
            if os.path.exists(SYSTEM_ROOTS):
                out.write(read_file(SYSTEM_ROOTS, 'system certificates'))
        command = ['osslsigncode', 'verify', '-in', signed, '-CAfile', anchors, '-TSA-CAfile', anchors]
        result = run_tool(command + ([] if self.timestamp else ['-time', str(self.time)]))
        output = result.stdout.decode(errors='replace')
        stamped = not self.timestamp or 'Timestamp Server Signature verification: ok' in output
        if result.returncode != 0 or not stamped:
            raise Refused(f'signing: the signed HD.EXE does not verify against the chain in {self.source} and the '
                          f'system\'s root certificates' + ('' if stamped else ' (its timestamp)') +
                          ': a chain ending below a root the system does not know needs that root too')
        print(f'medium: HD.EXE signed by {self.subject}, ' +
              (f'timestamped by {self.timestamp}' if self.timestamp else
               f'signing time {time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(self.time))}') +
              f', {os.path.getsize(signed)} bytes')


def signer(args):
    """A Signer when the publisher asked for signing, None otherwise."""
    password = os.environb.pop(b'SIGN_PASS', None) or None  # no tool inherits it
    if not (args.sign_cert or args.sign_key or args.sign_pfx or args.sign_timestamp):
        return None
    if args.sign_pfx and (args.sign_cert or args.sign_key) or not args.sign_pfx and not (
            args.sign_cert and args.sign_key):
        raise Refused('signing: give SIGN_CERT with SIGN_KEY, or SIGN_PFX')
    return Signer(args, password)


def sample_product(args, epoch, product):
    """Lays out the sample medium with the sample program at its top in
    `product`. Dated `epoch`: the sources' own dates differ from clone to clone."""
    shutil.copytree(SAMPLE, product)
    program = os.path.join(os.path.dirname(os.path.abspath(args.installer)), MAIN_PROGRAM)
    shutil.copy(program, os.path.join(product, MAIN_PROGRAM))
    if epoch:
        for folder, _, files in os.walk(product):
            for name in files + ['.']:
                os.utime(os.path.join(folder, name), (epoch, epoch))
    return product


def stage(args, stage_dir, signing):
    """Lays out the disc's content in `stage_dir`; the folder that holds it is
    the script's own to work in."""
    epoch = int(os.environ.get('SOURCE_DATE_EPOCH', '0')) or None
    product = args.product or sample_product(args, epoch, os.path.join(os.path.dirname(stage_dir), 'sample'))
    check_product(product)
    shutil.copytree(product, stage_dir, dirs_exist_ok=True)

    added = [os.path.join(stage_dir, 'HD.EXE')]
    if signing:
        signing.sign(args.installer, added[0], os.path.dirname(stage_dir))
    else:
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
    signing = signer(args)
    work = tempfile.mkdtemp(prefix='medium-', dir=out_dir)
    try:
        stage_dir = os.path.join(work, 'disc')
        os.makedirs(stage_dir)
        stage(args, stage_dir, signing)
        partial = os.path.join(work, 'medium.iso')
        order = copy_order(stage_dir)
        weights = os.path.join(work, 'weights')
        sort_weights(order, weights)
        # The names on disk are UTF-8 whatever the caller's locale: in a C
        # locale xorriso would write every other one as '_'.
        result = subprocess.run(
            ['xorriso', '-no_rc', '-report_about', 'FAILURE', '-abort_on', 'FAILURE', '-local_charset', 'UTF-8',
             '-outdev', partial, '-volid', args.label, '-joliet', 'on', '-rockridge', 'on',
             '-map', stage_dir, '/', '-options_from_file', weights, '-commit'],
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
        layout = data_layout(partial)
        check_layout(order, layout)
        if args.layout:
            with open(args.layout, 'w', encoding='utf-8', errors='surrogateescape') as out:
                for path, (first, size) in sorted(layout.items(), key=lambda item: item[1]):
                    out.write(f'{first} {size} {path}\n')
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
    parser.add_argument('--sign-cert')
    parser.add_argument('--sign-key')
    parser.add_argument('--sign-pfx')
    parser.add_argument('--sign-timestamp')
    parser.add_argument('--layout')
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
