#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (run as root). Packages
# already present are left alone, so a second run takes seconds. Each step is
# one line here; the package manager's output goes to build/install-deps.log,
# whose end is shown when a step fails.
set -euo pipefail

log="$(cd "$(dirname "$0")/.." && pwd)/build/install-deps.log"
mkdir -p "$(dirname "$log")"
: >"$log"
# step TEXT COMMAND...: runs the command with its output in the log.
step() {
  local text=$1
  shift
  echo "install-deps: $text"
  echo "== $text: $*" >>"$log"
  if ! "$@" >>"$log" 2>&1 </dev/null; then
    echo "install-deps: failed: $text. The end of $log:" >&2
    tail -n 25 "$log" >&2
    echo "install-deps: the whole log: $log" >&2
    exit 1
  fi
}

# The archive may be in the middle of a sync ("File has unexpected size"): the
# lists are fetched again after a pause. A list that still fails is left out
# with a line saying so (apt keeps the others); the installation then decides,
# and fails with the log if a package cannot be had without it.
update_lists() {
  local attempt
  for attempt in 1 2 3; do
    apt-get update -q && return 0
    if [ "$attempt" -lt 3 ]; then
      echo "== try $attempt failed; again in 20 s"
      sleep 20
    fi
  done
  echo "install-deps: warning: not every package list could be fetched (see $log); going on with the others" >&2
  return 0
}

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
    step "adding the i386 architecture" dpkg --add-architecture i386
  fi
  step "updating the package lists" update_lists
  updated=true
  step "installing ${#missing[@]} packages (${missing[*]:0:3} ...)" \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "install-deps: all ${#want[@]} packages are installed"
fi

# A kernel that runs no 32-bit programs (Wine's loader fails with status 126,
# "Exec format error") gets the tests' Wine under qemu-i386 (scripts/wine-qemu.sh).
if [ "${1:-}" != "--native-only" ] && ! installed qemu-user; then
  wine_status=0
  wine --version >/dev/null 2>&1 || wine_status=$?
  if [ "$wine_status" -eq 126 ]; then
    $updated || step "updating the package lists" update_lists
    step "installing qemu-user (this kernel runs no 32-bit programs)" \
      apt-get install -y -q --no-install-recommends qemu-user
  fi
fi
