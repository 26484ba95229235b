#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix of its own: a silent
# install puts the source in twain_32 and registers it; the acquisition tool
# with the project's source manager finds it there and scans a page; a
# second install replaces the files and keeps the user's settings; a source
# held by a running program stops both installer and uninstaller with an
# error; the uninstaller takes away exactly what the installer put there; a
# VOREL32.dll the installer did not put there is never replaced or removed,
# and the simulator it did put there goes when a later install leaves it
# out; the shipped binaries carry no debug information; the windows' texts.
# With VOREL_BIN64 (the 64-bit tree's bin folder; the prefix then runs
# 64- and 32-bit programs) the 64-bit source and its helper go into
# twain_64, a 64-bit application scans through them, and they are
# uninstalled too.
# Arguments: the folder of the built Windows programs, an output folder, the
# folder of the test's own Wine prefix (made afresh; an existing folder is
# only deleted when it is a prefix the project made).
set -u
bin=$1
out=$2
export WINEPREFIX=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ -e "$WINEPREFIX" ] && [ ! -f "$WINEPREFIX/.vorel-prefix" ]; then
  echo "FAILED $WINEPREFIX exists and is no prefix of the project's: not deleting it"
  exit 1
fi
setup=$bin/vorel-source-setup.exe
windows=$WINEPREFIX/drive_c/windows
twain=$windows/twain_32
twain64=$windows/twain_64
bin64=${VOREL_BIN64:-}
settings=$windows/vorelsrc.ini
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VorelSource'
uninstaller='C:\windows\twain_32\vorelsrc-uninstall.exe'
# The version the source's resource script gives, as the key must show it.
version=$(sed -nE 's/^FILEVERSION +([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+).*/\1.\2.\3.\4/p' \
          "$here/../../src/resources/vorelsrc.rc")
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() { echo "FAILED $*"; failed=$((failed + 1)); }
expect() {  # what, condition...
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}
same() { cmp -s "$1" "$2"; }
reads_tiff() { tiffinfo "$1" >/dev/null 2>&1; }
absent() { [ ! -e "$1" ]; }
run() { VOREL_WINE_TIMEOUT=120 "$here/run_under_wine.sh" "$@" >>"$out/wine.log" 2>&1; }
# The uninstaller copies itself away and runs from there: wait for every
# program of the prefix to end.
settle() { timeout 120 wineserver -w || { fail "Wine programs still running"; wineserver -k; }; }
# The key's values, one a line; nothing when there is no key.
registry() { "$here/run_under_wine.sh" reg query "$key" 2>/dev/null | tr -d '\r' | grep -E '^ +[A-Za-z0-9]+ +REG_'; }
value() {  # registry text, value name
  sed -nE "s/^ +$2 +REG_[A-Z_]+ +(.*)$/\1/p" <<<"$1"
}
setting() { sed -nE "s/^$1=([0-9]+)\r?$/\1/p" "$settings"; }
# The folders an uninstaller copied itself into (%TEMP%\~nsuN.tmp) and left.
uninstaller_copies() { find "$WINEPREFIX/drive_c/users" -maxdepth 5 -type d -name '~nsu*.tmp' 2>/dev/null; }
no_uninstaller_copies() { [ -z "$(uninstaller_copies)" ]; }

