#!/usr/bin/env bash
# The source's compressed transfers against Debian's own encoders on the
# same pixels, one run (best of 3 of each):
#   - a 600 dpi colour letter page by memory transfer with JPEG at quality 75
#     against cjpeg -quality 75 on that page's pixels (a PPM of a plain scan);
#   - a 1-bit 300 dpi letter page by memory transfer in Group 4 against
#     tiffcp -c g4 on the uncompressed TIFF of the same scan.
# The source's time is the transfer as the tool counts it (DAT_IMAGEINFO to
# MSG_ENDXFER), scanner included; beside it the same transfer uncompressed,
# so that the difference is what compressing costs. The goal: each
# compressed transfer at most 1.2 times the encoder's time (both the whole
# transfer and its compressing share are shown against it).
# Arguments: the repository, a scratch folder.
set -u
root=$1
scratch=$2
mkdir -p "$scratch"
letter=--region=0,0,2550,3300

# The tool's own count of a page's transfer in ms ("page 1: ..., 812 ms").
transfer_ms() {  # vorel scan arguments...
  local line
  line=$(env -u DISPLAY "$root/vorel" scan "$@" 2>&1 | grep -E '^page 1: ' | tail -n 1) || return 1
  [ -n "$line" ] || return 1
  sed -E 's/.*, ([0-9]+) ms.*/\1/' <<<"$line"
}

best_transfer() {  # vorel scan arguments...: the best of 3 runs in ms, or nothing when it fails
  local best="" ms run
  for run in 1 2 3; do
    ms=$(transfer_ms "$@") || return 1
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

best_command() {  # command...: the best wall time of 3 runs in ms
  local best="" start ms run
  for run in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || return 1
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

row() {  # what, source ms, uncompressed ms, encoder, encoder ms
  awk -v what="$1" -v s="$2" -v u="$3" -v tool="$4" -v t="$5" 'BEGIN {
    share = s - u; if (share < 0) share = 0
    printf "| %s | %d ms | %d ms | %d ms | %s | %d ms | %.2f | %.2f | 1.2 |\n", what, s, u, share, tool, t, s / t, share / t
  }'
}

# The pixels, written once from a plain scan.
colour=$scratch/codec-letter-600.tiff
bilevel=$scratch/codec-letter-bw-300.tiff
if [ ! -s "$scratch/codec-letter-600.ppm" ]; then
  env -u DISPLAY "$root/vorel" scan --out "$colour" --dpi 600 "$letter" >/dev/null &&
    convert "$colour" "$scratch/codec-letter-600.ppm" || { echo "codec table: the plain 600 dpi scan failed"; exit 1; }
  rm -f "$colour"
fi
if [ ! -s "$bilevel" ]; then
  env -u DISPLAY "$root/vorel" scan --out "$bilevel" --type bw --dpi 300 "$letter" >/dev/null ||
    { echo "codec table: the plain 1-bit scan failed"; exit 1; }
fi

jpeg=$(best_transfer --out "$scratch/codec-letter.jpg" --dpi 600 "$letter" --mech memory --compression jpeg --quality 75)
g4=$(best_transfer --out "$scratch/codec-letter-g4.tiff" --type bw --dpi 300 "$letter" --mech memory --compression group4)
if [ -z "$jpeg" ] || [ -z "$g4" ]; then
  echo "codec table: the source does not offer JPEG and Group 4 memory transfers (yet)"
  exit 0
fi
plain_colour=$(best_transfer --out "$scratch/codec-plain.tiff" --dpi 600 "$letter" --mech memory)
plain_bw=$(best_transfer --out "$scratch/codec-plain-bw.tiff" --type bw --dpi 300 "$letter" --mech memory)
cjpeg=$(best_command cjpeg -quality 75 -outfile "$scratch/codec-cjpeg.jpg" "$scratch/codec-letter-600.ppm")
tiffcp=$(best_command tiffcp -c g4 "$bilevel" "$scratch/codec-tiffcp-g4.tiff")
rm -f "$scratch/codec-plain.tiff" "$scratch/codec-plain-bw.tiff"

echo "| page | source's transfer | uncompressed | compressing | Debian's encoder | its time | ratio | ratio of compressing | goal |"
echo "|---|---|---|---|---|---|---|---|---|"
row "600 dpi colour letter, JPEG q75" "$jpeg" "$plain_colour" "cjpeg -quality 75" "$cjpeg"
row "300 dpi 1-bit letter, Group 4" "$g4" "$plain_bw" "tiffcp -c g4" "$tiffcp"
printf 'sizes: source JPEG %d bytes, cjpeg %d bytes; source Group 4 %d bytes, tiffcp %d bytes\n' \
  "$(stat -c %s "$scratch/codec-letter.jpg")" "$(stat -c %s "$scratch/codec-cjpeg.jpg")" \
  "$(stat -c %s "$scratch/codec-letter-g4.tiff")" "$(stat -c %s "$scratch/codec-tiffcp-g4.tiff")"
