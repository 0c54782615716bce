#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (run as root). Packages
# already present are left alone, so a second run takes seconds.
set -euo pipefail

native=(g++ cmake ninja-build googletest libgtest-dev libbenchmark-dev clang-format nlohmann-json3-dev
        qt6-base-dev xvfb xauth x11-apps imagemagick clang clang-14 libclang-rt-14-dev
        fonts-dejavu-core fonts-dejavu-extra)
windows=(g++-mingw-w64-i686-posix wine wine32:i386 fonts-wine)

want=("${native[@]}")
if [ "${1:-}" != "--native-only" ]; then
  want+=("${windows[@]}")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
