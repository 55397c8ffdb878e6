#!/usr/bin/env bash
# Mounts the faulty medium and destinations, maps them as drives of the test
# prefix and runs fault_test.exe. Needs root (mounts) and FUSE; where either is
# missing it says why in BIN/../not-run/hd_faults and exits with 77, which
# CTest counts as not run.
#   X:  the medium: fault_fs.py serving state/medium, typed as a CD-ROM
#   T:  a 64 KB tmpfs (the data before the 300,000-byte file fits, that file does not)
#   R:  state/earlier mounted read-only
# Usage: run-faults.sh BIN [driver arguments...]
set -u
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/../wineprefix}
state=$bin/../faults
notes=$bin/../not-run
mkdir -p "$notes"
rm -f "$notes/hd_faults"

not_run() {
  echo "hd_faults: not run: $1"
  echo "$1" >"$notes/hd_faults"
  exit 77
}
[ "$(id -u)" = 0 ] || not_run "not root (the faults need mounts)"
[ -c /dev/fuse ] || not_run "no /dev/fuse"
grep -qw fuse /proc/filesystems || modprobe fuse 2>/dev/null
grep -qw fuse /proc/filesystems || not_run "the kernel offers no FUSE"
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || not_run "no python3-fusepy (tools/setup-machine.sh installs it)"

cleanup() {
  for m in "$state/cd" "$state/full" "$state/readonly"; do
    mountpoint -q "$m" && { umount "$m" 2>/dev/null || umount -l "$m"; }
  done
  [ -n "${fs:-}" ] && wait "$fs" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/x:" "$WINEPREFIX/dosdevices/t:" "$WINEPREFIX/dosdevices/r:"
}
trap cleanup EXIT
cleanup
rm -rf "$state"
mkdir -p "$state"/{medium,cd,full,earlier,readonly,records}
: >"$state/switches"

/usr/bin/python3 "$here/fault_fs.py" "$state/medium" "$state/cd" "$state/switches" 2>"$state/fault_fs.log" &
fs=$!
for _ in $(seq 1 200); do
  mountpoint -q "$state/cd" && break
  kill -0 $fs 2>/dev/null || break
  sleep 0.05
done
mountpoint -q "$state/cd" || { cat "$state/fault_fs.log"; echo "hd_faults: fault_fs.py did not mount within 10 s"; exit 1; }
mount -t tmpfs -o size=64k tmpfs "$state/full" || exit 1
mount --bind "$state/earlier" "$state/readonly" && mount -o remount,bind,ro "$state/readonly" || exit 1

ln -sfn "$state/cd" "$WINEPREFIX/dosdevices/x:"
ln -sfn "$state/full" "$WINEPREFIX/dosdevices/t:"
ln -sfn "$state/readonly" "$WINEPREFIX/dosdevices/r:"
# Wine takes a drive's type from the registry only when its server starts
# anew; the type stays in the prefix, so this happens on its first run only.
if ! grep -q '^"x:"="cdrom"' "$WINEPREFIX/system.reg" 2>/dev/null; then
  "$root/tools/wine-run" reg add 'HKLM\Software\Wine\Drives' /v x: /t REG_SZ /d cdrom /f >/dev/null 2>&1
  LC_ALL=ru_RU.UTF-8 wineserver -k 2>/dev/null
  # As run-tests does: one persistent server and Wine's services, with their
  # output closed; holding CTest's pipe, they would keep it waiting forever.
  LC_ALL=ru_RU.UTF-8 wineserver -p >/dev/null 2>&1 </dev/null
  "$root/tools/wine-run" cmd /c exit >/dev/null 2>&1 </dev/null
fi

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
export HD_FAULT_MEDIUM=$(winpath "$state/medium") HD_FAULT_SWITCHES=$(winpath "$state/switches")
export HD_FAULT_EARLIER=$(winpath "$state/earlier") HD_FAULT_RECORDS=$(winpath "$state/records")
"$root/tools/wine-run" "$bin/fault_test.exe" "${@:2}"
rc=$?
if [ $rc != 0 ]; then
  echo "hd_faults: what fault_fs.py did:"
  sed 's/^/  /' "$state/fault_fs.log"
fi
exit $rc