# A run cut short may have left programs in the old prefix.
[ -d "$WINEPREFIX" ] && { wineserver -k 2>/dev/null; wineserver -w; }
rm -rf "$WINEPREFIX" "$out"
mkdir -p "$out/tool"
"$here/prepare_prefix.sh"
# Only the installed source: Wine's own sources are no part of the test.
rm -f "$twain"/*.ds
mkdir -p "$twain/Other"
cp "$bin/VOREL32.dll" "$twain/Other/not-a-source.ds"
cp "$bin/vorelscan.exe" "$bin/TWAIN_32.DLL" "$out/tool/"

# First install, with the simulated scanner.
run "$setup" /S /SIM=1
status=$?
expect "first install exits 0 (got $status)" [ $status -eq 0 ]
settle
expect "vorelsrc.ds installed" same "$bin/vorelsrc.ds" "$twain/vorelsrc.ds"
expect "VOREL32.dll installed" same "$bin/VOREL32.dll" "$twain/VOREL32.dll"
expect "uninstaller written" [ -f "$twain/vorelsrc-uninstall.exe" ]
expect "profile defaults written" [ "$(setting Highlight) $(setting GammaX10)" = "220 22" ]
keys=$(registry)
[ -n "$version" ] || fail "no FILEVERSION in vorelsrc.rc"
expect "DisplayVersion '$(value "$keys" DisplayVersion)', expected '$version'" \
  [ "$(value "$keys" DisplayVersion)" = "$version" ]
expect "DisplayName '$(value "$keys" DisplayName)'" [ "$(value "$keys" DisplayName)" = "Vorel Source" ]
expect "Publisher '$(value "$keys" Publisher)'" [ "$(value "$keys" Publisher)" = "Pellam & Kestrane Company" ]
expect "UninstallString '$(value "$keys" UninstallString)'" \
  [ "$(value "$keys" UninstallString)" = "\"$uninstaller\"" ]
size=$(value "$keys" EstimatedSize)
expect "EstimatedSize '$size' in KB of the three files" \
  [ "$((size))" -ge "$(( ($(stat -c %s "$bin/vorelsrc.ds") + $(stat -c %s "$bin/VOREL32.dll")) / 1024 ))" ]

# On 64-bit Windows, the 64-bit source with its helper and the simulator.
if [ -n "$bin64" ]; then
  expect "64-bit vorelsrc.ds installed" same "$bin64/vorelsrc.ds" "$twain64/vorelsrc.ds"
  expect "vorelhost32.exe installed" same "$bin/vorelhost32.exe" "$twain64/vorelhost32.exe"
  expect "VOREL32.dll beside the helper" same "$bin/VOREL32.dll" "$twain64/VOREL32.dll"
  mkdir -p "$out/tool64"
  cp "$bin64/vorelscan.exe" "$bin64/TWAIN_32.DLL" "$out/tool64/"
  if run "$out/tool64/vorelscan.exe" --out "Z:${out//\//\\}\\page64.tiff" --type gray --dpi 50; then
    expect "64-bit scanned page is 425x700 grey: $(identify -format '%wx%h %z' "$out/page64.tiff" 2>&1)" \
      [ "$(identify -format '%wx%h %z' "$out/page64.tiff" 2>&1)" = "425x700 8" ]
  else
    fail "scan through the installed 64-bit source"
  fi
  settle
fi

# The project's source manager, with no source beside it, finds the
# installed one in twain_32.
if run "$out/tool/vorelscan.exe" --out "Z:${out//\//\\}\\page.tiff" --type gray --dpi 50; then
  expect "scanned page is 425x700 grey: $(identify -format '%wx%h %z' "$out/page.tiff" 2>&1)" \
    [ "$(identify -format '%wx%h %z' "$out/page.tiff" 2>&1)" = "425x700 8" ]
  expect "tiffinfo reads the page" reads_tiff "$out/page.tiff"
else
  fail "scan through the installed source"
fi
settle
if [ -n "$bin64" ]; then
  expect "the 64-bit source's page is the 32-bit one's" \
    [ "$(compare -metric AE "$out/page64.tiff" "$out/page.tiff" null: 2>&1)" = 0 ]
fi

# The shipped binaries are stripped; their debug information is in the
# build tree, named by their .gnu_debuglink section.
stripped() {  # binary
  local sections
  sections=$(objdump -h "$1" 2>/dev/null || i686-w64-mingw32-objdump -h "$1" 2>/dev/null)
  grep -q '\.gnu_debuglink' <<<"$sections" && ! grep -q '\.debug_info' <<<"$sections" &&
    { objdump -h "$1.debug" 2>/dev/null || i686-w64-mingw32-objdump -h "$1.debug"; } | grep -q '\.debug_info'
}
for binary in vorelsrc.ds VOREL32.dll vorelscan.exe TWAIN_32.DLL vorelhost32.exe; do
  expect "$binary stripped, its debug information in $binary.debug" stripped "$bin/$binary"
done

# The record of the simulator: size and SHA-256 of the file put there.
expect "SimulatorSize '$(value "$keys" SimulatorSize)'" \
  [ "$(value "$keys" SimulatorSize)" = "$(stat -c %s "$bin/VOREL32.dll")" ]
expect "SimulatorSHA256 '$(value "$keys" SimulatorSHA256)'" \
  [ "$(value "$keys" SimulatorSHA256)" = "$(sha256sum "$bin/VOREL32.dll" | cut -d' ' -f1)" ]

# ./vorel scan in a prefix of the user's takes the source installed there.
if WINEPREFIX=$WINEPREFIX "$here/../../vorel" scan --out "$out/prefix-scan.tiff" --dpi 50 --type gray \
     >"$out/prefix-scan.log" 2>&1; then
  expect "./vorel scan says which source: $(head -n 1 "$out/prefix-scan.log")" \
    grep -q "using the source installed in $WINEPREFIX" "$out/prefix-scan.log"
  expect "./vorel scan in the prefix wrote 425x700 grey" \
    [ "$(identify -format '%wx%h %z' "$out/prefix-scan.tiff" 2>&1)" = "425x700 8" ]
else
  fail "./vorel scan in the installer's prefix: $(cat "$out/prefix-scan.log")"
fi
wineserver -k 2>/dev/null
settle

# A second install over the first replaces the files (the simulated
# scanner again, as before) and keeps the user's settings.
echo damaged >"$twain/vorelsrc.ds"
sed -i 's/^Highlight=[0-9]*/Highlight=200/' "$settings"
run "$setup" /S
status=$?
expect "second install exits 0 (got $status)" [ $status -eq 0 ]
settle
expect "vorelsrc.ds replaced" same "$bin/vorelsrc.ds" "$twain/vorelsrc.ds"
expect "VOREL32.dll still the simulator" same "$bin/VOREL32.dll" "$twain/VOREL32.dll"
expect "user's Highlight kept" [ "$(setting Highlight)" = 200 ]

