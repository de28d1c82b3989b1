#!/bin/sh
# Runs one Windows test program in a Wine prefix of its own, made before it
# and ended after it, so that it can run beside the tests of the shared one.
#   wine-own-prefix.sh ENVFILE SECONDS PROGRAM [ARGUMENT...]
# The prefix takes about 15 s to make; the program gets what is left of SECONDS.
set -u
env_file=$1
limit=$2
shift 2
tools=$(dirname "$0")
start=$(date +%s)
. "$env_file"
# Ended and removed on every way out; the shared prefix is left alone.
cleanup() {
  "$tools/wine-prefix.sh" kill "$env_file"
  case "$WINEPREFIX" in */wineprefix) rm -rf "$WINEPREFIX" ;; esac
}
trap cleanup EXIT
trap 'exit 143' INT TERM
"$tools/wine-prefix.sh" create "$env_file" >/dev/null || exit 1
left=$((limit - ($(date +%s) - start) - 20))
out=$(mktemp "${TMPDIR:-/tmp}/wine-own-prefix.XXXXXX") || exit 1
timeout -k 10 "$left" "$WINE64" "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
[ $rc -eq 124 ] && echo "wine-own-prefix: timed out after $left s: $*" >&2
exit $rc
