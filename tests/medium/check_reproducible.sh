#!/usr/bin/env bash
# Two clean builds of the same commit, from two copies of the sources dated a
# day apart (as two clones on different days would be), give the same HD.EXE
# and the same image of the sample medium, unsigned and signed (without a
# timestamp, with one throwaway certificate).
# Usage: check_reproducible.sh SCRATCH
set -eu
scratch=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
rm -rf "$scratch"
mkdir -p "$scratch"
python3 "$root/tests/medium/throwaway_ca.py" "$scratch/ca" $((SOURCE_DATE_EPOCH - 86400)) $((SOURCE_DATE_EPOCH + 86400))
for copy in 1 2; do
  src=$scratch/src$copy
  mkdir -p "$src"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$src")
  [ $copy = 2 ] && find "$src" -exec touch -d 'yesterday' {} +
  cmake -S "$src" -B "$scratch/build$copy" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -Wno-dev >/dev/null
  cmake --build "$scratch/build$copy" --target hd_installer zel_or_sample -j 2 >/dev/null
  python3 "$src/tools/make-medium.py" --installer "$scratch/build$copy/bin/HD.EXE" \
    --out "$scratch/build$copy/medium.iso"
  python3 "$src/tools/make-medium.py" --installer "$scratch/build$copy/bin/HD.EXE" \
    --out "$scratch/build$copy/signed.iso" --sign-cert "$scratch/ca/chain.pem" --sign-key "$scratch/ca/signer.key"
done
# All compared before the verdict; on a difference the builds stay for a look.
same=1
for what in HD.EXE:bin/HD.EXE medium.iso:medium.iso "the signed medium.iso:signed.iso"; do
  a=$scratch/build1/${what#*:} b=$scratch/build2/${what#*:}
  if cmp "$a" "$b"; then
    echo "ok   ${what%%:*} is the same from both builds"
  else
    echo "FAILED ${what%%:*} differs between the builds: $a $b"
    same=0
  fi
done
[ $same = 1 ] || exit 1
rm -rf "$scratch"
