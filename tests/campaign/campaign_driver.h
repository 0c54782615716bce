#pragma once
// The fault campaign's driver: runs one action of the real program controller on
// a simulated PC kept in a folder, with a fault injected, checks what the action
// left and what the user was told, then recovers the card as a user would, only
// through what the program says, and checks that the card came back byte for
// byte. The scenario tables and the soak feed it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flash_update_kunde_unit.h"
#include "platform/recording_flash_splash.h"
#include "platform/recording_main_window.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_machine.h"

namespace fu::campaign {

using Bytes = sim::SimFlash::Bytes;

enum class Action { Upgrade, Downgrade, Dump, Restore };
const char* Name(Action action);

// The scripted message boxes, with a hook called after each box.
class CampaignMessages : public ScriptedMessageService {
 public:
  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override {
    const Answer answer = ScriptedMessageService::Show(text, kind, buttons);
    if (shown) {
      shown(text);
    }
    return answer;
  }
  std::function<void(std::string_view)> shown;
};

// One run of the program on the campaign's simulated PC; questions are answered
// from the script (Yes unless told otherwise).
struct Program {
  explicit Program(const std::filesystem::path& folder, Answer answer = Answer::Yes);
  sim::SimPc& Pc() { return machine.Pc(); }
  // Starts the window controller: the start-up and its questions.
  void Start() { form->FormCreate(); }

  sim::SimMachine machine;
  CampaignMessages messages;
  RecordingFlashSplash splash;
  RecordingMainWindow view;
  std::unique_ptr<FlashUpdateSystem> system;
  std::unique_ptr<TForm1> form;
};

// Where a program stops dead: it crashes as the nth flash command begins (all
// kinds counted), the card loses power in the nth command, or drive C: loses
// power in its nth change. nth counts from the moment it is armed; 1 = first.
struct Interrupt {
  enum class Kind { kNone, kCrash, kCardPowerCut, kDrivePowerCut };
  Kind kind = Kind::kNone;
  std::uint32_t nth = 0;
  const char* Name() const;
};

struct Scenario {
  std::string fault;
  std::string step;
  // Faults set on the running program's PC before the action (card is the index
  // of the card the action works on).
  std::function<void(Program&, std::size_t card)> inject = nullptr;
  // Set on the PC before the program starts (faults that act at start-up).
  std::function<void(sim::SimPc&)> beforeStart = nullptr;
  // What the start-up must have told the user about the fault.
  std::string startupMustSay = {};
  Interrupt interrupt = {};
  // Double faults: the next program's start-up restore is interrupted as well
  // (counted from the Yes to its question);
  // or, after the action failed and the user said No to the restore offers, a
  // second write (the restore from the restore point) fails after its erase.
  Interrupt recoveryInterrupt = {};
  bool secondFailedWrite = false;
  // A row without a fault: the action must succeed.
  bool mustSucceed = false;
};

struct Outcome {
  std::string verdict;  // "failed, shown", "done", ...
  std::vector<std::string> problems;
  bool Lost() const { return !problems.empty(); }
  // What the action did, for rows placed at each of its steps: the kinds of
  // its flash commands in order, and its drive changes.
  std::vector<sim::CommandKind> commands;
  std::uint32_t driveChanges = 0;
};

// Runs the action on card `card` of the PC in folder (created as the default PC
// when empty) and recovers it. The folder is left with the card recovered and
// every fault cleared, ready for the next action.
Outcome RunScenario(const std::filesystem::path& folder, std::size_t card, Action action,
                    const Scenario& scenario);

// Gives the card a serial number of its own (cards copied with AddCardLike share one).
void SetSerialNumber(sim::SimPc& pc, std::size_t card, const std::string& serial);

// Whether the card's record area holds a revision-1.2 record (else 1.3).
bool HoldsRevision12(sim::SimPc& pc, std::size_t card);

}  // namespace fu::campaign
