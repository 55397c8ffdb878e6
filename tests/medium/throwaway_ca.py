#!/usr/bin/env python3
"""A throwaway certificate authority for the signing tests, made with openssl:
a root, a code-signing certificate and whatever else a test asks for, each with
the validity it is given (`openssl ca` can date a certificate in the past,
which the signing-time checks need). Keys are RSA 2048.

As a program: throwaway_ca.py DIR [FROM UNTIL] writes DIR/ca.pem, DIR/ca.key,
DIR/signer.pem and DIR/signer.key (the code-signing certificate), DIR/chain.pem
(that certificate followed by the root, as a publisher hands over a chain) and
DIR/tsa.pem, DIR/tsa.key (a timestamp authority's), all valid from FROM until
UNTIL (Unix times; by default a year around now)."""
import os
import subprocess
import sys
import time

CONFIG = """
[ca]
default_ca = throwaway
[throwaway]
dir = {dir}
database = {dir}/index.txt
new_certs_dir = {dir}/issued
serial = {dir}/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
commonName = supplied
[root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[codesign]
basicConstraints = CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
[server]
basicConstraints = CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
authorityKeyIdentifier = keyid
[timestamping]
basicConstraints = CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
authorityKeyIdentifier = keyid
"""


def openssl(*arguments, **options):
    return subprocess.run(['openssl', *arguments], check=True, capture_output=True, **options).stdout


def stamp(unix_time):
    return time.strftime('%Y%m%d%H%M%SZ', time.gmtime(unix_time))


class ThrowawayCa:
    def __init__(self, folder, valid_from, valid_until):
        self.folder = folder
        os.makedirs(os.path.join(folder, 'issued'), exist_ok=True)
        self.config = os.path.join(folder, 'ca.cnf')
        with open(self.config, 'w') as out:
            out.write(CONFIG.format(dir=folder))
        open(os.path.join(folder, 'index.txt'), 'w').close()
        with open(os.path.join(folder, 'serial'), 'w') as out:
            out.write('1000\n')
        self.cert, self.key = self.issue('ca', 'Throwaway Root', 'root', valid_from, valid_until, issuer=None)

    def issue(self, name, common_name, extensions, valid_from, valid_until, issuer='ca', password=None):
        """Writes NAME.key (encrypted with `password` when given) and NAME.pem;
        returns their paths."""
        key, request, cert = (os.path.join(self.folder, name + suffix) for suffix in ('.key', '.csr', '.pem'))
        openssl('genpkey', '-algorithm', 'RSA', '-pkeyopt', 'rsa_keygen_bits:2048', '-out', key)
        openssl('req', '-new', '-key', key, '-subj', f'/CN={common_name}', '-out', request)
        signing = ['-selfsign', '-keyfile', key] if issuer is None else ['-cert', self.cert, '-keyfile', self.key]
        openssl('ca', '-batch', '-notext', '-config', self.config, *signing, '-in', request, '-out', cert,
                '-startdate', stamp(valid_from), '-enddate', stamp(valid_until), '-extensions', extensions)
        if password is not None:
            # Passed as an argument only here, in the test's own throwaway files.
            openssl('pkey', '-in', key, '-out', key + '.locked', '-aes256', '-passout', 'pass:' + password)
            os.replace(key + '.locked', key)
        return cert, key

    def chain(self, name, *certs):
        """Writes NAME as the concatenation of `certs` (PEM); returns its path."""
        path = os.path.join(self.folder, name)
        with open(path, 'wb') as out:
            for cert in certs:
                with open(cert, 'rb') as data:
                    out.write(data.read())
        return path


def main():
    folder = os.path.abspath(sys.argv[1])
    now = int(time.time())
    valid_from, valid_until = (int(t) for t in sys.argv[2:4]) if len(sys.argv) > 3 else (now - 183 * 86400,
                                                                                          now + 183 * 86400)
    ca = ThrowawayCa(folder, valid_from, valid_until)
    signer, _ = ca.issue('signer', 'Throwaway Publisher', 'codesign', valid_from, valid_until)
    ca.chain('chain.pem', signer, ca.cert)
    ca.issue('tsa', 'Throwaway Timestamps', 'timestamping', valid_from, valid_until)


if __name__ == '__main__':
    main()
