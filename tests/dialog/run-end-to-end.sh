#!/usr/bin/env bash
# Lays out a sample medium with an HD.EXE at its top, maps it as drive N: of
# the test prefix (as a CD would be) and runs the end-to-end driver; then reads
# the shortcut that the install made with lnkinfo, a reader that shares
# nothing with Windows' link object. HD_LOCALE (see tools/wine-env) chooses
# the ANSI code page of the run.
# Usage: run-end-to-end.sh BIN HD.EXE [driver arguments...]
set -eu
bin=$1
installer=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/../wineprefix}
# A new folder for every run, laid out before N: is pointed at it; the previous
# one goes only then. The persistent wineserver, or a process of the previous
# run still ending, may hold the old medium; it is never deleted and made anew
# under the same name, and no new file can take an old file's inode number.
mapfile -t old < <(find "$bin" -maxdepth 1 -name 'end-to-end-cd*')
medium=$(mktemp -d "$bin/end-to-end-cd.XXXXXX")
chmod 755 "$medium"
mkdir -p "$medium/data/deep" "$medium/data/bulk" "$medium/Ελληνικά" "$medium/docs"
cp "$installer" "$medium/HD.EXE"
cp "$bin/start_recorder.exe" "$medium/zel_or.exe"
printf '[autorun]\r\nopen=HD.EXE\r\n' > "$medium/autorun.inf"
printf 'start' > "$medium/start.exe"
for i in $(seq 1 40); do printf 'file %d' "$i" > "$medium/data/f$i.txt"; done
# Listed first, so the copy stays busy long enough to be interrupted by the tests.
for i in $(seq 1000 1149); do printf '%d' "$i" > "$medium/data/bulk/$i"; done
printf 'deep' > "$medium/data/deep/readonly.txt"
chmod a-w "$medium/data/deep/readonly.txt"
# Names in four scripts, which no one ANSI code page holds together.
printf 'Größe\r\n' > "$medium/data/Größe.txt"
printf 'χάρτης' > "$medium/Ελληνικά/χάρτης.bin"
printf '説明書\r\n' > "$medium/docs/説明書.txt"
printf 'Справка\r\n' > "$medium/docs/Справка.txt"
# A letter that Wine's mount manager learns of only after its server started
# gives its volume no serial number, as N: has in a fresh prefix: folders
# there are then told apart by path too. So it is made in every run.
if [ -L "$WINEPREFIX/dosdevices/n:" ]; then
  "$root/tools/wine-drive" n:
  "$root/tools/wine-server" stop
  "$root/tools/wine-server" start
fi
"$root/tools/wine-drive" n: "$medium"
for folder in "${old[@]}"; do chmod -R u+w "$folder" && rm -rf "$folder"; done

# An all-users desktop that no one may write to, as a standard user meets it:
# a read-only bind mount, which fails Wine's writes even as root (Wine as
# root ignores read-only marks). Mounting needs root; without it the test
# that wants it says it did not run.
desktop=
if [ "$(id -u)" = 0 ]; then
  desktop=$(mktemp -d "$bin/end-to-end-desktop.XXXXXX")
  trap 'umount "$desktop" 2>/dev/null || umount -l "$desktop"; rmdir "$desktop"' EXIT
  mount --bind "$desktop" "$desktop" && mount -o remount,bind,ro "$desktop"
fi

shortcut=$(mktemp -u "$bin/end-to-end-shortcut.XXXXXX")
HD_KEEP_SHORTCUT="Z:${shortcut//\//\\}" HD_READ_ONLY_DESKTOP=${desktop:+Z:${desktop//\//\\}} \
  "$root/tools/wine-run" "$bin/end_to_end_test.exe" "${@:3}"
# The install's test left the link there, and the code page and target it must show.
[ -f "$shortcut.expected" ] || exit 0
{ read -r acp; read -r target; } <"$shortcut.expected"
info=$(lnkinfo -c "windows-$acp" "$shortcut.lnk")
rm -f "$shortcut.lnk" "$shortcut.expected"
grep -E 'Local path|Description' <<<"$info"
grep -qxF "	Description			: Орвента" <<<"$info" || { echo "lnkinfo: the description is not Орвента"; exit 1; }
grep -qxF "	Local path			: $target" <<<"$info" || { echo "lnkinfo: the target is not $target"; exit 1; }
