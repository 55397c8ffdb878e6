#!/usr/bin/env bash
# HD.EXE as a signed disc carries it, end to end: signed by make-medium.py with
# a throwaway certificate, taken back from the image, checked to verify, then
# driven by run-end-to-end.sh.
# Usage: run-signed-end-to-end.sh BIN HD.EXE [driver arguments...]
set -eu
bin=$1
installer=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$bin/signed-end-to-end
rm -rf "$work"
mkdir -p "$work"
python3 "$root/tests/medium/throwaway_ca.py" "$work/ca"
SOURCE_DATE_EPOCH=$(date +%s) python3 "$root/tools/make-medium.py" --installer "$installer" --out "$work/medium.iso" \
  --sign-cert "$work/ca/chain.pem" --sign-key "$work/ca/signer.key"
xorriso -no_rc -report_about FAILURE -osirrox on -indev "$work/medium.iso" -extract /HD.EXE "$work/HD.EXE"
chmod u+w "$work/HD.EXE"
osslsigncode verify -in "$work/HD.EXE" -CAfile "$work/ca/ca.pem" >/dev/null
exec "$here/run-end-to-end.sh" "$bin" "$work/HD.EXE" "${@:3}"
