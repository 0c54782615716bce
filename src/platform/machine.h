#pragma once
// The ports of one computer: the real Windows PC or a simulated one. A front end
// builds one and hands its ports to the system.

#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/port_io.h"
#include "platform/register_bus.h"
#include "platform/system_calls.h"

namespace fu {

class Machine {
 public:
  virtual ~Machine() = default;
  virtual SystemCalls& System() = 0;
  virtual PortIo& Ports() = 0;
  virtual RegisterBus& Bus() = 0;
  virtual Clock& Time() = 0;
  virtual Files& Drive() = 0;
  // Which PC this is, for the support protocol: the Windows version, or the
  // simulated PC and its folder.
  virtual std::string Platform() = 0;
  // The Windows path (code page 1252) by which the machine's own files reach a
  // host file (a name as the host opens it): the full path on Windows, the
  // place on the simulated drive C: when the file lies in its folder; nothing
  // when the programs' files cannot reach it.
  virtual std::optional<std::string> DrivePathOf(const std::string& host_file) = 0;
};

}  // namespace fu
