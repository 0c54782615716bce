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

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for p in "${want[@]}"; do
  installed "$p" || missing+=("$p")
done

export DEBIAN_FRONTEND=noninteractive
updated=false
if [ ${#missing[@]} -gt 0 ]; then
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  updated=true
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A kernel that runs no 32-bit programs (Wine's loader fails with status 126,
# "Exec format error") gets the tests' Wine under qemu-i386 (scripts/wine-qemu.sh).
if [ "${1:-}" != "--native-only" ] && ! installed qemu-user; then
  wine_status=0
  wine --version >/dev/null 2>&1 || wine_status=$?
  if [ "$wine_status" -eq 126 ]; then
    $updated || apt-get update -q
    apt-get install -y -q --no-install-recommends qemu-user
  fi
fi
