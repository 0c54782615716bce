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
#include <optional>
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

// The users of the campaign. Each answers as a careful person would: No to a
// question saying the file belongs to another card.
enum class User {
  kCareful,       // Yes to the restore offers and to every other question
  kSaysNo,        // No to every restore offer; lists, refreshes, dumps the other
                  // card and tries the write again before restoring
  kMover,         // moves the card to another slot before restoring
  kInterrupter,   // asks the program to end at a flash command of the write
  kLosesBackup,   // moves the restore point's backup off C:, starts the program,
                  // dumps the card, tries the write; then puts the backup back
  kAltersBackup,  // the same with another whole backup of the card under its name
};
const char* Name(User user);

// The message boxes, answered as the user would, with a hook called after each
// box. Each box is judged as it is shown: a question offering a restore or
// naming another card's file must default to No.
class CampaignMessages : public ScriptedMessageService {
 public:
  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;
  std::function<void(std::string_view)> shown;
  // Judges each box as shown (the program's own check).
  std::function<void(std::string_view)> judge;
  // The answer to a question; the script is used when unset.
  std::function<Answer(std::string_view)> answerer;
  std::vector<std::string> problems;
  bool acceptedOtherCard = false;  // Yes to a question that named the mismatch
};

// One run of the program on the campaign's simulated PC; questions are answered
// with `answer`, restore offers with `restore` (No to another card's file), the
// question whether to take over a card found busy with `take_over`.
struct Program {
  explicit Program(const std::filesystem::path& folder, Answer answer = Answer::Yes,
                   Answer restore = Answer::Yes, Answer take_over = Answer::Yes);
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
  User user = User::kCareful;
  // kInterrupter: the flash command of the action (1 = first) at which the user
  // asks the program to end.
  std::uint32_t endAt = 0;
  // kMover: the card the moved card changes places with (the next one when unset).
  std::optional<std::size_t> moveTo = std::nullopt;
  // Drive C: reads back altered bytes during the action.
  std::optional<sim::SimDrive::AlteredRead> alteredRead = std::nullopt;
  // The fault itself changes the flash outside what the card's erase clears.
  bool spills = false;
  // Another program holds the card's busy flag: the user says No to taking it
  // over, and the other program has ended before the recovery.
  bool heldByOther = false;
  // A restore whose file is a backup of card 0's twin (the last card): the
  // user says No to writing it, and the card stays as it was.
  bool restoreTwin = false;
};

struct Outcome {
  std::string verdict;  // "failed, shown", "done", ...
  std::vector<std::string> problems;
  bool Lost() const { return !problems.empty(); }
  // What the action did, for rows placed at each of its steps: the kinds of
  // its flash commands in order, and its drive changes.
  std::vector<sim::CommandKind> commands;
  std::uint32_t driveChanges = 0;
  bool acceptedOtherCard = false;
};

// Runs the action on card `card` of the PC in folder (created as the default PC
// when empty) and recovers it. The folder is left with the card recovered and
// every fault cleared, ready for the next action.
Outcome RunScenario(const std::filesystem::path& folder, std::size_t card, Action action,
                    const Scenario& scenario);

// Plugs in a twin of card 0: a card of its model whose serial number differs
// only in its last digit.
void AddTwin(sim::SimPc& pc);
// Gives the card a serial number of its own (cards copied with AddCardLike share one).
void SetSerialNumber(sim::SimPc& pc, std::size_t card, const std::string& serial);

// Whether the card's record area holds a revision-1.2 record (else 1.3).
bool HoldsRevision12(sim::SimPc& pc, std::size_t card);

}  // namespace fu::campaign
