#!/usr/bin/env bash
# Screenshots of the Linux window: the main window after start-up on a fresh
# simulated PC, and the progress window while block 2 is written. They land in
# build/native/screenshots/ (or the folder named by $1, for another build folder).
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build/native}"
program="$build/frontends/qt/flashupdate"
shots="$build/screenshots"
if [ ! -x "$program" ]; then
  echo "screenshots-qt: $program is missing; build first" >&2
  exit 1
fi
mkdir -p "$shots"
pc="$(mktemp -d /tmp/flashupdate-shots.XXXXXX)"
trap 'rm -rf "$pc"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$pc/runtime}"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

rm -f "$shots/qt-main.png" "$shots/qt-splash.png"
timeout 60 "$program" --machine "$pc/pc" --grab "$shots/qt-main.png"
timeout 60 "$program" --grab-splash "$shots/qt-splash.png"

for shot in "$shots/qt-main.png" "$shots/qt-splash.png"; do
  if [ ! -s "$shot" ]; then
    echo "screenshots-qt: $shot was not written" >&2
    exit 1
  fi
  echo "screenshot: $shot"
done
