#!/bin/sh
# Runs one libFuzzer target for FUZZ_SECONDS (default 60), or for FUZZ_RUNS
# executions when that is set, over its corpus in the repository. New
# interesting inputs are added to DIR/corpus; an input that makes it fail is
# written to DIR/crashes and fails the run.
set -eu
target=$1
dir=$2
seconds=${FUZZ_SECONDS:-60}
limit=-max_total_time=$seconds
[ -n "${FUZZ_RUNS:-}" ] && limit=-runs=$FUZZ_RUNS
mkdir -p "$dir/corpus" "$dir/crashes"
exec "$target" "$limit" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$dir/crashes/" "$dir/corpus"
