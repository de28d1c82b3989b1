#!/usr/bin/env bash
# make-release.py gives the same zip bytes for the same files whatever their
# times, modes and folder; the zip holds what it should, in its order, and
# its SHA256SUMS (and the .sha256 beside it) check out.
#   release_zip_test.sh PYTHON MAKE-RELEASE WORKDIR
set -euo pipefail
python=$1 script=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
for run in a b; do
  mkdir -p $run/bin $run/src/policies/en-US $run/out
  printf 'MZ program' >$run/bin/scheduler.exe && printf 'MZ library' >$run/bin/Scanmenu.dll
  printf '# Read me\n' >$run/src/README.md
  printf '<policyDefinitions/>' >$run/src/policies/quenor.admx
  printf '<policyDefinitionResources/>' >$run/src/policies/en-US/quenor.adml
done
touch -d '2001-02-03 04:05:06' b/bin/* b/src/README.md && chmod 600 b/bin/scheduler.exe
for run in a b; do
  SOURCE_DATE_EPOCH=1700000000 "$python" "$script" --name Q --version 1.2.3 --binaries $run/bin \
    --source $run/src --output-dir $run/out >/dev/null
done
zip=Q-1.2.3-windows-x64.zip
cmp a/out/$zip b/out/$zip
names=$("$python" -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist())' a/out/$zip)
expected="Q-1.2.3/scheduler.exe Q-1.2.3/Scanmenu.dll Q-1.2.3/README.md Q-1.2.3/policies/quenor.admx"
expected+=" Q-1.2.3/policies/en-US/quenor.adml Q-1.2.3/SHA256SUMS"
[ "$names" = "$expected" ] || { echo "zip holds: $names"; exit 1; }
"$python" -m zipfile -e a/out/$zip x
(cd x/Q-1.2.3 && sha256sum --quiet -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 5 ])
(cd a/out && sha256sum --quiet -c $zip.sha256)
echo "release zip: reproducible, complete and checked"
