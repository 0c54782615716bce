#!/usr/bin/env bash
# Screenshots of the Win32 window on a fresh simulated PC, taken under Wine in a
# virtual X server: the main window after start-up (win32-main.png), the
# progress window during an upgrade (win32-splash.png) and the message after it
# (win32-done.png), into build/win32/screenshots/. The session program of the
# window's tests drives FlashUpdateSim.exe and stops at each of these moments.
#
# Needs the Windows build and a Wine prefix (WINEPREFIX) with Wine's fonts, as scripts/test.sh
# leaves them. Usage: scripts/screenshots-win32.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/win32}")
sim=$build/frontends/win32/FlashUpdateSim.exe
session=$build/tests/win32gui/win32gui_session.exe
out=$build/screenshots
for tool in wine xvfb-run import; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshots-win32: $tool missing, no screenshots" >&2
    exit 0
  fi
done
if [ ! -f "$sim" ] || [ ! -f "$session" ]; then
  echo "screenshots-win32: build the Windows programs first ($build)" >&2
  exit 1
fi

work=$(mktemp -d /tmp/flashupdate-shots.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/win32-*.png

export FU_SHOTS_SIM=$sim FU_SHOTS_SESSION=$session FU_SHOTS_WORK=$work FU_SHOTS_OUT=$out
# A desktop of Wine's own draws the windows' frames and captions, which a bare
# X server without window manager would leave out.
timeout 300 xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  set -u
  wine explorer /desktop=FlashUpdate,800x600 "$(winepath -w "$FU_SHOTS_SESSION")" \
    "$(winepath -w "$FU_SHOTS_SIM")" "$(winepath -w "$FU_SHOTS_WORK")" >/dev/null 2>&1 &
  desktop=$!
  # Waits until the file exists or the session has ended; at most 90 s.
  wait_for() {
    for _ in $(seq 900); do
      [ -e "$1" ] && return 0
      [ -e "$FU_SHOTS_WORK/result" ] && return 1
      sleep 0.1
    done
    return 1
  }
  for shot in main splash done; do
    if wait_for "$FU_SHOTS_WORK/$shot.ready"; then
      import -window root "$FU_SHOTS_OUT/win32-$shot.png"
      touch "$FU_SHOTS_WORK/$shot.taken"
    fi
  done
  wait_for "$FU_SHOTS_WORK/result" || true
  kill "$desktop" 2>/dev/null || true
  wait "$desktop" 2>/dev/null || true
'
cat "$work/session.log" 2>/dev/null || true
if [ "$(cat "$work/result" 2>/dev/null)" != "0" ]; then
  echo "screenshots-win32: the session with FlashUpdateSim.exe failed" >&2
  exit 1
fi
echo "screenshots-win32: $(ls "$out"/win32-*.png | tr '\n' ' ')"
