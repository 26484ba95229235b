#!/usr/bin/env bash
# The transfer table: every mechanism of the real source under Wine at 300
# and 600 dpi beside the scanner library's own read of the same bytes, the
# peak memory each needs, a native transfer taken apart, the cost per
# megapixel from 75 to 1200 dpi, and a TIFF page beside SANE's scanimage
# with its test backend. Every figure comes from this one run; each is the
# best of several runs inside one process.
# Arguments: the folder of the built Windows programs, a scratch folder.
# Needs a display (xvfb-run) and WINEPREFIX; scanimage is optional.
set -u
bin=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../tests/wine/run_under_wine.sh
mkdir -p "$scratch"
results=$scratch/results.txt
: >"$results"
out_file="Z:${scratch//\//\\}\\transfer.out"
letter=0,0,2550,3300

bench() {  # file to add the result to, arguments of vorel_transfer_bench
  local into=$1 line
  shift
  line=$(VOREL_WINE_TIMEOUT=600 "$runner" "$bin/vorel_transfer_bench.exe" --out "$out_file" "$@" 2>"$scratch/last.err" |
         grep -E '^(result|breakdown) ')
  if [ -z "$line" ]; then
    echo "vorel_transfer_bench $* failed: $(tail -n 3 "$scratch/last.err")" >&2
    return 1
  fi
  printf '%s\n' "$line" >>"$into"
}

runs_for() {  # dpi: small pages get more runs
  case $1 in 75) echo 25 ;; 150) echo 15 ;; 1200) echo 5 ;; *) echo 9 ;; esac
}

for dpi in 75 150 300 600 1200; do
  runs=$(runs_for "$dpi")
  for mode in raw-rgb raw-bgr native memory tiff bmp; do
    bench "$results" --mode "$mode" --dpi "$dpi" --region "$letter" --runs "$runs" || true
  done
done
bench "$results" --mode breakdown --dpi 600 --region "$letter" --runs 9 || true