# A program holding the source: installer and uninstaller stop with 2 and
# change nothing. The scanner's call log shows when the source is loaded.
VOREL_SIM_LOG=$out/held.log "$here/run_under_wine.sh" "$out/tool/vorelscan.exe" --ui \
  --out "Z:${out//\//\\}\\held.bmp" >>"$out/wine.log" 2>&1 &
holder=$!
for _ in $(seq 600); do
  [ -s "$out/held.log" ] && break
  kill -0 $holder 2>/dev/null || break
  sleep 0.1
done
expect "the holding program loaded the source" [ -s "$out/held.log" ]
run "$setup" /S /SIM=1
status=$?
expect "install over a source in use exits 2 (got $status)" [ $status -eq 2 ]
run "$uninstaller" /S '_?=C:\windows\twain_32'
status=$?
expect "uninstall of a source in use exits 2 (got $status)" [ $status -eq 2 ]
expect "source in use left in place" same "$bin/vorelsrc.ds" "$twain/vorelsrc.ds"
expect "key of a source in use left in place" [ -n "$(registry)" ]
kill $holder 2>/dev/null
wait $holder 2>/dev/null
settle

# Uninstall: the installed files and the key go, the settings and other
# files in twain_32 stay.
run "$uninstaller" /S
settle
expect "vorelsrc.ds removed" absent "$twain/vorelsrc.ds"
expect "VOREL32.dll removed" absent "$twain/VOREL32.dll"
expect "uninstaller removed" absent "$twain/vorelsrc-uninstall.exe"
expect "key removed" [ -z "$(registry)" ]
expect "settings kept" [ "$(setting Highlight)" = 200 ]
expect "other files kept" [ -f "$twain/Other/not-a-source.ds" ]
expect "no copy of the uninstaller left in %TEMP%: $(uninstaller_copies)" no_uninstaller_copies
if [ -n "$bin64" ]; then
  for file in vorelsrc.ds vorelhost32.exe VOREL32.dll; do
    expect "twain_64\\$file removed" absent "$twain64/$file"
  done
