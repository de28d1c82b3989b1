#!/bin/sh
# Creates or ends the throwaway Wine prefix of a build folder.
#   wine-prefix.sh create ENVFILE   make a fresh prefix and keep one wineserver warm
#                                   (graphics driver: $WINE_GRAPHICS_DRIVER, else null)
#   wine-prefix.sh kill ENVFILE     end every Wine process of that prefix
set -u
action=$1
. "$2"
# Headless unless the environment file asks for a display's driver.
graphics=${WINE_GRAPHICS_DRIVER:-null}

case "$WINEPREFIX" in
  */wineprefix) ;;
  *) echo "wine-prefix: refusing to touch $WINEPREFIX (not a test prefix)" >&2; exit 2 ;;
esac

kill_prefix() {
  if [ -d "$WINEPREFIX" ]; then
    timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1
    timeout -k 5 30 "$WINESERVER" -w >/dev/null 2>&1
  fi
  return 0
}

case "$action" in
  create)
    kill_prefix
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    if ! timeout -k 10 300 "$WINE64" wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1; then
      echo "wine-prefix: wineboot failed:" >&2; cat "$WINEPREFIX/wineboot.log" >&2
      kill_prefix; exit 1
    fi
    timeout -k 5 60 "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1 \
      || { echo "wine-prefix: could not select the $graphics graphics driver" >&2; kill_prefix; exit 1; }
    # Let the boot's processes settle, then keep one persistent server warm
    # for the rest of the run.
    timeout -k 5 60 "$WINESERVER" -w >/dev/null 2>&1 || timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1
    # Its output must not hold the caller's pipes open.
    timeout -k 5 30 "$WINESERVER" -p </dev/null >/dev/null 2>&1 \
      || { echo "wine-prefix: wineserver failed to start" >&2; exit 1; }
    echo "wine-prefix: ready at $WINEPREFIX"
    ;;
  kill)
    kill_prefix
    ;;
  *)
    echo "usage: wine-prefix.sh create|kill ENVFILE" >&2; exit 2 ;;
esac
