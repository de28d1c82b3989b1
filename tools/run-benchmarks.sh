#!/bin/sh
# Runs the benchmarks of a Windows build folder under Wine, in that build's
# test prefix, and prints their figures.
#   run-benchmarks.sh BUILD_DIR
set -u
build=${1:?usage: run-benchmarks.sh BUILD_DIR}
status=0

# The idle agent: processor time over a minute with only its tick.
WINE_RUN_TIMEOUT=120 "$build/wine-run.sh" "$build/bin/agent_idle_benchmark.exe" 60 || status=1

# A context-menu request for 10,000 selected files, five rounds.
WINE_RUN_TIMEOUT=300 "$build/wine-run.sh" "$build/bin/scanmenu_selection_benchmark.exe" 10000 5 || status=1

tools_dir=$(dirname "$0")
"$tools_dir/wine-prefix.sh" kill "$build/wine-env.sh"
exit $status
