#include "support/sim_card_rig.h"

#include <fstream>
#include <iterator>

#include "support/machine_faults.h"

namespace fu::test {

std::vector<std::uint8_t> ShippedDspProgram() {
  std::ifstream in(FU_SOURCE_DIR "/src/sim/dsp/QX4FLASH_PCI.PCI", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SimCardRig::SimCardRig() {
  drive.Install(kDspProgramPath, ShippedDspProgram());
  bus.SetMachineFaultHandler(
      [this](const sim::MachineFault& fault) { machineFaults.push_back(fault); });
}

SimCardRig::~SimCardRig() {
  ExpectNoMachineFaults(machineFaults);
}

void SimCardRig::Open() {
  bus.MapWindow(kWindow, card);
  windows.Set(kSlot, kWindow);
  host.SetTransmitFormat(kSlot, 2);
  host.SetReceiveFormat(kSlot, 2);
}

bool SimCardRig::Boot() {
  host.ReleaseCard(kSlot);
  host.ClaimCard(kSlot);
  int sent = 0;
  const bool loaded = loader.LoadDspProgram(kSlot, kDspProgramPath, sent);
  host.ReleaseCard(kSlot);
  clock.Sleep(std::chrono::milliseconds(250));
  host.ClearBootDoneFlag(kSlot);
  return loaded;
}

std::vector<std::uint32_t> SimCardRig::ErasedAt() const {
  std::vector<std::uint32_t> addresses;
  for (const sim::CommandRecord& command : card.Diagnostics().commands) {
    if (command.kind == sim::CommandKind::kErase) {
      addresses.push_back(command.address);
    }
  }
  return addresses;
}

}  // namespace fu::test
