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
rm -f "$drive_c/sane.ds" "$drive_c/VOREL32.dll"

echo "acquisitions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
