#pragma once
// The I/O ports of the simulated PC: PCI configuration mechanism #1 on 0xCF8
// (address) and 0xCFC (data). A configuration address names bus, device,
// function and register; only function 0 of present devices answers, every
// other read gives 0xFFFFFFFF (nobody there). Configuration space is read-only
// here: writes to 0xCFC are counted and dropped.
//
// On the NT family a port instruction outside the ranges the driver enabled
// for this process would end the program: here it is a machine fault, handed
// to the fault handler with the port, and refused: counted, and a read gives
// 0xFFFFFFFF. On Windows 9x ports work at any time.

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/port_io.h"
#include "sim/machine_fault.h"
#include "sim/sim_system.h"

namespace fu::sim {

inline constexpr std::uint16_t kConfigAddressPort = 0xCF8;
inline constexpr std::uint16_t kConfigDataPort = 0xCFC;
inline constexpr std::size_t kConfigRegisters = 64;

inline constexpr std::uint16_t kCardVendorId = 0x1057;
inline constexpr std::uint16_t kCardDeviceId = 0x1801;

struct PciDevice {
  std::uint8_t bus = 0;
  std::uint8_t device = 0;  // 0..31
  std::array<std::uint32_t, kConfigRegisters> registers{};

  std::uint16_t VendorId() const { return static_cast<std::uint16_t>(registers[0]); }
  std::uint16_t DeviceId() const { return static_cast<std::uint16_t>(registers[0] >> 16); }
  std::uint32_t ClassCode() const { return registers[2] >> 8; }
  std::uint32_t Bar0() const { return registers[4]; }
};

// A device's configuration registers: identity, a command and status word with
// memory decoding on, class code, header type 0, base address register 0, an
// interrupt pin; everything else 0.
PciDevice MakePciDevice(std::uint8_t bus, std::uint8_t device, std::uint16_t vendor_id,
                        std::uint16_t device_id, std::uint32_t class_code, std::uint32_t bar0);
// A measurement card whose window sits at the physical address.
PciDevice MakeCardDevice(std::uint8_t bus, std::uint8_t device, std::uint32_t window);

struct PortDiagnostics {
  std::uint64_t refusedAccesses = 0;  // NT: port instructions outside an enabled range
  std::uint64_t configReads = 0;      // reads of 0xCFC
  std::uint64_t configWrites = 0;     // writes to 0xCFC (dropped)
  std::uint64_t otherPortAccesses = 0;
};

class SimPortIo : public fu::PortIo {
 public:
  // system decides the platform and the enabled port ranges.
  explicit SimPortIo(const SimSystem& system) : system_(system) {}

  // Puts a device at its bus and device number, replacing one already there.
  void AddDevice(const PciDevice& device);
  const std::vector<PciDevice>& Devices() const { return devices_; }

  void OutDword(std::uint16_t port, std::uint32_t value) override;
  std::uint32_t InDword(std::uint16_t port) override;

  const PortDiagnostics& Diagnostics() const { return diagnostics_; }
  void ResetDiagnostics() { diagnostics_ = PortDiagnostics{}; }

  // Called with every refused port instruction; without a handler they are only counted.
  void SetMachineFaultHandler(MachineFaultHandler handler) { faultHandler_ = std::move(handler); }

 private:
  std::uint32_t ReadConfig() const;
  // False, with the access counted and reported, when the platform refuses the port.
  bool Usable(bool write, std::uint16_t port);

  const SimSystem& system_;
  std::vector<PciDevice> devices_;
  std::uint32_t configAddress_ = 0;
  PortDiagnostics diagnostics_;
  MachineFaultHandler faultHandler_;
};

}  // namespace fu::sim
