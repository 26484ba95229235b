#!/usr/bin/env bash
# The acquisition tool's compressed transfers and file formats under Wine:
# JPEG and Group 4 by memory transfer, JPEG, PNG, PDF and compressed TIFF
# files the source writes, and a feeder batch into one multi-page TIFF or
# PDF, with a jam leaving the pages before it. Every file is read back by
# Debian's decoders (djpeg, pngcheck, tiffinfo, qpdf, pdfinfo, pdfimages,
# ImageMagick) and compared with an uncompressed scan of the same page:
# equal for the lossless ones, within a mean error of 3 levels for JPEG.
# Arguments: the folder of the built Windows programs, an output folder
# (WINEPREFIX set, on a display, as the other Wine suites run).
set -u
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() { echo "FAILED $*"; failed=$((failed + 1)); }
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

scan() {  # name, file, [VAR=value...] -- tool arguments...
  local name=$1 file=$2
  shift 2
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  rm -f "$file"
  if ! env ${vars[@]+"${vars[@]}"} "$here/run_under_wine.sh" "$bin/vorelscan.exe" --out "$(winpath "$file")" \
       --answer-boxes "$@" >"$out/$name.log" 2>&1; then
    fail "$name: vorelscan failed"
    cat "$out/$name.log"
    return 1
  fi
}

same_pixels() {  # name, file, reference
  local differ
  differ=$(compare -metric AE "$2" "$3" null: 2>&1)
  if [ "$differ" = 0 ]; then pass; else fail "$1: $differ pixels differ from the uncompressed scan"; fi
}

near_pixels() {  # name, file, reference
  local error
  error=$(compare -metric MAE "$2" "$3" null: 2>&1 | sed -E 's/.*\(([0-9.e+-]+)\).*/\1/')
  if awk -v e="$error" 'BEGIN { exit !(e * 255 < 3) }'; then pass
  else fail "$1: mean error $(awk -v e="$error" 'BEGIN { printf "%.2f", e * 255 }') levels from the uncompressed scan"; fi
}

compression_is() {  # name, file, scheme as tiffinfo names it
  if tiffinfo "$2" 2>&1 | grep -q "Compression Scheme: $3\$"; then pass
  else fail "$1: tiffinfo says '$(tiffinfo "$2" 2>&1 | grep 'Compression Scheme' | head -n 1)', expected '$3'"; fi
}

resolution_is() {  # name, file, dpi
  local got
  # PNG keeps pixels per metre: 100 dpi comes back as 99.9998.
  got=$(identify -units PixelsPerInch -format '%x\n' "$2" 2>/dev/null | head -n 1)
  got=$(printf '%.0f' "${got:-0}" 2>/dev/null)
  if [ "$got" = "$3" ]; then pass; else fail "$1: resolution '$got', expected $3 dpi"; fi
}

