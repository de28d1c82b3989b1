#!/bin/sh
# Runs the benchmarks of a Windows build folder under Wine, in that build's
# test prefix, and prints their figures. Each benchmark measures its subject
# and its baseline side by side in its own run and ends with a line
# "ratio NAME VALUE LIMIT"; the summary repeats those lines and marks a value
# above its limit. Figures, not a test: only a benchmark that could not run
# makes the script fail.
#   run-benchmarks.sh BUILD_DIR
set -u
build=${1:?usage: run-benchmarks.sh BUILD_DIR}
status=0
out=$(mktemp "${TMPDIR:-/tmp}/bench.XXXXXX") || exit 1

bench() {  # TIMEOUT PROGRAM ARGS...
  limit=$1; shift
  echo "== $(basename "$1")"
  before=$(grep -c '^ratio ' "$out")
  WINE_RUN_TIMEOUT=$limit "$build/wine-run.sh" "$@" | tr -d '\r' | tee -a "$out"
  [ "$(grep -c '^ratio ' "$out")" -gt "$before" ] || { echo "no figure from $(basename "$1")" >&2; status=1; }
}

# The handler's cycle for one file, against a minimal handler.
bench 300 "$build/bin/scanmenu_handler_cycle_benchmark.exe" 200 7
# The same for the 32-bit DLL, in a 32-bit host (the 32-bit build in x86/).
bench 300 "$build/x86/bin/scanmenu_handler_cycle_benchmark.exe" 200 7
# A context-menu request for 10,000 selected files against its floor.
bench 600 "$build/bin/scanmenu_selection_benchmark.exe" 10000 5
# Register and unregister of the class script against the same calls made directly.
bench 300 "$build/bin/script_interpreter_benchmark.exe" 2000 7
# The catch-up of a missed run, 10 s after the agent's start.
bench 300 "$build/bin/catchup_benchmark.exe" 5
# The idle agent: processor time per minute with only its tick, five minutes.
bench 420 "$build/bin/agent_idle_benchmark.exe" 60 5

echo "== summary"
awk '/^ratio / { mark = ($3 + 0 > $4 + 0) ? "   above its limit" : ""; print $0 mark }' "$out"
rm -f "$out"
tools_dir=$(dirname "$0")
"$tools_dir/wine-prefix.sh" kill "$build/wine-env.sh"
exit $status
