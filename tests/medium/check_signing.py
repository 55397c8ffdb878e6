#!/usr/bin/env python3
"""Checks make-medium.py's signing with a throwaway CA made here: the image's
HD.EXE verifies against that CA (PEM and PKCS#12, with and without a timestamp
from a local timestamp authority), one flipped byte fails verification, two
signings give the same image, and each refusal exits with 1, says why in one
line and leaves no image. Every openssl and osslsigncode that make-medium runs
goes through a wrapper that records its command line and whether SIGN_PASS
reached it: the password must appear on none, nor in anything printed, nor
any line of the key.
Usage: check_signing.py make-medium.py HD.EXE SCRATCH"""
import http.server
import os
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from throwaway_ca import ThrowawayCa, openssl  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402

make_medium, installer, scratch = (os.path.abspath(path) for path in sys.argv[1:4])
PASSWORD = 'S3cret pass-phrase!'
DAY = 86400


shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
# Signed without a timestamp at EPOCH; with one, now: valid for both.
EPOCH = 1700000000
NOW = int(time.time())
FROM, UNTIL = EPOCH - 30 * DAY, NOW + 365 * DAY
ca = ThrowawayCa(os.path.join(scratch, 'ca'), FROM, UNTIL)
signer, signer_key = ca.issue('signer', 'Throwaway Publisher', 'codesign', FROM, UNTIL)
chain = ca.chain('chain.pem', signer, ca.cert)
_, locked_key = ca.issue('locked', 'Throwaway Publisher', 'codesign', FROM, UNTIL, password=PASSWORD)
locked_chain = ca.chain('locked-chain.pem', os.path.join(ca.folder, 'locked.pem'), ca.cert)
pfx = os.path.join(ca.folder, 'signer.pfx')
openssl('pkcs12', '-export', '-in', signer, '-inkey', signer_key, '-certfile', ca.cert, '-out', pfx,
        '-passout', 'pass:' + PASSWORD)
server, server_key = ca.issue('server', 'Throwaway Web Server', 'server', FROM, UNTIL)
server_chain = ca.chain('server-chain.pem', server, ca.cert)
tsa, tsa_key = ca.issue('tsa', 'Throwaway Timestamps', 'timestamping', FROM, UNTIL)
secrets = [PASSWORD] + [line for key in (signer_key, locked_key, server_key)
                        for line in open(key).read().splitlines() if '-----' not in line]

# Wrappers that record how make-medium runs the signing tools.
wrappers = os.path.join(scratch, 'wrappers')
calls = os.path.join(scratch, 'calls.log')
os.makedirs(wrappers)
for tool in ('openssl', 'osslsigncode'):
    path = os.path.join(wrappers, tool)
    with open(path, 'w') as script:
        script.write(f'#!/bin/sh\necho "$0 $* SIGN_PASS=${{SIGN_PASS-unset}}" >> {calls}\n'
                     f'exec {shutil.which(tool)} "$@"\n')
    os.chmod(path, 0o755)

# A local RFC 3161 timestamp authority: openssl answers each request.
tsa_config = os.path.join(ca.folder, 'tsa.cnf')
with open(tsa_config, 'w') as out:
    out.write(f'[tsa]\ndefault_tsa = local\n[local]\nserial = {ca.folder}/tsa-serial\ncrypto_device = builtin\n'
              f'signer_cert = {tsa}\nsigner_key = {tsa_key}\ncerts = {ca.cert}\nsigner_digest = sha256\n'
              f'default_policy = 1.3.6.1.4.1.4146.2.3\nother_policies = 1.3.6.1.4.1.4146.2.2\n'
              f'digests = sha256, sha384, sha512\naccuracy = secs:1\nordering = yes\ntsa_name = no\n'
              f'ess_cert_id_chain = no\ness_cert_id_alg = sha256\n')
with open(os.path.join(ca.folder, 'tsa-serial'), 'w') as out:
    out.write('01\n')


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', tsa_config, '-queryfile', '/dev/stdin',
                                '-out', '/dev/stdout'], input=query, capture_output=True).stdout
        self.send_response(200)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *_):
        pass


authority = http.server.HTTPServer(('127.0.0.1', 0), Authority)
threading.Thread(target=authority.serve_forever, daemon=True).start()
TIMESTAMP_URL = f'http://127.0.0.1:{authority.server_port}/'

image = os.path.join(scratch, 'medium.iso')


def make(signing, password=None, epoch=EPOCH):
    """Runs make-medium with `signing` options; returns the result."""
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), PATH=wrappers + os.pathsep + os.environ['PATH'])
    environment.pop('SIGN_PASS', None)
    if password is not None:
        environment['SIGN_PASS'] = password
    with open(image, 'wb') as older:
        older.write(b'an older image')
    return subprocess.run([sys.executable, make_medium, '--installer', installer, '--out', image, *signing],
                          capture_output=True, env=environment)


