#pragma once
// The whole program on a simulated PC in a temporary folder: the system over the
// PC's ports, the main window's controller over a recording window, scripted
// message boxes and a recording progress window. A machine fault of the PC
// fails the test when the rig ends.

#include <memory>
#include <optional>

#include "app/flash_update_kunde_unit.h"
#include "platform/recording_flash_splash.h"
#include "platform/recording_main_window.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_machine.h"
#include "support/temp_folder.h"

namespace fu::test {

struct AppRig {
  AppRig() = default;
  ~AppRig();
  AppRig(const AppRig&) = delete;
  AppRig& operator=(const AppRig&) = delete;

  // Starts (or restarts) the program: a new system and window over the same PC.
  void Start();
  // The PC loses power under the program; then the PC and the program start anew.
  void LosePowerAndStart();
  sim::SimPc& Pc() { return machine->Pc(); }

  TempFolder folder;
  std::optional<sim::SimMachine> machine{std::in_place, folder.Path() / "pc"};
  ScriptedMessageService messages;
  RecordingFlashSplash splash;
  Protocol* protocol = &NoProtocol();  // the support protocol of the next Start
  std::unique_ptr<RecordingMainWindow> view;
  std::unique_ptr<FlashUpdateSystem> system;
  std::unique_ptr<TForm1> form;
};

}  // namespace fu::test
