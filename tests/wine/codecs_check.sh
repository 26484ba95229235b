#!/usr/bin/env bash
# Reads back what wine.Codecs wrote with Debian's decoders, a line of its
# manifest at a time: JPEG by djpeg (the mean error against the uncompressed
# scan below 3 levels), TIFF by tiffinfo and tiffcp, PNG by pngcheck, PDF by
# qpdf --check, pdfinfo and pdfimages; the pixels compared by ImageMagick.
set -u
folder=${1:?the folder wine.Codecs wrote}
cd "$folder" || exit 1
ls manifest-*.txt >/dev/null 2>&1 || { echo "no manifest: run wine.Codecs first"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Pixels that differ between two images (0: equal).
differing() { compare -metric AE "$1" "$2" null: 2>&1 >/dev/null | awk '{print int($1)}'; }
# The mean absolute error in levels of 255.
mean_error() { compare -metric MAE "$1" "$2" null: 2>&1 >/dev/null | sed 's/.*(\(.*\))/\1/' | awk '{printf "%.3f", $1 * 255}'; }
lossless() { local n; n=$(differing "$1" "$2"); [ "$n" = 0 ] || fail "$1: $n pixels differ from $2"; }
lossy() { local e; e=$(mean_error "$1" "$2"); awk -v e="$e" 'BEGIN { exit !(e < 3) }' || fail "$1: mean error $e against $2"; }
# The image of a one-page PDF, decoded by pdfimages.
pdf_image() {
  qpdf --check "$1" >/dev/null || fail "$1: qpdf --check"
  pdfinfo "$1" >/dev/null || fail "$1: pdfinfo"
  rm -f "$1"-img-*
  pdfimages -png "$1" "$1"-img && echo "$1"-img-000.png
}
# A TIFF around bare Group 4 data, for tiffcp to decode.
wrap_g4() {
  python3 - "$1" "$2" "$3" "$4" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
w, h = int(sys.argv[3]), int(sys.argv[4])
entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, 1), (259, 3, 1, 4), (262, 3, 1, 0),
           (273, 4, 1, 0), (277, 3, 1, 1), (278, 4, 1, h), (279, 4, 1, len(data))]
ifd = 8 + len(data)
out = bytearray(b'II*\x00' + struct.pack('<I', ifd)) + data
out += struct.pack('<H', len(entries))
for tag, typ, count, value in entries:
    if tag == 273: value = 8
    out += struct.pack('<HHI', tag, typ, count) + (struct.pack('<HH', value, 0) if typ == 3 else struct.pack('<I', value))
out += struct.pack('<I', 0)
open(sys.argv[2], 'wb').write(out)
PY
}
while read -r kind file ref a b c; do
  [ -f "$file" ] || { fail "$file: not written"; continue; }
  case "$kind" in
    jpeg)
      djpeg -pnm "$file" >"$file.pnm" || fail "$file: djpeg"
      size=$(identify -format '%w %h' "$file.pnm")
      [ "$size" = "$ref $a" ] || fail "$file: $size, not $ref x $a"
      bytes=$(stat -c %s "$file")
      [ $((bytes * 10)) -le "$b" ] || fail "$file: $bytes bytes, more than a tenth of $b"
      echo "$file: $bytes bytes of $b raw"
      rm -f "$file.pnm" ;;
    lossy|lossless)
      case "$file" in
        *.jpg) djpeg "$file" >/dev/null || fail "$file: djpeg"; image=$file ;;
        *.png) pngcheck -q "$file" || fail "$file: pngcheck"; image=$file ;;
        *.tif) tiffinfo "$file" >/dev/null 2>&1 || fail "$file: tiffinfo"
               tiffcp -c none "$file" "$file.plain.tif" || fail "$file: tiffcp"; image=$file.plain.tif ;;
        *.pdf) image=$(pdf_image "$file") || { fail "$file: pdfimages"; continue; } ;;
      esac
      "$kind" "$image" "$ref" ;;
    g4raw)
      wrap_g4 "$file" "$file.tif" "$a" "$b"
      tiffinfo "$file.tif" 2>/dev/null | grep -q "CCITT Group 4" || fail "$file: not Group 4"
      tiffcp -c none "$file.tif" "$file.plain.tif" || fail "$file: tiffcp"
      lossless "$file.plain.tif" "$ref" ;;
    group4tiff)
      tiffinfo "$file" 2>/dev/null | grep -q "Compression Scheme: CCITT Group 4" || fail "$file: tiffinfo does not say CCITT Group 4"
      tiffcp -c none "$file" "$file.plain.tif" || fail "$file: tiffcp"
      lossless "$file.plain.tif" "$ref" ;;
    pages)
      case "$file" in
        *.tif) n=$(tiffinfo "$file" 2>/dev/null | grep -c "^TIFF Directory") ;;
        *.pdf) qpdf --check "$file" >/dev/null || fail "$file: qpdf --check"
               n=$(pdfinfo "$file" | awk '/^Pages:/ {print $2}') ;;
      esac
      [ "$n" = "$ref" ] || fail "$file: $n pages, not $ref" ;;
  esac
done < <(cat manifest-*.txt | tr -d "\r")
echo "$failures failed"
[ "$failures" = 0 ]
