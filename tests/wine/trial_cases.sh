# Cases of a new user's trial, shared by the 32- and 64-bit suites (sourced):
# every path that delivers no image fails in words and writes nothing, and
# an interrupted scan ends at once, leaving the user's file as it was and
# no part files. The caller sets `here`, `out` and the counters `passed`
# and `failed`, and defines winpath.

trial_check() {  # name, condition text (for the failure), log, condition...
  local name=$1 what=$2 log=$3
  shift 3
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED $name: $what"
    cat "$log"
    failed=$((failed + 1))
  fi
}

# A display number no X server serves.
unserved_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo ":$n"
}

# --ui, then the source's window closed by Escape or by its close box: no
# image, so exit 1 in words, no "wrote" and no file.
trial_dialog_closed() {  # name, tool, window lister, escape|close, tool arguments...
  local name=$1 tool=$2 lister=$3 how=$4 file status shown=0 runner
  shift 4
  file=$out/$name.bmp
  rm -f "$file"
  "$here/run_under_wine.sh" "$tool" --ui --out "$(winpath "$file")" "$@" >"$out/$name.log" 2>&1 &
  runner=$!
  for _ in $(seq 300); do
    if "$here/run_under_wine.sh" "$lister" 2>/dev/null | tr -d '\r' | grep -qx "window: Vorel Scanner Source"; then
      shown=1
      break
    fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.2
  done
  "$here/run_under_wine.sh" "$lister" "--$how" "Vorel Scanner Source" >/dev/null 2>&1
  wait "$runner"
  status=$?
  trial_check "$name" "the window shown, then exit 1 (got $status) saying nothing was scanned, and no file" \
    "$out/$name.log" eval '[ $shown = 1 ] && [ $status = 1 ] && [ ! -e "$file" ] &&
      grep -q "nothing was scanned" "$out/$name.log" && ! grep -q "^wrote" "$out/$name.log"'
}

# A DISPLAY on which no X server answers: exit non-zero in words, and no
# file named after the case.
trial_no_display() {  # name, tool, tool arguments (naming $out/NAME...)...
  local name=$1 tool=$2 status
  shift 2
  rm -f "$out/$name".*.tiff "$out/$name".tiff "$out/$name"-*.tiff
  DISPLAY=$(unserved_display) "$here/run_under_wine.sh" "$tool" "$@" >"$out/$name.log" 2>&1
  status=$?
  trial_check "$name" "exit $status, expected a failure saying the display does not answer, and no file" \
    "$out/$name.log" eval '[ $status -ne 0 ] && [ -z "$(ls "$out" | grep "^$name.*\.tiff$")" ] &&
      grep -q "display" "$out/$name.log" && ! grep -q "^wrote" "$out/$name.log"'
}

# ./vorel scan of a slowed scanner, interrupted once its progress window
# counts rows (found by the window lister $trial_lister), or with
# trial_without_window=1 once a part file is there (the source's for a file
# transfer, whose name trial_part may give; a transfer
# the tool cannot cancel, which it ends after a grace period; the part file
# the source held open then goes within 10 s of the end):
# SIGINT to its process group (a terminal's Ctrl-C), or SIGTERM to ./vorel
# alone (kill). It must end well within 10 s (the scan takes over 15 s;
# the time is printed), with 130 or 143, the user's old file as it was and
# no part file of the tool or the source in the folder.
trial_interrupt() {  # name, INT|TERM, ./vorel scan arguments...
  local name=$1 signal=$2 folder runner status start ms expected=130
  shift 2
  [ "$signal" = TERM ] && expected=143
  folder=$out/$name
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "the user's page from yesterday" >"$folder/page.tiff"
  cp "$folder/page.tiff" "$out/$name.old"
  # A command a script starts in the background ignores SIGINT, and a shell
  # cannot take back a signal ignored when it started: ./vorel gets it as
  # it would from a terminal.
  VOREL_SIM_RATE=500000 setsid env --default-signal=INT "$here/../../vorel" scan --out "$folder/page.tiff" "$@" \
    >"$out/$name.log" 2>&1 &
  runner=$!
  for _ in $(seq 300); do
    if [ "${trial_without_window:-0}" = 1 ]; then
      ls -A "$folder" | grep -q "${trial_part:-\.part\$}" && break
    else
      "$here/run_under_wine.sh" "$trial_lister" 2>/dev/null | grep -q "progress: page 1, [1-9]" && break
    fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
  done
  start=$(date +%s%N)
  if [ "$signal" = INT ]; then kill -INT -- "-$runner"; else kill -TERM "$runner"; fi
  wait "$runner"
  status=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  echo "$name: ended $ms ms after SIG$signal"
  if [ "${trial_without_window:-0}" = 1 ]; then
    for _ in $(seq 100); do
      ls -A "$folder" | grep -q '\.part$' || break
      sleep 0.1
    done
  fi
  trial_check "$name" \
    "exit $status after $ms ms (expected $expected within 10 s), the old file kept, no part files: $(ls -A "$folder")" \
    "$out/$name.log" eval '[ $status = $expected ] && [ $ms -lt 10000 ] &&
      cmp -s "$folder/page.tiff" "$out/$name.old" &&
      [ -z "$(ls -A "$folder" | grep "\.part$")" ] && grep -q "interrupted" "$out/$name.log"'
}