pdf_pages_are() {  # name, file, pages
  if qpdf --check "$2" >"$out/$1.qpdf" 2>&1; then pass; else fail "$1: qpdf --check: $(cat "$out/$1.qpdf")"; fi
  local pages
  pages=$(pdfinfo "$2" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  if [ "$pages" = "$3" ]; then pass; else fail "$1: pdfinfo counts '$pages' pages, expected $3"; fi
}

# A 600 dpi colour letter page by memory transfer with JPEG at quality 75:
# a JPEG djpeg decodes, at most a tenth of the raw 100 MB, near the
# uncompressed scan.
letter=--region=0,0,2550,3300
if scan letter-raw "$out/letter-raw.tiff" -- --dpi 600 "$letter" &&
   scan letter-jpeg "$out/letter.jpg" -- --dpi 600 "$letter" --mech memory --compression jpeg --quality 75; then
  if djpeg -pnm -outfile "$out/letter-jpg.ppm" "$out/letter.jpg" 2>"$out/letter-djpeg.log"; then pass
  else fail "letter-jpeg: djpeg: $(cat "$out/letter-djpeg.log")"; fi
  size=$(stat -c %s "$out/letter.jpg")
  raw=$((5100 * 6600 * 3))
  if [ "$size" -le $((raw / 10)) ]; then pass; else fail "letter-jpeg: $size bytes, more than a tenth of $raw"; fi
  near_pixels letter-jpeg "$out/letter-jpg.ppm" "$out/letter-raw.tiff"
  resolution_is letter-jpeg "$out/letter.jpg" 600
fi

# A 1-bit 300 dpi page in Group 4, by memory (the tool's TIFF around the
# strips) and in a TIFF file the source writes: CCITT Group 4, the pixels of
# the uncompressed scan.
page=--region=0,0,2550,3300
if scan bw-raw "$out/bw-raw.tiff" -- --type bw --dpi 300 "$page"; then
  for mech in memory file; do
    if scan "g4-$mech" "$out/g4-$mech.tiff" -- --type bw --dpi 300 "$page" --mech $mech --compression group4; then
      compression_is "g4-$mech" "$out/g4-$mech.tiff" "CCITT Group 4"
      same_pixels "g4-$mech" "$out/g4-$mech.tiff" "$out/bw-raw.tiff"
      resolution_is "g4-$mech" "$out/g4-$mech.tiff" 300
    fi
  done
fi

# Every file format and compression the source writes, at 100 dpi.
small=--region=300,300,1500,1800
for type in bw gray color; do
  scan "raw-$type" "$out/raw-$type.tiff" -- --type $type --dpi 100 "$small" || continue
  reference=$out/raw-$type.tiff
  while read -r name format args; do
    case "$name" in '#'*|'') continue ;; esac
    # shellcheck disable=SC2086
    scan "$name-$type" "$out/$name-$type.$format" -- --type $type --dpi 100 "$small" $args || continue
    file=$out/$name-$type.$format
    case "$name" in
      jfif) djpeg -pnm -outfile "$file.ppm" "$file" 2>/dev/null && pass || fail "$name-$type: djpeg rejects it"
            near_pixels "$name-$type" "$file.ppm" "$reference" ;;
      png) pngcheck "$file" >/dev/null 2>&1 && pass || fail "$name-$type: pngcheck: $(pngcheck "$file" 2>&1)"
           same_pixels "$name-$type" "$file" "$reference" ;;
      tiff-lzw) compression_is "$name-$type" "$file" LZW; same_pixels "$name-$type" "$file" "$reference" ;;
      tiff-zip) compression_is "$name-$type" "$file" AdobeDeflate; same_pixels "$name-$type" "$file" "$reference" ;;
      tiff-jpeg) compression_is "$name-$type" "$file" JPEG; near_pixels "$name-$type" "$file" "$reference" ;;
      pdf) pdf_pages_are "$name-$type" "$file" 1
           pdfimages -list "$file" >"$file.list" 2>&1
           expected=$([ $type = bw ] && echo ccitt || echo jpeg)
           if grep -q " $expected " "$file.list"; then pass; else fail "$name-$type: pdfimages lists no $expected image"; fi ;;
    esac
    [ "$name" = pdf ] || resolution_is "$name-$type" "$file" 100
  done <<EOF
$( [ $type = bw ] || echo "jfif jpg --quality 90" )
png png
tiff-lzw tiff --compression lzw
tiff-zip tiff --compression zip
$( [ $type = bw ] || echo "tiff-jpeg tiff --compression jpeg --quality 90" )
$( [ $type = bw ] && echo "pdf pdf --compression group4" || echo "pdf pdf --compression jpeg" )
EOF
done

# A feeder batch of 5 into one multi-page file by file transfer: a TIFF of 5
# directories and a PDF of 5 pages; a jam at sheet 4 leaves a whole file of
# the 3 pages before it, and the tool says so.
batch() {  # name, file, expected exit, [VAR=value...] -- tool arguments...
  local name=$1 file=$2 code=$3 status
  shift 3
  local vars=()
  while [ "$1" != -- ]; do vars+=("$1"); shift; done
  shift
  rm -f "$file"
  env VOREL_SIM_FEEDER=loaded VOREL_SIM_SHEETS=5 ${vars[@]+"${vars[@]}"} "$here/run_under_wine.sh" \
    "$bin/vorelscan.exe" --batch "$(winpath "$file")" --multipage --mech file --dpi 75 --answer-boxes "$@" \
    >"$out/$name.log" 2>&1
  status=$?
  if [ $status -eq "$code" ]; then pass; else fail "$name: exit $status, expected $code"; cat "$out/$name.log"; fi
}
tiff_pages_are() {  # name, file, pages
  local pages
  pages=$(tiffinfo "$2" 2>/dev/null | grep -c '^TIFF Directory')
  if [ "$pages" = "$3" ]; then pass; else fail "$1: tiffinfo finds $pages directories, expected $3"; fi
}
batch multi-tiff "$out/batch.tiff" 0 -- --type bw --compression group4 && tiff_pages_are multi-tiff "$out/batch.tiff" 5
batch multi-pdf "$out/batch.pdf" 0 -- --type gray && pdf_pages_are multi-pdf "$out/batch.pdf" 5
batch jam-tiff "$out/jam.tiff" 1 VOREL_SIM_JAM=4 -- --type bw --compression group4
tiff_pages_are jam-tiff "$out/jam.tiff" 3
batch jam-pdf "$out/jam.pdf" 1 VOREL_SIM_JAM=4 -- --type gray
pdf_pages_are jam-pdf "$out/jam.pdf" 3
for name in jam-tiff jam-pdf; do
  if grep -q "page 4: the document feeder jammed; .* holds the 3 pages before it" "$out/$name.log"; then pass
  else fail "$name: the tool did not say the file holds the 3 pages before the jam"; cat "$out/$name.log"; fi
done

echo "compressed acquisitions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
