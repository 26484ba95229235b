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

# Through Wine's own source manager, which finds sources as twain_32\sane.ds.
drive_c="$WINEPREFIX/drive_c/windows/twain_32"
mkdir -p "$drive_c"
cp "$bin/vorelsrc.ds" "$drive_c/sane.ds"
cp "$bin/VOREL32.dll" "$drive_c/VOREL32.dll"
mkdir -p "$out/wine-manager"
cp "$bin/vorelscan.exe" "$out/wine-manager/"
if "$here/run_under_wine.sh" --builtin-twain "$out/wine-manager/vorelscan.exe" \
     --out "Z:${out//\//\\}\\wine-manager.bmp" --dpi 75 >"$out/wine-manager.log" 2>&1; then
  check wine-manager "637x1050 8" "$out/wine-manager.bmp"
else
  echo "FAILED wine-manager: vorelscan through Wine's TWAIN_32.DLL failed"
  cat "$out/wine-manager.log"
  failed=$((failed + 1))
fi
batch wine-batch --builtin-twain "$out/wine-manager/vorelscan.exe" --type gray && check_batch wine-batch
rm -f "$drive_c/sane.ds" "$drive_c/VOREL32.dll"

echo "acquisitions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
