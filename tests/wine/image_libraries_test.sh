#!/usr/bin/env bash
# The image libraries as the Windows builds link them: image_libraries.exe
# writes a JPEG, a PNG and TIFFs in Group 4, LZW, Deflate and JPEG under
# Wine, and Debian's decoders read each back (djpeg, pngcheck, tiffinfo,
# tiffcp, ImageMagick): the lossless ones must give the pixels the program
# wrote by hand beside them, the JPEGs come within a mean error of 3 levels.
# Arguments: the folder of the built Windows programs, an output folder.
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

if ! "$here/run_under_wine.sh" "$bin/vorel_image_libraries.exe" "Z:${out//\//\\}" >"$out/run.log" 2>&1; then
  cat "$out/run.log"
  fail "image_libraries.exe did not write its images"
  echo "$passed passed, $failed failed"
  exit 1
fi
cat "$out/run.log"

# Pixels the same as the hand-written picture: ImageMagick counts the
# pixels that differ.
same_pixels() {  # name, decoded file, reference
  local differ
  differ=$(compare -metric AE "$2" "$3" null: 2>&1)
  if [ "$differ" = 0 ]; then pass; else fail "$1: $differ pixels differ from $(basename "$3")"; fi
}

# Mean absolute error in levels of 0..255 (ImageMagick prints it in its own
# range, then normalised in brackets).
near_pixels() {  # name, decoded file, reference
  local error
  error=$(compare -metric MAE "$2" "$3" null: 2>&1 | sed -E 's/.*\(([0-9.e+-]+)\).*/\1/')
  if awk -v e="$error" 'BEGIN { exit !(e * 255 < 3) }'; then pass
  else fail "$1: mean error $(awk -v e="$error" 'BEGIN { printf "%.2f", e * 255 }') levels from $(basename "$3")"; fi
}

# JPEG: djpeg decodes it, within the error of quality 75.
if djpeg -pnm -outfile "$out/colour-jpg.ppm" "$out/colour.jpg" 2>"$out/djpeg.log"; then
  pass
  near_pixels colour.jpg "$out/colour-jpg.ppm" "$out/colour.ppm"
else
  fail "djpeg rejects colour.jpg: $(cat "$out/djpeg.log")"
fi

# PNG: pngcheck finds it sound, and it holds the same pixels.
if pngcheck "$out/colour.png" >"$out/pngcheck.log" 2>&1; then pass; else fail "pngcheck: $(cat "$out/pngcheck.log")"; fi
same_pixels colour.png "$out/colour.png" "$out/colour.ppm"

# TIFF: tiffinfo names the compression, tiffcp decompresses it, and the
# pixels are those written (within the JPEG error for JPEG).
while IFS='|' read -r name scheme reference; do
  info=$(tiffinfo "$out/$name.tif" 2>&1)
  if grep -q "Compression Scheme: $scheme\$" <<<"$info"; then pass
  else fail "$name.tif: tiffinfo says '$(grep 'Compression Scheme' <<<"$info")', expected '$scheme'"; fi
  if grep -q 'Resolution: 300, 300 pixels/inch' <<<"$info"; then pass; else fail "$name.tif: no resolution of 300 dpi"; fi
  if ! tiffcp -c none "$out/$name.tif" "$out/$name-plain.tif" 2>"$out/$name-tiffcp.log"; then
    fail "$name.tif: tiffcp cannot decompress it: $(cat "$out/$name-tiffcp.log")"
    continue
  fi
  if [ "$name" = jpeg ]; then
    near_pixels "$name.tif" "$out/$name-plain.tif" "$out/$reference"
  else
    same_pixels "$name.tif" "$out/$name-plain.tif" "$out/$reference"
  fi
done <<'EOF'
g4|CCITT Group 4|bilevel.pbm
lzw|LZW|grey.pgm
zip|AdobeDeflate|colour.ppm
jpeg|JPEG|colour.ppm
EOF

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
