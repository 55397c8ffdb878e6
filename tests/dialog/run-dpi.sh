#!/usr/bin/env bash
# The dialog at 96, 144 and 192 DPI. Wine takes the system DPI from
# HKCU\Control Panel\Desktop\LogPixels when a process starts, so the value
# needs no wineserver restart; it is set in a copy of the test prefix (made
# once, again when the prefix is re-created), which leaves the prefix of every
# other test at 96. Runs layout_test at each (at 144 and 192 against the 96
# run's size), then HD.EXE itself at 144 and 192 (centred, inside the work
# area, styled), and leaves a screenshot of it at each as BIN/dialog-NNNdpi.png.
# Usage: run-dpi.sh BIN
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../../tools" && pwd)
export WINEPREFIX=${WINEPREFIX:-$bin/../wineprefix}
base=$WINEPREFIX
high=$WINEPREFIX-hidpi
caption='Установка программы Зеларит:Орвента'
ok=1

HD_LAYOUT_DPI=96 HD_LAYOUT_RECORD="$bin/layout-96dpi.txt" "$tools/wine-run" "$bin/layout_test.exe" || ok=0

if [ ! -f "$high/system.reg" ] || [ "$base/.update-timestamp" -nt "$high/.update-timestamp" ]; then
  rm -rf "$high"
  cp -a "$base" "$high"
fi
export WINEPREFIX=$high
"$tools/wine-server" start
trap '"$tools/wine-server" stop' EXIT

for dpi in 144 192; do
  echo "dpi: $dpi"
  "$tools/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1 </dev/null
  HD_LAYOUT_DPI=$dpi HD_LAYOUT_BASELINE="$bin/layout-96dpi.txt" "$tools/wine-run" "$bin/layout_test.exe" || ok=0
  "$here/run-end-to-end.sh" "$bin" "$bin/HD.EXE" \
    --gtest_filter='EndToEndTest.ShowsTheDialogCentredWithItsTextsAndFocus:EndToEndTest.TheManifestBindsTheStyledCommonControls' ||
    ok=0

  # The screenshot for the docs; run-end-to-end.sh left the medium at N:.
  "$tools/wine-run" 'N:\HD.EXE' &
  installer=$!
  if "$tools/wine-run" "$bin/demo_driver.exe" wait "$caption" 20000; then
    sleep 0.5
    /usr/bin/import -window root "$bin/dialog-${dpi}dpi.png" && echo "dpi: screenshot $bin/dialog-${dpi}dpi.png"
    "$tools/wine-run" "$bin/demo_driver.exe" press "$caption" 2
  fi
  wait $installer
done
[ $ok = 1 ]
