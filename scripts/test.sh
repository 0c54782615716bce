#!/usr/bin/env bash
# Builds everything (Linux and the Windows cross build) and runs every test: the
# native tests directly, the Windows tests under Wine. Run as root on a fresh
# Debian 12 machine: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
echo "== native build"
cmake --preset native -DFU_WERROR=ON
cmake --build --preset native -j "$jobs"
echo "== native tests"
ctest --preset native -j "$jobs"

echo "== benchmarks"
build/native/bench/record_bench --benchmark_min_time=0.05
build/native/bench/flash_bench --benchmark_min_time=0.2
build/native/bench/app_bench

echo "== sanitizers"
bash scripts/sanitizers.sh

echo "== fuzzing"
bash scripts/fuzz.sh

echo "== windows build"
cmake --preset win32 -DFU_WERROR=ON
cmake --build --preset win32 -j "$jobs"

echo "== windows tests under Wine"
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
display=90
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
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
ctest --preset win32 -j "$jobs"

# Screenshots of the windows, into the build folders, for anyone to look at.
for shots in scripts/screenshots-*.sh; do
  [ -f "$shots" ] && bash "$shots"
done
