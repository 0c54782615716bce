#pragma once
// Finding the cards on the PCI bus and mapping a card's register window: the
// card table, the open-window count and the driver-open flag of the program.

#include <array>
#include <cstdint>

#include "dsplink/host_interface.h"
#include "dsplink/window_table.h"
#include "hwaccess/driver_requests.h"
#include "hwaccess/driver_service.h"
#include "platform/message_service.h"
#include "platform/protocol.h"

namespace fu {

namespace pci {
inline constexpr std::uint16_t kConfigAddress = 0xCF8;
inline constexpr std::uint16_t kConfigData = 0xCFC;
inline constexpr std::uint32_t kPortCount = 8;
inline constexpr std::uint32_t kVendorId = 0x1057;
inline constexpr std::uint32_t kDeviceId = 0x1801;
inline constexpr int kBuses = 256;  // every bus that mechanism #1 addresses
inline constexpr int kDevices = 32;
inline constexpr int kRegisters = 64;
inline constexpr std::uint32_t kWindowLength = 0xFFFF;
}  // namespace pci

struct CardEntry {
  std::uint32_t deviceNumber = 0;  // 0 is a real place: a card behind a bridge sits there
  std::uint32_t vendorId = 0;
  std::uint32_t deviceId = 0;
  std::uint32_t baseAddress0 = 0;  // the physical address of the register window
  bool present = false;            // false marks an empty entry
  friend bool operator==(const CardEntry&, const CardEntry&) = default;
};

class CardAccess {
 public:
  CardAccess(DriverService& driver, DriverRequests& requests, HostInterface& host,
             WindowTable& windows, MessageService& messages, Protocol& protocol = NoProtocol())
      : driver_(driver),
        requests_(requests),
        host_(host),
        windows_(windows),
        messages_(messages),
        protocol_(protocol) {}

  // Fills the card table; false when the driver refused the configuration ports.
  bool ScanPciBus();
  bool MapRegisterWindow(std::uint32_t physical, std::uint32_t& linear);
  bool UnmapRegisterWindow(std::uint32_t linear);
  // Card number 1 to 4 opens slot number - 1: the window's linear address, 0 when
  // there is no such card or its window cannot be mapped, ERROR_WORD when the
  // driver cannot be opened.
  std::uint32_t OpenCard(int number);
  // True when the slot had a window and it was released.
  bool CloseCard(CardSlot slot);

  const std::array<CardEntry, kSlotCount>& Cards() const { return cards_; }
  int OpenWindows() const { return open_windows_; }
  bool DriverOpen() const { return driver_open_; }
  // True when the last open of the driver failed, or the driver refused the
  // configuration ports of the scan after it: the hardware could not be reached,
  // which is not the same as a PC without cards.
  bool HardwareFailed() const { return hardware_failed_; }

 private:
  // One configuration dword of function 0 through mechanism #1.
  std::uint32_t ReadConfig(int bus, int device, int reg);

  DriverService& driver_;
  DriverRequests& requests_;
  HostInterface& host_;
  WindowTable& windows_;
  MessageService& messages_;
  Protocol& protocol_;
  std::array<CardEntry, kSlotCount> cards_{};
  int open_windows_ = 0;
  bool driver_open_ = false;
  bool hardware_failed_ = false;
};

}  // namespace fu
