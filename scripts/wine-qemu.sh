#!/usr/bin/env bash
# Does what `wine PROGRAM ARGS...` does, on a machine whose kernel runs no 32-bit
# programs ("Exec format error"): Wine's i386 loader runs under qemu-i386.
#
# Wine starts its server and every further process (a program's child, the
# desktop, the services) by executing files beside its loader: "wineserver" and
# "wine-preloader". So the loader runs from a folder of its own, where those two
# names are small scripts that start the real ones under the emulator, and the
# loader's relative paths to Wine's libraries and data lead back to the system's.
# Each process start still costs about a minute: the emulator is slow at Wine's
# address space reservation. The program's output and error output both come
# on standard output.
#
# Usage: scripts/wine-qemu.sh PROGRAM [ARGS...]   (WINEPREFIX as for wine)
#        scripts/wine-qemu.sh --check               (exit 0 when this road works)
set -euo pipefail

wine_loader=/usr/lib/wine/wine
wine_server=/usr/lib/wine/wineserver32
if ! command -v qemu-i386 >/dev/null || [ ! -f "$wine_loader" ] || [ ! -f "$wine_server" ]; then
  echo "wine-qemu: needs qemu-i386 (package qemu-user) and Wine's i386 loader (wine32:i386)" >&2
  exit 127
fi
[ "${1:-}" = "--check" ] && exit 0

dir=${FU_WINE_QEMU_DIR:-/tmp/flashupdate-wine-qemu-$(id -u)}
if [ ! -x "$dir/lib/wine/wine" ]; then
  staging=$(mktemp -d "${dir}.XXXXXX")
  mkdir -p "$staging/lib/wine"
  # A copy, not a link: Wine takes its own folder from the resolved path.
  cp "$wine_loader" "$staging/lib/wine/wine"
  ln -s /usr/lib/i386-linux-gnu "$staging/lib/i386-linux-gnu"
  ln -s /usr/share "$staging/share"
  cat >"$staging/lib/wine/wine-preloader" <<'EOF'
#!/bin/sh
# Started by Wine as "wine-preloader LOADER PROGRAM ARGS...".
exec qemu-i386 "$@"
EOF
  cat >"$staging/lib/wine/wineserver" <<EOF
#!/bin/sh
exec qemu-i386 $wine_server "\$@"
EOF
  chmod +x "$staging/lib/wine/wine-preloader" "$staging/lib/wine/wineserver"
  # Another run may have set it up meanwhile; either copy will do.
  mv -T "$staging" "$dir" 2>/dev/null || rm -rf "$staging"
fi

# Wine's helper processes started on the program's behalf (the desktop, the
# services) inherit its output and outlive it; a caller that reads the output to
# its end, as ctest does, would wait for them. So the program writes into a file
# that is passed on as it grows, and the helpers keep only that file open.
out=$(mktemp /tmp/wine-qemu-output.XXXXXX)
WINELOADERNOEXEC=1 qemu-i386 "$dir/lib/wine/wine" "$@" >"$out" 2>&1 &
program=$!
trap 'kill "$program" 2>/dev/null || true; rm -f "$out"' EXIT
tail -n +1 -f --pid="$program" "$out"
status=0
wait "$program" || status=$?
exit "$status"
