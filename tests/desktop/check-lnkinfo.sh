#!/usr/bin/env bash
# Reads the link that shortcut_test left beside itself with lnkinfo, a reader
# that shares nothing with Windows' own link object.
set -eu
link="$1/Орвента.lnk"
[ -f "$link" ] || { echo "missing $link"; exit 1; }
info=$(lnkinfo "$link")
echo "$info"
grep -q 'Description.*: Орвента' <<<"$info"
grep -q 'Local path.*: C:\\Program Files\\ZelOr\\zel_or.exe' <<<"$info"
