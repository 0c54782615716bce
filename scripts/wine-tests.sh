#!/usr/bin/env bash
# Runs the Windows build's tests under Wine in a throwaway prefix on a virtual
# X server, then takes the screenshots of both window programs. Arguments go to
# ctest (e.g. -R win32gui); with any, only those tests run, without screenshots.
# Needs the Windows build (cmake --preset win32) and the native one for the Qt
# screenshots.
#
# Where the kernel runs no 32-bit programs (wine exits with 126, "Exec format
# error"), Wine runs under qemu-i386 (scripts/wine-qemu.sh), which the Windows
# build chose when it was configured: each test program is one CTest test and
# starts once, about a minute a start. The tests that need Wine's services and
# the Win32 screenshots stay out there, each said in a line.
set -euo pipefail
cd "$(dirname "$0")/.."

wine_status=0
wine --version >/dev/null 2>&1 || wine_status=$?
under_qemu=false
if [ "$wine_status" -eq 126 ]; then
  under_qemu=true
  bash scripts/wine-qemu.sh --check
  if ! grep -qs wine-qemu.sh build/win32/tests/CTestTestfile.cmake; then
    echo "wine-tests: build/win32 was configured for Wine without qemu-i386;" \
      "configure it again on this machine (cmake --preset win32)" >&2
    exit 1
  fi
  echo "wine-tests: this kernel runs no 32-bit programs: the Windows tests run under Wine in qemu-i386, each test program started once"
elif [ "$wine_status" -ne 0 ]; then
  echo "wine-tests: wine --version failed (status $wine_status)" >&2
  exit 1
fi

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
wineserver_command=(wineserver)
$under_qemu && wineserver_command=(qemu-i386 /usr/lib/wine/wineserver32)
cleanup() {
  "${wineserver_command[@]}" -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
  rm -rf "$(dirname "$WINEPREFIX")"
}
trap cleanup EXIT
# Wine's own fonts, from fonts-wine, into the prefix: "MS Sans Serif" for the
# windows' design font, Marlett for the symbols of the caption buttons, Tahoma.
add_fonts() {
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/{sserife.fon,marlett.ttf,tahoma.ttf,tahomabd.ttf} "$WINEPREFIX/drive_c/windows/Fonts/"
}
if $under_qemu; then
  # wineboot would take a quarter of an hour under the emulator. The test
  # programs need no more than Wine's DLLs in system32, a server and a desktop;
  # "disable" keeps Wine from running wineboot itself.
  mkdir -p "$WINEPREFIX/drive_c/windows/system32"
  ln -s /usr/lib/i386-linux-gnu/wine/i386-windows/* "$WINEPREFIX/drive_c/windows/system32/"
  # Wine runs a kernel driver's service in winedevice.exe, which the emulator
  # takes about a minute to start: four times a program run on this PC without
  # the hardware-access driver, and far longer when the machine is busy. A
  # winedevice.exe that is no program makes StartService fail at once, as it
  # fails on Windows when the driver file is missing; the program's way
  # through that failure is the same.
  rm "$WINEPREFIX/drive_c/windows/system32/winedevice.exe"
  echo "no program: kernel drivers do not start in this prefix" >"$WINEPREFIX/drive_c/windows/system32/winedevice.exe"
  # Likewise the debugger Wine starts for a program that crashes: its emulated
  # start held the crashed program a minute or more, only to fail to attach.
  # Without it the program ends at once, with its exception code as its status.
  rm "$WINEPREFIX/drive_c/windows/system32/winedbg.exe"
  echo "no program: crashes end the program in this prefix" >"$WINEPREFIX/drive_c/windows/system32/winedbg.exe"
  echo disable >"$WINEPREFIX/.update-timestamp"
  add_fonts
  "${wineserver_command[@]}" -p </dev/null >/dev/null 2>&1
  # The first program of the prefix boots it (wineboot, the service manager):
  # here, with their output away from ctest's pipes, and not inside a test.
  # Its status is not the tests' verdict: a prefix that did not boot fails them.
  boot_status=0
  bash scripts/wine-qemu.sh 'C:\windows\system32\cmd.exe' /c exit </dev/null >/dev/null 2>&1 ||
    boot_status=$?
  echo "wine-tests: the prefix booted under qemu-i386 (status $boot_status)"
  echo "wine-tests: left out under qemu-i386: the driver tests of win32_tests (DriverUnderWine.*), which need Wine's service manager"
  echo "wine-tests: left out under qemu-i386: sim_tests (Wine crashes in it under the emulator; it runs natively and under the sanitizers)"
else
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
  add_fonts
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
fi
ctest --preset win32 -j "$(nproc)" "$@"

# Screenshots of the windows, into the build folders, for anyone to look at.
if [ $# -eq 0 ]; then
  if $under_qemu; then
    echo "wine-tests: left out under qemu-i386: the screenshots of the Win32 window (scripts/screenshots-win32.sh)"
  else
    bash scripts/screenshots-win32.sh
  fi
  bash scripts/screenshots-qt.sh
fi
