#pragma once
// One simulated card in slot 0, wired to the system's host interface, DSP loader
// and flash commands over a simulated drive C: that holds the shipped DSP
// program file. A machine fault of the bus fails the test when the rig ends.

#include <cstdint>
#include <string_view>
#include <vector>

#include "dsplink/dsp_loader.h"
#include "dsplink/host_interface.h"
#include "flash/flash_commands.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_card.h"
#include "sim/sim_drive.h"
#include "sim/sim_register_bus.h"
#include "sim/virtual_clock.h"
#include "support/temp_folder.h"

namespace fu::test {

inline constexpr std::string_view kDspProgramPath = "C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI";

// The DSP program file as shipped.
std::vector<std::uint8_t> ShippedDspProgram();

struct SimCardRig {
  static constexpr CardSlot kSlot = 0;
  static constexpr LinearAddress kWindow = 0x40000000;

  SimCardRig();
  ~SimCardRig();
  SimCardRig(const SimCardRig&) = delete;
  SimCardRig& operator=(const SimCardRig&) = delete;

  // What opening the card does: the window mapped and both data formats set to 2.
  void Open();
  // The start-up sequence of a card: busy flag cleared, card claimed, program
  // loaded, card released, boot-done flag cleared. True when the load succeeded.
  bool Boot();
  // The address of every erase command the card saw, in order.
  std::vector<std::uint32_t> ErasedAt() const;

  TempFolder folder;
  sim::SimDrive drive{folder.Path()};
  sim::VirtualClock clock;
  ScriptedMessageService messages;
  sim::SimCard card{clock};
  sim::SimRegisterBus bus;
  std::vector<sim::MachineFault> machineFaults;
  WindowTable windows;
  HostInterface host{bus, windows};
  DspLoader loader{host, drive, clock, messages};
  FlashCommands flash{host, clock};
};

}  // namespace fu::test
