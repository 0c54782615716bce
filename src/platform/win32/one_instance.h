#pragma once
// One program per PC: the window program and the console program on the real
// PC share a named mutex; the second to start finds it taken and works on no
// card. Windows 2000 and later have a global namespace beside the session's,
// and the name is put there, so a program in another session (fast user
// switching, a remote desktop) counts too; Windows 95/98 and NT 4 know no
// prefix and take no backslash in the name: there the bare name is used.

#include <string>
#include <string_view>

#include "base/cp1252.h"

// The handle type of <windows.h>, without its macros.
typedef void* HANDLE;

namespace fu {

inline constexpr std::string_view kOtherProgramRuns =
    "FlashUpdate läuft auf diesem PC schon (als Fenster oder als FlashUpdateCli.exe).\r\n"
    "Es darf nur eines dieser Programme zur selben Zeit laufen. Keine Karte wurde "
    "angesprochen."_cp;

// The mutex's name on a system of the given platform (VER_PLATFORM_WIN32_...)
// and major version.
std::string OneInstanceName(unsigned long platform_id, unsigned long major_version);

class OneInstance {
 public:
  // Takes the name for this program, for the running system.
  OneInstance();
  ~OneInstance();
  OneInstance(const OneInstance&) = delete;
  OneInstance& operator=(const OneInstance&) = delete;

  // False when another program has the name, or when it could not be had: on a
  // doubt no card is touched.
  bool First() const { return first_; }

 private:
  HANDLE mutex_ = nullptr;
  bool first_ = false;
};

}  // namespace fu
