#!/usr/bin/env bash
# tools.make_release gives the same zip bytes for the same files whatever their
# times, modes and folder; it holds the binaries, README, the guides' pages
# with their picture and the policy templates, each in its SHA256SUMS.
#   release_zip_test.sh WORKDIR
set -euo pipefail
work=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work"
for run in a b; do
  mkdir -p $run/bin $run/src/policies/en-US $run/src/docs $run/out
  for f in bin/scheduler.exe bin/Scanmenu.dll src/docs/release-readme.txt src/policies/q.admx \
           src/policies/en-US/q.adml src/docs/pic.png; do
    echo "$f" >$run/$f
  done
  for guide in packagers packagers-quick-card administrators reference; do
    printf '# %s\n\n![a picture](pic.png)\n' $guide >$run/src/docs/$guide.md
  done
done
touch -d '2001-02-03 04:05:06' b/bin/* b/src/docs/* && chmod 600 b/bin/scheduler.exe
for run in a b; do
  SOURCE_DATE_EPOCH=1700000000 PYTHONPATH=$root python3 -B -m tools.make_release --name Q --version 1.2.3 --binaries $run/bin \
    --source $run/src --output-dir $run/out >/dev/null
done
cmp a/out/Q-1.2.3-windows-x64.zip b/out/Q-1.2.3-windows-x64.zip
python3 -m zipfile -e a/out/Q-1.2.3-windows-x64.zip x
(cd x/Q-1.2.3 && sha256sum --quiet -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 10 ] && [ "$(find . -type f | wc -l)" -eq 11 ] &&
  grep -q 'src="pic.png"' docs/packagers.html && [ -f docs/pic.png ])
(cd a/out && sha256sum --quiet -c Q-1.2.3-windows-x64.zip.sha256)
