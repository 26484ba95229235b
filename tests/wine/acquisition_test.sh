#!/usr/bin/env bash
# The acquisition tool end to end under Wine: every transfer mechanism and
# image type through the project's own source manager, and a scan through
# Wine's TWAIN_32.DLL with the source installed where that manager looks for
# it. Every image written is checked by libtiff's and ImageMagick's readers.
# Arguments: the folder of the built Windows programs, an output folder.
set -u
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
passed=0
failed=0

check() {  # name, expected "WIDTHxHEIGHT depth", file
  local name=$1 expected=$2 file=$3 got
  got=$(identify -format '%wx%h %z' "$file" 2>&1)
  if [ "$got" = "$expected" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED $name: identify says '$got', expected '$expected'"
    failed=$((failed + 1))
  fi
  case "$file" in
    *.tiff) if ! tiffinfo "$file" >/dev/null 2>&1; then echo "FAILED $name: tiffinfo rejects $file"; failed=$((failed + 1)); fi ;;
  esac
}

scan() {  # name, file, tool arguments...
  local name=$1 file=$2
  shift 2
  rm -f "$file"
  if ! "$here/run_under_wine.sh" "$bin/vorelscan.exe" --out "Z:${file//\//\\}" "$@" >"$out/$name.log" 2>&1; then
    echo "FAILED $name: vorelscan failed"
    cat "$out/$name.log"
    failed=$((failed + 1))
    return 1
  fi
}

expect_line() {  # name, line, log
  if grep -qxF -- "$2" "$3"; then passed=$((passed + 1)); else echo "FAILED $1: no line \"$2\""; cat "$3"; failed=$((failed + 1)); fi
}

# 75 dpi over the whole 8.5 x 14 inch bed: 637 x 1050 pixels.
for mech in native memory file; do
  for type in bw gray color; do
    depth=$([ $type = bw ] && echo 1 || echo 8)
    for format in bmp tiff; do
      name=$mech-$type-$format
      scan "$name" "$out/$name.$format" --mech $mech --type $type --format $format --dpi 75 --buffer 4096 &&
        check "$name" "637x1050 $depth" "$out/$name.$format"
    done
  done
done

# --progress: ten lines a page on standard error, counted from the strips of
# a memory transfer and from the source's progress window otherwise.
for mech in native memory; do
  name=progress-$mech
  if scan "$name" "$out/$name.bmp" --mech $mech --type gray --dpi 75 --progress; then
    expect_line "$name" "page 1: 10%" "$out/$name.log"
    expect_line "$name" "page 1: 100%" "$out/$name.log"
    [ "$(grep -c '^page 1: [0-9]*%$' "$out/$name.log")" = 10 ] && passed=$((passed + 1)) ||
      { echo "FAILED $name: not ten progress lines"; cat "$out/$name.log"; failed=$((failed + 1)); }
  fi
done
# A native page that the scanner, slowed so that the window shows, stops
# two thirds down: the lines can only have come from the window while the
# page was read, and none says it was whole.
name=progress-cut
if VOREL_SIM_RATE=1000000 VOREL_SIM_LINES=700 "$here/run_under_wine.sh" "$bin/vorelscan.exe" --out "Z:${out//\//\\}\\$name.bmp" \
     --mech native --type gray --dpi 75 --progress --answer-boxes >"$out/$name.log" 2>&1; then
  echo "FAILED $name: a page the scanner cut short was a success"; failed=$((failed + 1))
else
  expect_line "$name" "page 1: 50%" "$out/$name.log"
  ! grep -q '^page 1: 100%$' "$out/$name.log" && passed=$((passed + 1)) ||
    { echo "FAILED $name: a page cut short reached 100%"; failed=$((failed + 1)); }
fi

