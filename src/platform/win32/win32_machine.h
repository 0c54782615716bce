#pragma once
// The real Windows PC as the machine the system runs on.

#include "platform/machine.h"
#include "platform/win32/one_instance.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_port_io.h"
#include "platform/win32/win32_register_bus.h"
#include "platform/win32/win32_system_calls.h"

namespace fu {

class Win32Machine : public Machine {
 public:
  // False when another of the programs already runs on this PC: then the
  // machine must not be used (see OneInstance).
  bool FirstProgram() const { return instance_.First(); }

  SystemCalls& System() override { return system_; }
  PortIo& Ports() override { return ports_; }
  RegisterBus& Bus() override { return bus_; }
  Clock& Time() override { return clock_; }
  Files& Drive() override { return files_; }
  // "Windows 5.1.2600 (NT) Service Pack 3", from GetVersionExA.
  std::string Platform() override;
  // GetFullPathNameA: relative names and "." or ".." resolved.
  std::optional<std::string> DrivePathOf(const std::string& host_file) override;

 private:
  OneInstance instance_;  // first: taken before anything else is built
  Win32SystemCalls system_;
  Win32PortIo ports_;
  Win32RegisterBus bus_;
  Win32Clock clock_;
  Win32Files files_;
};

}  // namespace fu
