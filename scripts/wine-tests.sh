#!/usr/bin/env bash
# Runs the Windows build's tests under Wine in a throwaway prefix on a virtual
# X server, then takes the screenshots of both window programs. Arguments go to
# ctest (e.g. -R win32gui); with any, only those tests run, without screenshots.
# Needs the Windows build (cmake --preset win32) and the native one for the Qt
# screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

# A throwaway prefix; the services Wine starts are started here, with their
# output away from ctest's pipes, so that ctest neither waits on them nor hangs.
WINEPREFIX="$(mktemp -d /tmp/flashupdate-wine.XXXXXX)/prefix"
export WINEPREFIX WINEDEBUG=-all,err+module WINEDLLOVERRIDES="mscoree,mshtml="
# Wine maps Windows file names to host names in the locale's character set: with
# none set it cannot name "Prüfstand" on the host. C.UTF-8 is on every Debian 12.
export LANG=C.UTF-8
unset LC_ALL
# Wine binds the prefix's desktop to the display it first sees, so the window
# tests need the prefix started on one: a virtual X server for the whole block.
# Xvfb picks a free display itself and names it; a display number free in this
# /tmp may still be taken through the abstract socket by another root's server.
displayfile=$(mktemp /tmp/flashupdate-display.XXXXXX)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$displayfile")"
rm -f "$displayfile"
if [ "$DISPLAY" = ":" ]; then
  echo "wine-tests: the virtual X server did not start" >&2
  exit 1
fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
  rm -rf "$(dirname "$WINEPREFIX")"
}
trap cleanup EXIT
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
# Wine's own fonts, from fonts-wine, into the prefix: "MS Sans Serif" for the
# windows' design font, Marlett for the symbols of the caption buttons, Tahoma.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/{sserife.fon,marlett.ttf,tahoma.ttf,tahomabd.ttf} "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -p </dev/null >/dev/null 2>&1
wineboot </dev/null >/dev/null 2>&1
ctest --preset win32 -j "$(nproc)" "$@"

# Screenshots of the windows, into the build folders, for anyone to look at.
if [ $# -eq 0 ]; then
  bash scripts/screenshots-win32.sh
  bash scripts/screenshots-qt.sh
fi