def signed_installer(name):
    """HD.EXE as it is on the image, extracted by xorriso."""
    target = os.path.join(scratch, name)
    if os.path.exists(target):
        os.remove(target)
    subprocess.run(['xorriso', '-no_rc', '-report_about', 'FAILURE', '-osirrox', 'on', '-indev', image,
                    '-extract', '/HD.EXE', target], check=True, capture_output=True)
    os.chmod(target, 0o644)
    return target


def verify(path, *options):
    result = subprocess.run(['osslsigncode', 'verify', '-in', path, '-CAfile', ca.cert, '-TSA-CAfile', ca.cert,
                             *options], capture_output=True)
    return result.returncode == 0, result.stdout.decode(errors='replace')


def nothing_secret(result, name):
    said = (result.stdout + result.stderr).decode(errors='replace')
    check(not any(secret in said for secret in secrets), f'{name}: neither the password nor the key printed')


pem = ['--sign-cert', locked_chain, '--sign-key', locked_key]
signed = [
    ('PEM chain, encrypted key', pem, PASSWORD, ['-time', str(EPOCH)]),
    ('PKCS#12', ['--sign-pfx', pfx], PASSWORD, ['-time', str(EPOCH)]),
    ('timestamped', ['--sign-cert', chain, '--sign-key', signer_key, '--sign-timestamp', TIMESTAMP_URL], None, []),
]
with open(installer, 'rb') as data:
    unsigned_bytes = data.read()
for name, options, password, when in signed:
    result = make(options, password)
    check(result.returncode == 0, f'{name}: signed and imaged ({result.stderr.decode(errors="replace").strip()})')
    nothing_secret(result, name)
    if result.returncode != 0:
        continue
    path = signed_installer('signed.exe')
    ok, said = verify(path, *when)
    check(ok and 'Message digest algorithm  : SHA256' in said, f'{name}: HD.EXE verifies against the CA, SHA-256')
    with open(path, 'rb') as data:
        check(data.read().startswith(unsigned_bytes[:0x80]), f'{name}: HD.EXE is the built program, signed')
    if options is pem:
        first = open(image, 'rb').read()
        again = make(options, password)
        check(again.returncode == 0 and open(image, 'rb').read() == first, f'{name}: signing twice, the same image')
        flipped = bytearray(open(path, 'rb').read())
        flipped[0x1000] ^= 0x01  # in the code
        with open(path, 'wb') as out:
            out.write(flipped)
        check(not verify(path, *when)[0], f'{name}: one flipped byte fails verification')
    if name == 'timestamped':
        check('Timestamp Server Signature verification: ok' in said, f'{name}: the timestamp verifies')

missing = os.path.join(scratch, 'missing.pem')
refusals = [
    ('missing certificate file', ['--sign-cert', missing, '--sign-key', signer_key], None, EPOCH,
     f'cannot read the certificate file {missing}'),
    ('key file that is a folder', ['--sign-cert', chain, '--sign-key', scratch], None, EPOCH,
     f'cannot read the key file {scratch}'),
    ('missing PKCS#12 file', ['--sign-pfx', missing], PASSWORD, EPOCH, f'cannot read the PKCS#12 file {missing}'),
    ('key of another certificate', ['--sign-cert', chain, '--sign-key', server_key], None, EPOCH,
     f'the key {server_key} does not belong to the certificate'),
    ('wrong password for the key', pem, 'wrong', EPOCH, f'wrong password for {locked_key}'),
    ('no password for the key', pem, None, EPOCH, f'{locked_key} is protected by a password'),
    ('wrong password for the PKCS#12 file', ['--sign-pfx', pfx], 'wrong', EPOCH, f'wrong password for {pfx}'),
    ('certificate without code signing', ['--sign-cert', server_chain, '--sign-key', server_key], None, EPOCH,
     'is not for code signing'),
    ('certificate expired at the signing time', pem, PASSWORD, UNTIL + DAY, 'has expired at the signing time'),
    ('certificate not yet valid at the signing time', pem, PASSWORD, FROM - DAY,
     'is not yet valid at the signing time'),
    ('chain that does not verify', ['--sign-cert', signer, '--sign-key', signer_key], None, EPOCH,
     'does not verify against the chain'),
    ('certificate without key', ['--sign-cert', chain], None, EPOCH, 'give SIGN_CERT with SIGN_KEY, or SIGN_PFX'),
]
for name, options, password, epoch, expect in refusals:
    result = make(options, password, epoch)
    lines = result.stderr.decode(errors='replace').splitlines()
    check(result.returncode == 1 and len(lines) == 1 and expect in lines[0] and not os.path.exists(image),
          f'{name}: refused in one line with "{expect}", no image (got {result.returncode}: {lines})')
    nothing_secret(result, name)

with open(calls) as log:
    recorded = log.read()
check('osslsigncode sign' in recorded and 'openssl pkey' in recorded and 'openssl pkcs12' in recorded,
      'the wrappers saw openssl and osslsigncode run')
check(PASSWORD not in recorded and 'wrong' not in recorded,
      'the password was on no command line and in no tool\'s environment')
authority.shutdown()

finish()