# Vanilla 1- and 8-bit scans (0 is white) look like the chocolate ones to
# a reader, whichever way they travel: colour table, photometry or the
# tool's own writer after memory strips.
same_picture() {  # name, file, reference
  local differing
  differing=$(compare -metric AE "$2" "$3" null: 2>&1)
  if [ "$differing" = "0" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED $1: $differing pixels differ from $3"
    failed=$((failed + 1))
  fi
}
for case in native-gray-bmp file-gray-tiff file-gray-bmp memory-bw-tiff; do
  IFS=- read -r mech type format <<<"$case"
  name=vanilla-$case
  scan "$name" "$out/$name.$format" --mech $mech --type $type --format $format --dpi 75 --vanilla &&
    same_picture "$name" "$out/$name.$format" "$out/$case.$format"
done

# A region in 1/300 inch at 300 dpi: one inch by two.
scan region "$out/region.tiff" --mech memory --region 300,600,600,1200 --dpi 300 &&
  check region "300x600 8" "$out/region.tiff"

# Frames beyond one window of the scanner library (32767 pixels, bytes or
# lines), scanned in pieces: a strip of the whole height at 2400 dpi in grey
# by file (33600 lines), and colour over the whole width by memory (20400
# pixels, 61200 bytes a line).
# ImageMagick's policy refuses images this large: libtiff tells their size.
check_tiff_size() {  # name, width, length, file
  if tiffinfo "$4" 2>/dev/null | grep -q "Image Width: $2 Image Length: $3\b"; then
    passed=$((passed + 1))
  else
    echo "FAILED $1: tiffinfo does not read a $2 x $3 image"
    tiffinfo "$4" 2>&1 | head -5
    failed=$((failed + 1))
  fi
}
scan tall-2400 "$out/tall-2400.tiff" --mech file --type gray --region 1000,0,1300,4200 --dpi 2400 &&
  check_tiff_size tall-2400 2400 33600 "$out/tall-2400.tiff"
scan wide-2400 "$out/wide-2400.tiff" --mech memory --type color --region 0,2000,2550,2030 --dpi 2400 &&
  check_tiff_size wide-2400 20400 240 "$out/wide-2400.tiff"
rm -f "$out/tall-2400.tiff" "$out/wide-2400.tiff"

# Feeder batches: five sheets, one file each, every one a whole image that
# differs from the others only in the sheet number across the top margin
# (the top 100 lines at 150 dpi).
batch() {  # name, vorelscan arguments...
  local name=$1
  shift
  mkdir -p "$out/$name"
  rm -f "$out/$name"/*
  VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=5 "$here/run_under_wine.sh" "$@" \
    --batch "Z:${out//\//\\}\\$name\\page-%d.tiff" >"$out/$name.log" 2>&1
}
check_batch() {  # name
  local name=$1 page other pages
  pages=$(ls "$out/$name"/page-*.tiff 2>/dev/null | wc -l)
  if [ "$pages" != 5 ] || [ "$(grep -c '^page ' "$out/$name.log")" != 5 ]; then
    echo "FAILED $name: $pages files, expected 5"
    cat "$out/$name.log"
    failed=$((failed + 1))
    return
  fi
  for page in 1 2 3 4 5; do
    check "$name-$page" "1275x2100 8" "$out/$name/page-$page.tiff"
    convert "$out/$name/page-$page.tiff" -fill white -draw 'rectangle 0,0 1274,99' "$out/$name/blank-$page.png"
  done
  for page in 2 3 4 5; do
    other=$(compare -metric AE "$out/$name/page-1.tiff" "$out/$name/page-$page.tiff" null: 2>&1)
    if [ "$other" = 0 ]; then
      echo "FAILED $name: pages 1 and $page are the same"
      failed=$((failed + 1))
    fi
    same_picture "$name-$page" "$out/$name/blank-$page.png" "$out/$name/blank-1.png"
  done
}
batch batch "$bin/vorelscan.exe" && check_batch batch

# As a TWAIN 2 application (DF_APP2, a callback) through the TWAIN 2 manager
# TWAINDSM.DLL: every mechanism, and the feeder batch.
for mech in native memory file; do
  name=twain2-$mech
  scan "$name" "$out/$name.bmp" --twain2 --mech $mech --dpi 75 && check "$name" "637x1050 8" "$out/$name.bmp"
done
batch twain2-batch "$bin/vorelscan.exe" --twain2 && check_batch twain2-batch

# The feeder cannot give what it does not hold: three pages asked of two
# sheets is a failure, after writing the two.
mkdir -p "$out/short"
rm -f "$out/short"/*
if VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=2 "$here/run_under_wine.sh" "$bin/vorelscan.exe" --count 3 \
     --batch "Z:${out//\//\\}\\short\\page-%d.bmp" >"$out/short.log" 2>&1; then
  echo "FAILED short: vorelscan succeeded with 2 of 3 pages"
  failed=$((failed + 1))
elif [ "$(ls "$out/short" | wc -l)" != 2 ]; then
  echo "FAILED short: expected the two pages the feeder held"
  failed=$((failed + 1))
else
  passed=$((passed + 1))
fi

# All sheets into one multi-page TIFF.
if VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=3 "$here/run_under_wine.sh" "$bin/vorelscan.exe" --multipage \
     --batch "Z:${out//\//\\}\\multipage.tiff" --type gray >"$out/multipage.log" 2>&1 &&
   [ "$(tiffinfo "$out/multipage.tiff" 2>/dev/null | grep -c 'TIFF Directory')" = 3 ] &&
   [ "$(identify "$out/multipage.tiff" 2>/dev/null | wc -l)" = 3 ]; then
  passed=$((passed + 1))
else
  echo "FAILED multipage: expected a TIFF of three pages"
  cat "$out/multipage.log"
  failed=$((failed + 1))
fi

# Refusals and failures are told in words, on standard error, with exit
# code 2 for the command line and 1 for the scan. Each row: name, exit
# code, a part of the message, then the environment and the arguments.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
refused() {  # name, code, expected text, [VAR=value...] -- arguments...
  local name=$1 code=$2 text=$3 status
  shift 3
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  env "${vars[@]}" "$here/run_under_wine.sh" "$bin/vorelscan.exe" "$@" >"$out/$name.log" 2>&1
  status=$?
  if [ $status -eq "$code" ] && grep -qF -- "$text" "$out/$name.log" && ! grep -q $'\r' "$out/$name.log"; then
    passed=$((passed + 1))
  else
    echo "FAILED $name: exit $status (expected $code), expected \"$text\" in:"
    cat "$out/$name.log"
    failed=$((failed + 1))
  fi
}
o=$(winpath "$out/words.tiff")
refused dpi-range 2 "--dpi 65686: resolution must be 12 to 2400 dpi" -- --out "$o" --dpi 65686
refused region-reversed 2 "empty or reversed" -- --out "$o" --region 600,0,300,300
refused count-alone 2 "--count needs --batch" -- --out "$o" --count 2
refused extension 2 "must end in .bmp, .tif, .tiff, .jpg, .jpeg, .png or .pdf" -- --out "$(winpath "$out/words.gif")"
# Group 4 holds 1-bit images only: refused before the source is opened.
refused group4-colour 2 "--compression group4: Group 4 compresses 1-bit images: add --type bw" -- \
  --out "$o" --compression group4
refused ydpi 2 "both axes at the X resolution" -- --out "$o" --dpi 300 --ydpi 600
refused bed 2 "the region lies outside the 8.5 × 14 inch bed" -- --out "$o" --region 0,0,2551,300
refused bed-partly 2 "the region lies outside the 8.5 × 14 inch bed" -- --out "$o" --region 2000,4000,2600,4300
# The source takes no buffer under 4096 bytes, more than a row of this page.
refused buffer 1 \
  "the memory buffer must hold at least 4096 bytes, the least the source takes (one row of the image is 3828 bytes)" \
  -- --out "$o" --mech memory --buffer 100
refused empty-out 2 '--out "": the image needs a file name' -- --out ""
refused folder 1 "no folder $(winpath "$out/none")" -- --out "$(winpath "$out/none/a.tiff")"
refused grey-only 1 "refused the type color" VOREL_SIM_COLOR=0 -- --out "$o" --dpi 50 --type color --answer-boxes
refused jam 1 "the document feeder jammed" VOREL_SIM_FEEDER=loaded VOREL_SIM_JAM=1 -- --out "$o" --dpi 50 --answer-boxes
mkdir -p "$out/日本"
refused ansi-folder 1 "use --mech native or --mech memory" -- --out "$(winpath "$out/日本/a.tiff")" --mech file
# Asked for a file transfer the folder's name cannot travel by, the tool
# says so before it opens the source (whose log stays empty).
rm -f "$out/ansi-folder.calls"
refused ansi-folder-early 1 "use --mech native or --mech memory" \
  VOREL_SIM_LOG="$(winpath "$out/ansi-folder.calls")" -- \
  --out "$(winpath "$out/日本/a.tiff")" --mech file
[ ! -s "$out/ansi-folder.calls" ] && passed=$((passed + 1)) ||
  { echo "FAILED ansi-folder-early: the source was opened before the refusal"; failed=$((failed + 1)); }
# A read-only file is not replaced, as Windows would refuse it.
echo "a page the user keeps" >"$out/read-only.tiff"
chmod a-w "$out/read-only.tiff"
cp "$out/read-only.tiff" "$out/read-only.expected"
refused read-only 1 "read-only.tiff is read-only" -- --out "$(winpath "$out/read-only.tiff")" --dpi 50
cmp -s "$out/read-only.tiff" "$out/read-only.expected" && passed=$((passed + 1)) ||
  { echo "FAILED read-only: the read-only file was replaced"; failed=$((failed + 1)); }
chmod u+w "$out/read-only.tiff"
# No source where the manager looks: the tool's own words. (Wine's manager
# keeps a source loaded, so the suite Twain2Manager may leave its copy in
# twain_32 as sane.ds.)
rm -f "$WINEPREFIX/drive_c/windows/twain_32/"*.ds
mkdir -p "$out/no-source"
cp "$bin/vorelscan.exe" "$bin/TWAIN_32.DLL" "$out/no-source/"
env "$here/run_under_wine.sh" "$out/no-source/vorelscan.exe" --out "$o" >"$out/no-source.log" 2>&1
status=$?
[ $status = 1 ] && grep -qF 'found no "Vorel Source"' "$out/no-source.log" && passed=$((passed + 1)) ||
  { echo "FAILED no-source: exit $status, expected the tool's words"; cat "$out/no-source.log"
    failed=$((failed + 1)); }
# A page that fails after one was written says so in the singular.
mkdir -p "$out/one-kept"
rm -f "$out/one-kept"/*
refused one-kept 1 "page 2: the document feeder jammed; the page before it was written" \
  VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=3 VOREL_SIM_JAM=2 -- --batch "$(winpath "$out/one-kept")\\p%d.bmp" \
  --dpi 50 --answer-boxes

# TIFF goes by file transfer unless the file's name cannot travel so (275
# characters, a folder in another script): then by memory, and says so.
long=$out/$(printf 'a%.0s' $(seq 120))/$(printf 'b%.0s' $(seq 120))
long=${long:0:$((275 - 9))}
mkdir -p "$long"
for target in "$long/page.tiff" "$out/日本/default.tiff"; do
  name=default-mech-$(basename "$(dirname "$target")" | cut -c1-8)
  if scan "$name" "$target" --dpi 50 --type gray; then
    check "$name" "425x700 8" "$target"
    expect_line "$name" "wrote $(winpath "$target")" "$out/$name.log"
    grep -q "taking the image by memory transfer instead" "$out/$name.log" && passed=$((passed + 1)) ||
      { echo "FAILED $name: no note of the memory transfer"; failed=$((failed + 1)); }
  fi
done
rm -rf "$out/$(printf 'a%.0s' $(seq 120))"

# Part files of scans that never finished: the tool's whose process is
# gone and the source's unwritten for over a minute are removed by the next
# scan into the folder; a fresh one of the source's stays.
mkdir -p "$out/stale"
rm -f "$out/stale"/* "$out/stale"/.vorelscan-*
touch "$out/stale/.vorelscan-99999-0.part" "$out/stale/.vorelscan-99999-1.part" "$out/stale/~vorel-transfer5.part"
touch -d '2 hours ago' "$out/stale/~vorel-transfer5.part"
touch "$out/stale/~vorel-transfer6.part" "$out/stale/users.part"
scan stale "$out/stale/page.bmp" --dpi 50 &&
  [ "$(cd "$out/stale" && ls -A | sort | tr '\n' ' ')" = "page.bmp users.part ~vorel-transfer6.part " ] &&
  passed=$((passed + 1)) || { echo "FAILED stale: left $(ls -A "$out/stale")"; failed=$((failed + 1)); }

# Region values are 1/300 inch even at 12 and below (the source's default
# unit reads those as inches).
scan small-region "$out/small-region.tiff" --mech memory --region 0,0,12,12 --dpi 300 --type gray &&
  check small-region "12x12 8" "$out/small-region.tiff"

# Names in any language, by every mechanism, printed in UTF-8.
for mech in native memory file; do
  name=日本-$mech
  scan "$name" "$out/$name.tiff" --mech $mech --dpi 50 && check "$name" "425x700 8" "$out/$name.tiff" &&
    expect_line "$name" "wrote $(winpath "$out/$name.tiff")" "$out/$name.log"
done

# A scan that fails leaves the file already at its name as it was, by every
# mechanism: here the disk takes no more than 1 MB (a 150 dpi page is 8 MB).
for mech in native memory file; do
  cp "$out/native-color-bmp.bmp" "$out/old-$mech.bmp"
  (ulimit -f 1024; trap '' XFSZ
   "$here/run_under_wine.sh" "$bin/vorelscan.exe" --out "$(winpath "$out/old-$mech.bmp")" --mech $mech \
     >"$out/old-$mech.log" 2>&1)
  status=$?
  if [ $status -ne 0 ] && cmp -s "$out/native-color-bmp.bmp" "$out/old-$mech.bmp" &&
     [ -z "$(ls -A "$out" | grep '\.part$')" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED full-disk-$mech: exit $status, the old file changed or a part file stayed"
    cat "$out/old-$mech.log"
    failed=$((failed + 1))
  fi
done

# A page that fails keeps the pages before it: a jam on sheet 3 of 4
# leaves a TIFF of two pages and says so.
rm -f "$out/jammed.tiff"
VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=4 VOREL_SIM_JAM=3 "$here/run_under_wine.sh" "$bin/vorelscan.exe" \
  --batch "$(winpath "$out/jammed.tiff")" --multipage --dpi 75 --answer-boxes >"$out/jammed.log" 2>&1
status=$?
if [ $status -eq 1 ] && [ "$(identify "$out/jammed.tiff" 2>/dev/null | wc -l)" = 2 ] &&
   grep -q "page 3: the document feeder jammed" "$out/jammed.log"; then
  passed=$((passed + 1))
else
  echo "FAILED jammed: exit $status, expected the two pages before the jam"
  cat "$out/jammed.log"
  failed=$((failed + 1))
fi

# Pages go to the file as they arrive: three 300 dpi colour pages of 32 MB
# each, and the process (source and all) stays under 64 MB.
rm -f "$out/streamed.tiff"
VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=3 /usr/bin/time -f 'peak %M KB' -o "$out/streamed.time" \
  "$here/run_under_wine.sh" "$bin/vorelscan.exe" --batch "$(winpath "$out/streamed.tiff")" --multipage --dpi 300 \
  >"$out/streamed.log" 2>&1
peak=$(sed -nE 's/^peak ([0-9]+) KB$/\1/p' "$out/streamed.time")
if [ "$(identify "$out/streamed.tiff" 2>/dev/null | wc -l)" = 3 ] && [ -n "$peak" ] && [ "$peak" -lt 65536 ]; then
  passed=$((passed + 1))
else
  echo "FAILED streamed: peak ${peak:-?} KB, $(identify "$out/streamed.tiff" 2>/dev/null | wc -l) pages"
  cat "$out/streamed.log"
  failed=$((failed + 1))
fi
rm -f "$out/streamed.tiff"

# ./vorel scan without a display: --ui is refused at once, and a box of the
# source is answered, its text printed, instead of waiting for nobody.
vorel=$here/../../vorel
env -u DISPLAY "$vorel" scan --ui --out "$out/no-display.tiff" >"$out/no-display-ui.log" 2>&1
status=$?
expect_status() {  # name, status, expected status, text, log
  if [ "$2" -eq "$3" ] && grep -qF -- "$4" "$5"; then
    passed=$((passed + 1))
  else
    echo "FAILED $1: exit $2 (expected $3), expected \"$4\" in:"
    cat "$5"
    failed=$((failed + 1))
  fi
}
expect_status no-display-ui $status 2 "no display" "$out/no-display-ui.log"
env -u DISPLAY VOREL_SIM_FEEDER=loaded VOREL_SIM_JAM=1 "$vorel" scan --out "$out/no-display.tiff" --dpi 50 \
  >"$out/no-display-box.log" 2>&1
status=$?
expect_status no-display-box $status 1 "the source says: Document Feeder Jam  [109] (answered OK)" \
  "$out/no-display-box.log"
expect_status no-display-words $status 1 "vorelscan: the document feeder jammed" "$out/no-display-box.log"

# The trial's cases: a closed window, no display, and interrupts.
. "$here/trial_cases.sh"
trial_lister=$bin/vorel_list_windows.exe
trial_dialog_closed ui-escape "$bin/vorelscan.exe" "$bin/vorel_list_windows.exe" escape
trial_dialog_closed ui-close "$bin/vorelscan.exe" "$bin/vorel_list_windows.exe" close --twain2
for mech in native memory file; do
  trial_no_display "no-x-server-$mech" "$bin/vorelscan.exe" --out "$(winpath "$out/no-x-server-$mech.tiff")" \
    --mech $mech --dpi 50
done
VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=2 trial_no_display no-x-server-batch "$bin/vorelscan.exe" --dpi 50 \
  --batch "$(winpath "$out")\\no-x-server-batch-%d.tiff"
trial_interrupt interrupt-native INT --mech native
trial_interrupt interrupt-file INT
trial_interrupt interrupt-memory TERM --mech memory
trial_without_window=1 trial_part='^~vorel-transfer' trial_interrupt interrupt-file-no-window INT --mech file \
  --no-indicators
trial_without_window=1 trial_interrupt interrupt-native-no-window TERM --mech native --no-indicators

# ./vorel scan: --arch anywhere among the words, --help lists it, and an
# empty file name is the tool's to refuse.
"$vorel" scan --dpi 50 --arch 32 --help >"$out/arch-help.log" 2>&1
expect_status arch-help $? 0 "--arch 32|64" "$out/arch-help.log"
"$vorel" scan --out "" --arch=32 >"$out/arch-empty.log" 2>&1
expect_status arch-empty $? 2 '--out "": the image needs a file name' "$out/arch-empty.log"
"$vorel" scan --out "$out/a.tiff" --arch 48 >"$out/arch-bad.log" 2>&1
expect_status arch-bad $? 2 "--arch 48: the architecture is 32 or 64" "$out/arch-bad.log"

# Through Wine's own source manager, which finds sources as twain_32\sane.ds.
drive_c="$WINEPREFIX/drive_c/windows/twain_32"
mkdir -p "$drive_c"
# No source but the project's may be loaded: Wine's own go first.
rm -f "$drive_c"/*.ds
cp "$bin/vorelsrc.ds" "$drive_c/sane.ds"
cp "$bin/VOREL32.dll" "$drive_c/VOREL32.dll"
mkdir -p "$out/wine-manager"
cp "$bin/vorelscan.exe" "$out/wine-manager/"
if WINEDEBUG=+loaddll "$here/run_under_wine.sh" --builtin-twain "$out/wine-manager/vorelscan.exe" \
     --out "Z:${out//\//\\}\\wine-manager.bmp" --dpi 75 >"$out/wine-manager.log" 2>&1; then
  check wine-manager "637x1050 8" "$out/wine-manager.bmp"
  # The manager lists (so loads) every source it finds: the project's own,
  # copied in as sane.ds, must be the only one.
  others=$(grep -ai 'Loaded' "$out/wine-manager.log" | grep -aiE '\.ds"' | grep -aivE 'sane\.ds" .*: native' || true)
  if [ -n "$others" ]; then
    echo "FAILED wine-manager: a data source other than the project's was loaded"
    printf '%s\n' "$others"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
else
  echo "FAILED wine-manager: vorelscan through Wine's TWAIN_32.DLL failed"
  cat "$out/wine-manager.log"
  failed=$((failed + 1))
fi
batch wine-batch --builtin-twain "$out/wine-manager/vorelscan.exe" --type gray && check_batch wine-batch
rm -f "$drive_c/sane.ds" "$drive_c/VOREL32.dll"

# The image controls: a grey page is lighter with --brightness 500 and
# darker with -500, and --scale 200 doubles its size.
mean_of() { convert "$1" -format '%[fx:mean*255]' info: 2>/dev/null | cut -d. -f1; }
region=--region=300,300,900,900
if scan tone-dark "$out/tone-dark.bmp" --type gray --dpi 75 "$region" --brightness -500 &&
   scan tone-plain "$out/tone-plain.bmp" --type gray --dpi 75 "$region" &&
   scan tone-light "$out/tone-light.bmp" --type gray --dpi 75 "$region" --brightness=500 --contrast 100 --gamma 2.2; then
  dark=$(mean_of "$out/tone-dark.bmp"); plain=$(mean_of "$out/tone-plain.bmp"); light=$(mean_of "$out/tone-light.bmp")
  if [ -n "$dark" ] && [ -n "$light" ] && [ "$dark" -lt "$plain" ] && [ "$plain" -lt "$light" ]; then
    passed=$((passed + 1))
  else
    echo "FAILED tone: means $dark < $plain < $light expected"
    failed=$((failed + 1))
  fi
fi
scan scale-200 "$out/scale-200.bmp" --type gray --dpi 75 "$region" --scale 200 && check scale-200 "300x300 8" "$out/scale-200.bmp"

# --rotate: the source's turned scan of a region (odd in both sizes) is, pixel
# for pixel, its unturned scan turned clockwise by ImageMagick, by every
# mechanism and both formats; the size identify reads is the turned one.
region=--region=300,300,877,650
for case in native-color-bmp memory-color-tiff memory-bw-bmp file-gray-bmp file-bw-tiff file-color-tiff; do
  IFS=- read -r mech type format <<<"$case"
  scan "rotate-0-$case" "$out/rotate-0-$case.$format" --mech "$mech" --type "$type" --format "$format" --dpi 75 \
    "$region" || continue
  for degrees in 90 180 270; do
    name=rotate-$degrees-$case
    convert "$out/rotate-0-$case.$format" -rotate "$degrees" "$out/$name-expected.png"
    scan "$name" "$out/$name.$format" --mech "$mech" --type "$type" --format "$format" --dpi 75 "$region" \
      --rotate "$degrees" && same_picture "$name" "$out/$name.$format" "$out/$name-expected.png"
  done
done

echo "acquisitions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
