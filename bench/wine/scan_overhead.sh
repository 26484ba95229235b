#!/usr/bin/env bash
# What ./vorel scan adds to a scan: a 150 dpi colour page (the whole bed,
# a TIFF file) straight under Wine on a display that is already there,
# against ./vorel scan with no display (it brings its own) and with one.
# Each figure is the best of 7 runs in a row, after one run to warm up.
# Arguments: the repository, the folder of the built Windows programs, a
# scratch folder.
set -u
root=$1
bin=$2
scratch=$3
mkdir -p "$scratch"
export WINEPREFIX=$root/build/win32/wineprefix
page=$scratch/scan-overhead.tiff
wine_page="Z:${page//\//\\}"

best_of() {  # command...: the best wall time of 7 runs in ms
  local best="" start ms run
  "$@" >/dev/null 2>&1
  for run in 1 2 3 4 5 6 7; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
# xvfb-run's shell drops exported functions: the function travels as text.
define=$(declare -f best_of)

direct=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  "$define"'; best_of "$0/tests/wine/run_under_wine.sh" "$1/vorelscan.exe" --out "$2" --dpi 150; wineserver -k' \
  "$root" "$bin" "$wine_page")
with_display=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  "$define"'; best_of "$0/vorel" scan --out "$1" --dpi 150; wineserver -k' "$root" "$page")
without=$(env -u DISPLAY bash -c "$define"'; best_of "$0/vorel" scan --out "$1" --dpi 150' "$root" "$page")
rm -f "$page"
awk -v d="$direct" -v w="$with_display" -v n="$without" 'BEGIN {
  printf "a 150 dpi page straight under Wine: %d ms\n", d
  printf "./vorel scan with a display:        %d ms (%.2fx)\n", w, w / d
  printf "./vorel scan without a display:     %d ms (%.2fx)\n", n, n / d
}'
