#!/usr/bin/env bash
# Runs commands the way a new user would: as root on a fresh Debian 12 machine
# with nothing preinstalled and no locale set. Builds a minimal Debian 12 root
# (debootstrap, minbase) in a temporary folder, puts a clean clone of this
# checkout's HEAD into it, and runs each COMMAND there from the clone, with an
# empty environment apart from HOME, PATH and TERM. Every command runs, even
# after one has failed; the exit status is non-zero when any failed.
#
# Only the host's downloaded package files (/var/cache/apt/archives), its
# Debian package sources and their lists are shared, to save downloads. The mounts are undone
# and the root removed on every exit, also on failure and interruption.
#
# Usage: scripts/fresh-root.sh [--screenshots DIR] COMMAND...
#   e.g. scripts/fresh-root.sh "bash scripts/demo.sh" "bash scripts/test.sh"
#   --screenshots DIR  copies the screenshots the commands took (build/*/screenshots/)
#                      into DIR before the root is removed
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

shots_out=
if [ "${1:-}" = "--screenshots" ]; then
  shots_out=$(realpath -m "${2:?--screenshots needs a folder}")
  shift 2
fi
if [ $# -eq 0 ]; then
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 3
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-root: needs root (debootstrap, chroot, mount)" >&2
  exit 3
fi

if ! command -v debootstrap >/dev/null; then
  echo "== installing debootstrap on the host"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null
fi

work=$(mktemp -d /var/tmp/fresh-root.XXXXXX)
root=$work/root
cache=/var/cache/apt/archives

# Lists the mount points at or below the root, deepest first.
mounts_below_root() {
  awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  # Processes still running inside the root (Wine's server, a virtual X server)
  # would keep its mounts busy.
  local pid
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null
  done
  local point
  for point in $(mounts_below_root); do
    umount "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true
  done
  if [ -n "$(mounts_below_root)" ]; then
    echo "fresh-root: mounts left under $root, not removing it:" >&2
    mounts_below_root >&2
    exit 1
  fi
  rm -rf --one-file-system "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The host's Debian mirror, so the root installs from where the host does.
mirror=$(
  {
    cat /etc/apt/sources.list 2>/dev/null
    cat /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null
  } 2>/dev/null | awk '
    /^deb[ \t]/ && $3 == "bookworm" { print $2; exit }
    /^URIs:/ { uri = $2 }
    /^Suites:/ && uri != "" { for (i = 2; i <= NF; i++) if ($i == "bookworm") { print uri; exit } }'
) || true

start=$(date +%s)
echo "== fresh Debian 12 root in $root (debootstrap --variant=minbase bookworm, mirror ${mirror:-debootstrap default})"
mkdir -p "$root"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$root" ${mirror:+"$mirror"} >"$work/debootstrap.log" 2>&1 || {
  tail -n 30 "$work/debootstrap.log" >&2
  echo "fresh-root: debootstrap failed" >&2
  exit 1
}
echo "root built in $(($(date +%s) - start)) s: $(du -sh --one-file-system "$root" | cut -f1)"

# The host's package sources that name Debian 12 and whose signing key the
# root has (the archive, its updates and security updates) replace the one
# source debootstrap wrote.
sources=()
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$list" ] && grep -q bookworm "$list" || continue
  key=$(awk '/^Signed-By:/ { print $2 }' "$list" | head -n 1)
  [ -z "$key" ] || [ -f "$root$key" ] || continue
  sources+=("$list")
done
if [ ${#sources[@]} -gt 0 ]; then
  rm -f "$root/etc/apt/sources.list"
  for list in "${sources[@]}"; do
    mkdir -p "$root$(dirname "$list")"
    cp "$list" "$root$list"
  done
fi
# The host's package lists for those sources too: where the archive serves one
# list wrong (a mirror sync in progress), the root keeps the one the host last
# fetched, as the host itself does, instead of failing a run the host passes.
if [ ${#sources[@]} -gt 0 ] && [ -d /var/lib/apt/lists ]; then
  cp -a /var/lib/apt/lists/. "$root/var/lib/apt/lists/"
  rm -f "$root/var/lib/apt/lists/lock"
  # Kept until the architecture they are for (i386) is added.
  echo 'APT::Get::List-Cleanup "false";' >"$root/etc/apt/apt.conf.d/99fresh-root-keep-lists"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
mount -t tmpfs tmpfs "$root/tmp"
mkdir -p "$cache" "$root$cache"
mount --bind "$cache" "$root$cache"

git clone --quiet --no-local "$repo" "$root/src"
echo "commit under test: $(git -C "$root/src" log -1 --format='%h %s')"

failed=0
for command in "$@"; do
  echo
  echo "== fresh root: $command"
  step=$(date +%s)
  # In the background, so that a signal to this script runs its trap at once
  # (bash waits for a foreground child first); the trap ends what runs inside.
  chroot "$root" env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    TERM="${TERM:-dumb}" bash -c 'cd /src && eval "$1"' fresh-root "$command" </dev/null &
  if wait $!; then
    echo "== fresh root: '$command' passed in $(($(date +%s) - step)) s"
  else
    echo "== fresh root: '$command' FAILED (status $?) after $(($(date +%s) - step)) s"
    failed=1
  fi
done

if [ -n "$shots_out" ]; then
  mkdir -p "$shots_out"
  find "$root/src/build" -path '*/screenshots/*.png' -exec cp {} "$shots_out/" \; 2>/dev/null || true
  echo "screenshots: $(ls "$shots_out" | tr '\n' ' ')"
fi
echo
echo "== fresh root: all done in $(($(date +%s) - start)) s, $([ $failed -eq 0 ] && echo passed || echo FAILED)"
exit $failed
