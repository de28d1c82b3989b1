#!/bin/sh
# The display language of the process picks Scanmenu.dll's texts: Wine takes
# it from the locale (LANG), so each run gets its own. Three translated
# languages; Canadian French and European Portuguese, which get the texts of
# their neutral language (French and Portuguese); and Swedish, which has no
# translation and gets English.
#   display_language_test.sh BUILD_DIR
# The locales are made from the host's locale sources into BUILD_DIR/locales,
# which LOCPATH names: the host need not have them installed.
set -u
build=$1
export LOCPATH="$build/locales"
mkdir -p "$LOCPATH"
status=0
for run in de_DE:0407 fr_FR:040c ja_JP:0411 fr_CA:000c pt_PT:0016 sv_SE:0409; do
  locale=${run%%:*}
  if [ ! -d "$LOCPATH/$locale.UTF-8" ]; then
    localedef -i "$locale" -f UTF-8 "$LOCPATH/$locale.UTF-8" >/dev/null 2>&1 \
      || { echo "display_language_test: localedef could not make $locale.UTF-8 (package locales)"; exit 1; }
  fi
  echo "== LANG=$locale.UTF-8"
  QC_WINE_LANG="$locale.UTF-8" "$build/wine-run.sh" "$build/bin/display_language_probe.exe" "${run#*:}" || status=1
done
exit $status
