#include "hwaccess/card_access.h"

#include <string>

#include "base/cp1252.h"
#include "base/hex_text.h"

namespace fu {

namespace {

constexpr std::uint32_t ConfigAddress(int bus, int device, int reg) {
  return 0x80000000u | (static_cast<std::uint32_t>(bus) << 16) |
         (static_cast<std::uint32_t>(device) << 11) | (static_cast<std::uint32_t>(reg) << 2);
}

constexpr std::uint32_t kAbsent = 0xFFFFFFFF;  // what nobody answers

std::string Hex(std::uint32_t value) {
  return "0x" + HexText(value);
}

}  // namespace

std::uint32_t CardAccess::ReadConfig(int bus, int device, int reg) {
  requests_.WritePortDword(pci::kConfigAddress, ConfigAddress(bus, device, reg));
  return requests_.ReadPortDword(pci::kConfigData);
}

bool CardAccess::ScanPciBus() {
  const bool ports_enabled = requests_.EnablePortRange(pci::kConfigAddress, pci::kPortCount);
  cards_ = {};
  // On the NT family the port instructions fault unless the driver opened the
  // range: without it no port is touched and no card is found.
  if (!ports_enabled) {
    if (protocol_.On()) {
      protocol_.Record("PCI-Suche: der Treiber verweigert die Konfigurationsports");
    }
    return false;
  }
  // 256 buses of 32 devices: only the identity dword of each device is read,
  // and base address register 0 only of a card, to keep start-up short.
  std::size_t next = 0;
  for (int bus = 0; bus < pci::kBuses && next < cards_.size(); ++bus) {
    for (int device = 0; device < pci::kDevices && next < cards_.size(); ++device) {
      const std::uint32_t identity = ReadConfig(bus, device, 0);
      const std::uint32_t vendor = identity & 0xFFFF;
      const std::uint32_t device_id = identity >> 16;
      if (identity == kAbsent || vendor != pci::kVendorId || device_id != pci::kDeviceId) {
        continue;
      }
      const std::uint32_t bar0 = ReadConfig(bus, device, 4);
      const bool usable = bar0 != 0 && bar0 != kAbsent;
      if (protocol_.On()) {
        protocol_.Record("PCI-Suche: Karte an Bus " + std::to_string(bus) +
                         std::string(", Gerät "_cp) + std::to_string(device) + ", BAR0 " +
                         Hex(bar0) +
                         (usable ? ", Steckplatz " + std::to_string(next)
                                 : std::string(", ohne Fenster übergangen"_cp)));
      }
      if (usable) {
        cards_[next++] = {static_cast<std::uint32_t>(device), vendor, device_id, bar0, true};
      }
    }
  }
  requests_.DisablePortRange(pci::kConfigAddress, pci::kPortCount);
  if (protocol_.On()) {
    protocol_.Record("PCI-Suche: " + std::to_string(next) + (next == 1 ? " Karte" : " Karten") +
                     " gefunden");
  }
  return true;
}

bool CardAccess::MapRegisterWindow(std::uint32_t physical, std::uint32_t& linear) {
  linear = requests_.MapPhysical(physical, pci::kWindowLength);
  return linear != 0;
}

bool CardAccess::UnmapRegisterWindow(std::uint32_t linear) {
  return requests_.UnmapPhysical(linear);
}

std::uint32_t CardAccess::OpenCard(int number) {
  if (!driver_open_) {
    hardware_failed_ = true;
    if (!driver_.OpenDriver()) {
      if (protocol_.On()) {
        protocol_.Record("Treiber: nicht geöffnet, keine Karte erreichbar"_cp);
      }
      messages_.Show("Fehler bei HWAccess", MessageKind::Error, Buttons::Ok);
      return ERROR_WORD;
    }
    if (!ScanPciBus()) {
      // A refused port range found nothing: close the driver again so that the
      // next open tries afresh instead of keeping an empty table for the run.
      driver_.CloseDriverDevice();
      return 0;
    }
    hardware_failed_ = false;
    driver_open_ = true;
  }
  const CardSlot slot = number - 1;
  if (slot < 0 || slot >= kSlotCount || !cards_[static_cast<std::size_t>(slot)].present) {
    if (protocol_.On()) {
      protocol_.Record("Karte " + std::to_string(number) + ": nicht gefunden");
    }
    return 0;
  }
  std::uint32_t linear = 0;
  const std::uint32_t physical = cards_[static_cast<std::size_t>(slot)].baseAddress0;
  if (!MapRegisterWindow(physical, linear)) {
    if (protocol_.On()) {
      protocol_.Record("Karte " + std::to_string(number) + ": Fenster " + Hex(physical) +
                       " nicht abgebildet");
    }
    driver_.RestartDriverService();
    // Stopping the service unloaded the driver under our handle. With no window
    // open, let the next open start over with a fresh handle and a fresh scan.
    if (open_windows_ == 0) {
      driver_.CloseDriverDevice();
      driver_open_ = false;
    }
    return 0;
  }
  if (protocol_.On()) {
    protocol_.Record("Karte " + std::to_string(number) + ": Fenster " + Hex(physical) +
                     " abgebildet auf " + Hex(linear) + ", Steckplatz " + std::to_string(slot));
  }
  windows_.Set(slot, linear);
  host_.SetTransmitFormat(slot, 2);
  host_.SetReceiveFormat(slot, 2);
  ++open_windows_;
  return linear;
}

bool CardAccess::CloseCard(CardSlot slot) {
  if (!windows_.HasWindow(slot)) {
    return false;
  }
  const std::uint32_t linear = windows_.Get(slot);
  const bool unmapped = UnmapRegisterWindow(linear);
  if (protocol_.On()) {
    protocol_.Record("Steckplatz " + std::to_string(slot) + ": Fenster " + Hex(linear) +
                     (unmapped ? " freigegeben" : " nicht freigegeben"));
  }
  windows_.Clear(slot);
  const int before = open_windows_;
  open_windows_ = before > 0 ? before - 1 : 0;
  if (open_windows_ == 0 && before == 1) {
    driver_.CloseDriverDevice();
    driver_open_ = false;
  }
  return true;
}

}  // namespace fu
