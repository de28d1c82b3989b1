#!/usr/bin/env bash
# Applies the project's format (.clang-format) to every C++ source the
# repository tracks, or with --check lists the files that differ from it and
# fails.
#   tools/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cc' '*.h' '*.cpp')
[ ${#files[@]} -gt 0 ] || { echo "format: no sources found (not a git checkout?)" >&2; exit 2; }
if [ "${1:-}" = --check ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files follow .clang-format"
else
  clang-format -i "${files[@]}"
fi
