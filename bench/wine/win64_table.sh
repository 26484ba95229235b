#!/usr/bin/env bash
# The 64-bit source beside the 32-bit one, in one prefix that runs both: a
# 600 dpi colour letter page by native, memory and TIFF file transfer, and
# MSG_OPENDS (the 64-bit one starts its helper), with the helper's resident
# memory. Each figure is the best of several runs inside one process, and
# of rounds in which the two sources' runs alternate. Each ratio is given
# twice: of the two best figures, and the median of the rounds' own ratios.
# The machine's speed drifts by a factor of two from one minute to the
# next, and one lucky run of either source moves the first; the rounds pair
# runs made close together, so the goals are judged on the second.
# Arguments: the 64-bit tree's bin folder, the 32-bit tree's, a scratch folder.
# Needs a display (xvfb-run) and WINEPREFIX (a prefix without WINEARCH=win32).
set -u
bin64=$1
bin32=$2
scratch=$3
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../tests/wine/run_under_wine.sh
export VOREL_WINEARCH=win64
mkdir -p "$scratch"
results=$scratch/win64-results.txt
: >"$results"
out_file="Z:${scratch//\//\\}\\transfer64.out"

bench() {  # bits, arguments of vorel_transfer_bench
  local bits=$1 bin=$bin32 line
  shift
  [ "$bits" = 64 ] && bin=$bin64
  line=$(VOREL_WINE_TIMEOUT=600 "$runner" "$bin/vorel_transfer_bench.exe" --out "$out_file" "$@" 2>"$scratch/last.err" |
         grep -E '^result ')
  if [ -z "$line" ]; then
    echo "vorel_transfer_bench ($bits-bit) $* failed: $(tail -n 3 "$scratch/last.err")" >&2
    return 1
  fi
  printf 'round=%s bits=%s %s\n' "$round" "$bits" "$line" >>"$results"
}

# Rounds of both sources one after the other, so that a spell of load on
# the machine falls on both; each figure is the best of all rounds.
for round in 1 2 3 4 5; do
  for mode in native memory tiff; do
    for bits in 32 64; do
      bench "$bits" --mode "$mode" --dpi 600 --region 0,0,2550,3300 --runs 5 || true
    done
  done
  for bits in 32 64; do
    bench "$bits" --mode open --runs 9 --warmup 2 || true
  done
done

awk '
function field(line, key,   n, parts, i, kv) {
  n = split(line, parts, " ")
  for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
  return ""
}
function median(list,   n, parts, i, j, t) {
  n = split(list, parts, " ")
  for (i = 2; i <= n; i++) for (j = i; j > 1 && parts[j] + 0 < parts[j - 1] + 0; j--) {
    t = parts[j]; parts[j] = parts[j - 1]; parts[j - 1] = t
  }
  return n % 2 ? parts[(n + 1) / 2] : (parts[n / 2] + parts[n / 2 + 1]) / 2
}
{
  key = field($0, "mode") "@" field($0, "bits")
  if (!(key in ms) || field($0, "min_ms") + 0 < ms[key]) ms[key] = field($0, "min_ms") + 0
  inRound[key "#" field($0, "round")] = field($0, "min_ms") + 0
  if (field($0, "helper_peak_kib") != "" && field($0, "helper_peak_kib") + 0 > helperPeak[key]) {
    helper[key] = field($0, "helper_kib"); helperPeak[key] = field($0, "helper_peak_kib") + 0
  }
}
END {
  print "64-bit source (helper process) beside the 32-bit source, one 64-bit prefix; best of several runs, ms."
  print "x 32: the ratio of the two best figures; paired: the median of the ratio in each round, which the goals judge."
  printf "%-22s %10s %10s %8s %8s %6s %8s %18s\n", "", "32-bit", "64-bit", "x 32", "paired", "goal", "",
         "helper MiB"
  split("native memory tiff open", modes, " ")
  name["native"] = "native DIB 600 dpi"; name["memory"] = "memory strips 600 dpi"; name["tiff"] = "TIFF file 600 dpi"
  name["open"] = "MSG_OPENDS + close"
  goal["native"] = "1.15"; goal["memory"] = "1.15"; goal["tiff"] = "1.15"; goal["open"] = "2.00"
  peak = 0
  for (m = 1; m <= 4; m++) {
    a = modes[m] "@32"; b = modes[m] "@64"
    if (!(a in ms) || !(b in ms)) { printf "%-22s %s\n", name[modes[m]], "-"; continue }
    mem = (b in helper) ? sprintf("%.1f (peak %.1f)", helper[b] / 1024, helperPeak[b] / 1024) : "-"
    if ((b in helperPeak) && helperPeak[b] > peak) peak = helperPeak[b]
    # The median of the rounds in which both sources gave a figure.
    ratios = ""
    for (r = 1; r <= 5; r++) if ((a "#" r) in inRound && (b "#" r) in inRound && inRound[a "#" r] > 0) {
      ratios = ratios " " inRound[b "#" r] / inRound[a "#" r]
    }
    paired = median(ratios)
    printf "%-22s %10.2f %10.2f %8.2f %8.2f %6s %8s %18s\n", name[modes[m]], ms[a], ms[b], ms[b] / ms[a], paired,
           goal[modes[m]], paired <= goal[modes[m]] ? "met" : "not met", mem
  }
  # The section is 4 MiB; every page of it the ring uses is resident in the helper.
  if (peak > 0) printf "helper peak %.1f MiB: %s (goal: under 8 MiB plus the 4 MiB section)\n", peak / 1024,
                       peak < 12 * 1024 ? "met" : "not met"
}' "$results"
