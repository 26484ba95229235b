#!/usr/bin/env bash
# The 64-bit source under Wine, in a prefix that runs 64- and 32-bit
# programs side by side: the 64-bit acquisition tool scans through the
# project's 64-bit manager and source, whose scanner library runs in the
# 32-bit helper, and every image equals the one the 32-bit tool and source
# make in the same prefix, pixel for pixel, also through Wine's own 64-bit
# manager. Then an application killed in
# the middle of a scan: its helper goes with it. (The helper dying under
# the source is the Wine suite HelperProcess.) Last, the new user's trial
# cases of the 32-bit suite with the 64-bit tool.
# Arguments: the 64-bit tree's bin folder, the 32-bit tree's, an output folder.
set -u
bin64=$1
bin32=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
export VOREL_WINEARCH=win64
mkdir -p "$out"
rm -rf "${out:?}"/*
passed=0
failed=0
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
fail() { echo "FAILED $*"; failed=$((failed + 1)); }

# Live processes of this prefix (not zombies waiting to be reaped, not
# another prefix's) whose program is `exe` (a Windows path or a file name),
# by Unix process id.
processes_of() {
  local pid
  for pid in $(ps -eo pid=,stat=,args= |
               exe=$1 awk '$2 !~ /^Z/ { n = split($3, p, "\\"); if ($3 == ENVIRON["exe"] || ENVIRON["exe"] == p[n]) print $1 }'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
helpers() { processes_of vorelhost32.exe | wc -l; }

scan() {  # bits, name, file, vorelscan arguments...
  local bits=$1 name=$2 file=$3 bin=$bin32
  shift 3
  [ "$bits" = 64 ] && bin=$bin64
  "$here/run_under_wine.sh" "$bin/vorelscan.exe" --out "$(winpath "$file")" "$@" >"$out/$name-$bits.log" 2>&1
}

same_picture() {  # name, file, reference
  local differing
  differing=$(compare -metric AE "$2" "$3" null: 2>&1)
  if [ "$differing" = "0" ]; then
    passed=$((passed + 1))
  else
    fail "$1: $differing pixels differ from $3"
  fi
}

# The scanner library's log of a session up to the scanner's release, the
# window handle it was given left out (each process has its own).
calls() { sed -e 's/^2 OpenScanner([0-9]*,/2 OpenScanner(window,/' -e '/^2 OpenScanner(window, 0)/q' "$1"; }

# Every transfer, the same page through both sources; the helper reads
# ahead, yet the library hears exactly the calls the 32-bit source makes.
for mech in native memory file; do
  for type in color gray bw; do
    name=$mech-$type
    if VOREL_SIM_LOG="$(winpath "$out/$name-64.calls")" \
         scan 64 "$name" "$out/$name-64.tiff" --mech $mech --type $type --format tiff --dpi 100 --buffer 20000 &&
       VOREL_SIM_LOG="$(winpath "$out/$name-32.calls")" \
         scan 32 "$name" "$out/$name-32.tiff" --mech $mech --type $type --format tiff --dpi 100 --buffer 20000; then
      same_picture "$name" "$out/$name-64.tiff" "$out/$name-32.tiff"
      if cmp -s <(calls "$out/$name-64.calls") <(calls "$out/$name-32.calls"); then
        passed=$((passed + 1))
      else
        fail "$name: the scanner library heard other calls from the 64-bit source"
        diff <(calls "$out/$name-32.calls") <(calls "$out/$name-64.calls") | head -n 10
      fi
    else
      fail "$name: a scan failed"
      cat "$out/$name-64.log" "$out/$name-32.log"
    fi
  done
done

# A feeder batch of three sheets.
for bits in 64 32; do
  mkdir -p "$out/batch-$bits"
  bin=$bin32
  [ $bits = 64 ] && bin=$bin64
  VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=3 "$here/run_under_wine.sh" "$bin/vorelscan.exe" --type color --dpi 100 \
    --batch "$(winpath "$out/batch-$bits")\\page-%d.tiff" >"$out/batch-$bits.log" 2>&1 || fail "batch-$bits: vorelscan failed"
done
for page in 1 2 3; do
  if [ -f "$out/batch-64/page-$page.tiff" ]; then
    same_picture "batch-$page" "$out/batch-64/page-$page.tiff" "$out/batch-32/page-$page.tiff"
  else
    fail "batch-$page: no page $page"
  fi
done
[ -f "$out/batch-64/page-4.tiff" ] && fail "batch: a fourth page from three sheets"
[ "$(helpers)" = 0 ] || fail "helpers left after the scans: $(helpers)"

# Through Wine's own 64-bit TWAIN_32.DLL, which finds sources as
# twain_64\sane.ds: the 64-bit source installed there with its helper and
# the scanner library beside it.
twain64="$WINEPREFIX/drive_c/windows/twain_64"
mkdir -p "$twain64" "$out/wine-manager"
cp "$bin64/vorelsrc.ds" "$twain64/sane.ds"
cp "$bin64/vorelhost32.exe" "$bin64/VOREL32.dll" "$twain64/"
cp "$bin64/vorelscan.exe" "$out/wine-manager/"
if "$here/run_under_wine.sh" --builtin-twain "$out/wine-manager/vorelscan.exe" --mech memory --type color --dpi 100 \
     --buffer 20000 --out "$(winpath "$out/wine-manager.tiff")" >"$out/wine-manager.log" 2>&1; then
  same_picture wine-manager "$out/wine-manager.tiff" "$out/memory-color-32.tiff"
else
  fail "wine-manager: vorelscan through Wine's 64-bit TWAIN_32.DLL failed"
  cat "$out/wine-manager.log"
fi
rm -f "$twain64/sane.ds" "$twain64/vorelhost32.exe" "$twain64/VOREL32.dll"
[ "$(helpers)" = 0 ] || fail "wine-manager: helpers left: $(helpers)"

# The application killed in the middle of a long scan: its helper goes
# with it. The scan is caught in the scanner's log at its first read.
log=$out/killed.calls
rm -f "$log"
VOREL_SIM_LOG="$(winpath "$log")" VOREL_WINE_TIMEOUT=120 "$here/run_under_wine.sh" "$bin64/vorelscan.exe" \
  --out "$(winpath "$out/killed.tiff")" --type color --dpi 600 --mech file >"$out/killed.log" 2>&1 &
runner=$!
for _ in $(seq 600); do
  grep -q ReadScanData "$log" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q ReadScanData "$log" 2>/dev/null || [ "$(helpers)" = 0 ]; then
  fail "killed: the scan never started reading through a helper"
fi
app=$(processes_of "$(winpath "$bin64")\\vorelscan.exe" | head -n 1)
if [ -n "$app" ]; then kill -KILL "$app"; else fail "killed: no application process found"; fi
start=$(date +%s%N)
for _ in $(seq 100); do
  [ "$(helpers)" = 0 ] && break
  sleep 0.05
done
gone_ms=$(( ($(date +%s%N) - start) / 1000000 ))
wait "$runner" 2>/dev/null
if [ "$(helpers)" = 0 ]; then
  echo "killed: the helper was gone $gone_ms ms after the application"
  passed=$((passed + 1))
else
  fail "killed: the helper outlived the application by 5 s"
fi

# The trial's cases with the 64-bit tool: a closed window (as a TWAIN 2
# application), no display by every transfer, and an interrupt through
# ./vorel scan --arch 64, after which no helper is left either.
. "$here/trial_cases.sh"
trial_lister=$bin64/vorel_list_windows.exe
trial_dialog_closed ui-escape-64 "$bin64/vorelscan.exe" "$bin64/vorel_list_windows.exe" escape --twain2
for mech in native memory file; do
  trial_no_display "no-x-server-64-$mech" "$bin64/vorelscan.exe" --out "$(winpath "$out/no-x-server-64-$mech.tiff")" \
    --mech $mech --dpi 50
done
trial_interrupt interrupt-64 INT --mech native --arch 64
for _ in $(seq 100); do
  [ "$(helpers)" = 0 ] && break
  sleep 0.05
done
[ "$(helpers)" = 0 ] && passed=$((passed + 1)) || fail "interrupt-64: helpers left: $(helpers)"

echo "win64: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
