// The fault campaign: every fault the simulated PC offers, at every step of an
// upgrade, a downgrade, a dump and a restore. After each it checks that nothing
// was erased without a complete, equal backup on disk first, that the user saw
// a failure and no success, that the flash outside the record sector is
// unchanged, that the program is idle and usable, and that a restore from the
// backup brings the card's whole flash area back byte for byte. A write that
// fails after the erase must say that the card is unchanged (and be right), or
// ask at once whether to restore it: the campaign answers Yes and checks the card
// came back. A program that died mid-write is asked the same at its next start.
// It prints one table and a closing count.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flash_update_kunde_unit.h"
#include "base/cp1252.h"
#include "flash/backup_format.h"
#include "platform/recording_flash_splash.h"
#include "platform/recording_main_window.h"
#include "platform/scripted_message_service.h"
#include "sim/sim_machine.h"
#include "support/temp_folder.h"

namespace fu {
namespace {

using sim::CommandKind;
using sim::FaultAction;
using Bytes = sim::SimFlash::Bytes;

constexpr std::size_t kRecordSector = 0x1000;
constexpr std::size_t kRecordSectorEnd = 0x3000;
constexpr std::size_t kOwnBytes = 0x2E00;  // a card's own data after its record

// Thrown from inside the simulated card: the program dies on the spot. It is no
// std::exception, so no handler of the program catches it.
struct ProgramDeath {};

enum class Action { Upgrade, Downgrade, Dump, Restore };

const char* Name(Action a) {
  switch (a) {
    case Action::Upgrade:
      return "upgrade";
    case Action::Downgrade:
      return "downgrade";
    case Action::Dump:
      return "dump";
    case Action::Restore:
      return "restore";
  }
  return "?";
}

// One run of the program on the campaign's simulated PC.
struct Program {
  explicit Program(const std::filesystem::path& folder) : machine(folder) {
    system = std::make_unique<FlashUpdateSystem>(Ports{machine.System(), machine.Ports(),
                                                       machine.Bus(), machine.Time(),
                                                       machine.Drive(), messages, splash});
    form = std::make_unique<TForm1>(*system, view);
    for (int i = 0; i < 8; ++i) {
      messages.Script(Answer::Yes);  // questions: go on
    }
    form->FormCreate();
  }
  sim::SimPc& Pc() { return machine.Pc(); }

  sim::SimMachine machine;
  ScriptedMessageService messages;
  RecordingFlashSplash splash;
  RecordingMainWindow view;
  std::unique_ptr<FlashUpdateSystem> system;
  std::unique_ptr<TForm1> form;
};

struct Scenario {
  std::string fault;
  std::string step;
  std::function<void(Program&)> inject;
  // The program dies at the n-th flash change (erase or program) the action
  // makes; 0: it does not die.
  int dieAtChange = 0;
  // Set on the PC before the program starts (faults that act at start-up).
  std::function<void(sim::SimPc&)> beforeStart = nullptr;
  // What the start-up must have told the user about the fault.
  std::string startupMustSay = {};
};

struct Outcome {
  std::string verdict;  // "failed, shown", "done", ...
  std::vector<std::string> problems;
};

bool AnySuccess(const std::vector<std::string>& texts) {
  for (const auto& t : texts) {
    if (t.starts_with("Flash erfolgreich") || t.starts_with("Dump erfolgreich") ||
        t.find("wiederhergestellt") != std::string::npos) {
      return true;
    }
  }
  return false;
}

constexpr std::string_view kRestoreQuestion =
    "Soll die Karte jetzt daraus wiederhergestellt werden?";

bool Says(const std::vector<std::string>& texts, std::string_view part) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

// The messages of the action itself, before any restore it offered.
std::vector<std::string> BeforeRestoreQuestion(const std::vector<std::string>& texts) {
  const auto question = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
    return t.find(kRestoreQuestion) != std::string::npos;
  });
  return {texts.begin(), question};
}

