#!/usr/bin/env bash
# Mounts the faulty medium and destinations, maps them as drives of the test
# prefix and runs fault_test.exe. Needs root (mounts) and FUSE; where either is
# missing it says why in BIN/../not-run/hd_faults and exits with 77, which
# CTest counts as not run.
#   X:  the medium: fault_fs.py serving state/medium, typed as a CD-ROM
#   T:  a tmpfs, resized as the test asks
#   R:  state/earlier mounted read-only, made writable as the test asks
#   F:  a FAT32 image made by mkfs.vfat, mounted by fusefat. Wine takes a
#       drive's file system from the image its device link (f::) names, when
#       its server starts; the link then goes, or Wine would ask about the
#       image's own drive instead (it opens the device first).
#   G:  a local disk that records what reaches it: fault_fs.py --record serving
#       state/disk read-write, its operations in state/records/written.log
# The test runs under Wine, which can neither mount nor make links: it writes
# one request a time to state/records/request ("size BYTES" remounts T: with
# that size, "writable" and "read-only" remount R:, "link<TAB>TARGET<TAB>LINK"
# makes a symbolic link and "unlink<TAB>LINK" removes one if it is there, by
# host paths, "stop-explorer" and "resume-explorer" stop and resume the
# prefix's desktop shell), which is carried out here, and request.done then
# holds the command's exit code.
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
why=$("$root/tools/fuse-ready" "the faults need mounts") || not_run "$why"
export PATH=$PATH:/usr/sbin
for tool in mkfs.vfat fusefat; do
  command -v $tool >/dev/null || not_run "no $tool (tools/setup-machine.sh installs it)"
done

# The prefix's Explorer processes: the desktop shell that the test makes hang.
explorers() {
  local pid prefix mine
  mine=$(realpath "$WINEPREFIX")
  for pid in $(pgrep -f 'explorer\.exe'); do
    prefix=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
    [ -n "$prefix" ] && [ "$(realpath "$prefix" 2>/dev/null)" = "$mine" ] && echo "$pid"
  done
}

cleanup() {
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null
  explorers | xargs -r kill -CONT
  for m in "$state/cd" "$state/full" "$state/readonly" "$state/recorded" "$state/fat"; do
    mountpoint -q "$m" && { umount "$m" 2>/dev/null || umount -l "$m"; }
  done
  [ -n "${fs:-}" ] && wait "$fs" 2>/dev/null
  [ -n "${recorder:-}" ] && wait "$recorder" 2>/dev/null
  for drive in x: t: r: f: g:; do "$root/tools/wine-drive" $drive; done
  rm -f "$WINEPREFIX/dosdevices/f::"
}
trap cleanup EXIT
cleanup
rm -rf "$state"
mkdir -p "$state"/{medium,cd,full,earlier,readonly,records,disk,recorded,fat}
: >"$state/switches"

# Waits until fault_fs.py, process $1, has mounted $2; its errors are in $3.
mounted() {
  for _ in $(seq 1 200); do
    mountpoint -q "$2" && return 0
    kill -0 "$1" 2>/dev/null || break
    sleep 0.05
  done
  cat "$3"
  echo "hd_faults: fault_fs.py did not mount $2 within 10 s"
  return 1
}
/usr/bin/python3 "$here/fault_fs.py" "$state/medium" "$state/cd" "$state/switches" 2>"$state/fault_fs.log" &
fs=$!
mounted $fs "$state/cd" "$state/fault_fs.log" || exit 1
/usr/bin/python3 "$here/fault_fs.py" --record "$state/records/written.log" "$state/disk" "$state/recorded" \
  2>"$state/recorder.log" &
recorder=$!
mounted $recorder "$state/recorded" "$state/recorder.log" || exit 1
mount -t tmpfs -o size=64k tmpfs "$state/full" || exit 1
mount --bind "$state/earlier" "$state/readonly" && mount -o remount,bind,ro "$state/readonly" || exit 1
truncate -s 40M "$state/fat.img" && mkfs.vfat -F 32 -n HDFAT "$state/fat.img" >/dev/null || exit 1
fusefat -o rw+ "$state/fat.img" "$state/fat" >"$state/fusefat.log" 2>&1 || { cat "$state/fusefat.log"; exit 1; }

serve_requests() {
  local request=$state/records/request verb rest target link
  while :; do
    if [ -f "$request" ]; then
      read -r verb rest <"$request"
      case $verb in
        size) mount -o "remount,size=$rest" "$state/full" ;;
        writable) mount -o remount,bind,rw "$state/readonly" ;;
        read-only) mount -o remount,bind,ro "$state/readonly" ;;
        stop-explorer) [ -n "$(explorers)" ] && explorers | xargs kill -STOP ;;
        resume-explorer) explorers | xargs -r kill -CONT ;;
        link) IFS=$'\t' read -r target link <<<"$rest" && ln -sfn "$target" "$link" ;;
        unlink) [ ! -L "$rest" ] || rm "$rest" ;;
        *) false ;;
      esac
      echo $? >"$request.tmp"
      rm -f "$request"
      mv "$request.tmp" "$request.done"
    fi
    sleep 0.02
  done
}
serve_requests &
server=$!

"$root/tools/wine-drive" x: "$state/cd" cdrom
"$root/tools/wine-drive" t: "$state/full"
"$root/tools/wine-drive" r: "$state/readonly"
"$root/tools/wine-drive" g: "$state/recorded"
"$root/tools/wine-drive" f: "$state/fat"
ln -sfn "$state/fat.img" "$WINEPREFIX/dosdevices/f::"
"$root/tools/wine-server" stop
"$root/tools/wine-server" start
rm "$WINEPREFIX/dosdevices/f::"

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
export HD_FAULT_MEDIUM=$(winpath "$state/medium") HD_FAULT_SWITCHES=$(winpath "$state/switches")
export HD_FAULT_EARLIER=$(winpath "$state/earlier") HD_FAULT_RECORDS=$(winpath "$state/records")
"$root/tools/wine-run" "$bin/fault_test.exe" "${@:2}"
rc=$?
if [ $rc != 0 ]; then
  echo "hd_faults: what fault_fs.py did:"
  sed 's/^/  /' "$state/fault_fs.log"
  [ -s "$state/recorder.log" ] && { echo "hd_faults: what fault_fs.py --record said:"; sed 's/^/  /' "$state/recorder.log"; }
fi
exit $rc
