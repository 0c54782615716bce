#include "sim/sim_port_io.h"

#include <algorithm>
#include <string>

namespace fu::sim {

namespace {

constexpr std::uint32_t kConfigEnable = 0x80000000;
constexpr std::uint32_t kNobody = 0xFFFFFFFF;

constexpr std::uint32_t kCommandMemoryAndMaster = 0x0006;
constexpr std::uint32_t kStatusMediumDevsel = 0x0280;
constexpr std::uint32_t kLatencyTimer = 0x40;
constexpr std::uint32_t kInterruptPinA = 0x01;

// Signal processing controller, other.
constexpr std::uint32_t kCardClassCode = 0x118000;
constexpr std::uint8_t kCardRevision = 0x01;

}  // namespace

PciDevice MakePciDevice(std::uint8_t bus, std::uint8_t device, std::uint16_t vendor_id,
                        std::uint16_t device_id, std::uint32_t class_code, std::uint32_t bar0) {
  PciDevice d;
  d.bus = bus;
  d.device = device;
  d.registers[0] = static_cast<std::uint32_t>(device_id) << 16 | vendor_id;
  d.registers[1] = kStatusMediumDevsel << 16 | kCommandMemoryAndMaster;
  d.registers[2] = (class_code & 0xFFFFFF) << 8;
  d.registers[3] = kLatencyTimer << 8;
  d.registers[4] = bar0;
  return d;
}

PciDevice MakeCardDevice(std::uint8_t bus, std::uint8_t device, std::uint32_t window) {
  PciDevice d = MakePciDevice(bus, device, kCardVendorId, kCardDeviceId, kCardClassCode, window);
  d.registers[2] |= kCardRevision;
  d.registers[11] = static_cast<std::uint32_t>(kCardDeviceId) << 16 | kCardVendorId;  // subsystem
  d.registers[15] = kInterruptPinA << 8 | (9u + device % 4);  // pin A, a plausible IRQ line
  return d;
}

void SimPortIo::AddDevice(const PciDevice& device) {
  std::erase_if(devices_, [&device](const PciDevice& d) {
    return d.bus == device.bus && d.device == device.device;
  });
  devices_.push_back(device);
}

bool SimPortIo::Usable(bool write, std::uint16_t port) {
  if (system_.PortsUsable(port)) {
    return true;
  }
  ++diagnostics_.refusedAccesses;
  if (faultHandler_) {
    const char* name = port == kConfigAddressPort ? "PCI configuration address"
                       : port == kConfigDataPort  ? "PCI configuration data"
                                                  : "I/O port";
    faultHandler_({write ? "port write" : "port read", port,
                   std::string(name) + " outside the port ranges enabled for the process"});
  }
  return false;
}

void SimPortIo::OutDword(std::uint16_t port, std::uint32_t value) {
  if (!Usable(true, port)) {
    return;
  }
  switch (port) {
    case kConfigAddressPort:
      configAddress_ = value;
      return;
    case kConfigDataPort:
      ++diagnostics_.configWrites;
      return;
    default:
      ++diagnostics_.otherPortAccesses;
      return;
  }
}

std::uint32_t SimPortIo::InDword(std::uint16_t port) {
  if (!Usable(false, port)) {
    return kNobody;
  }
  switch (port) {
    case kConfigAddressPort:
      return configAddress_;
    case kConfigDataPort:
      ++diagnostics_.configReads;
      return ReadConfig();
    default:
      ++diagnostics_.otherPortAccesses;
      return kNobody;
  }
}

std::uint32_t SimPortIo::ReadConfig() const {
  if ((configAddress_ & kConfigEnable) == 0) {
    return kNobody;
  }
  const auto bus = static_cast<std::uint8_t>(configAddress_ >> 16);
  const auto device = static_cast<std::uint8_t>((configAddress_ >> 11) & 0x1F);
  const std::uint32_t function = (configAddress_ >> 8) & 0x7;
  const std::uint32_t reg = (configAddress_ >> 2) & 0x3F;
  if (function != 0) {
    return kNobody;
  }
  const auto it = std::ranges::find_if(
      devices_, [&](const PciDevice& d) { return d.bus == bus && d.device == device; });
  return it == devices_.end() ? kNobody : it->registers[reg];
}

}  // namespace fu::sim