bool OutsideRecordSectorEqual(const Bytes& a, const Bytes& b) {
  return std::equal(a.begin(), a.begin() + kRecordSector, b.begin()) &&
         std::equal(a.begin() + kRecordSectorEnd, a.end(), b.begin() + kRecordSectorEnd);
}

// The backup files on drive C: holding exactly this flash area.
std::vector<std::string> BackupsEqualTo(sim::SimPc& pc, const Bytes& flash) {
  std::vector<std::string> found;
  for (const auto& name : pc.Drive().List("C:\\")) {
    if (!name.ends_with(".SAV")) {
      continue;
    }
    const auto parsed = ParseBackupFile(pc.Drive().Contents("C:\\" + name));
    if (parsed.Restorable() &&
        std::equal(parsed.flash.begin(), parsed.flash.end(), flash.begin())) {
      found.push_back("C:\\" + name);
    }
  }
  return found;
}

class Campaign {
 public:
  Outcome Run(Action action, const Scenario& s) {
    test::TempFolder folder;
    const auto pc_folder = folder.Path() / "pc";
    Outcome out;
    const std::size_t card = action == Action::Downgrade ? 1 : 0;
    std::string restore_file;
    Bytes before{};
    if (s.beforeStart) {
      sim::SimPc pc(pc_folder);
      s.beforeStart(pc);
      pc.Save();
    }
    {
      Program p(pc_folder);
      const auto startup_texts = p.messages.Texts();
      if (!s.startupMustSay.empty() &&
          std::none_of(startup_texts.begin(), startup_texts.end(), [&](const std::string& t) {
            return t.find(s.startupMustSay) != std::string::npos;
          })) {
        out.problems.push_back("start-up kept quiet about the fault");
      }
      if (action == Action::Restore) {
        // The card to restore: a backup of its good state, with bytes of its own
        // after the record, then a damaged record and those bytes gone.
        auto& flash = p.Pc().Card(0).Flash().AllBytes();
        std::fill_n(flash.begin() + kOwnBytes, 16, 0x5A);
        p.Pc().Save();
        p.view.SelectItem(0);
        p.form->Button4Click();
        restore_file = p.form->LastBackupFile();
        std::fill(flash.begin() + kRecordSector, flash.begin() + kRecordSector + 100, 0x00);
        std::fill_n(flash.begin() + kOwnBytes, 16, 0xFF);
        p.Pc().Save();
      }
      before = p.Pc().Card(card).Flash().AllBytes();
      const auto other = p.Pc().Card(1 - card).Flash().AllBytes();
      p.view.SelectItem(static_cast<int>(card));
      p.form->ComboBox1Change();
      p.messages.Clear();
      s.inject(p);
      int changes = 0;
      if (s.dieAtChange > 0) {
        p.Pc().Card(card).SetStateChangedHandler([&p, &changes, &s] {
          p.Pc().Save();
          if (++changes == s.dieAtChange) {
            throw ProgramDeath{};
          }
        });
      }
      const std::size_t commands_before = p.Pc().Card(card).Diagnostics().commands.size();
      bool died = false;
      ActionResult result = ActionResult::Failed;
      try {
        result = action == Action::Upgrade     ? p.form->Button2Click()
                 : action == Action::Downgrade ? p.form->Button3Click()
                 : action == Action::Dump      ? p.form->Button4Click()
                                               : p.form->RestoreClick(restore_file);
      } catch (const ProgramDeath&) {
        died = true;
      }
      const auto texts = p.messages.Texts();
      const Bytes& after = p.Pc().Card(card).Flash().AllBytes();
      if (!OutsideRecordSectorEqual(before, after)) {
        out.problems.push_back("flash outside the record sector changed");
      }
      if (p.Pc().Card(1 - card).Flash().AllBytes() != other) {
        out.problems.push_back("the other card changed");
      }
      if (after != before && BackupsEqualTo(p.Pc(), before).empty()) {
        out.problems.push_back("erased without an equal backup on disk");
      }
      if (died) {
        out.verdict = "died";
        if (AnySuccess(texts)) {
          out.problems.push_back("success shown before dying");
        }
      } else if (result == ActionResult::Refused) {
        // Nothing to act on: the start-up must have said why.
        out.verdict = "refused, start-up showed why";
        if (startup_texts.empty()) {
          out.problems.push_back("no card and no word why");
        }
      } else if (result == ActionResult::Done) {
        out.verdict = "done";
        if (!AnySuccess(texts)) {
          out.problems.push_back("done without telling");
        }
      } else {
        out.verdict = "failed, shown";
        if (AnySuccess(BeforeRestoreQuestion(texts))) {
          out.problems.push_back("failure reported as success");
        }
        const auto& commands = p.Pc().Card(card).Diagnostics().commands;
        const bool erased = std::any_of(
            commands.begin() + static_cast<std::ptrdiff_t>(commands_before), commands.end(),
            [](const auto& c) { return c.kind == CommandKind::kErase; });
        const bool unchanged = Says(texts, "Die Karte ist unverändert."_cp);
        const bool asked = Says(texts, kRestoreQuestion);
        if (unchanged) {
          out.verdict += ", unchanged";
          if (after != before || asked) {
            out.problems.push_back("\"unchanged\" told, but the card changed");
          }
        } else if (asked) {
          out.verdict += ", asked, Yes";
          // A card being restored goes back to its damaged state, which no restore
          // accepts; the next program restores it from the good file below.
          if (action != Action::Restore && after != before) {
            out.problems.push_back("Yes to the restore question did not bring the card back");
          }
        } else if (erased && p.system->writer.LastWriteState() != WriteState::Written) {
          out.problems.push_back("the card's state after the failed write not told");
        }
        if (!erased && (unchanged || asked)) {
          out.problems.push_back("card state told although nothing was erased");
        }
        if (texts.empty()) {
          out.problems.push_back("failure not shown");
          out.verdict = "failed, silent";
        }
        // Idle and usable.
        if (p.view.Visible(Control::Label6) || p.view.Visible(Control::ProgressBar1) ||
            p.view.Hourglass()) {
          out.problems.push_back("window not idle");
        }
        for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
          if (p.system->slots.OpenCount(slot) != 0) {
            out.problems.push_back("slot left open");
          }
        }
      }
      if (died) {
        p.Pc().Card(card).SetStateChangedHandler([&p] { p.Pc().Save(); });
        p.Pc().Save();
      }
    }
    // A new program on the same PC, without faults: the card must come back.
    ClearFaults(pc_folder);
    Program q(pc_folder);
    const Bytes now = q.Pc().Card(card).Flash().AllBytes();
    if (s.dieAtChange > 0) {
      // The start-up asks at once; answered Yes, the card is back.
      if (!Says(q.messages.Texts(), kRestoreQuestion)) {
        out.problems.push_back("unfinished write not offered for restore at start-up");
      } else if (action != Action::Restore) {
        out.verdict += now == before ? ", restored at start-up" : "";
        if (now != before) {
          out.problems.push_back("Yes at start-up did not bring the card back");
        }
      }
    }
    if (now != before && !(out.verdict == "done")) {
      // Back to the state before the action; a card that was being restored goes
      // back to the good state its backup file holds (its damaged record is
      // nothing a restore accepts).
      const auto backups = action == Action::Restore ? std::vector<std::string>{restore_file}
                                                     : BackupsEqualTo(q.Pc(), before);
      Bytes target = before;
      if (action == Action::Restore) {
        const auto saved = ParseBackupFile(q.Pc().Drive().Contents(restore_file));
        std::copy(saved.flash.begin(), saved.flash.end(), target.begin());
      }
      if (backups.empty()) {
        out.problems.push_back("no backup restores the card");
      } else {
        q.view.SelectItem(static_cast<int>(card));
        q.form->ComboBox1Change();
        q.form->RestoreClick(backups.front());
        if (q.Pc().Card(card).Flash().AllBytes() != target) {
          out.problems.push_back("restore did not bring the card back");
        } else {
          out.verdict += ", restored";
        }
      }
    }
    if (out.verdict == "done" && (action == Action::Upgrade || action == Action::Downgrade) &&
        now == before) {
      out.problems.push_back("done, but the card did not change");
    }
    if (out.verdict == "done" && action == Action::Restore) {
      const auto saved = ParseBackupFile(q.Pc().Drive().Contents(restore_file));
      if (!std::equal(saved.flash.begin(), saved.flash.end(), now.begin())) {
        out.problems.push_back("restore reported, but the card differs from the file");
      }
    }
    return out;
  }

 private:
  static void ClearFaults(const std::filesystem::path& folder) {
    sim::SimPc pc(folder);
    for (std::size_t c = 0; c < pc.CardCount(); ++c) {
      pc.Card(c).Faults() = {};
    }
    pc.SetRefuseMap(false);
    pc.SetRefuseUnmap(false);
    pc.SetDriverFilesPresent(true);
    pc.SetRefuseServiceManager(false);
    pc.SetFailingStop(false);
    pc.SetDriveReadOnly(false);
    pc.SetDriveFreeSpace(std::nullopt);
    pc.Save();
  }
};

