#!/usr/bin/env bash
# Takes the picture of Scanmenu.dll's item in a real context menu: the host
# program shows the menu, Wine's X11 driver draws it on a virtual X server,
# and ImageMagick takes the region the host names while the menu is open.
#   take-screenshot.sh BUILD_DIR OUTPUT.png
# BUILD_DIR is the Windows build (its bin/ and wine-env.sh). Wine runs in a
# throwaway prefix of its own, BUILD_DIR/screenshot/wineprefix; the X server
# and every Wine process of that prefix are ended again, whatever happens.
# SCREENSHOT_WINDOWS_VERSION (a Wine version name such as winxp64) makes Wine
# report that Windows version instead of its own default. SCREENSHOT_LANG (a
# locale such as de_DE) shows the menu in that display language; the locale
# is made from the host's locale sources for the run.
set -euo pipefail
trap 'exit 130' INT TERM

build=$(cd "$1" && pwd)
output=$2
tools=$(cd "$(dirname "$0")/.." && pwd)
work="$build/screenshot"
host="$build/bin/context_menu_picture.exe"
envfile="$work/wine-env.sh"
[ -f "$host" ] || { echo "take-screenshot: $host is missing: build it first" >&2; exit 1; }

xvfb=""
cleanup() {
  if [ -f "$envfile" ]; then "$tools/wine-prefix.sh" kill "$envfile"; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT

# A run that was cut short may have left its prefix's processes behind.
if [ -f "$envfile" ]; then "$tools/wine-prefix.sh" kill "$envfile"; fi
rm -rf "$work"
mkdir -p "$work"

# True once FILE has content; false when PROCESS ended or SECONDS passed first.
wait_for_file() {  # FILE PROCESS SECONDS
  for _ in $(seq $(($3 * 10))); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$1" ]
}

# The X server picks a free display number itself and tells it on fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_for_file "$work/display" "$xvfb" 10 \
  || { echo "take-screenshot: Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
display=":$(head -n 1 "$work/display")"
echo "take-screenshot: virtual X server on $display"

# The build's Wine settings, with this prefix, that display and X11 drawing.
cat >"$envfile" <<ENV
. '$build/wine-env.sh'
export WINEPREFIX='$work/wineprefix'
export DISPLAY='$display'
export WINE_GRAPHICS_DRIVER=x11
ENV
if [ -n "${SCREENSHOT_LANG:-}" ]; then
  mkdir -p "$work/locales"
  localedef -i "$SCREENSHOT_LANG" -f UTF-8 "$work/locales/$SCREENSHOT_LANG.UTF-8" >/dev/null 2>&1 \
    || { echo "take-screenshot: localedef could not make $SCREENSHOT_LANG.UTF-8" >&2; exit 1; }
  printf "export LOCPATH='%s' LANG='%s'\n" "$work/locales" "$SCREENSHOT_LANG.UTF-8" >>"$envfile"
fi
"$tools/wine-prefix.sh" create "$envfile"
. "$envfile"
setting() {  # KEY NAME TEXT
  timeout -k 5 60 "$WINE64" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1 \
    || { echo "take-screenshot: could not set $1\\$2" >&2; exit 1; }
}
# One virtual desktop window, in which Wine draws every window's frame and
# title itself, as there is no window manager to do it.
setting 'HKCU\Software\Wine\Explorer' Desktop Default
setting 'HKCU\Software\Wine\Explorer\Desktops' Default 800x600
# The Windows version Wine reports, when asked for one: from Vista on the
# item carries a bitmap that the menu draws, before it the handler draws it.
if [ -n "${SCREENSHOT_WINDOWS_VERSION:-}" ]; then
  setting 'HKCU\Software\Wine' Version "$SCREENSHOT_WINDOWS_VERSION"
fi
# The desktop process that is running already has none of this: end it.
timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 || true

# Wine's drive Z: is the root of the file system.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
ready="$work/menu-ready"
close="$work/menu-close"
timeout -k 10 240 "$WINE64" "$host" "$(windows_path "$ready")" "$(windows_path "$close")" \
  </dev/null >"$work/host.log" 2>&1 &
running=$!
status=1
if wait_for_file "$ready" "$running" 180; then
  region=$(head -n 1 "$ready")
  mkdir -p "$(dirname "$output")"
  if timeout -k 5 60 import -display "$display" -window root -crop "$region" +repage -strip "$output"; then
    status=0
  fi
fi
touch "$close"
host_status=0
wait "$running" || host_status=$?
cat "$work/host.log"
if [ $status -ne 0 ] || [ $host_status -ne 0 ]; then
  echo "take-screenshot: no picture (host exit code $host_status)" >&2
  exit 1
fi
echo "take-screenshot: $output (${region%%+*} pixels)"
