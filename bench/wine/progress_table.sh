#!/usr/bin/env bash
# The progress window against none, in one session: native transfers of a
# 600 dpi colour letter page with the simulated scanner at full speed,
# CAP_INDICATORS TRUE and FALSE alternating; then, with the scanner slowed to
# 4 MB/s, the time from a press of the window's Cancel button to the
# transfer's TWRC_CANCEL.
# Arguments: the 32-bit tree's bin folder, a scratch folder. Needs a display.
set -u
bin=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../tests/wine/run_under_wine.sh
mkdir -p "$scratch"
results=$scratch/progress-results.txt
: >"$results"

run() {  # environment assignment or "", arguments of vorel_progress_bench
  local rate=$1 line
  shift
  line=$(env $rate VOREL_WINE_TIMEOUT=600 "$runner" "$bin/vorel_progress_bench.exe" "$@" 2>"$scratch/progress.err" |
         grep -E '^result ')
  if [ -z "$line" ]; then
    echo "vorel_progress_bench $* failed: $(tail -n 3 "$scratch/progress.err")" >&2
    return 1
  fi
  echo "$line" >>"$results"
}

run "" --mode cost --dpi 600 --region 0,0,2550,3300 --runs 7 || true
run VOREL_SIM_RATE=4000000 --mode cancel --dpi 600 --region 0,0,2550,3300 --runs 14 || true

awk '
function field(line, key,   n, parts, i, kv) {
  n = split(line, parts, " ")
  for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
  return ""
}
field($0, "mode") == "cost" {
  print "progress window: 600 dpi colour letter page, native, scanner at full speed; " field($0, "runs") " runs each, ms"
  printf "  %-28s %10s %10s\n", "", "best", "median"
  printf "  %-28s %10.2f %10.2f\n", "CAP_INDICATORS FALSE", field($0, "without_min_ms"), field($0, "without_median_ms")
  printf "  %-28s %10.2f %10.2f\n", "CAP_INDICATORS TRUE", field($0, "with_min_ms"), field($0, "with_median_ms")
  printf "  %-28s %9.2f%% %9.2f%%  (goal: at most 2%%)\n", "cost of the window", field($0, "cost_of_best_percent"),
         field($0, "cost_percent")
}
field($0, "mode") == "cancel" {
  print "Cancel at VOREL_SIM_RATE=4000000: from the button press (0 to 48 ms after the first count) to TWRC_CANCEL, " field($0, "runs") " presses, ms"
  printf "  %-28s %10.2f\n  %-28s %10.2f  (goal: within 100 ms)\n", "median", field($0, "click_to_cancel_median_ms"),
         "longest", field($0, "click_to_cancel_max_ms")
}' "$results"