Scenario CardFault(std::string fault, std::string step, std::size_t card, CommandKind kind,
                   std::uint32_t nth, FaultAction action, std::uint32_t amount = 0) {
  return {std::move(fault), std::move(step), [=](Program& p) {
            p.Pc().Card(card).Faults().commands.push_back({kind, nth, action, amount});
            p.Pc().Save();
          }};
}

std::vector<Scenario> Scenarios(Action action) {
  const std::size_t card = action == Action::Downgrade ? 1 : 0;
  std::vector<Scenario> list;
  list.push_back({"card takes no words", "whole action",
                  [card](Program& p) { p.Pc().Card(card).Faults().takesNoWords = true; }});
  // Reads of the action, counted from the fault: upgrade and downgrade read the
  // record (1), back up (2) and verify (3); a dump backs up (1); a restore reads
  // the damaged record in both forms (1, 2), backs up (3), verifies (4) and
  // compares the whole area with the file (5).
  const std::vector<std::pair<int, std::string>> reads =
      action == Action::Dump      ? std::vector<std::pair<int, std::string>>{{1, "backup read"}}
      : action == Action::Restore ? std::vector<std::pair<int, std::string>>{{1, "record read"},
                                                                             {2, "record read 1.3"},
                                                                             {3, "backup read"},
                                                                             {4, "verify read"},
                                                                             {5, "whole-area read"}}
                                  : std::vector<std::pair<int, std::string>>{
                                        {1, "record read"}, {2, "backup read"}, {3, "verify read"}};
  for (const auto& [nth, step] : reads) {
    for (const std::uint32_t k : {0u, 1u, 1735u, 7000u, 40000u, 65535u}) {
      list.push_back(CardFault("read stops after " + std::to_string(k) + " words", step, card,
                               CommandKind::kRead, static_cast<std::uint32_t>(nth),
                               FaultAction::kStop, k));
    }
  }
  if (action != Action::Dump) {
    list.push_back(
        CardFault("erase answers 1", "erase", card, CommandKind::kErase, 1, FaultAction::kFail));
    list.push_back(CardFault("erase lies (answers 0, erases nothing)", "erase", card,
                             CommandKind::kErase, 1, FaultAction::kLie));
    // The revision-1.3 write and the restored record sector go out in four
    // blocks; the revision-1.2 write of the downgrade in one.
    const int blocks = action == Action::Downgrade ? 1 : 4;
    for (int b = 1; b <= blocks; ++b) {
      const std::string step = "block " + std::to_string(b);
      list.push_back(CardFault("block answers 1", step, card, CommandKind::kProgram,
                               static_cast<std::uint32_t>(b), FaultAction::kFail));
      list.push_back(CardFault("block answers 0, writes nothing", step, card, CommandKind::kProgram,
                               static_cast<std::uint32_t>(b), FaultAction::kLie, 0));
      list.push_back(CardFault("block answers 0, writes part", step, card, CommandKind::kProgram,
                               static_cast<std::uint32_t>(b), FaultAction::kLie, 700));
      list.push_back(CardFault("block stops half-way", step, card, CommandKind::kProgram,
                               static_cast<std::uint32_t>(b), FaultAction::kStop, 500));
    }
    list.push_back({"program dies", "after the erase", [](Program&) {}, 1});
    for (int b = 1; b <= blocks; ++b) {
      list.push_back({"program dies", "after block " + std::to_string(b), [](Program&) {}, 1 + b});
    }
  }
  list.push_back({"map refused", "open", [](Program& p) { p.Pc().SetRefuseMap(true); }});
  list.push_back({"unmap refused", "close", [](Program& p) { p.Pc().SetRefuseUnmap(true); }});
  list.push_back({"driver file missing", "start-up", [](Program&) {}, 0,
                  [](sim::SimPc& pc) { pc.SetDriverFilesPresent(false); }});
  list.push_back({"service manager refused", "start-up", [](Program&) {}, 0,
                  [](sim::SimPc& pc) { pc.SetRefuseServiceManager(true); }});
  list.push_back({"busy flag held by another program", "start-up", [](Program&) {}, 0,
                  [card](sim::SimPc& pc) { pc.SetBusyHeldByOther(card, true); }});
  list.push_back({"busy flag held by another program", "action",
                  [card](Program& p) { p.Pc().SetBusyHeldByOther(card, true); }});
  list.push_back({"map refused, stop fails", "open", [](Program& p) {
                    p.Pc().SetRefuseMap(true);
                    p.Pc().SetFailingStop(true);
                  }});
  list.push_back({"date just before midnight", "backup",
                  [](Program& p) { p.Pc().SetJustBeforeMidnight(std::chrono::milliseconds(5)); }});
  list.push_back({"short date with slashes", "backup",
                  [](Program& p) { p.Pc().SetShortDateFormat("M/d/yyyy"); }});
  list.push_back(
      {"drive C: unwritable", "backup", [](Program& p) { p.Pc().SetDriveReadOnly(true); }});
  list.push_back({"drive C: full", "backup", [](Program& p) { p.Pc().SetDriveFreeSpace(200000); }});
  list.push_back({"journal damaged, last entry torn", "start-up", [](Program&) {}, 0,
                  [](sim::SimPc& pc) {
                    const std::string text = "FlashUpdate-Journal 2\r\nbegonnen\tkaputt\r\nfert";
                    pc.Drive().Install("C:\\FLASH.JNL",
                                       std::vector<std::uint8_t>(text.begin(), text.end()));
                  },
                  "C:\\FLASH.JNL ist besch"});
  list.push_back({"drive C: full after the backup", "journal",
                  [](Program& p) { p.Pc().SetDriveFreeSpace(262152 + 40); }});
  return list;
}

TEST(FaultCampaign, NoFaultLosesData) {
  Campaign campaign;
  int injected = 0, survived = 0, lost = 0;
  std::printf("%-10s | %-40s | %-18s | %s\n", "action", "fault", "step", "outcome");
  for (const Action action : {Action::Upgrade, Action::Downgrade, Action::Dump, Action::Restore}) {
    for (const Scenario& s : Scenarios(action)) {
      const Outcome out = campaign.Run(action, s);
      ++injected;
      std::string line = out.verdict;
      if (out.problems.empty()) {
        ++survived;
      } else {
        ++lost;
        for (const auto& problem : out.problems) {
          line += "; LOST: " + problem;
        }
        ADD_FAILURE() << Name(action) << ", " << s.fault << " at " << s.step << ": " << line;
      }
      std::printf("%-10s | %-40s | %-18s | %s\n", Name(action), s.fault.c_str(), s.step.c_str(),
                  line.c_str());
    }
  }
  std::printf("faults injected: %d, survived: %d, lost: %d\n", injected, survived, lost);
  EXPECT_GT(injected, 60);
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace fu