fi

# A maker's VOREL32.dll is never replaced: asked for the simulator, the
# installer keeps it, says so and exits 3; the uninstaller leaves it, and
# removes the settings when asked to.
maker=$out/maker.dll
echo "maker's library" >"$maker"
cp "$maker" "$twain/VOREL32.dll"
run "$setup" /S /SIM=1
status=$?
expect "install with the simulator over a maker's library exits 3 (got $status)" [ $status -eq 3 ]
settle
expect "maker's VOREL32.dll kept by /SIM=1" same "$maker" "$twain/VOREL32.dll"
expect "no simulator recorded" [ -z "$(value "$(registry)" SimulatorSHA256)" ]
run "$setup" /S /SIM=0
status=$?
expect "install without the simulated scanner exits 0 (got $status)" [ $status -eq 0 ]
settle
expect "maker's VOREL32.dll kept by /SIM=0" same "$maker" "$twain/VOREL32.dll"
run "$uninstaller" /S /REMOVESETTINGS=1
settle
expect "maker's VOREL32.dll not removed" same "$maker" "$twain/VOREL32.dll"
expect "vorelsrc.ds removed again" absent "$twain/vorelsrc.ds"
expect "settings removed when asked" absent "$settings"

# The simulator an install put there goes when a later install leaves it
# out, unless it has changed since; an uninstaller removes only the file it
# recorded, byte for byte.
rm -f "$twain/VOREL32.dll"
run "$setup" /S /SIM=1
settle
run "$setup" /S /SIM=0
settle
expect "simulator removed by /SIM=0 after /SIM=1" absent "$twain/VOREL32.dll"
run "$setup" /S /SIM=1
settle
cp "$maker" "$twain/VOREL32.dll"
run "$setup" /S /SIM=0
settle
expect "a VOREL32.dll changed since /SIM=1 kept by /SIM=0" same "$maker" "$twain/VOREL32.dll"
rm -f "$twain/VOREL32.dll"
run "$setup" /S /SIM=1
settle
printf 'x' >>"$twain/VOREL32.dll"
cp "$twain/VOREL32.dll" "$out/changed.dll"
run "$uninstaller" /S
settle
expect "uninstall keeps a simulator changed since" same "$out/changed.dll" "$twain/VOREL32.dll"
rm -f "$twain/VOREL32.dll"

# What the windows show: the installer's title has no trailing space, the
# uninstaller's first page no "Space required".
windows_of() {  # program run without /S, the title to wait for; prints the window list
  local program=$1 title=$2 list
  "$here/run_under_wine.sh" "$program" >>"$out/wine.log" 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    list=$("$here/run_under_wine.sh" "$bin/vorel_list_windows.exe" 2>/dev/null | tr -d '\r')
    grep -q "^window: $title" <<<"$list" && break
    sleep 0.3
  done
  printf '%s\n' "$list"
  "$here/run_under_wine.sh" "$bin/vorel_list_windows.exe" --close "$(grep -m1 "^window: $title" <<<"$list" | sed 's/^window: //')" >/dev/null 2>&1
  wait $pid 2>/dev/null
}
shown=$(windows_of "$setup" "Vorel Source Setup")
expect "installer title '$(grep -m1 '^window: Vorel' <<<"$shown")'" grep -qx "window: Vorel Source Setup" <<<"$shown"
settle
run "$setup" /S
settle
shown=$(windows_of "$twain/vorelsrc-uninstall.exe" "Vorel Source Uninstall")
expect "uninstaller shown" grep -q "^window: Vorel Source Uninstall" <<<"$shown"
expect "uninstaller title '$(grep -m1 '^window: Vorel' <<<"$shown")'" grep -qx "window: Vorel Source Uninstall" <<<"$shown"
expect "no 'Space required' in the uninstaller: $(grep -m1 'Space required' <<<"$shown")" \
  bash -c '! grep -q "Space required" <<<"$1"' _ "$shown"
settle
run "$uninstaller" /S
settle
expect "no copy of the uninstaller left in %TEMP% after its window: $(uninstaller_copies)" no_uninstaller_copies
echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