# 200 x 200 mm at 300 dpi: 2362 x 2362 pixels, as scanimage makes it, in
# batches of 10 pages (CAP_XFERCOUNT), each page a file of its own.
square=0,0,2362,2362
: >"$scratch/square.txt"
bench "$scratch/square.txt" --mode tiff --dpi 300 --region "$square" --pages 10 --runs 3 || true
square_line=$(cat "$scratch/square.txt")
sane_ms=""
if command -v scanimage >/dev/null 2>&1; then
  sane_config=$scratch/sane
  mkdir -p "$sane_config" "$scratch/sane-pages"
  echo test >"$sane_config/dll.conf"
  best=""
  for run in 1 2 3 4 5 6; do
    rm -f "$scratch"/sane-pages/*
    start=$(date +%s%N)
    SANE_CONFIG_DIR=$sane_config scanimage -d test --mode Color --resolution 300 -l 0 -t 0 -x 200 -y 200 \
      --format=tiff --batch="$scratch/sane-pages/page%d.tif" --batch-count=10 >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 10 ))  # per page, in nanoseconds / 1000000 below
    [ "$run" -eq 1 ] && continue   # warm-up
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  pages=$(ls "$scratch"/sane-pages/*.tif 2>/dev/null | wc -l)
  [ "$pages" -eq 10 ] && sane_ms=$(awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e6 }')
  rm -rf "$scratch/sane-pages"
fi

awk -v square="$square_line" -v sane_ms="$sane_ms" '
function field(line, key,   n, parts, i, kv) {
  n = split(line, parts, " ")
  for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
  return ""
}
function mib(kib) { return sprintf("%.1f", kib / 1024) }
$1 == "result" {
  key = field($0, "mode") "@" field($0, "dpi")
  ms[key] = field($0, "min_ms"); med[key] = field($0, "median_ms"); bytes[key] = field($0, "bytes")
  px[key] = field($0, "width") * field($0, "lines")
  extra[key] = field($0, "peak_kib") - field($0, "idle_kib")
  raw[key] = field($0, "raw_min_ms")
}
$1 == "breakdown" { part[field($0, "part")] = field($0, "min_ms"); partBytes = field($0, "bytes") }
END {
  split("native memory tiff bmp", modes, " ")
  name["native"] = "native DIB"; name["memory"] = "memory strips"; name["tiff"] = "TIFF file"; name["bmp"] = "BMP file"
  goal["native"] = 1.30; goal["memory"] = 1.05; goal["tiff"] = 1.15; goal["bmp"] = 1.15

  print "Colour letter page (8.5 x 11 in) under Wine; times inside the process, best of several runs."
  print "raw: the scanner library reading the same bytes (same order) into one warm buffer, in the same"
  print "process, its runs alternating with the transfer runs. peak+: resident memory above the idle source."
  printf "%-14s %5s %7s %9s %9s %8s %7s %6s %10s %9s\n", "transfer", "dpi", "MB", "best ms", "median", "raw ms", "x raw", "goal", "peak+ MiB", "mem goal"
  for (d = 300; d <= 600; d += 300) {
    for (m = 1; m <= 4; m++) {
      k = modes[m] "@" d
      if (!(k in ms)) continue
      ratio = raw[k] > 0 ? sprintf("%.2f", ms[k] / raw[k]) : "-"
      memGoal = modes[m] == "native" ? mib(bytes[k] / 1024 + 1024) : "2.0"
      printf "%-14s %5d %7.1f %9.2f %9.2f %8.2f %7s %6s %10s %9s\n", name[modes[m]], d, bytes[k] / 1e6, ms[k], med[k], raw[k], ratio, sprintf("%.2f", goal[modes[m]]), mib(extra[k]), memGoal
    }
  }
  print ""
  print "Scanner render rate (raw read into a warm buffer), GB/s:"
  line = ""
  for (d = 75; d <= 1200; d *= 2) {
    k = "raw-rgb@" d; kb = "raw-bgr@" d
    if (k in ms) line = line sprintf("  %d dpi %.2f (BGR %.2f)", d, bytes[k] / ms[k] / 1e6, (kb in ms) ? bytes[kb] / ms[kb] / 1e6 : 0)
  }
  print line "   goal >= 3"
  print ""
  if (partBytes != "") {
    printf "Native transfer taken apart, 600 dpi (%.1f MB), best ms:\n", partBytes / 1e6
    printf "  %-58s %8s\n", "native transfer (from the table)", ms["native@600"]
    printf "  %-58s %8s\n", "scanner read, BGR, into a warm buffer", part["scanner-read-warm-buffer"]
    printf "  %-58s %8s\n", "scanner read, BGR, into a fresh global block", part["scanner-read-fresh-block"]
    printf "  %-58s %8s\n", "allocate (zero-init) and free, pages untouched", part["alloc-zeroinit-untouched"]
    printf "  %-58s %8s\n", "allocate, first touch of every page (page faults)", part["alloc-touch-every-page"]
    printf "  %-58s %8s\n", "allocate zero-init, first touch of every page", part["alloc-zeroinit-touch-every-page"]
    printf "  %-58s %8s\n", "allocate and zero-fill the whole block", part["alloc-memset-whole"]
    printf "  %-58s %8s\n", "copy the page through a 64000-byte block (warm target)", part["copy-through-64000-into-warm"]
    printf "  %-58s %8s\n", "two VirtualQuery calls per 61200-byte memory strip", part["virtualquery-two-per-strip"]
    printf "  %-58s %8s\n", "write the page to a new file, 60000-byte writes", part["file-write-new-60000"]
    printf "  %-58s %8s\n", "write the page to a new file, 960000-byte writes", part["file-write-new-960000"]
    if (part["scanner-read-fresh-block"] > 0)
      printf "  native transfer / scanner read into a fresh block: %.2f\n", ms["native@600"] / part["scanner-read-fresh-block"]
    print ""
  }
  print "Cost per megapixel, ms/MP (x the 300 dpi figure; goal within 1.30):"
  printf "%-22s", "transfer"
  for (d = 75; d <= 1200; d *= 2) printf " %16s", d " dpi"
  print ""
  split("raw-rgb native memory tiff bmp", lin, " ")
  name["raw-rgb"] = "scanner read RGB"
  for (m = 1; m <= 5; m++) {
    printf "%-22s", name[lin[m]]
    base = lin[m] "@300"
    for (d = 75; d <= 1200; d *= 2) {
      k = lin[m] "@" d
      if (k in ms && px[k] > 0 && base in ms) {
        per = ms[k] / (px[k] / 1e6); basePer = ms[base] / (px[base] / 1e6)
        printf " %16s", sprintf("%.3f (%.2f)", per, per / basePer)
      } else printf " %16s", "-"
    }
    print ""
  }
  print ""
  sq = field(square, "median_ms")
  printf "TIFF page 200 x 200 mm, 300 dpi colour (%.1f MB), batches of 10: this source %s ms per page (median, best %s)", field(square, "bytes") / 1e6, sq, field(square, "min_ms")
  if (sane_ms != "") printf "; scanimage -d test %s ms per page in a batch of 10 (start-up included); ratio %.2f (goal <= 1.00)\n", sane_ms, sq / sane_ms
  else print "; scanimage not available"
}' "$results"
